#pragma once
// CSimpleSlider (tag "ui:simple-slider"): a straight slider bound to one
// parameter element ("bridge", "element", "group-selector",
// "active-audio-groups"). Horizontal unless "is-vertical" is "true".
//
// Dragging moves the value by the pointer's travel over the track's length
// (Shift: by the fine factor of the precision record); the wheel steps like
// a knob's; a double click puts the default back. Drawn from "image-set"
// ("is.csurface"): the track box "HSlider"/"VSlider" and the thumb
// "HSliderThumb"/"VSliderThumb" at the value. It reports its compact size
// ("compact-width"/"compact-height": the thumb's size across the track).

#include "UI/Controls/UIParamController.h"
#include "UI/View/View.h"

class CSimpleSlider : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    void contentSize(double scale, double* w, double* h) const override;

    double position() const { return m_binding.normalized(); }
    CParamBinding& binding() { return m_binding; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    bool vertical() const { return attrBool("is-vertical"); }
    double trackLength() const;
    CParamBinding m_binding;
    CShiftController m_controller;
    bool m_dragging = false;
    double m_last = 0;
};
