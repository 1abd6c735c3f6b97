#pragma once
// CReadOut (tag "ui:readout"): a text view that shows the value of one
// parameter element ("bridge", "element", "group-selector") and edits it
// through an edit box.
//
// The edit box opens on a double click ("is-editbox-on-dblclick", default
// true), on a single click with "is-editbox-on-singleclick" or
// "is-editbox-on-click", or by openEditBox. It starts with the value's text;
// typed characters outside "accept-chars" (numbers: "0123456789.,-" unless
// the parameter has state names, which accept any) and beyond
// "max-paragraph-length" (7) are ignored. Keys (event "key-press"): "char"
// carries typed text; "key" names "Return"/"KP_Enter" (commit), "Escape"
// (close without change) and "BackSpace". A commit sets the value the text
// means (clamped into the range; "," counts as the decimal point); a text
// that means no value is refused: the value stays, the box stays open in
// the state "edit-error". While the box is open the view is in the state
// "editing", draws the "Focused" box of "editbox-image-set" ("is.editbox")
// behind the text, and notifies "readout-editbox-shown" / "-hidden".
// "is-read-only" ("false" here) keeps the box closed.

#include "UI/Controls/UIParam.h"
#include "UI/Text/TextView.h"

class CReadOut : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    CParamBinding& binding() { return m_binding; }
    bool isEditing() const { return m_editing; }
    const CString& editText() const { return m_editText; }

    CError openEditBox();
    // Replaces the box's text (as a paste would); characters are filtered
    // like typed ones.
    CError setEditText(const CString& text);
    // Sets the value the box's text means; false (value unchanged, box
    // open) when it means none.
    bool commitEditBox(CError* err = nullptr);
    CError closeEditBox();
    // Whether a typed character is accepted.
    bool accepts(char16_t c) const;

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError showValue();
    CError onKey(CEventParams& p);

    CParamBinding m_binding;
    bool m_editing = false;
    CString m_editText;
};
