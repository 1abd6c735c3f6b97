#pragma once
// CRuler (tag "ui:ruler"): a scale beside a meter or a slider. Its range is
// a ui:min-max ("min-max"); hairlines and labels run along its length
// (vertical unless "is-vertical" is "false"; low values at the bottom or
// the left).
//
// Stepping: "ruler-stepping" lists candidates "MINOR/MAJOR/LABEL" (value
// steps, blank separated, such as "0.5/1/3 1/3/6 3/6/12"); the ruler takes
// the first candidate whose labels stand at least two label heights
// ("label-size", default the font's line height) apart, else the last.
// Hairlines are "hairline-lengths" ("4 5 6 8": minor, major, labelled,
// zero) logical pixels long from the edge ("is-hairline-inward" draws them
// from the far edge); labels ("label-format", "%.0f"; "is-show-labels")
// use "font-name" in the view's "color". Whenever the range changes the
// ruler is drawn again ("update-ruler").

#include <vector>

#include "UI/View/View.h"

class CMinMax;
class CFont;

struct CRulerStep {
    double minor = 1, major = 3, label = 6;
};
// Parses "MINOR/MAJOR/LABEL ..." (bad candidates are skipped).
std::vector<CRulerStep> kelParseRulerStepping(const CString& text);
// The first candidate whose labels are at least minSpacing apart for a
// range spanning `span` values over `length` pixels (else the last).
CRulerStep kelChooseRulerStep(const std::vector<CRulerStep>& candidates, double span, double length, double minSpacing);

class CRuler : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    const CRulerStep& step() const { return m_step; }

private:
    const CFont* m_font = nullptr;
    CMinMax* m_range = nullptr;
    mutable CRulerStep m_step;
};
