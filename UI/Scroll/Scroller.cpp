// Scroll bars and the pan corner of scrollable views.
#include "UI/Scroll/Scroller.h"

#include <algorithm>
#include <cmath>

#include "UI/Render/WindowRenderer.h"

namespace {

bool isScroller(const CView& v) {
    const EPlacement p = v.placement();
    return p == EPlacement::ScrollerH || p == EPlacement::ScrollerV || p == EPlacement::ScrollerP;
}

double coordinate(const CEventParams& p, const char* name) {
    double v = 0;
    p.get(name).toDouble(&v);
    return v;
}

constexpr double kMinThumb = 12;  // logical pixels

}  // namespace

void CScrollerBar::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("scroll-to", [](CObject* self, CEventParams& p) -> CError {
        auto* b = static_cast<CScrollerBar*>(self);
        double v = b->position();
        if (!p.get("position").empty()) p.get("position").toDouble(&v);
        return b->scrollTo(v);
    });
    record.addEvent("scroll-by", [](CObject* self, CEventParams& p) -> CError {
        double d = 0;
        p.get("delta").toDouble(&d);
        return static_cast<CScrollerBar*>(self)->scrollBy(d);
    });
}

CError CScrollerBar::initLinks() {
    KEL_TRY(CView::initLinks());
    m_vertical = placement() != EPlacement::ScrollerH;
    if (hasAttr("is-vertical")) m_vertical = attrBool("is-vertical");
    m_scrolled = nullptr;
    if (hasAttr("scrolled")) return findObjectByAttr("scrolled", &m_scrolled);
    if (CView* parent = parentView())
        for (CView* c : parent->childViews())
            if (c != this && !isScroller(*c)) {
                m_scrolled = c;
                break;
            }
    return {};
}

CScrollerBar::Extents CScrollerBar::extents() const {
    Extents x;
    const CView* parent = parentView();
    if (!parent || !m_scrolled) return x;
    const double scale = renderer() && renderer()->totalScale() > 0 ? renderer()->totalScale() : 1.0;
    const int axis = m_vertical ? 1 : 0;
    double visible = m_vertical ? parent->area().inner.h : parent->area().inner.w;
    // The other bar takes its strip from the visible extent.
    for (const CView* c : parent->childViews())
        if (c != this && c->takesSpace() &&
            c->placement() == (m_vertical ? EPlacement::ScrollerH : EPlacement::ScrollerV))
            visible -= parent->scrollerSize(axis) * scale;
    // The content's own size: its fixed length, else what it needs (both
    // known before the layout places it).
    const CSizeRule& rule = m_scrolled->sizeRule(axis);
    const double content =
        rule.kind == CSizeRule::Fixed ? rule.value * scale : m_scrolled->area().compact[axis];
    x.visible = std::max(0.0, visible / scale);
    x.content = content / scale;
    return x;
}

bool CScrollerBar::layoutContent(double) {
    // The content shrank or the window grew: move back once the layout has
    // placed everything.
    if (m_position > maxPosition()) {
        CEventParams p({{"position", CString::number(m_position)}});
        postBridgedEvent(this, "scroll-to", p);
    }
    return false;
}

CError CScrollerBar::scrollTo(double position) {
    const double pos = std::clamp(std::round(position), 0.0, maxPosition());
    const CString offsetName = m_vertical ? "offset-y" : "offset-x";
    const CString offset = CString::number(-pos);
    const bool changed = pos != m_position;
    m_position = pos;
    if (m_scrolled && !(m_scrolled->attr(offsetName) == offset))
        KEL_TRY(m_scrolled->setAttr(offsetName, offset, false));
    if (!changed) return {};
    requestRepaint();
    CEventParams p({{"position", CString::number(m_position)}});
    return notify("scroll-change", p);
}

CError CScrollerBar::wheelOver(const CView& content, CEventParams& p) {
    const CView* parent = content.parentView();
    if (!parent) return {};
    CScrollerBar* chosen = nullptr;
    for (CView* c : parent->childViews())
        if (auto* bar = dynamic_cast<CScrollerBar*>(c); bar && bar->m_scrolled == &content)
            if (!chosen || (bar->isVertical() && !chosen->isVertical())) chosen = bar;
    return chosen ? chosen->onViewEvent("mouse-wheel", p) : CError();
}

double CScrollerBar::trackLength() const {
    const CRectD& r = area().inner;
    return std::max(1.0, m_vertical ? r.h : r.w);
}

void CScrollerBar::thumb(double* at, double* length) const {
    const double track = trackLength();
    const Extents x = extents();
    const double scale = renderer() && renderer()->totalScale() > 0 ? renderer()->totalScale() : 1.0;
    const double ratio = x.content > 0 ? std::clamp(x.visible / x.content, 0.0, 1.0) : 1.0;
    *length = std::min(track, std::max(kMinThumb * scale, track * ratio));
    const double max = maxPosition();
    *at = max > 0 ? (track - *length) * (m_position / max) : 0.0;
}

void CScrollerBar::paint(const CPainter& p) const {
    if (maxPosition() <= 0) return;
    const CRectD& r = area().inner;
    double at = 0, length = 0;
    thumb(&at, &length);
    const CRectD bar = m_vertical ? CRectD{r.x, r.y + at, r.w, length} : CRectD{r.x + at, r.y, length, r.h};
    const CDrawColors colors = drawColors();
    const CImageSet* set = imageSet();
    const CImageSet::Group* base = set ? set->findGroup(m_vertical ? "VBase" : "HBase") : nullptr;
    const CImageSet::Group* thumbGroup = set ? set->findGroup(m_vertical ? "VBar" : "HBar") : nullptr;
    if (base && thumbGroup && base->last - base->first == 7 && thumbGroup->last - thumbGroup->first == 7) {
        p.drawBox(*set, base->first, r, colors);
        p.drawBox(*set, thumbGroup->first, bar, colors);
        return;
    }
    const CColor* track = colors.slots[0];
    const CColor* knob = colors.slots[1];
    p.fillRect(r, track ? track->table[128] : CRgb{60, 60, 60}, colors.opacity);
    p.fillRect(bar, knob ? knob->table[128] : CRgb{170, 170, 170}, colors.opacity);
}

CError CScrollerBar::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-wheel") {
        double d = 0;
        if (isBlocked() || maxPosition() <= 0 || !p.get("delta").toDouble(&d) || d == 0) return {};
        return scrollBy((d > 0 ? -1 : 1) * attrReal("scroll-step", 24));
    }
    if (name == "mouse-press") {
        if (isBlocked() || maxPosition() <= 0) return {};
        const double at = coordinate(p, m_vertical ? "y" : "x") -
                          (m_vertical ? area().inner.y - area().total.y : area().inner.x - area().total.x);
        double start = 0, length = 0;
        thumb(&start, &length);
        if (at >= start && at < start + length) {
            m_dragging = true;
            m_grab = at - start;
            return {};
        }
        const double page = std::max(attrReal("scroll-step", 24), visibleExtent() - attrReal("scroll-step", 24));
        return scrollBy(at < start ? -page : page);
    }
    if (name == "mouse-move" && m_dragging) {
        const double at = coordinate(p, m_vertical ? "y" : "x") -
                          (m_vertical ? area().inner.y - area().total.y : area().inner.x - area().total.x);
        double start = 0, length = 0;
        thumb(&start, &length);
        const double travel = trackLength() - length;
        if (travel <= 0) return {};
        return scrollTo((at - m_grab) / travel * maxPosition());
    }
    if ((name == "mouse-release" || name == "mouse-cancel") && m_dragging) m_dragging = false;
    return {};
}

CError CScrollerPan::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-press") {
        if (isBlocked()) return {};
        m_dragging = true;
        m_lastX = coordinate(p, "x"), m_lastY = coordinate(p, "y");
        return setState("pushed");
    }
    if (name == "mouse-move" && m_dragging) {
        const double x = coordinate(p, "x"), y = coordinate(p, "y");
        const double scale = renderer() ? std::max(1e-6, renderer()->totalScale()) : 1.0;
        if (CView* parent = parentView())
            for (CView* c : parent->childViews())
                if (auto* bar = dynamic_cast<CScrollerBar*>(c))
                    KEL_TRY(bar->scrollBy(-(bar->isVertical() ? y - m_lastY : x - m_lastX) / scale));
        m_lastX = x, m_lastY = y;
        return {};
    }
    if ((name == "mouse-release" || name == "mouse-cancel") && m_dragging) {
        m_dragging = false;
        return unsetState("pushed");
    }
    return {};
}
