#pragma once
// CVirtualKey (tag "ui:virtual-key"): one key of an on-screen keyboard, a
// text view that types into the edit box the keyboard serves. The keyboard
// is a pop-up made from a template ("ui:virtual-keyboard", "-digital",
// "-freq"); the edit box that opens it writes its own path into the
// pop-up's "virtual-keyboard-target", and a key finds it on its nearest
// ancestor that has one.
//
// "key" names what the key does (its text when empty): "CAPS" toggles
// capitals (the keyboard's "is-caps-on"; the key is in the state "on" while
// they are), "Bkspace" erases, "Del" deletes, "Left"/"Right" move the caret,
// "Space" types a blank, "Enter" commits the box, "Cancel" closes it without
// change; anything else is typed as written (letters in capitals while CAPS
// is on). A key acts on "mouse-release" (or the event "press-key").

#include "UI/Text/TextView.h"

class CVirtualKey : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    // Acts as a click on the key does.
    CError press();

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    // The ancestor that carries "virtual-keyboard-target" (null: none).
    CObject* keyboard() const;
};
