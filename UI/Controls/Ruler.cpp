// Rulers: stepping and drawing.
#include "UI/Controls/Ruler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "UI/Controls/MinMax.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceObjects.h"

std::vector<CRulerStep> kelParseRulerStepping(const CString& text) {
    std::vector<CRulerStep> out;
    for (const CString& c : splitBlanks(text)) {
        const std::vector<CString> parts = splitString(c, u'/');
        if (parts.size() != 3) continue;
        CRulerStep s;
        if (!parts[0].toDouble(&s.minor) || !parts[1].toDouble(&s.major) || !parts[2].toDouble(&s.label)) continue;
        if (!(s.minor > 0 && s.major >= s.minor && s.label >= s.minor)) continue;
        out.push_back(s);
    }
    if (out.empty()) out.push_back({});
    return out;
}

CRulerStep kelChooseRulerStep(const std::vector<CRulerStep>& candidates, double span, double length, double minSpacing) {
    if (candidates.empty()) return {};
    if (!(span > 0) || !(length > 0)) return candidates.back();
    for (const CRulerStep& s : candidates)
        if (s.label / span * length >= minSpacing) return s;
    return candidates.back();
}

void CRuler::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("update-ruler", [](CObject* self, CEventParams&) -> CError {
        static_cast<CRuler*>(self)->requestRepaint();
        return {};
    });
}

CError CRuler::initLinks() {
    KEL_TRY(CView::initLinks());
    m_font = nullptr;
    if (!attr("font-name").trimmed().empty()) {
        CFontObject* f = nullptr;
        KEL_TRY(findObjectByAttr("font-name", &f));
        m_font = f->font();
    }
    m_range = nullptr;
    if (!attr("min-max").trimmed().empty()) {
        KEL_TRY(findObjectByAttr("min-max", &m_range));
        CObject::listenObject(m_range, "min-max-update", this, "update-ruler");
    }
    return {};
}

void CRuler::paint(const CPainter& p) const {
    // The colour is the hairlines' and the labels': no background.
    if (!m_range) return;
    const CRectD in = area().inner;
    const bool vertical = attr("is-vertical").empty() || attrBool("is-vertical");
    const double length = vertical ? in.h : in.w;
    const double s = p.scale();
    const double labelSize = (hasAttr("label-size") ? attrReal("label-size") : (m_font ? m_font->lineHeight : 8.0)) * s;
    const double lo = std::min(m_range->min(), m_range->max()), hi = std::max(m_range->min(), m_range->max());
    m_step = kelChooseRulerStep(kelParseRulerStepping(hasAttr("ruler-stepping") ? attr("ruler-stepping")
                                                                               : CString("0.5/1/3 1/3/6 3/6/12")),
                                hi - lo, length, 2 * labelSize);
    double lengths[4] = {4, 5, 6, 8};
    const std::vector<CString> l = splitBlanks(attr("hairline-lengths"));
    for (size_t i = 0; i < l.size() && i < 4; ++i) l[i].toDouble(&lengths[i]);
    const CDrawColors colors = drawColors();
    const CColor* c = colors.slots[0];
    if (!c) return;
    const bool inward = attrBool("is-hairline-inward");
    const bool hairlines = !hasAttr("is-show-hairlines") || attrBool("is-show-hairlines");
    const bool labels = m_font && (!hasAttr("is-show-labels") || attrBool("is-show-labels"));
    const std::string format = hasAttr("label-format") ? attr("label-format").utf8() : std::string("%.0f");
    const bool formatOk = std::count(format.begin(), format.end(), '%') == 1 &&
                          format.find_first_of("fFgGeE", format.find('%')) != std::string::npos;
    const double across = vertical ? in.w : in.h;
    const double t = std::max(1.0, std::round(s));
    auto near = [](double v, double step) { return std::abs(v / step - std::round(v / step)) < 1e-6; };
    const double first = std::ceil(lo / m_step.minor - 1e-9) * m_step.minor;
    for (int k = 0; k < 100000; ++k) {
        const double v = first + k * m_step.minor;
        if (v > hi + 1e-9) break;
        const double at = m_range->position(v) * length;
        const int kind = std::abs(v) < 1e-9 ? 3 : near(v, m_step.label) ? 2 : near(v, m_step.major) ? 1 : 0;
        const double len = std::min(across, lengths[kind] * s);
        const double along = vertical ? std::round(in.y + length - at - t / 2) : std::round(in.x + at - t / 2);
        if (hairlines) {
            const double from = inward ? (vertical ? in.x + in.w - len : in.y + in.h - len) : (vertical ? in.x : in.y);
            p.fillRect(vertical ? CRectD{from, along, len, t} : CRectD{along, from, t, len}, c->table[128],
                       colors.opacity * c->value);
        }
        if (labels && kind >= 2 && formatOk) {
            char buf[48];
            std::snprintf(buf, sizeof buf, format.c_str(), v);
            const double w = m_font->textWidth(buf, s);
            double x = 0, baseline = 0;
            if (vertical) {
                x = inward ? in.x : in.x + in.w - w;
                baseline = std::round(along + m_font->ascent * s / 2);
            } else {
                x = std::round(along - w / 2);
                baseline = std::round(inward ? in.y + m_font->ascent * s : in.y + in.h - m_font->descent * s);
            }
            p.drawText(*m_font, std::round(x), baseline, buf, s, colors);
        }
    }
}
