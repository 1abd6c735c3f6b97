#pragma once
// CReadOut (tag "ui:readout"): a text view that shows the value of one
// parameter element ("bridge", "element", "group-selector") and edits it
// through the text view's edit box.
//
// The edit box opens on a double click ("is-editbox-on-dblclick", default
// true), on a single click with "is-editbox-on-singleclick" or
// "is-editbox-on-click", on "open-editbox", or with the focus that Tab
// brings in a "tab-group". It starts with the value's text, all selected;
// typed characters outside "accept-chars" (numbers: "0123456789.,-" unless
// the parameter has state names, which accept any) and beyond
// "max-paragraph-length" (7) are refused. Enter commits: the value the text
// means is set through the protocol (clamped into the range; "," counts as
// the decimal point); a text that means no value is refused: the value
// stays, the box stays open in the state "edit-error". Escape closes
// without change; leaving the box commits a text that means a value and
// otherwise closes without change. While the box is open the view is in
// the state "editing", draws the "Focused" box of "editbox-image-set"
// ("is.editbox") behind the text, and notifies "readout-editbox-shown" /
// "-hidden". "is-read-only" ("false" here) keeps the box closed.

#include "UI/Controls/UIParam.h"
#include "UI/Text/TextView.h"

class CReadOut : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    CParamBinding& binding() { return m_binding; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    CString editStartText() const override;
    const char* editBoxPlacementAttr() const override { return "editbox-readout-placement"; }
    CError applyEdit(const CString& text, bool* accepted) override;
    CError editBoxChanged(bool open) override;
    void editRules(CString* acceptChars, int64_t* maxLength, bool* acceptEnter) const override;
    bool canOpenEditBox() const override { return !attrBool("is-read-only"); }
    bool isEditable() const override { return false; }

private:
    CError showValue();

    CParamBinding m_binding;
};
