#pragma once
// CRoutingSelector (tag "ui:routing-selector"): one element of a routing
// parameter ("bridge", "element"), shown by what its value names and stepped
// by clicks (the right button or Shift: back), the wheel and the arrow keys,
// wrapping at the ends.
//
// - "names-bridge": a text parameter whose elements name the values
//   (the input channel names for the input routing, the group names for the
//   grouping). Value v names element v - 1 with "is-one-based" (channel
//   numbers, 0 meaning none), else element v.
// - "number-format": the text of a value without a name ("Ch %1": %1 the
//   number as counted by the user, from 1); "off-text" the text of 0 when
//   "is-one-based" ("Off").
// - "max-value": the largest value offered (default the parameter's own;
//   the channel counts of the plug-in are smaller than the range).
//
// A channel selector ("is-one-based") is "on" while a channel is assigned.
// The selector follows changes of either parameter.

#include "UI/Controls/ParamSwitch.h"

class CParamBridge;

class CRoutingSelector : public CParamSwitch {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    // The text of a value.
    CString valueText(int value) const;
    int value() const;
    // Moves `steps` places within 0..max (wrapping) and sets the value.
    CError stepBy(int steps);
    int maxValue() const;

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError showValue();
    CParamBridge* m_names = nullptr;
};
