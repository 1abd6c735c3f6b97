#pragma once
// Push buttons.
//
// CButtonBase (tag "ui:button-base"): a text view that is "pushed" while the
// left button is held on it and clicks when it is released over it (a
// release after the pointer left, or a cancelled press, does nothing). A
// click notifies "click" and, when "run-event" is given, runs that event on
// "run-event-target" (default: the button) with "window-tag" and "opener"
// (the button's full name) as parameters, which is what the window opener
// expects. Blocked or disabled buttons do not click.
//
// CButtonOk (tag "ui:button-ok"): a button that closes the pop-up window it
// is in (through "ui.window-shared-data.window-closer") after its click.

#include "UI/Text/TextView.h"

class CButtonBase : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    // Clicks the button as a release over it would.
    CError click();
    bool isPushed() const { return m_pushed; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    virtual CError clicked() { return {}; }

private:
    bool m_pushed = false;
};

class CButtonOk : public CButtonBase {
public:
    static void registerEvents(CClassRecord& record) { CButtonBase::registerEvents(record); }

protected:
    CError clicked() override;
};
