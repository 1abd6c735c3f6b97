#pragma once
// Preset and bank files as the editor loads and saves them: a preset file
// ("cpf", "Compressed preset files") holds one preset in an "aprs"
// compressed block, the form of the host state; a bank file ("cbf",
// "Compressed bank files") one bank in an "abnk" block, the form of the
// factory bank. Presets and banks are those the interface carries
// ("activate-preset", "registry-data"), in the formats of
// Audio/Registry/AudioPreset.h.
//
// Reading is bounded (files above kMaxFileBytes are refused unread) and
// checks everything before it hands anything out: a damaged file leaves
// the output as it was. Writing builds the whole file in memory first and
// writes it with one call.

#include <vector>

#include "Audio/Registry/AudioPreset.h"
#include "Core/AppData.h"
#include "Core/Error.h"
#include "Core/String.h"

KELSTR(PresetFiles_read_TooLarge, "File '%1' is too large (%2 bytes) for a preset or bank.");
KELSTR(PresetFiles_read_TrailingData, "Unexpected data after the preset in file '%1'.");
KELSTR(PresetFiles_parseBankList_Invalid, "Invalid bank list (%1 banks, %2 bytes left over).");

namespace PresetFiles {
inline constexpr uint64_t kMaxFileBytes = 16u << 20;
inline constexpr const char* kPresetExt = "cpf";
inline constexpr const char* kPresetDescr = "Compressed preset files";
inline constexpr const char* kBankExt = "cbf";
inline constexpr const char* kBankDescr = "Compressed bank files";

CError readPreset(const CString& path, CAudioPreset* out);
CError writePreset(const CString& path, const CAudioPreset& preset);
CError readBank(const CString& path, CAudioPresetBank* out);
CError writeBank(const CString& path, const CAudioPresetBank& bank);
// The same from and to bytes (the files' whole content).
CError parsePreset(std::span<const uint8_t> file, const CString& name, CAudioPreset* out);
CError parseBank(std::span<const uint8_t> file, CAudioPresetBank* out);

// A list of banks (the preset manager's user banks in a data store): u32
// bank count, then the banks, nothing after them. Parsing refuses the
// whole list when any part is damaged.
std::vector<uint8_t> bankListBytes(std::span<const CAudioPresetBank> banks);
CError parseBankList(std::span<const uint8_t> data, std::vector<CAudioPresetBank>* out);
// A bank list as an item of a data store (an "abnk" block); an absent item
// reads as no banks. Writing informs the store's listeners except writer.
CError readBankList(CAppData& store, const CString& item, std::vector<CAudioPresetBank>* out);
CError writeBankList(CAppData& store, const CString& item, std::span<const CAudioPresetBank> banks,
                     CAppDataListener* writer);
}  // namespace PresetFiles
