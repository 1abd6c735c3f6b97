// Captions around knobs.
#include "UI/Controls/KnobLabels.h"

#include <cmath>

#include "Core/Log.h"
#include "UI/Controls/GlobalSettings.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Resources/ResourceObjects.h"

void CKnobLabels::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("scale-values-change", [](CObject* self, CEventParams&) -> CError {
        static_cast<CKnobLabels*>(self)->requestRepaint();
        return self->notify("knob-label-values-change");
    });
}

CError CKnobLabels::initLinks() {
    KEL_TRY(CView::initLinks());
    const CString fontPath = hasAttr("font-name") ? attr("font-name").trimmed() : CString("font.micro-sm");
    auto* f = dynamic_cast<CFontObject*>(findObject(fontPath));
    m_font = f ? f->font() : nullptr;
    const CString knob = attr("knob").trimmed();
    m_knob = dynamic_cast<CKnob*>(findObject(knob));
    if (!m_knob) {
        kelLogf("Target object not found: %s (attr: %s)", knob.utf8().c_str(), "knob");
    } else if (CParamBridge* b = m_knob->binding().bridge()) {
        CObject::listenObject(b, "param-ready", this, "scale-values-change");
    }
    if (const CGlobalSettings* s = CGlobalSettings::find(*this); s && !s->settingBool("show-knob-labels"))
        KEL_TRY(setAttr("is-hidden", "true"));
    return {};
}

void CKnobLabels::placeOnSweep(double position, double radius, double* dx, double* dy) {
    // 0 at 225 degrees (lower left), 1 at -45 degrees (lower right), clockwise over the top.
    const double a = (225.0 - 270.0 * position) * M_PI / 180.0;
    *dx = radius * std::cos(a);
    *dy = -radius * std::sin(a);
}

CString CKnobLabels::labelAt(double position) const {
    if (!m_knob) return {};
    const CParamBridge* b = m_knob->binding().bridge();
    if (!b) return CString::number(m_knob->binding().plainValueAt(position), 1);
    if (!b->isReady()) return {};
    const CAudioParamInfo* info = b->info();
    double v = info->denormalize(0, position);
    if (b->isDiscrete()) v = std::round(v);
    return info->valueToText(0, v, 1);
}

void CKnobLabels::paint(const CPainter& p) const {
    // The colour is the captions': no background.
    if (!m_font || !m_knob) return;
    const CDrawColors colors = drawColors();
    if (!colors.slots[0]) return;
    const double s = p.scale();
    const CRectD& k = m_knob->area().total;
    const double cx = k.x + k.w * m_knob->attrReal("center-x", 0.5), cy = k.y + k.h * m_knob->attrReal("center-y", 0.45);
    const double radius = attrReal("label-radius", 38.0) * s;
    std::vector<double> positions;
    for (const CString& t : splitBlanks(hasAttr("label-values") ? attr("label-values") : CString("0 0.5 1"))) {
        double v = 0;
        if (t.toDouble(&v) && v >= 0 && v <= 1) positions.push_back(v);
    }
    for (double pos : positions) {
        const std::string text = labelAt(pos).utf8();
        if (text.empty()) continue;
        double dx = 0, dy = 0;
        placeOnSweep(pos, radius, &dx, &dy);
        const double w = m_font->textWidth(text, s);
        p.drawText(*m_font, std::round(cx + dx - w / 2), std::round(cy + dy + m_font->ascent * s / 2), text, s, colors);
    }
}
