// Scrolling graphs of meter sources and the level lines drawn over them.
#include "UI/Meters/LevelMeterGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "UI/Controls/MinMax.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceObjects.h"

namespace {

const CColor* paletteEntry(const CView& v, const char* name) {
    const CDynamicColorData* d = v.paletteColor(name);
    return d ? &d->tables.front() : nullptr;
}

}  // namespace

void CLevelMeterGraph::registerEvents(CClassRecord& record) {
    CLevelMeterBase::registerEvents(record);
    // Frames arrive with the listeners' data; the base's handler is replaced.
    record.addEvent("listener-values-changed", [](CObject* self, CEventParams&) -> CError {
        auto* g = static_cast<CLevelMeterGraph*>(self);
        if (g->takeFrames()) g->requestRepaint();
        return {};
    });
}

CError CLevelMeterGraph::init() {
    KEL_TRY(CLevelMeterBase::init());
    // Keep every frame between two polls (a source at 150 fps polled at 30
    // fps delivers about five).
    for (CLevelMeterListener* l : listeners())
        if (!l->hasAttr("history-frames")) KEL_TRY(l->setAttr("history-frames", "64", false));
    return {};
}

CError CLevelMeterGraph::initLinks() {
    KEL_TRY(CLevelMeterBase::initLinks());
    m_waveform = attrBool("is-waveform");
    m_stride = m_waveform ? 4 : 1;
    m_ring.clear();
    m_capacity = m_head = m_count = 0;
    m_fps = 0;
    return {};
}

bool CLevelMeterGraph::takeFrames() {
    if (listeners().empty()) return false;
    CLevelMeterListener* l = listeners().front();
    CVizFrames& f = l->frames();
    if (m_ring.empty()) {
        m_fps = f.fps() > 0 ? f.fps() : 30.0;
        const double period = std::clamp(attrReal("graph-period", 4.0), 0.1, 600.0);
        m_capacity = size_t(std::ceil(period * m_fps));
        m_ring.assign(m_capacity * m_stride, m_waveform ? 0.0 : -HUGE_VAL);
    }
    const CVizFrames::Lane* lane = l->lane();
    if (!lane) return false;
    // The fields read: the level (combined over the channels), or the two
    // ports' extremes.
    int fields[4] = {-1, -1, -1, -1};
    if (m_waveform) {
        const char* const names[4] = {"min0", "max0", "min1", "max1"};
        for (int i = 0; i < 4; ++i) fields[i] = f.channelField(names[i]);
    } else {
        fields[0] = f.channelField(attr("level-field").empty() ? CString("level") : attr("level-field"));
    }
    EMeterCombo mode = EMeterCombo::Max;
    kelParseMeterCombo(attr("combo-mode"), &mode);
    const std::vector<CVizFrames::Frame>& frames =
        lane->history.empty() ? std::vector<CVizFrames::Frame>{lane->last} : lane->history;
    const size_t per = f.channelFields().size();
    auto at = [&](const CVizFrames::Frame& fr, uint32_t ch, int field) {
        const size_t i = f.globalFields().size() + size_t(ch) * per + size_t(field);
        return field >= 0 && i < fr.values.size() ? fr.values[i] : NAN;
    };
    std::vector<double> v;
    for (const CVizFrames::Frame& fr : frames) {
        double* entry = m_ring.data() + m_head * m_stride;
        if (m_waveform) {
            Span s{0, 0, 0, 0};
            for (uint32_t ch = 0; ch < fr.channels; ++ch)
                for (int i = 0; i < 4; ++i) {
                    const double x = at(fr, ch, fields[i]);
                    double& e = s[size_t(i)];
                    if (std::isfinite(x)) e = i % 2 == 0 ? std::min(e, x) : std::max(e, x);
                }
            std::copy(s.begin(), s.end(), entry);
        } else {
            v.clear();
            for (uint32_t ch = 0; ch < fr.channels && fields[0] >= 0; ++ch) v.push_back(at(fr, ch, fields[0]));
            entry[0] = kelMeterDb(kelMeterCombine(mode, v.data(), v.size()));
        }
        m_head = (m_head + 1) % m_capacity;
        m_count = std::min(m_count + 1, m_capacity);
    }
    f.clearHistory();
    return !frames.empty();
}

std::vector<double> CLevelMeterGraph::values() const {
    std::vector<double> out;
    if (m_waveform) return out;
    for (size_t k = 0; k < m_count; ++k) out.push_back(m_ring[(m_head + m_capacity - m_count + k) % m_capacity]);
    return out;
}

std::vector<CLevelMeterGraph::Span> CLevelMeterGraph::spans() const {
    std::vector<Span> out;
    if (!m_waveform) return out;
    for (size_t k = 0; k < m_count; ++k) {
        const double* e = m_ring.data() + (m_head + m_capacity - m_count + k) % m_capacity * 4;
        out.push_back({e[0], e[1], e[2], e[3]});
    }
    return out;
}

void CLevelMeterGraph::column(size_t k, size_t n, double* x0, double* x1) const {
    const CRectD in = area().inner;
    const double shift = std::clamp(attrReal("graph-period-shift", 0.07), 0.0, 0.9);
    const double perValue = in.w * (1.0 - shift) / double(m_capacity);
    const double right = in.x + in.w * (1.0 - shift);
    *x1 = right - double(n - 1 - k) * perValue;
    *x0 = std::max(*x1 - perValue, in.x);
}

void CLevelMeterGraph::paint(const CPainter& p) const {
    // No background: the view's colour is the graph's own; what lies beneath shows through.
    if (area().inner.empty()) return;
    paintTimeline(p);
    if (m_ring.empty()) return;
    m_waveform ? paintWaveform(p) : paintLevels(p);
}

void CLevelMeterGraph::paintTimeline(const CPainter& p) const {
    const CColor* g = paletteEntry(*this, "GraphLines");
    if (!g) return;
    const CRectD in = area().inner;
    const double shift = std::clamp(attrReal("graph-period-shift", 0.07), 0.0, 0.9);
    const double right = in.x + in.w * (1.0 - shift);
    const double perSecond = in.w * (1.0 - shift) / std::clamp(attrReal("graph-period", 4.0), 0.1, 600.0);
    const double t = std::max(1.0, std::round(p.scale()));
    for (const CString& item : splitBlanks(attr("ruler-timeline-values"))) {
        double seconds = 0;
        if (!item.toDouble(&seconds) || seconds < 0) continue;
        const double x = std::round(right - seconds * perSecond - t / 2);
        if (x > in.x) p.fillRect({x, in.y, t, in.h}, g->table[128], effectiveOpacity() * 0.35 * g->value);
    }
}

void CLevelMeterGraph::paintLevels(const CPainter& p) const {
    const CRectD in = area().inner;
    const CMinMax* r = range();
    auto pos = [&](double db) {
        if (r) return r->position(db);
        return std::isfinite(db) ? std::clamp((db + 60.0) / 60.0, 0.0, 1.0) : 0.0;
    };
    const double opacity = effectiveOpacity();
    const bool inverted = attrBool("is-inverted");
    // Grid: four lines across.
    if (const CColor* g = paletteEntry(*this, "GraphLines"))
        for (int k = 1; k < 4; ++k)
            p.fillRect({in.x, std::round(in.y + in.h * k / 4.0), in.w, 1}, g->table[128], opacity * 0.5 * g->value);
    const CDrawColors colors = drawColors();
    const CColor* fill = colors.slots[0];
    const CColor* edge = paletteEntry(*this, "Peak");
    const std::vector<double> v = values();
    const double brush = std::max(1.0, std::round(attrReal("brush-size", 1.5) * p.scale()));
    for (size_t k = 0; k < v.size(); ++k) {
        double x0 = 0, x1 = 0;
        column(k, v.size(), &x0, &x1);
        if (x1 < in.x) continue;
        const double h = pos(v[k]) * in.h;
        if (h <= 0) continue;
        const double y = inverted ? in.y : in.y + in.h - h;
        const CRectD col{std::floor(x0), std::round(y), std::max(1.0, std::ceil(x1) - std::floor(x0)),
                         std::max(1.0, std::round(h))};
        if (fill) p.fillRect(col, fill->table[128], opacity * 0.6 * fill->value);
        if (edge)
            p.fillRect({col.x, inverted ? col.y + col.h - brush : col.y, col.w, brush}, edge->table[128],
                       opacity * edge->value);
    }
}

void CLevelMeterGraph::paintWaveform(const CPainter& p) const {
    const CRectD in = area().inner;
    const double opacity = effectiveOpacity();
    const double mid = in.y + in.h / 2;
    auto y = [&](double sample) { return mid - std::clamp(sample, -1.0, 1.0) * in.h / 2; };
    if (const CColor* g = paletteEntry(*this, "GraphLines"))
        p.fillRect({in.x, std::round(mid), in.w, 1}, g->table[128], opacity * 0.5 * g->value);
    const CColor* outColour = drawColors().slots[0];
    const CColor* inColour = paletteEntry(*this, "Peak");
    const std::vector<Span> s = spans();
    for (size_t k = 0; k < s.size(); ++k) {
        double x0 = 0, x1 = 0;
        column(k, s.size(), &x0, &x1);
        if (x1 < in.x) continue;
        const double left = std::floor(x0), w = std::max(1.0, std::ceil(x1) - std::floor(x0));
        // Each port's span: from its maximum down to its minimum, at least one pixel.
        auto band = [&](double lo, double hi, const CColor* c, double alpha) {
            if (!c) return;
            const double top = std::round(y(hi)), bottom = std::round(y(lo));
            p.fillRect({left, top, w, std::max(1.0, bottom - top)}, c->table[128], opacity * alpha * c->value);
        };
        // The output beneath, the input light over it, so that both show
        // whichever is larger.
        band(s[k][2], s[k][3], outColour, 0.75);
        band(s[k][0], s[k][1], inColour, 0.35);
    }
}

// --- Level lines ------------------------------------------------------------------------------

void CGraphLogLines::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("range-update", [](CObject* self, CEventParams&) -> CError {
        static_cast<CGraphLogLines*>(self)->requestRepaint();
        return {};
    });
}

CError CGraphLogLines::initLinks() {
    KEL_TRY(CView::initLinks());
    m_font = nullptr;
    if (!attr("font-name").trimmed().empty()) {
        CFontObject* f = nullptr;
        KEL_TRY(findObjectByAttr("font-name", &f));
        m_font = f->font();
    }
    m_range = nullptr;
    if (!attr("min-max").trimmed().empty()) {
        CMinMax* r = nullptr;
        KEL_TRY(findObjectByAttr("min-max", &r));
        CObject::listenObject(r, "min-max-update", this, "range-update");
        m_range = r;
    }
    return {};
}

std::vector<double> CGraphLogLines::linePositions(double db) const {
    if (attrBool("is-waveform")) {
        const double a = std::pow(10.0, db / 20.0);
        if (!(a > 0 && a <= 1)) return {};
        return {0.5 + a / 2, 0.5 - a / 2};
    }
    const double t = m_range ? m_range->position(db) : std::clamp((db + 60.0) / 60.0, 0.0, 1.0);
    return {attrBool("is-inverted") ? 1.0 - t : t};
}

void CGraphLogLines::paint(const CPainter& p) const {
    // The colour is the labels': no background.
    const CRectD in = area().inner;
    if (in.empty()) return;
    const CColor* line = paletteEntry(*this, "GraphLines");
    // Labels in the view's colour, flat as a text view draws its text.
    const CDrawColors viewColors = drawColors();
    const CColor* view = viewColors.slots[0];
    const CColor labelColour = view ? CColor::solid(view->table[128], view->value) : CColor();
    CDrawColors colors;
    colors.slots[0] = view ? &labelColour : nullptr;
    colors.opacity = viewColors.opacity;
    const double s = p.scale(), opacity = effectiveOpacity();
    const double t = std::max(1.0, std::round(s));
    const std::string format = hasAttr("label-format") ? attr("label-format").utf8() : std::string("%.0f");
    const bool formatOk = std::count(format.begin(), format.end(), '%') == 1 &&
                          format.find_first_of("fFgGeE", format.find('%')) != std::string::npos;
    for (const CString& item : splitBlanks(attr("line-values"))) {
        double db = 0;
        if (!item.toDouble(&db)) continue;
        for (double h : linePositions(db)) {
            // Lines on the edges would only thicken the frame.
            if (h <= 0.001 || h >= 0.999) continue;
            const double yy = std::round(in.y + in.h * (1.0 - h) - t / 2);
            if (line) p.fillRect({in.x, yy, in.w, t}, line->table[128], opacity * 0.5 * line->value);
            if (m_font && formatOk && colors.slots[0]) {
                char buf[48];
                std::snprintf(buf, sizeof buf, format.c_str(), db);
                // The label sits just above its line, or below it near the top.
                const double above = yy - m_font->descent * s - t;
                const double baseline = above - m_font->ascent * s < in.y ? yy + t + m_font->ascent * s : above;
                p.drawText(*m_font, std::round(in.x + 2 * s), std::round(baseline), buf, s, colors);
            }
        }
    }
}
