// One-line text entry.
#include "UI/Presets/TextField.h"

void CTextField::registerEvents(CClassRecord& record) { CTextView::registerEvents(record); }

CError CTextField::setValue(const CString& text) {
    const CString reject = attr("reject-chars");
    const int64_t maxLen = attrInt("max-length", 255);
    CString filtered;
    for (size_t i = 0; i < text.length(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20) continue;
        bool bad = false;
        for (size_t k = 0; k < reject.length() && !bad; ++k) bad = reject[k] == c;
        if (!bad && (maxLen <= 0 || int64_t(filtered.length()) < maxLen)) filtered += c;
    }
    if (filtered == m_value) return {};
    m_value = filtered;
    KEL_TRY(setAttr("text", m_value, false));
    requestLayout();
    requestRepaint();
    CEventParams p{{"text", m_value}};
    return notify("text-field-changed", p);
}

CError CTextField::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "focus") return setState("editing");
    if (name == "blur" || name == "focus-lost") return unsetState("editing");
    if (name != "key-press") return {};
    const CString key = p.get("key");
    CEventParams out{{"text", m_value}};
    if (key == "Return" || key == "KP_Enter") return notify("text-field-commit", out);
    if (key == "Escape") return notify("text-field-cancel", out);
    if (key == "BackSpace") return m_value.empty() ? CError() : setValue(m_value.substr(0, m_value.length() - 1));
    const CString typed = p.get("char");
    return typed.empty() ? CError() : setValue(m_value + typed);
}
