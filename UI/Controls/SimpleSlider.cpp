// Straight sliders.
#include "UI/Controls/SimpleSlider.h"

#include <algorithm>
#include <cmath>

#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"

void CSimpleSlider::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        static_cast<CSimpleSlider*>(self)->requestRepaint();
        return {};
    });
}

CError CSimpleSlider::initLinks() {
    KEL_TRY(CView::initLinks());
    KEL_TRY(m_binding.bind(*this, "binding-change"));
    m_controller.setBinding(&m_binding);
    m_controller.setPrecision(CGlobalSettings::precisionFor(*this));
    m_controller.setActiveGroups(attr("active-audio-groups"));
    return {};
}

double CSimpleSlider::trackLength() const {
    const CRectD& r = area().inner;
    return std::max(1.0, vertical() ? r.h : r.w);
}

CError CSimpleSlider::onViewEvent(const CString& name, CEventParams& p) {
    const bool shift = p.get("is-shift") == "true";
    if (name == "mouse-press") {
        if (isBlocked() || !m_binding.isReady()) return {};
        if (p.get("is-double-click") == "true") return m_controller.reset();
        p.get(vertical() ? "y" : "x").toDouble(&m_last);
        m_dragging = true;
        m_controller.startGesture();
        return {};
    }
    if (name == "mouse-move" && m_dragging) {
        double at = m_last;
        p.get(vertical() ? "y" : "x").toDouble(&at);
        const double travel = (vertical() ? m_last - at : at - m_last) / trackLength();
        m_last = at;
        // One drag shift is dragStep of the range: express the travel in shifts.
        CShiftController::Shift s;
        s.amount = travel / m_controller.precision().dragStep;
        s.fine = shift;
        return m_controller.advance(s);
    }
    if ((name == "mouse-release" || name == "mouse-cancel") && m_dragging) {
        m_dragging = false;
        return m_controller.finishGesture();
    }
    if (name == "mouse-wheel") {
        double d = 0;
        if (isBlocked() || !p.get("delta").toDouble(&d) || d == 0) return {};
        CShiftController::Shift s;
        s.amount = d > 0 ? 1.0 : -1.0;
        s.fine = shift;
        s.wheel = true;
        return m_controller.advance(s);
    }
    return {};
}

void CSimpleSlider::contentSize(double scale, double* w, double* h) const {
    CView::contentSize(scale, w, h);
    const CImageSet* set = imageSet();
    const CImageSet::Group* g = set ? set->findGroup(vertical() ? "VSliderThumb" : "HSliderThumb") : nullptr;
    const CImage* im = g ? set->image(size_t(g->first)) : nullptr;
    if (!im || !im->layerCount()) return;
    const CImageLayerData& d = im->layer(0).data();
    (vertical() ? *w : *h) = std::max(vertical() ? *w : *h, (vertical() ? d.width : d.height) * scale * d.invScale);
}

void CSimpleSlider::paint(const CPainter& p) const {
    const CImageSet* set = imageSet();
    if (!set) return CView::paint(p);
    const CDrawColors colors = drawColors();
    const CRectD& r = area().draw;
    const bool v = vertical();
    const CImageSet::Group* track = set->findGroup(v ? "VSlider" : "HSlider");
    const CImageSet::Group* thumbG = set->findGroup(v ? "VSliderThumb" : "HSliderThumb");
    const CImage* thumb = thumbG ? set->image(size_t(thumbG->first)) : nullptr;
    double tw = 0, th = 0;
    if (thumb && thumb->layerCount()) {
        const CImageLayerData& d = thumb->layer(0).data();
        tw = d.width * p.scale() * d.invScale, th = d.height * p.scale() * d.invScale;
    }
    // The track runs between the thumb's half sizes at both ends.
    const double pad = v ? th / 2 : tw / 2;
    const double thick = std::max(2.0, std::round(4 * p.scale()));
    const CRectD tr = v ? CRectD{std::round(r.x + (r.w - thick) / 2), r.y + pad, thick, std::max(0.0, r.h - 2 * pad)}
                        : CRectD{r.x + pad, std::round(r.y + (r.h - thick) / 2), std::max(0.0, r.w - 2 * pad), thick};
    if (track && track->last - track->first + 1 == 8) p.drawBox(*set, track->first, tr, colors);
    if (!thumb || !thumb->layerCount()) return;
    const double pos = std::clamp(position(), 0.0, 1.0);
    const CImageLayerData& d = thumb->layer(0).data();
    const double s = p.scale() * d.invScale;
    const double cx = v ? r.x + r.w / 2 : tr.x + pos * tr.w;
    const double cy = v ? tr.y + (1 - pos) * tr.h : r.y + r.h / 2;
    p.drawImage(*set, *thumb, std::round(cx - tw / 2 - d.originX * s), std::round(cy - th / 2 - d.originY * s), colors);
}
