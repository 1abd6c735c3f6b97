#pragma once
// Geometry of the editor: rectangles in window pixels (doubles) and the
// whole-pixel rectangles they cover.

#include <algorithm>
#include <cmath>

#include "Other/ImageDraw.h"

// A coordinate rounded to the nearest pixel, kept in a range that any
// window holds many times over (so that no rounding overflows).
inline int kelPixel(double v) {
    if (!(v == v)) return 0;
    return int(std::lround(std::clamp(v, -1e9, 1e9)));
}

struct CRectD {
    double x = 0, y = 0, w = 0, h = 0;

    double right() const { return x + w; }
    double bottom() const { return y + h; }
    bool empty() const { return !(w > 0) || !(h > 0); }
    bool contains(double px, double py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    bool operator==(const CRectD&) const = default;

    CRectD intersected(const CRectD& o) const {
        const double l = std::max(x, o.x), t = std::max(y, o.y);
        const double r = std::min(right(), o.right()), b = std::min(bottom(), o.bottom());
        return r > l && b > t ? CRectD{l, t, r - l, b - t} : CRectD{l, t, 0, 0};
    }
    CRectD united(const CRectD& o) const {
        if (empty()) return o;
        if (o.empty()) return *this;
        const double l = std::min(x, o.x), t = std::min(y, o.y);
        return {l, t, std::max(right(), o.right()) - l, std::max(bottom(), o.bottom()) - t};
    }
    // The rectangle grown by l, t, r, b on its sides (negative values shrink it).
    CRectD grown(double l, double t, double r, double b) const {
        return {x - l, y - t, std::max(0.0, w + l + r), std::max(0.0, h + t + b)};
    }
    // The whole pixels whose centres lie inside (edges rounded to the nearest pixel).
    CPixelClip pixels() const {
        return {kelPixel(x), kelPixel(y), kelPixel(right()), kelPixel(bottom())};
    }
};

inline CPixelClip kelIntersect(const CPixelClip& a, const CPixelClip& b) {
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}
inline bool kelEmpty(const CPixelClip& c) { return c.x1 <= c.x0 || c.y1 <= c.y0; }
