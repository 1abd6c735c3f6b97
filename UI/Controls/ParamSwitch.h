#pragma once
// CParamSwitch (tag "ui:param-switch"): a button, a selector or one member
// of a control array, bound to a stepped parameter element ("bridge",
// "element", "group-selector").
//
// With "switch-value" it is one choice of an array of switches: a click
// sets that value, and the switch is in the state "on" while the value
// rounds to it. Without it a click moves to the next value (the right
// button, or Shift, to the previous), wrapping at the ends unless
// "is-cycling" is "false"; a two-state parameter so toggles, "on" while not
// at its minimum. The wheel moves one step per notch. With
// "is-show-state-name" the switch shows the value's text (a selector), in
// "text-format" "short" or the normal form; without "font-name" it shows
// no text. States and their looks come
// from the view's own ui:view-state children ("on", "hover", ...).
// A parameter tied to a registry of the audio side (its "param-registry",
// or the switch's "program-registry") carries that registry's program along
// with its value: choosing the output metering type brings its meter
// settings. The registry is listened to from the first choice on.

#include "UI/Controls/UIParam.h"
#include "UI/Text/TextView.h"

class CParamSwitch : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    CParamBinding& binding() { return m_binding; }
    const CParamBinding& binding() const { return m_binding; }
    bool isOn() const;
    // Moves the value `steps` steps (wrapping when cycling).
    CError step(int steps);
    // Sets a value (clamped into the range, rounded to a step).
    CError select(double value);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError refresh();
    double currentValue() const;
    CParamBinding m_binding;
    uint32_t m_registry = 0;  // handle of the tied registry (0: not listened yet)
};
