#pragma once
// CKnob (tag "ui:knob"): a rotary control bound to one parameter element.
//
// Binding: "bridge", "element", "group-selector" (CParamBinding); changes go
// through a shift controller with the editor's precision record,
// "sensitivity" and "active-audio-groups" (several channel groups edited
// together). "knob-multichange": blank-separated paths of knobs that a
// wheel step with Ctrl held moves too.
//
// Mouse: a press of the left button (or the right one with Ctrl) starts a
// drag; moving up raises the value: 100 logical pixels make one drag shift
// (shift held: fine). With "radial-knob-mode" the knob follows the
// pointer's angle around its centre instead: a sweep of 270 degrees is the
// whole range. Releasing ends the drag (one undo entry per drag). A double
// click, or a press with Alt held, puts the value back to its default. A
// discrete parameter moves one step for each drag shift gathered.
// Wheel: "delta" notches (±1 each), fine with Shift, every multi-change knob
// too with Ctrl. A press gives the knob the window's key focus; then the
// arrow keys act as wheel notches (Up/Right raise, Down/Left lower; Page
// Up/Down ten notches).
//
// Drawing: an image set with a "BG" group is layered: "BG", "Base", "Color"
// (or "ColorHover" while hovered), "Hairlines", then the frame of
// "Indicator" and of "LED" that the value selects; any other set is a strip
// of frames in its unnamed group. Frame = round(value × (frames − 1)).
// Geometry attributes ("center-x", "center-y", "inner-radius",
// "outer-radius", fractions of the knob's area) place the pointer's pivot
// for radial dragging.

#include "UI/Controls/UIParamController.h"
#include "UI/View/View.h"

class CKnob : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    // The edited element's normalised value (0 before the bridge is ready).
    double position() const { return m_binding.normalized(); }
    // The frame of a group of n frames that the value selects.
    static int frameFor(double position, int frames);
    CParamBinding& binding() { return m_binding; }
    CShiftController& controller() { return m_controller; }
    bool isDragging() const { return m_dragging; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError press(CEventParams& p);
    CError move(CEventParams& p);
    CError release();
    CError wheel(CEventParams& p);
    CError key(CEventParams& p);
    double pointerAngle(double x, double y) const;
    double logicalScale() const;

    CParamBinding m_binding;
    CShiftController m_controller;
    bool m_dragging = false;
    bool m_fineAtPress = false;
    double m_lastX = 0, m_lastY = 0;
    double m_lastAngle = 0;
    double m_pending = 0;  // gathered shift of a discrete parameter
};
