// Scrolling graphs of meter sources.
#include "UI/Meters/LevelMeterGraph.h"

#include <algorithm>
#include <cmath>

#include "UI/Controls/MinMax.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Resources/DynamicColor.h"

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
    m_ring.clear();
    m_head = m_count = 0;
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
        m_ring.assign(size_t(std::ceil(period * m_fps)), -HUGE_VAL);
    }
    const CVizFrames::Lane* lane = l->lane();
    if (!lane) return false;
    const CString field = attr("level-field").empty() ? CString("level") : attr("level-field");
    const int lf = f.channelField(field);
    EMeterCombo mode = EMeterCombo::Max;
    kelParseMeterCombo(attr("combo-mode"), &mode);
    const std::vector<CVizFrames::Frame>& frames =
        lane->history.empty() ? std::vector<CVizFrames::Frame>{lane->last} : lane->history;
    std::vector<double> v;
    for (const CVizFrames::Frame& fr : frames) {
        v.clear();
        const size_t per = f.channelFields().size();
        for (uint32_t ch = 0; ch < fr.channels && lf >= 0; ++ch) {
            const size_t at = f.globalFields().size() + size_t(ch) * per + size_t(lf);
            if (at < fr.values.size()) v.push_back(fr.values[at]);
        }
        m_ring[m_head] = kelMeterDb(kelMeterCombine(mode, v.data(), v.size()));
        m_head = (m_head + 1) % m_ring.size();
        m_count = std::min(m_count + 1, m_ring.size());
    }
    f.clearHistory();
    return !frames.empty();
}

std::vector<double> CLevelMeterGraph::values() const {
    std::vector<double> out;
    for (size_t k = 0; k < m_count; ++k) out.push_back(m_ring[(m_head + m_ring.size() - m_count + k) % m_ring.size()]);
    return out;
}

void CLevelMeterGraph::paint(const CPainter& p) const {
    CView::paint(p);
    const CRectD in = area().inner;
    if (in.empty() || m_ring.empty()) return;
    const CMinMax* r = range();
    auto pos = [&](double db) {
        if (r) return r->position(db);
        return std::isfinite(db) ? std::clamp((db + 60.0) / 60.0, 0.0, 1.0) : 0.0;
    };
    auto colour = [&](const char* name) -> const CColor* {
        const CDynamicColorData* d = paletteColor(name);
        return d ? &d->tables.front() : nullptr;
    };
    const double opacity = effectiveOpacity();
    const bool inverted = attrBool("is-inverted");
    // Grid: four lines across.
    if (const CColor* g = colour("GraphLines"))
        for (int k = 1; k < 4; ++k)
            p.fillRect({in.x, std::round(in.y + in.h * k / 4.0), in.w, 1}, g->table[128], opacity * 0.5 * g->value);
    const CDrawColors colors = drawColors();
    const CColor* fill = colors.slots[0];
    const CColor* edge = colour("Peak");
    const std::vector<double> v = values();
    const double shift = std::clamp(attrReal("graph-period-shift", 0.07), 0.0, 0.9);
    const double perValue = in.w * (1.0 - shift) / double(m_ring.size());
    const double brush = std::max(1.0, std::round(attrReal("brush-size", 1.5) * p.scale()));
    const double right = in.x + in.w * (1.0 - shift);
    for (size_t k = 0; k < v.size(); ++k) {
        const double x1 = right - double(v.size() - 1 - k) * perValue;
        const double x0 = x1 - perValue;
        if (x1 < in.x) continue;
        const double h = pos(v[k]) * in.h;
        if (h <= 0) continue;
        const double y = inverted ? in.y : in.y + in.h - h;
        const CRectD col{std::floor(std::max(x0, in.x)), std::round(y), std::max(1.0, std::ceil(x1) - std::floor(std::max(x0, in.x))),
                         std::max(1.0, std::round(h))};
        if (fill) p.fillRect(col, fill->table[128], opacity * 0.6 * fill->value);
        if (edge)
            p.fillRect({col.x, inverted ? col.y + col.h - brush : col.y, col.w, brush}, edge->table[128],
                       opacity * edge->value);
    }
}
