#pragma once
// CAudioParamData: the numbered list of data items behind a text or raw
// parameter. Item numbers start at 1; 0 means "no item". A storage component
// of such a parameter holds an item number.
//
// Items are written in stored parameters as: u32 item number, u32 item type,
// then the payload (type 1, string: a stream string; type 2, raw: u32 byte
// count and the bytes).

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

KELSTR(CAudioParamDataItemRaw_load_TooLong, "Raw data item of %1 bytes is too long.");

enum class EAudioParamItemType : uint32_t { String = 1, Raw = 2 };

class CAudioParamDataItem : public CKelAllocated {
public:
    virtual ~CAudioParamDataItem() = default;
    virtual EAudioParamItemType type() const = 0;
    virtual CError savePayload(COutputStream& out) const = 0;
    virtual CError loadPayload(CInputStream& in) = 0;
    virtual std::unique_ptr<CAudioParamDataItem> clone() const = 0;
    virtual bool sameContent(const CAudioParamDataItem& other) const = 0;

    // A new empty item of a type; nullptr for an unknown type.
    static std::unique_ptr<CAudioParamDataItem> create(uint32_t type);
};

class CAudioParamDataItemString : public CAudioParamDataItem {
public:
    CAudioParamDataItemString() = default;
    explicit CAudioParamDataItemString(const CString& text) : m_text(text) {}
    EAudioParamItemType type() const override { return EAudioParamItemType::String; }
    CError savePayload(COutputStream& out) const override { return out.writeString(m_text); }
    CError loadPayload(CInputStream& in) override { return in.readString(&m_text); }
    std::unique_ptr<CAudioParamDataItem> clone() const override;
    bool sameContent(const CAudioParamDataItem& other) const override;

    const CString& text() const { return m_text; }

private:
    CString m_text;
};

class CAudioParamDataItemRaw : public CAudioParamDataItem {
public:
    // Largest raw item accepted when loading.
    static constexpr uint32_t kMaxBytes = 1u << 24;

    CAudioParamDataItemRaw() = default;
    explicit CAudioParamDataItemRaw(std::span<const uint8_t> bytes) : m_bytes(bytes.begin(), bytes.end()) {}
    EAudioParamItemType type() const override { return EAudioParamItemType::Raw; }
    CError savePayload(COutputStream& out) const override;
    CError loadPayload(CInputStream& in) override;
    std::unique_ptr<CAudioParamDataItem> clone() const override;
    bool sameContent(const CAudioParamDataItem& other) const override;

    std::span<const uint8_t> bytes() const { return {m_bytes.data(), m_bytes.size()}; }

private:
    std::vector<uint8_t> m_bytes;
};

class CAudioParamData {
public:
    CAudioParamData() = default;
    CAudioParamData(const CAudioParamData& other) { *this = other; }
    CAudioParamData& operator=(const CAudioParamData& other);
    CAudioParamData(CAudioParamData&&) noexcept = default;
    CAudioParamData& operator=(CAudioParamData&&) noexcept = default;

    uint32_t count() const { return uint32_t(m_items.size()); }
    // Item of a number; nullptr for 0 or a number beyond the list.
    const CAudioParamDataItem* item(uint32_t number) const {
        return number >= 1 && number <= m_items.size() ? m_items[number - 1].get() : nullptr;
    }
    // Appends an item and returns its number.
    uint32_t add(std::unique_ptr<CAudioParamDataItem> item);
    // Number of an item with that content, appended when there is none.
    uint32_t findOrAddString(const CString& text);
    uint32_t findOrAddRaw(std::span<const uint8_t> bytes);
    void clear() { m_items.clear(); }

private:
    uint32_t findOrAdd(std::unique_ptr<CAudioParamDataItem> item);
    std::vector<std::unique_ptr<CAudioParamDataItem>> m_items;
};
