#include "Audio/Registry/AudioPreset.h"

#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamData.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }
}  // namespace

// --- Stored parameters ----------------------------------------------------------------------

CError kelValidateStoredParam(std::span<const uint8_t> bytes, size_t* consumed, CAudioStoredParamHeader* header) {
    CMemoryReader in(bytes.data(), bytes.size());
    CAudioStoredParamHeader h;
    KEL_TRY(in.readString(&h.fullName));
    KEL_TRY(in.readU32(&h.version));
    if (h.version != CAudioParamStorage::kVersion)
        return KEL_ERROR(kelstr_CAudioParamStorage_load_VersionError, num(h.version));
    KEL_TRY(in.readU32(&h.esize));
    KEL_TRY(in.readU32(&h.dtype));
    KEL_TRY(in.readU32(&h.groups));
    if (h.esize < 1 || h.esize > CAudioParamStorage::kMaxValuesPerGroup)
        return KEL_ERROR(kelstr_CAudioStoredParam_validate_Count, num(h.esize));
    if (h.dtype > 1) return KEL_ERROR(kelstr_CAudioStoredParam_validate_DataType, num(h.dtype));
    if (h.groups > CAudioParamStorage::kMaxGroups) return KEL_ERROR(kelstr_CAudioStoredParam_validate_Count, num(h.groups));
    if (h.dtype == 1) {
        uint32_t n = 0;
        KEL_TRY(in.readU32(&n));
        // Every item takes at least 8 bytes, which bounds a sane count.
        if (n > in.remaining() / 8) return KEL_ERROR(kelstr_CAudioStoredParam_validate_Count, num(n));
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t number = 0, type = 0, length = 0;
            KEL_TRY(in.readU32(&number));
            KEL_TRY(in.readU32(&type));
            if (type == uint32_t(EAudioParamItemType::String)) {
                CString text;
                KEL_TRY(in.readString(&text));
            } else if (type == uint32_t(EAudioParamItemType::Raw)) {
                KEL_TRY(in.readU32(&length));
                if (length > CAudioParamDataItemRaw::kMaxBytes)
                    return KEL_ERROR(kelstr_CAudioParamDataItemRaw_load_TooLong, num(length));
                KEL_TRY(in.skip(length));
            } else {
                return KEL_ERROR(kelstr_CAudioStoredParam_validate_ItemType, num(type));
            }
        }
    }
    const uint64_t valueBytes = h.dtype == 0 ? 8 : 4;
    for (uint32_t g = 0; g < h.groups; ++g) {
        uint32_t k = 0;
        KEL_TRY(in.readU32(&k));
        const uint64_t values = uint64_t(k) * h.esize;
        if (values > CAudioParamStorage::kMaxValuesPerGroup)
            return KEL_ERROR(kelstr_CAudioStoredParam_validate_Count, num(k));
        KEL_TRY(in.skip(size_t(values * valueBytes)));
    }
    *consumed = in.position();
    if (header) *header = std::move(h);
    return {};
}

// --- Presets ----------------------------------------------------------------------------------

CString CAudioPreset::registryIdOf(const CString& presetName) {
    const size_t colon = presetName.find(u':');
    return colon == CString::npos ? CString() : presetName.substr(0, colon);
}

CString CAudioPreset::displayNameOf(const CString& presetName) {
    const size_t colon = presetName.find(u':');
    return colon == CString::npos ? presetName : presetName.substr(colon + 1);
}

CString CAudioPreset::registryId() const { return registryIdOf(m_name); }
CString CAudioPreset::displayName() const { return displayNameOf(m_name); }

const CAudioPresetRecord* CAudioPreset::find(const CString& shortName) const {
    for (const CAudioPresetRecord& r : m_records)
        if (r.shortName == shortName) return &r;
    return nullptr;
}

CError CAudioPreset::save(COutputStream& out) const {
    KEL_TRY(out.writeString(m_name));
    KEL_TRY(out.writeU32(uint32_t(m_records.size())));
    for (const CAudioPresetRecord& r : m_records) {
        KEL_TRY(out.writeString(r.shortName));
        KEL_TRY(out.writeU32(uint32_t(r.data.size())));
        KEL_TRY(out.write(r.data.data(), r.data.size()));
    }
    return {};
}

CError CAudioPreset::load(CInputStream& in) {
    CAudioPreset p;
    uint32_t count = 0;
    KEL_TRY(in.readString(&p.m_name));
    KEL_TRY(in.readU32(&count));
    if (count > kMaxRecords) return KEL_ERROR(kelstr_CAudioPreset_load_RecordCount, num(count), p.m_name);
    p.m_records.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        CAudioPresetRecord r;
        uint32_t size = 0;
        KEL_TRY(in.readString(&r.shortName));
        KEL_TRY(in.readU32(&size));
        const uint8_t* data = nullptr;
        KEL_TRY(in.readStreamed(&data, size));
        size_t used = 0;
        if (CError e = kelValidateStoredParam({data, size}, &used)) {
            e.appendLine(formatMessage(kelstr_CAudioPreset_load_InvalidRecord, {r.shortName, p.m_name}));
            return KEL_PASS(e);
        }
        if (used != size) return KEL_ERROR(kelstr_CAudioPreset_load_InvalidRecord, r.shortName, p.m_name);
        r.data.assign(data, data + size);
        p.m_records.push_back(std::move(r));
    }
    *this = std::move(p);
    return {};
}

std::vector<uint8_t> CAudioPreset::bytes() const {
    CMemoryWriter w;
    (void)save(w);  // a memory writer does not fail
    return w.take();
}

CError CAudioPreset::loadBytes(std::span<const uint8_t> bytes) {
    CMemoryReader in(bytes.data(), bytes.size());
    return load(in);
}

bool CAudioPreset::operator==(const CAudioPreset& other) const {
    if (!(m_name == other.m_name) || m_records.size() != other.m_records.size()) return false;
    for (size_t i = 0; i < m_records.size(); ++i)
        if (!(m_records[i].shortName == other.m_records[i].shortName) || m_records[i].data != other.m_records[i].data)
            return false;
    return true;
}

// --- Banks ------------------------------------------------------------------------------------

int CAudioPresetBank::indexOf(const CString& presetName) const {
    for (size_t i = 0; i < m_presets.size(); ++i)
        if (m_presets[i].name() == presetName) return int(i);
    return -1;
}

void CAudioPresetBank::insert(size_t at, CAudioPreset preset) {
    if (at > m_presets.size()) at = m_presets.size();
    m_presets.insert(m_presets.begin() + std::ptrdiff_t(at), std::move(preset));
}

void CAudioPresetBank::remove(size_t i) {
    if (i < m_presets.size()) m_presets.erase(m_presets.begin() + std::ptrdiff_t(i));
}

CError CAudioPresetBank::save(COutputStream& out) const {
    KEL_TRY(out.writeString(m_name));
    KEL_TRY(out.writeU32(uint32_t(m_presets.size())));
    for (const CAudioPreset& p : m_presets) KEL_TRY(p.save(out));
    return {};
}

CError CAudioPresetBank::load(CInputStream& in) {
    CAudioPresetBank b;
    uint32_t count = 0;
    KEL_TRY(in.readString(&b.m_name));
    KEL_TRY(in.readU32(&count));
    if (count > kMaxPresets) return KEL_ERROR(kelstr_CAudioPresetBank_load_PresetCount, num(count), b.m_name);
    for (uint32_t i = 0; i < count; ++i) {
        CAudioPreset p;
        KEL_TRY(p.load(in));
        b.m_presets.push_back(std::move(p));
    }
    *this = std::move(b);
    return {};
}

std::vector<uint8_t> CAudioPresetBank::bytes() const {
    CMemoryWriter w;
    (void)save(w);
    return w.take();
}

CError CAudioPresetBank::loadBytes(std::span<const uint8_t> bytes) {
    CMemoryReader in(bytes.data(), bytes.size());
    CAudioPresetBank b;
    KEL_TRY(b.load(in));
    if (in.remaining())
        return KEL_ERROR(kelstr_CAudioPresetBank_loadCompressed_TrailingData, num(in.remaining()), b.m_name);
    *this = std::move(b);
    return {};
}

CError CAudioPresetBank::saveCompressed(COutputStream& out, uint32_t id) const {
    const std::vector<uint8_t> data = bytes();
    return out.writeCompressedData(data, id);
}

CError CAudioPresetBank::loadCompressed(CInputStream& in, uint32_t id) {
    std::vector<uint8_t> data;
    KEL_TRY(in.readCompressedData(&data, id));
    return loadBytes(data);
}

bool CAudioPresetBank::operator==(const CAudioPresetBank& other) const {
    return m_name == other.m_name && m_presets == other.m_presets;
}
