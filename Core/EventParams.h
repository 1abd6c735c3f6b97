#pragma once
// CEventParams: the named string values handed to an event handler ("sender",
// "event-name", "listener", "listener-id", "listener-proc" and the event's own).

#include <utility>
#include <vector>

#include "Core/String.h"

class CEventParams {
public:
    CEventParams() = default;
    CEventParams(std::initializer_list<std::pair<CString, CString>> init) : m_items(init.begin(), init.end()) {}

    void set(const CString& name, const CString& value) {
        for (auto& [n, v] : m_items)
            if (n == name) {
                v = value;
                return;
            }
        m_items.emplace_back(name, value);
    }
    // Empty when absent.
    CString get(const CString& name) const {
        for (const auto& [n, v] : m_items)
            if (n == name) return v;
        return {};
    }
    bool has(const CString& name) const {
        for (const auto& [n, v] : m_items)
            if (n == name) return true;
        return false;
    }
    const auto& items() const { return m_items; }

private:
    std::vector<std::pair<CString, CString>, CKelStdAllocator<std::pair<CString, CString>>> m_items;
};
