#pragma once
// Presets and banks of presets.
//
// A preset is a name and an ordered list of parameter records; a record is a
// parameter's short name (its full name without the registry's hierarchy
// prefix, e.g. "modTamblor.release", "instance-name") and its values in the
// stored-parameter format of CAudioParamStorage, kept as bytes. A bank is a
// name and an ordered list of presets. Preset names start with the id of the
// registry that wrote them, then ":" ("v87u:Default").
//
// Formats (integers u32 little-endian, strings u32 byte length + UTF-8):
//   preset: string name, u32 record count R, then R records of
//           string short name, u32 byte size S, S bytes of stored parameter
//   bank:   string bank name, u32 preset count P, then P presets
// On disk and in resources a bank is wrapped in a compressed block ("abnk"
// for banks, "alst" for the preset lists of the data stores; Core/Stream.h).
//
// Loading checks the structure of every stored parameter (version, counts,
// item types, and that it fills its record exactly), so damaged data are
// refused before anything uses them; a failed load leaves the object as it
// was.

#include <cstdint>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

KELSTR(CAudioPreset_load_RecordCount, "Invalid record count %1 in preset '%2'.");
KELSTR(CAudioPreset_load_InvalidRecord, "Invalid stored parameter in record '%1' of preset '%2'.");
KELSTR(CAudioPresetBank_load_PresetCount, "Invalid preset count %1 in bank '%2'.");
KELSTR(CAudioPresetBank_loadCompressed_TrailingData, "Unexpected %1 bytes after bank '%2'.");
KELSTR(CAudioStoredParam_validate_Count, "Invalid count %1 in stored parameter.");
KELSTR(CAudioStoredParam_validate_DataType, "Unsupported stored parameter data type %1.");
KELSTR(CAudioStoredParam_validate_ItemType, "Unsupported data item type %1.");

// The header of a stored parameter.
struct CAudioStoredParamHeader {
    CString fullName;
    uint32_t version = 0;
    uint32_t esize = 0;
    uint32_t dtype = 0;
    uint32_t groups = 0;
};

// Walks one stored parameter in bytes without interpreting its values: the
// version must be 1 ("Unsupported data set version %1."), counts must lie
// within the storage's bounds and items be of a known type. On success
// *consumed is the stored parameter's length.
CError kelValidateStoredParam(std::span<const uint8_t> bytes, size_t* consumed,
                              CAudioStoredParamHeader* header = nullptr);

struct CAudioPresetRecord {
    CString shortName;
    std::vector<uint8_t> data;  // one stored parameter
};

class CAudioPreset {
public:
    // Largest record count accepted when loading.
    static constexpr uint32_t kMaxRecords = 1u << 14;

    CAudioPreset() = default;
    explicit CAudioPreset(const CString& name) : m_name(name) {}

    const CString& name() const { return m_name; }
    void setName(const CString& name) { m_name = name; }
    // The part before the first ':' (the registry id), empty without one.
    CString registryId() const;
    // The part after the first ':' (the whole name without one).
    CString displayName() const;
    static CString registryIdOf(const CString& presetName);
    static CString displayNameOf(const CString& presetName);

    std::span<const CAudioPresetRecord> records() const { return {m_records.data(), m_records.size()}; }
    size_t recordCount() const { return m_records.size(); }
    bool empty() const { return m_records.empty(); }
    // The record of a short name, or nullptr.
    const CAudioPresetRecord* find(const CString& shortName) const;
    void addRecord(CAudioPresetRecord record) { m_records.push_back(std::move(record)); }
    void clearRecords() { m_records.clear(); }

    CError save(COutputStream& out) const;
    // Reads one preset (stops right after it).
    CError load(CInputStream& in);
    // The preset format in bytes, and back.
    std::vector<uint8_t> bytes() const;
    CError loadBytes(std::span<const uint8_t> bytes);

    bool operator==(const CAudioPreset& other) const;

private:
    CString m_name;
    std::vector<CAudioPresetRecord> m_records;
};

class CAudioPresetBank {
public:
    static constexpr uint32_t kMaxPresets = 1u << 14;

    CAudioPresetBank() = default;
    explicit CAudioPresetBank(const CString& name) : m_name(name) {}

    const CString& name() const { return m_name; }
    void setName(const CString& name) { m_name = name; }

    size_t size() const { return m_presets.size(); }
    bool empty() const { return m_presets.empty(); }
    const CAudioPreset& preset(size_t i) const { return m_presets[i]; }
    CAudioPreset& preset(size_t i) { return m_presets[i]; }
    std::span<const CAudioPreset> presets() const { return {m_presets.data(), m_presets.size()}; }
    // Index of the first preset of that name, or -1.
    int indexOf(const CString& presetName) const;
    void add(CAudioPreset preset) { m_presets.push_back(std::move(preset)); }
    void insert(size_t at, CAudioPreset preset);
    void remove(size_t i);
    void clear() { m_presets.clear(); }

    CError save(COutputStream& out) const;
    CError load(CInputStream& in);
    // Inside a compressed block of the given id ("abnk" or "alst"); loading
    // requires the block to hold exactly one bank.
    CError saveCompressed(COutputStream& out, uint32_t id) const;
    CError loadCompressed(CInputStream& in, uint32_t id);
    // The uncompressed bank bytes, and back (exactly one bank).
    std::vector<uint8_t> bytes() const;
    CError loadBytes(std::span<const uint8_t> bytes);

    bool operator==(const CAudioPresetBank& other) const;

private:
    CString m_name;
    std::vector<CAudioPreset> m_presets;
};
