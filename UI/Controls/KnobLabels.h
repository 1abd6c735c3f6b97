#pragma once
// CKnobLabels (tag "ui:knob-labels"): value captions around a knob. "knob"
// names the knob (its bridge and element give the texts); "label-values"
// lists the normalised positions to caption (blank separated; default
// "0 0.5 1"), placed on a circle of "label-radius" (38) logical pixels
// around the knob's centre at the knob's sweep (270 degrees from lower
// left, clockwise). Texts are the parameter's short texts at those
// positions, in "font-name" ("font.micro-sm") and the view's colour
// ("KnobLabels"). Hidden while the global "show-knob-labels" is false.

#include <vector>

#include "UI/View/View.h"

class CFont;
class CKnob;

class CKnobLabels : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    // The caption at a normalised position (empty before the bridge is ready).
    CString labelAt(double position) const;
    // Where a caption's centre sits relative to the knob's centre (logical
    // pixels, y down).
    static void placeOnSweep(double position, double radius, double* dx, double* dy);

private:
    const CFont* m_font = nullptr;
    CKnob* m_knob = nullptr;
};
