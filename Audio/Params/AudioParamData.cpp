#include "Audio/Params/AudioParamData.h"

#include <algorithm>

std::unique_ptr<CAudioParamDataItem> CAudioParamDataItem::create(uint32_t type) {
    switch (EAudioParamItemType(type)) {
        case EAudioParamItemType::String: return std::make_unique<CAudioParamDataItemString>();
        case EAudioParamItemType::Raw: return std::make_unique<CAudioParamDataItemRaw>();
    }
    return nullptr;
}

std::unique_ptr<CAudioParamDataItem> CAudioParamDataItemString::clone() const {
    return std::make_unique<CAudioParamDataItemString>(m_text);
}

bool CAudioParamDataItemString::sameContent(const CAudioParamDataItem& other) const {
    auto* o = dynamic_cast<const CAudioParamDataItemString*>(&other);
    return o && o->m_text == m_text;
}

CError CAudioParamDataItemRaw::savePayload(COutputStream& out) const {
    KEL_TRY(out.writeU32(uint32_t(m_bytes.size())));
    if (!m_bytes.empty()) KEL_TRY(out.write(m_bytes.data(), m_bytes.size()));
    return {};
}

CError CAudioParamDataItemRaw::loadPayload(CInputStream& in) {
    uint32_t n = 0;
    KEL_TRY(in.readU32(&n));
    if (n > kMaxBytes) return KEL_ERROR(kelstr_CAudioParamDataItemRaw_load_TooLong, CString::number(int64_t(n)));
    std::vector<uint8_t> bytes(n);
    if (n) KEL_TRY(in.read(bytes.data(), n));
    m_bytes = std::move(bytes);
    return {};
}

std::unique_ptr<CAudioParamDataItem> CAudioParamDataItemRaw::clone() const {
    return std::make_unique<CAudioParamDataItemRaw>(bytes());
}

bool CAudioParamDataItemRaw::sameContent(const CAudioParamDataItem& other) const {
    auto* o = dynamic_cast<const CAudioParamDataItemRaw*>(&other);
    return o && o->m_bytes == m_bytes;
}

CAudioParamData& CAudioParamData::operator=(const CAudioParamData& other) {
    if (this == &other) return *this;
    std::vector<std::unique_ptr<CAudioParamDataItem>> items;
    items.reserve(other.m_items.size());
    for (const auto& it : other.m_items) items.push_back(it ? it->clone() : nullptr);
    m_items = std::move(items);
    return *this;
}

uint32_t CAudioParamData::add(std::unique_ptr<CAudioParamDataItem> item) {
    m_items.push_back(std::move(item));
    return uint32_t(m_items.size());
}

uint32_t CAudioParamData::findOrAdd(std::unique_ptr<CAudioParamDataItem> item) {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i] && m_items[i]->sameContent(*item)) return uint32_t(i + 1);
    return add(std::move(item));
}

uint32_t CAudioParamData::findOrAddString(const CString& text) {
    return findOrAdd(std::make_unique<CAudioParamDataItemString>(text));
}

uint32_t CAudioParamData::findOrAddRaw(std::span<const uint8_t> bytes) {
    return findOrAdd(std::make_unique<CAudioParamDataItemRaw>(bytes));
}
