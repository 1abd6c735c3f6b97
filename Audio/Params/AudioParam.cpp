#include "Audio/Params/AudioParam.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Converters/AudioParamConverterEnum.h"
#include "Core/Log.h"

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }
}  // namespace

// --- Construction ------------------------------------------------------------------------

CAudioParamStorage::CAudioParamStorage(const CAudioParamInfo* info, uint32_t groupCount) {
    configureFrom(info);
    if (info) reset(groupCount);
}

CAudioParamStorage::CAudioParamStorage(const CAudioParamStorage& other) { (void)assign(other); }

CAudioParamStorage& CAudioParamStorage::operator=(const CAudioParamStorage& other) {
    (void)assign(other);
    return *this;
}

void CAudioParamStorage::configureFrom(const CAudioParamInfo* info) {
    m_info = info;
    m_esize = info ? info->elementSize() : 1;
    m_items = info && !info->isNumeric();
    m_singleGroup = info && info->isSingleGroup();
    m_singleElement = info && info->isSingleElement();
}

void CAudioParamStorage::rebuildStarts() {
    m_start.resize(m_elems.size());
    uint32_t at = 0;
    for (size_t g = 0; g < m_elems.size(); ++g) {
        m_start[g] = at;
        at += m_elems[g] * m_esize;
    }
}

void CAudioParamStorage::reset(uint32_t groupCount) {
    const uint32_t groups = m_singleGroup ? 1 : std::max<uint32_t>(groupCount, 1);
    uint32_t elems = m_info ? std::max<uint32_t>(m_info->defaultElementCount(), 1) : 1;
    if (m_singleElement) elems = 1;
    m_elems.assign(groups, elems);
    rebuildStarts();
    m_values.assign(size_t(groups) * elems * m_esize, 0.0);
    m_data.clear();
    for (uint32_t g = 0; g < groups; ++g)
        for (uint32_t e = 0; e < elems; ++e)
            for (uint32_t c = 0; c < m_esize; ++c) {
                double v = 0.0;
                if (!m_items)
                    v = m_info ? m_info->defaultValue(e, c) : 0.0;
                else if (m_info && m_info->dataType() == EAudioParamDataType::Text)
                    v = m_data.findOrAddString(m_info->defaultText(e));
                m_values[m_start[g] + e * m_esize + c] = v;
            }
    markChanged();
}

CError CAudioParamStorage::parseDefValues(const CString& text, CAudioParamInfo* info) {
    const std::vector<CString> fields = splitString(text, u',');
    const uint32_t esize = info->m_elementSize;
    info->m_defValues.clear();
    info->m_defTexts.clear();
    if (!info->isNumeric()) {
        info->m_defTexts.assign(fields.begin(), fields.end());
        info->m_defElements = uint32_t(fields.size());
        return {};
    }
    const uint32_t elements = uint32_t((fields.size() + esize - 1) / esize);
    std::vector<double> values(size_t(elements) * esize);
    for (uint32_t e = 0; e < elements; ++e)
        for (uint32_t c = 0; c < esize; ++c) {
            const size_t pos = size_t(e) * esize + c;
            if (pos >= fields.size()) return KEL_ERROR(kelstr_CAudioParamStorage_parseDefValues_NoElements, num(pos));
            // Definitions write enumeration defaults as indices ("8" of "8;9;...;24"
            // is the ninth state), so a plain number is an index there.
            const bool isEnum = dynamic_cast<const CAudioParamConverterEnum*>(info->converter(c)) != nullptr;
            double index = 0;
            if (isEnum && fields[pos].toDouble(&index)) {
                values[pos] = std::clamp(std::round(index), info->minValue(c), info->maxValue(c));
                continue;
            }
            if (!info->textToValue(c, fields[pos], &values[pos]))
                return KEL_ERROR(kelstr_CAudioParamStorage_parseDefValues_Error);
        }
    info->m_defValues = std::move(values);
    info->m_defElements = elements;
    return {};
}

// --- Reads ---------------------------------------------------------------------------------

uint32_t CAudioParamStorage::itemAt(uint32_t g, uint32_t e) const {
    if (m_singleGroup) g = 0;
    if (m_singleElement) e = 0;
    if (g < m_elems.size() && e < m_elems[g]) return uint32_t(m_values[m_start[g] + e * m_esize]);
    return 0;
}

CString CAudioParamStorage::text(uint32_t g, uint32_t e) const {
    if (auto* s = dynamic_cast<const CAudioParamDataItemString*>(m_data.item(itemAt(g, e)))) return s->text();
    return m_info ? m_info->defaultText(m_singleElement ? 0 : e) : CString();
}

std::span<const uint8_t> CAudioParamStorage::raw(uint32_t g, uint32_t e) const {
    if (auto* r = dynamic_cast<const CAudioParamDataItemRaw*>(m_data.item(itemAt(g, e)))) return r->bytes();
    return {};
}

double CAudioParamStorage::lookupRaw(uint32_t g, uint32_t e, uint32_t c) {
    if (g < m_elems.size() && e < m_elems[g]) return m_values[m_start[g] + e * m_esize + c];
    if (m_items) {
        // A new text slot refers to an item holding its default text.
        if (m_info && m_info->dataType() == EAudioParamDataType::Text)
            return m_data.findOrAddString(m_info->defaultText(e));
        return 0.0;
    }
    return m_info ? m_info->defaultValue(e, c) : 0.0;
}

// --- Writes --------------------------------------------------------------------------------

bool CAudioParamStorage::writeValue(uint32_t g, uint32_t e, uint32_t c, double v) noexcept {
    if (m_singleGroup) g = 0;
    if (m_singleElement) e = 0;
    if (g >= m_elems.size() || e >= m_elems[g] || c >= m_esize) return false;
    double& slot = m_values[m_start[g] + e * m_esize + c];
    const double old = loadSlot(slot);
    if (std::memcmp(&old, &v, sizeof v) != 0) {
        storeSlot(slot, v);
        markChanged();
    }
    return true;
}

void CAudioParamStorage::ensureElements(uint32_t g, uint32_t k) {
    if (m_singleGroup) g = 0;
    if (m_singleElement) k = std::min<uint32_t>(k, 1);
    if (g < m_elems.size() && m_elems[g] >= k) return;
    // New values read what the lookup rule gave before the growth.
    std::vector<double, CKelStdAllocator<double>> values;
    std::vector<uint32_t, CKelStdAllocator<uint32_t>> elems = m_elems;
    if (elems.size() <= g) elems.resize(g + 1, 0);
    elems[g] = std::max(elems[g], k);
    size_t total = 0;
    for (uint32_t n : elems) total += size_t(n) * m_esize;
    values.reserve(total);
    for (uint32_t gg = 0; gg < elems.size(); ++gg)
        for (uint32_t e = 0; e < elems[gg]; ++e)
            for (uint32_t c = 0; c < m_esize; ++c) values.push_back(lookupRaw(gg, e, c));
    m_elems = std::move(elems);
    m_values = std::move(values);
    rebuildStarts();
}

void CAudioParamStorage::setValue(uint32_t g, uint32_t e, uint32_t c, double v) {
    if (c >= m_esize) return;
    if (writeValue(g, e, c, v)) return;
    ensureElements(g, e + 1);
    writeValue(g, e, c, v);
    markChanged();
}

void CAudioParamStorage::setText(uint32_t g, uint32_t e, const CString& text) {
    if (m_data.count() > 2 * m_values.size() + 8) compactItems();
    setValue(g, e, 0, m_data.findOrAddString(text));
}

void CAudioParamStorage::setRaw(uint32_t g, uint32_t e, std::span<const uint8_t> bytes) {
    if (m_data.count() > 2 * m_values.size() + 8) compactItems();
    setValue(g, e, 0, m_data.findOrAddRaw(bytes));
}

void CAudioParamStorage::compactItems() {
    // Keeps the items referred to, in order of first use, renumbered from 1.
    std::vector<uint32_t> renumber(m_data.count() + 1, 0);
    CAudioParamData kept;
    for (double& v : m_values) {
        const uint32_t n = uint32_t(v);
        if (!m_data.item(n)) {
            v = 0.0;
            continue;
        }
        if (!renumber[n]) renumber[n] = kept.add(m_data.item(n)->clone());
        v = renumber[n];
    }
    m_data = std::move(kept);
}

bool CAudioParamStorage::sameShape(const CAudioParamStorage& other) const noexcept {
    return m_esize == other.m_esize && m_elems.size() == other.m_elems.size() &&
           std::equal(m_elems.begin(), m_elems.end(), other.m_elems.begin());
}

bool CAudioParamStorage::copyValuesFrom(const CAudioParamStorage& other) noexcept {
    if (m_items || other.m_items || !sameShape(other)) return false;
    bool changed = false;
    for (size_t i = 0; i < m_values.size(); ++i) {
        const double v = loadSlot(other.m_values[i]);
        const double old = loadSlot(m_values[i]);
        if (std::memcmp(&old, &v, sizeof v) == 0) continue;
        storeSlot(m_values[i], v);
        changed = true;
    }
    if (changed) markChanged();
    return true;
}

bool CAudioParamStorage::assign(const CAudioParamStorage& other) {
    if (this == &other) return true;
    // A storage bound to an info keeps it: only matching data are taken.
    if (m_info && (other.m_esize != m_esize || other.m_items != m_items)) return false;
    if (!m_info) configureFrom(other.m_info);
    m_esize = other.m_esize;
    m_elems = other.m_elems;
    m_start = other.m_start;
    // Slot by slot: the other storage may be live while the audio thread writes it.
    m_values.resize(other.m_values.size());
    for (size_t i = 0; i < m_values.size(); ++i) m_values[i] = loadSlot(other.m_values[i]);
    m_data = other.m_data;
    markChanged();
    return true;
}

// --- Stored-parameter format ---------------------------------------------------------------

CError CAudioParamStorage::save(COutputStream& out, const CString& fullName, int group) const {
    // The groups written: all, or the one asked for.
    uint32_t first = 0, count = groupCount();
    if (group >= 0) {
        first = uint32_t(group);
        count = 1;
    }
    auto elemsOf = [&](uint32_t g) { return g < m_elems.size() ? m_elems[g] : 0u; };

    KEL_TRY(out.writeString(fullName));
    KEL_TRY(out.writeU32(kVersion));
    KEL_TRY(out.writeU32(m_esize));
    KEL_TRY(out.writeU32(dtypeCode()));
    KEL_TRY(out.writeU32(count));
    if (!m_items) {
        for (uint32_t g = first; g < first + count; ++g) {
            KEL_TRY(out.writeU32(elemsOf(g)));
            for (const double& slot : groupValues(g)) KEL_TRY(out.writeF64(loadSlot(slot)));
        }
        return {};
    }
    // Items: only those referred to, renumbered from 1 in order of first use.
    std::vector<uint32_t> renumber(m_data.count() + 1, 0);
    std::vector<uint32_t> order;
    for (uint32_t g = first; g < first + count; ++g)
        for (double v : groupValues(g)) {
            const uint32_t n = uint32_t(v);
            if (m_data.item(n) && !renumber[n]) {
                order.push_back(n);
                renumber[n] = uint32_t(order.size());
            }
        }
    KEL_TRY(out.writeU32(uint32_t(order.size())));
    for (uint32_t n : order) {
        const CAudioParamDataItem* item = m_data.item(n);
        KEL_TRY(out.writeU32(renumber[n]));
        KEL_TRY(out.writeU32(uint32_t(item->type())));
        KEL_TRY(item->savePayload(out));
    }
    for (uint32_t g = first; g < first + count; ++g) {
        KEL_TRY(out.writeU32(elemsOf(g)));
        for (double v : groupValues(g)) {
            const uint32_t n = uint32_t(v);
            KEL_TRY(out.writeU32(n < renumber.size() ? renumber[n] : 0));
        }
    }
    return {};
}

CError CAudioParamStorage::load(CInputStream& in, CString* fullName, int group) {
    CString name;
    uint32_t version = 0, esize = 0, dtype = 0, groups = 0;
    KEL_TRY(in.readString(&name));
    KEL_TRY(in.readU32(&version));
    if (version != kVersion) return KEL_ERROR(kelstr_CAudioParamStorage_load_VersionError, num(version));
    KEL_TRY(in.readU32(&esize));
    KEL_TRY(in.readU32(&dtype));
    if (esize != m_esize || dtype != dtypeCode())
        return KEL_ERROR(kelstr_CAudioParamStorage_load_FormatError, num(esize), num(dtype), num(m_esize),
                         num(dtypeCode()));
    KEL_TRY(in.readU32(&groups));
    if (groups > kMaxGroups) return KEL_ERROR(kelstr_CAudioParamStorage_load_CountError, num(groups));

    // Items: the numbers read map to the numbers of a fresh list.
    CAudioParamData data;
    std::map<uint32_t, uint32_t> itemMap;
    if (m_items) {
        uint32_t n = 0;
        KEL_TRY(in.readU32(&n));
        if (n > kMaxValuesPerGroup * kMaxGroups) return KEL_ERROR(kelstr_CAudioParamStorage_load_CountError, num(n));
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t number = 0, type = 0;
            KEL_TRY(in.readU32(&number));
            KEL_TRY(in.readU32(&type));
            if (number != i + 1) kelLogf("Unexpected LoadElement %i (expected %i).", int(number), int(i + 1));
            std::unique_ptr<CAudioParamDataItem> item = CAudioParamDataItem::create(type);
            if (!item) return KEL_ERROR(kelstr_CAudioParamStorage_load_ItemTypeError, num(type));
            KEL_TRY(item->loadPayload(in));
            itemMap[number] = data.add(std::move(item));
        }
    }

    std::vector<uint32_t, CKelStdAllocator<uint32_t>> elems;
    std::vector<double, CKelStdAllocator<double>> values;
    for (uint32_t g = 0; g < groups; ++g) {
        uint32_t k = 0;
        KEL_TRY(in.readU32(&k));
        if (uint64_t(k) * esize > kMaxValuesPerGroup) return KEL_ERROR(kelstr_CAudioParamStorage_load_CountError, num(k));
        const bool keep = group < 0 || g == 0;
        if (keep) elems.push_back(k);
        for (uint32_t i = 0; i < k * esize; ++i) {
            double v = 0;
            if (m_items) {
                uint32_t n = 0;
                KEL_TRY(in.readU32(&n));
                auto it = itemMap.find(n);
                v = it == itemMap.end() ? 0.0 : double(it->second);
            } else {
                KEL_TRY(in.readF64(&v));
            }
            if (keep) values.push_back(v);
        }
    }

    if (group < 0) {
        m_elems = std::move(elems);
        m_values = std::move(values);
        m_data = std::move(data);
        rebuildStarts();
    } else {
        // One group block into group g; the other groups keep their values.
        const uint32_t g = m_singleGroup ? 0 : uint32_t(group);
        std::vector<uint32_t, CKelStdAllocator<uint32_t>> newElems = m_elems;
        if (newElems.size() <= g) newElems.resize(g + 1, 0);
        newElems[g] = elems.empty() ? 0 : elems[0];
        // Loaded item numbers move behind the items already held.
        CAudioParamData newData = m_data;
        const uint32_t shift = newData.count();
        for (uint32_t i = 1; i <= data.count(); ++i) newData.add(data.item(i)->clone());
        std::vector<double, CKelStdAllocator<double>> newValues;
        for (uint32_t gg = 0; gg < newElems.size(); ++gg) {
            if (gg == g) {
                for (double v : values) newValues.push_back(m_items && v != 0.0 ? v + shift : v);
            } else {
                auto src = groupValues(gg);
                newValues.insert(newValues.end(), src.begin(), src.end());
            }
        }
        m_elems = std::move(newElems);
        m_values = std::move(newValues);
        m_data = std::move(newData);
        rebuildStarts();
        if (m_items) compactItems();
    }
    if (fullName) *fullName = name;
    markChanged();
    return {};
}

// --- The runtime parameter -----------------------------------------------------------------

std::unique_ptr<CAudioParam> CAudioParam::create(const CAudioParamDef& def, const CString& fullName,
                                                 uint32_t groupCount) {
    return std::make_unique<CAudioParam>(def.info(), fullName, groupCount, &def);
}

CAudioParam::CAudioParam(const CAudioParamInfo& info, const CString& fullName, uint32_t groupCount,
                         const CAudioParamDef* def)
    : m_fullName(fullName), m_def(def), m_info(info), m_storage(&m_info, groupCount) {}

CAudioParam::~CAudioParam() {
    if (m_collector) m_collector->unregisterParam(this);
}

CString CAudioParam::name() const {
    size_t dot = m_fullName.rfind(u'.');
    return dot == CString::npos ? m_fullName : m_fullName.substr(dot + 1);
}

CString CAudioParam::valueText(uint32_t g, uint32_t e, uint32_t c, int kind) const {
    if (m_info.dataType() == EAudioParamDataType::Text) return m_storage.text(g, e);
    return m_info.valueToText(c, value(g, e, c), kind);
}
