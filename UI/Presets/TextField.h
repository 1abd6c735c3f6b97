#pragma once
// CTextField (tag "ui:text-field"): a one-line text entry. Typed text
// (event "key-press" with "char") is appended, "BackSpace" removes the last
// character, "Return"/"KP_Enter" notifies "text-field-commit" and "Escape"
// "text-field-cancel"; every change of the text notifies
// "text-field-changed". Characters listed in "reject-chars" and text
// beyond "max-length" (default 255) are ignored. The text is the view's
// "text" attribute; the field is in the state "editing" while it has the
// key focus.

#include "UI/Text/TextView.h"

class CTextField : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    const CString& value() const { return m_value; }
    // Replaces the text (filtered like typed characters).
    CError setValue(const CString& text);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CString m_value;
};
