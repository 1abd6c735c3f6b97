#pragma once
// How drags, wheel notches and resets become value changes.
//
// CShiftController: one "advance-shift" moves a range of elements of a
// binding by a shift amount.
//  - A discrete parameter moves exactly one step, up when the shift is above
//    0.01, else down, whatever the shift's size.
//  - Otherwise the normalised change is shift × step × (fine when Shift is
//    held); the step is the precision record's drag step or wheel step
//    (CGlobalSettings) times the controller's "sensitivity".
//  - The change lands on the edited group and on every other active group
//    ("active-audio-groups": blank-separated group numbers, or "all"; empty:
//    the edited group only), each element clamped to 0..1 on its own.
//  - While blocked it does nothing.
//
// CUIParamController (tag "ui:ui-param-controller"): a shift controller as an
// object of the definitions: "ui-param" (path of a ui:ui-param),
// "ui-param-count" (elements from the UI parameter's, default 1),
// "active-audio-groups", "sensitivity" (1.0), "is-vertical" ("true"). Events:
// "start-shift", "advance-shift" ("shift", "is-fine", "is-wheel"),
// "finish-shift" and "reset" (back to the defaults).

#include <vector>

#include "Core/Object.h"
#include "UI/Controls/GlobalSettings.h"
#include "UI/Controls/UIParam.h"

class CShiftController {
public:
    struct Shift {
        double amount = 0;  // drag: 100 logical pixels per 1.0; wheel: notches
        bool fine = false;
        bool wheel = false;
    };

    void setBinding(CParamBinding* binding) { m_binding = binding; }
    void setPrecision(const CControlPrecision& p) { m_precision = p; }
    const CControlPrecision& precision() const { return m_precision; }
    void setSensitivity(double s) { m_sensitivity = s > 0 ? s : 1.0; }
    // Parses "active-audio-groups".
    void setActiveGroups(const CString& list);
    void setElementCount(uint32_t n) { m_count = n ? n : 1; }
    void setBlocked(bool b) { m_blocked = b; }

    // The groups a change lands on: the edited group first.
    std::vector<uint32_t> activeGroups() const;
    // The normalised change one shift makes at the edited value.
    double changeOf(const Shift& s) const;
    CError advance(const Shift& s);
    // Every element of every active group back to its default.
    CError reset();
    // Undo bracket around a gesture (drags): the first change opens it.
    void startGesture() { m_inGesture = true; }
    CError finishGesture();

private:
    CParamBinding* m_binding = nullptr;
    CControlPrecision m_precision;
    double m_sensitivity = 1.0;
    bool m_allGroups = false;
    std::vector<uint32_t> m_groups;
    uint32_t m_count = 1;
    bool m_blocked = false;
    bool m_inGesture = false;
};

class CUIParamController : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CShiftController& controller() { return m_controller; }

private:
    CShiftController m_controller;
};
