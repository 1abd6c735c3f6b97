// The layout engine.
#include "UI/View/ViewLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "UI/View/View.h"

std::vector<double> kelShareSpace(const std::vector<CGrowEntry>& entries, double space) {
    const size_t n = entries.size();
    std::vector<double> size(n, 0.0);
    std::vector<bool> fixed(n, false);
    for (size_t round = 0; round <= n; ++round) {
        double left = space, ratios = 0;
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i]) left -= size[i];
            else left -= entries[i].start, ratios += std::max(entries[i].ratio, 0.0);
        }
        bool violated = false;
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i]) continue;
            const double share = ratios > 0 ? left * std::max(entries[i].ratio, 0.0) / ratios : 0.0;
            size[i] = entries[i].start + share;
        }
        // Fix the worst kind of violation first: all below their floors, else all above their ceilings.
        for (size_t i = 0; i < n; ++i)
            if (!fixed[i] && size[i] < entries[i].floor) size[i] = entries[i].floor, fixed[i] = true, violated = true;
        if (!violated)
            for (size_t i = 0; i < n; ++i)
                if (!fixed[i] && size[i] > entries[i].ceiling)
                    size[i] = entries[i].ceiling, fixed[i] = true, violated = true;
        if (!violated) break;
    }
    for (double& s : size) s = std::max(s, 0.0);
    return size;
}

namespace {

double factor(EAlign a) { return a == EAlign::Center ? 0.5 : a == EAlign::End ? 1.0 : 0.0; }

struct Layout {
    double scale;
    CRectD window;
    std::vector<CView*> matches;
    bool again = false;  // a view's compact size followed its area

    double outer(const CView& v, int axis) const {
        const CBorder b = v.outerBorder().evaluate(scale);
        return axis == 0 ? b.l + b.r : b.t + b.b;
    }
    double bound(const CSizeBound& b, const CView& v, int axis, double space, double def) const {
        switch (b.kind) {
            case CSizeBound::Fixed: return b.value * scale;
            case CSizeBound::Percent: return b.value * space;
            case CSizeBound::Compact: return v.area().compact[axis];
            default: return def;
        }
    }
    double bounded(const CView& v, int axis, double size, double space) const {
        const double hi = bound(v.maxBound(axis), v, axis, space, std::numeric_limits<double>::infinity());
        const double lo = bound(v.minBound(axis), v, axis, space, 0.0);
        return std::max(std::min(size, hi), lo);
    }
    // The size along an axis of a rule that does not grow (growing rules: the compact size).
    double fixedSize(const CView& v, int axis, double space) const {
        const CSizeRule& r = v.sizeRule(axis);
        double s = v.area().compact[axis];
        if (r.kind == CSizeRule::Fixed) s = r.value * scale;
        else if (r.kind == CSizeRule::Percent) s = r.value * space;
        return bounded(v, axis, s, space);
    }
    // The size along an axis that fills a space unless the rule is a length or a share.
    double fillSize(const CView& v, int axis, double space) const {
        const CSizeRule& r = v.sizeRule(axis);
        if (r.kind == CSizeRule::Fixed || r.kind == CSizeRule::Percent) return fixedSize(v, axis, space);
        return bounded(v, axis, space, space);
    }
    CGrowEntry growEntry(const CView& v, int axis, double space) const {
        const CSizeRule& r = v.sizeRule(axis);
        const double compact = v.area().compact[axis];
        CGrowEntry e;
        e.ratio = std::max(v.ratio(axis), v.minRatio(axis));
        e.start = r.kind == CSizeRule::FullCompact ? compact : 0.0;
        e.floor = bound(v.minBound(axis), v, axis, space, 0.0);
        if (r.kind == CSizeRule::FullCompact || r.kind == CSizeRule::Balanced) e.floor = std::max(e.floor, compact);
        e.ceiling = bound(v.maxBound(axis), v, axis, space, std::numeric_limits<double>::infinity());
        e.ceiling = std::max(e.ceiling, e.floor);
        return e;
    }

    // --- Compact sizes -----------------------------------------------------------------
    void compact(CView& v) {
        for (CView* c : v.childViews())
            if (c->takesSpace()) compact(*c);
        double content[2];
        v.contentSize(scale, &content[0], &content[1]);
        double dockSum[2] = {0, 0}, dockCross[2] = {0, 0}, over[2] = {0, 0};
        double flowMain = 0, flowCross = 0, rowMain = 0, rowCross = 0;
        const int a = v.isInlineVertical() ? 1 : 0, b = 1 - a;
        bool anyInline = false;
        for (CView* c : v.childViews()) {
            if (!c->takesSpace()) continue;
            double s[2];
            for (int ax = 0; ax < 2; ++ax) {
                const CSizeRule& r = c->sizeRule(ax);
                s[ax] = (r.kind == CSizeRule::Fixed ? r.value * scale
                         : r.kind == CSizeRule::Percent ? 0.0
                                                        : c->area().compact[ax]) +
                        outer(*c, ax);
            }
            switch (c->placement()) {
                case EPlacement::Left:
                case EPlacement::Right:
                    dockSum[0] += s[0];
                    dockCross[1] = std::max(dockCross[1], s[1]);
                    break;
                case EPlacement::Top:
                case EPlacement::Bottom:
                    dockSum[1] += s[1];
                    dockCross[0] = std::max(dockCross[0], s[0]);
                    break;
                case EPlacement::Inline:
                    if (anyInline && c->isNewInlineRow()) {
                        flowMain = std::max(flowMain, rowMain);
                        flowCross += rowCross;
                        rowMain = rowCross = 0;
                    }
                    anyInline = true;
                    rowMain += s[a];
                    rowCross = std::max(rowCross, s[b]);
                    break;
                case EPlacement::Full:
                case EPlacement::Overlay:
                    over[0] = std::max(over[0], s[0]);
                    over[1] = std::max(over[1], s[1]);
                    break;
                default: break;
            }
        }
        flowMain = std::max(flowMain, rowMain);
        flowCross += rowCross;
        const double flow[2] = {a == 0 ? flowMain : flowCross, a == 0 ? flowCross : flowMain};
        const CBorder in = v.innerBorder().evaluate(scale);
        const double border[2] = {in.l + in.r, in.t + in.b};
        CViewArea& area = v.areaForLayout();
        for (int ax = 0; ax < 2; ++ax) {
            const double children = dockSum[ax] + std::max({dockCross[ax], flow[ax], over[ax]});
            double size = std::max(content[ax], children) + border[ax];
            area.compactAuto[ax] = !v.compactFixed(ax).has_value();
            if (v.compactFixed(ax)) size = *v.compactFixed(ax) * scale;
            const CSizeBound& lo = v.minBound(ax);
            const CSizeBound& hi = v.maxBound(ax);
            if (hi.kind == CSizeBound::Fixed) size = std::min(size, hi.value * scale);
            if (lo.kind == CSizeBound::Fixed) size = std::max(size, lo.value * scale);
            area.compact[ax] = size;
        }
    }

    // --- Arrangement ----------------------------------------------------------------------
    // Places a child of size (w, h) inside a slot (its outer border inside the slot).
    void place(CView& c, const CRectD& slot, double w, double h) {
        const CBorder ob = c.outerBorder().evaluate(scale);
        const CRectD s{slot.x + ob.l, slot.y + ob.t, slot.w - ob.l - ob.r, slot.h - ob.t - ob.b};
        const double x = s.x + (s.w - w) * factor(c.alignment(0)) + c.offset(0) * scale;
        const double y = s.y + (s.h - h) * factor(c.alignment(1)) + c.offset(1) * scale;
        arrange(c, {x, y, std::max(w, 0.0), std::max(h, 0.0)});
    }

    void arrange(CView& v, const CRectD& rect) {
        CViewArea& area = v.areaForLayout();
        area.total = rect;
        const CBorder in = v.innerBorder().evaluate(scale);
        area.inner = rect.grown(-in.l, -in.t, -in.r, -in.b);
        const CBorder sp = v.spread().evaluate(scale);
        area.draw = rect.grown(sp.l, sp.t, sp.r, sp.b);
        again |= v.layoutContent(scale);

        CRectD avail = area.inner;
        std::vector<CView*> flow;
        std::vector<CView*> later;
        for (CView* c : v.childViews()) {
            if (!c->takesSpace()) {
                c->areaForLayout() = CViewArea{};
                continue;
            }
            const EPlacement p = c->placement();
            if (p == EPlacement::Inline) {
                flow.push_back(c);
                continue;
            }
            if (p != EPlacement::Top && p != EPlacement::Bottom && p != EPlacement::Left && p != EPlacement::Right) {
                later.push_back(c);
                continue;
            }
            const int axis = (p == EPlacement::Top || p == EPlacement::Bottom) ? 1 : 0;
            const double room = (axis ? avail.h : avail.w) - outer(*c, axis);
            const double along = c->sizeRule(axis).growing() ? bounded(*c, axis, room, room)
                                                             : fixedSize(*c, axis, axis ? area.inner.h : area.inner.w);
            const double cross = fillSize(*c, 1 - axis, (axis ? avail.w : avail.h) - outer(*c, 1 - axis));
            const double taken = along + outer(*c, axis);
            CRectD slot = avail;
            if (p == EPlacement::Top) slot.h = taken, avail.y += taken, avail.h -= taken;
            if (p == EPlacement::Bottom) slot.y = avail.bottom() - taken, slot.h = taken, avail.h -= taken;
            if (p == EPlacement::Left) slot.w = taken, avail.x += taken, avail.w -= taken;
            if (p == EPlacement::Right) slot.x = avail.right() - taken, slot.w = taken, avail.w -= taken;
            avail.w = std::max(avail.w, 0.0);
            avail.h = std::max(avail.h, 0.0);
            place(*c, slot, axis ? cross : along, axis ? along : cross);
        }
        for (CView* c : later) {
            CRectD slot = avail;
            switch (c->placement()) {
                case EPlacement::Full: break;
                case EPlacement::Overlay: slot = area.inner; break;
                case EPlacement::WindowOverlay: slot = window; break;
                case EPlacement::Match:
                    matches.push_back(c);
                    continue;
                case EPlacement::ScrollerH: {
                    const double h = v.scrollerSize(1) * scale;
                    slot = {area.inner.x, area.inner.bottom() - h, area.inner.w, h};
                    break;
                }
                case EPlacement::ScrollerV: {
                    const double w = v.scrollerSize(0) * scale;
                    slot = {area.inner.right() - w, area.inner.y, w, area.inner.h};
                    break;
                }
                default: {  // the pan control sits in the corner of the two bars
                    const double w = v.scrollerSize(0) * scale, h = v.scrollerSize(1) * scale;
                    slot = {area.inner.right() - w, area.inner.bottom() - h, w, h};
                    break;
                }
            }
            const double w = c->placement() == EPlacement::Overlay || c->placement() == EPlacement::WindowOverlay
                                 ? (c->sizeRule(0).growing() ? bounded(*c, 0, slot.w - outer(*c, 0), slot.w)
                                                             : fixedSize(*c, 0, slot.w))
                                 : fillSize(*c, 0, slot.w - outer(*c, 0));
            const double h = c->placement() == EPlacement::Overlay || c->placement() == EPlacement::WindowOverlay
                                 ? (c->sizeRule(1).growing() ? bounded(*c, 1, slot.h - outer(*c, 1), slot.h)
                                                             : fixedSize(*c, 1, slot.h))
                                 : fillSize(*c, 1, slot.h - outer(*c, 1));
            place(*c, slot, w, h);
        }
        if (!flow.empty()) arrangeFlow(v, flow, avail);
    }

    // Inline children in rows along axis a (columns when vertical).
    void arrangeFlow(CView& v, const std::vector<CView*>& items, const CRectD& space) {
        const int a = v.isInlineVertical() ? 1 : 0, b = 1 - a;
        const double mainSpace = a ? space.h : space.w, crossSpace = a ? space.w : space.h;
        struct Row {
            std::vector<CView*> items;
            std::vector<double> main, cross;
            double length = 0, extent = 0, weight = 0;
        };
        std::vector<Row> rows(1);
        for (CView* c : items) {
            if (!rows.back().items.empty() && c->isNewInlineRow()) rows.emplace_back();
            rows.back().items.push_back(c);
        }
        double fixedExtent = 0, weights = 0;
        for (Row& row : rows) {
            const size_t n = row.items.size();
            row.main.assign(n, 0);
            row.cross.assign(n, 0);
            double free = mainSpace;
            std::vector<CGrowEntry> grow;
            std::vector<size_t> growIndex;
            for (size_t i = 0; i < n; ++i) {
                CView& c = *row.items[i];
                free -= outer(c, a);
                if (c.sizeRule(a).growing()) {
                    grow.push_back(growEntry(c, a, mainSpace));
                    growIndex.push_back(i);
                } else {
                    row.main[i] = fixedSize(c, a, mainSpace);
                    free -= row.main[i];
                }
                if (c.sizeRule(b).growing()) {
                    row.weight = std::max(row.weight, std::max(c.ratio(b), c.minRatio(b)));
                } else {
                    row.cross[i] = fixedSize(c, b, crossSpace);
                    row.extent = std::max(row.extent, row.cross[i] + outer(c, b));
                }
            }
            const std::vector<double> shared = kelShareSpace(grow, free);
            for (size_t k = 0; k < growIndex.size(); ++k) row.main[growIndex[k]] = shared[k];
            for (size_t i = 0; i < n; ++i) row.length += row.main[i] + outer(*row.items[i], a);
            fixedExtent += row.extent;
            weights += row.weight;
        }
        // Rows with growing items share the free extent by their largest ratio.
        const double freeExtent = crossSpace - fixedExtent;
        double total = 0;
        for (Row& row : rows) {
            if (row.weight > 0 && freeExtent > 0) row.extent += freeExtent * row.weight / weights;
            total += row.extent;
        }
        double pos = (a ? space.x : space.y) + (crossSpace - total) * factor(v.inlineAlignment(b));
        for (Row& row : rows) {
            double at = (a ? space.y : space.x) + (mainSpace - row.length) * factor(v.inlineAlignment(a));
            for (size_t i = 0; i < row.items.size(); ++i) {
                CView& c = *row.items[i];
                const double slotMain = row.main[i] + outer(c, a);
                double cross = row.cross[i];
                if (c.sizeRule(b).growing()) cross = bounded(c, b, row.extent - outer(c, b), crossSpace);
                const CRectD slot = a ? CRectD{pos, at, row.extent, slotMain} : CRectD{at, pos, slotMain, row.extent};
                place(c, slot, a ? cross : row.main[i], a ? row.main[i] : cross);
                at += slotMain;
            }
            pos += row.extent;
        }
    }

    // --- Clips ---------------------------------------------------------------------------------
    void clip(CView& v, std::vector<CRectD>& ancestors) {
        CViewArea& area = v.areaForLayout();
        CRectD limit = window;
        const int64_t unclip = v.attrInt("unclip-level", 0);
        if (v.placement() != EPlacement::WindowOverlay && unclip >= 0) {
            const size_t skip = size_t(unclip);
            if (skip < ancestors.size()) limit = ancestors[ancestors.size() - 1 - skip];
        }
        area.clip = area.draw.intersected(limit);
        area.childClip = area.total.intersected(ancestors.empty() ? window : ancestors.back());
        ancestors.push_back(area.childClip);
        for (CView* c : v.childViews())
            if (c->takesSpace()) clip(*c, ancestors);
        ancestors.pop_back();
    }
};

}  // namespace

void kelLayoutViews(CView& root, const CRectD& window, double scale) {
    Layout l{scale, window, {}};
    for (int pass = 0; pass < 2; ++pass) {
        l.again = false;
        l.matches.clear();
        l.compact(root);
        l.arrange(root, window);
        for (size_t i = 0; i < l.matches.size(); ++i) {
            CView* c = l.matches[i];
            auto* target = dynamic_cast<CView*>(c->findObject(c->attr("placement-match").trimmed()));
            const CRectD slot = target ? target->area().total : CRectD{};
            l.arrange(*c, slot);
        }
        if (!l.again) break;
    }
    std::vector<CRectD> ancestors;
    l.clip(root, ancestors);
}
