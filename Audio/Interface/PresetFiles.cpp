// Preset ("cpf") and bank ("cbf") files.
#include "Audio/Interface/PresetFiles.h"

#include <vector>

#include "Core/FileStream.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

namespace PresetFiles {
namespace {

CError readAll(const CString& path, std::vector<uint8_t>* out) {
    CFileReader f;
    KEL_TRY(f.open(path));
    uint64_t size = 0;
    KEL_TRY(f.getSize(&size));
    if (size > kMaxFileBytes) return KEL_ERROR(kelstr_PresetFiles_read_TooLarge, path, CString::number(int64_t(size)));
    out->resize(size_t(size));
    if (size) KEL_TRY(f.read(out->data(), out->size()));
    return {};
}

CError writeAll(const CString& path, const CMemoryWriter& data) {
    CFileWriter f;
    KEL_TRY(f.open(path));
    KEL_TRY(f.write(data.data(), data.size()));
    return f.close();
}

}  // namespace

CError parsePreset(std::span<const uint8_t> file, const CString& name, CAudioPreset* out) {
    CMemoryReader in(file.data(), file.size());
    std::vector<uint8_t> data;
    KEL_TRY(in.readCompressedData(&data, kIdAprs));
    CMemoryReader body(data.data(), data.size());
    CAudioPreset preset;
    KEL_TRY(preset.load(body));
    uint64_t pos = 0;
    KEL_TRY(body.getPosition(&pos));
    if (pos != data.size()) return KEL_ERROR(kelstr_PresetFiles_read_TrailingData, name);
    *out = std::move(preset);
    return {};
}

CError parseBank(std::span<const uint8_t> file, CAudioPresetBank* out) {
    CMemoryReader in(file.data(), file.size());
    CAudioPresetBank bank;
    KEL_TRY(bank.loadCompressed(in, kIdAbnk));
    *out = std::move(bank);
    return {};
}

CError readPreset(const CString& path, CAudioPreset* out) {
    std::vector<uint8_t> file;
    KEL_TRY(readAll(path, &file));
    return parsePreset(file, path, out);
}

CError writePreset(const CString& path, const CAudioPreset& preset) {
    CMemoryWriter out;
    KEL_TRY(out.writeCompressedData(preset.bytes(), kIdAprs));
    return writeAll(path, out);
}

CError readBank(const CString& path, CAudioPresetBank* out) {
    std::vector<uint8_t> file;
    KEL_TRY(readAll(path, &file));
    return parseBank(file, out);
}

CError writeBank(const CString& path, const CAudioPresetBank& bank) {
    CMemoryWriter out;
    KEL_TRY(bank.saveCompressed(out, kIdAbnk));
    return writeAll(path, out);
}

std::vector<uint8_t> bankListBytes(std::span<const CAudioPresetBank> banks) {
    CMemoryWriter out;
    (void)out.writeU32(uint32_t(banks.size()));
    for (const CAudioPresetBank& b : banks) (void)b.save(out);
    return out.take();
}

CError parseBankList(std::span<const uint8_t> data, std::vector<CAudioPresetBank>* out) {
    CMemoryReader in(data.data(), data.size());
    uint32_t count = 0;
    KEL_TRY(in.readU32(&count));
    // Every bank takes at least its name length and preset count.
    if (uint64_t(count) * 8 > data.size())
        return KEL_ERROR(kelstr_PresetFiles_parseBankList_Invalid, CString::number(int64_t(count)),
                         CString::number(int64_t(data.size())));
    std::vector<CAudioPresetBank> banks(count);
    for (CAudioPresetBank& b : banks) KEL_TRY(b.load(in));
    uint64_t pos = 0;
    KEL_TRY(in.getPosition(&pos));
    if (pos != data.size())
        return KEL_ERROR(kelstr_PresetFiles_parseBankList_Invalid, CString::number(int64_t(count)),
                         CString::number(int64_t(data.size() - pos)));
    *out = std::move(banks);
    return {};
}

CError readBankList(CAppData& store, const CString& item, std::vector<CAudioPresetBank>* out) {
    out->clear();
    std::vector<uint8_t> bytes;
    bool found = false;
    KEL_TRY(store.readData(item, kIdAbnk, &bytes, &found));
    return found ? parseBankList(bytes, out) : CError{};
}

CError writeBankList(CAppData& store, const CString& item, std::span<const CAudioPresetBank> banks,
                     CAppDataListener* writer) {
    return store.writeData(item, kIdAbnk, bankListBytes(banks), writer);
}

}  // namespace PresetFiles
