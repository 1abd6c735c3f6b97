// The sector map: which views paint into which 256 x 128 sector.
#include "UI/Render/SectorMap.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr CPixelClip kClean{0, 0, 0, 0};
}  // namespace

void CSectorMap::resize(int w, int h) {
    m_width = std::max(w, 0);
    m_height = std::max(h, 0);
    m_cols = (m_width + kWidth - 1) >> kShiftX;
    m_rows = (m_height + kHeight - 1) >> kShiftY;
    m_views.assign(size_t(sectorCount()), {});
    m_dirty.assign(size_t(sectorCount()), kClean);
}

CSectorRange CSectorMap::range(const CRectD& r) const {
    if (m_cols == 0 || m_rows == 0 || r.empty()) return {};
    auto bound = [](double v, int shift, int count) {
        const long long i = kelPixel(v);
        const long long s = i < 0 ? 0 : i >> shift;
        return int(std::min<long long>(s, count - 1));
    };
    CSectorRange out;
    out.col0 = bound(r.x, kShiftX, m_cols);
    out.col1 = bound(r.x + r.w - 1, kShiftX, m_cols);
    out.row0 = bound(r.y, kShiftY, m_rows);
    out.row1 = bound(r.y + r.h - 1, kShiftY, m_rows);
    return out;
}

CPixelClip CSectorMap::sectorPixels(int index) const {
    const int col = index % m_cols, row = index / m_cols;
    return {col << kShiftX, row << kShiftY, std::min((col + 1) << kShiftX, m_width),
            std::min((row + 1) << kShiftY, m_height)};
}

void CSectorMap::clearViews() {
    for (auto& v : m_views) v.clear();
}

void CSectorMap::removeViews(const std::function<bool(const CView*)>& which) {
    for (auto& list : m_views) list.erase(std::remove_if(list.begin(), list.end(), which), list.end());
}

void CSectorMap::addView(CView* view, const CRectD& area) {
    const CSectorRange s = range(area);
    for (int row = s.row0; row <= s.row1; ++row)
        for (int col = s.col0; col <= s.col1; ++col) m_views[size_t(row * m_cols + col)].push_back(view);
}

int CSectorMap::sectorAt(double x, double y) const {
    if (!(x >= 0) || !(y >= 0) || x >= m_width || y >= m_height) return -1;
    return (int(y) >> kShiftY) * m_cols + (int(x) >> kShiftX);
}

void CSectorMap::markDirty(const CRectD& area) {
    const CSectorRange s = range(area);
    if (s.empty()) return;
    // The pixels a view's painter may touch (its clip rounded as the painter
    // rounds it), with a pixel of margin.
    CPixelClip p = area.pixels();
    p = {p.x0 - 1, p.y0 - 1, p.x1 + 1, p.y1 + 1};
    for (int row = s.row0; row <= s.row1; ++row)
        for (int col = s.col0; col <= s.col1; ++col) {
            const int i = row * m_cols + col;
            const CPixelClip add = kelIntersect(p, sectorPixels(i));
            if (kelEmpty(add)) continue;
            CPixelClip& d = m_dirty[size_t(i)];
            d = kelEmpty(d) ? add
                            : CPixelClip{std::min(d.x0, add.x0), std::min(d.y0, add.y0), std::max(d.x1, add.x1),
                                         std::max(d.y1, add.y1)};
        }
}

void CSectorMap::markAllDirty() {
    for (int i = 0; i < sectorCount(); ++i) m_dirty[size_t(i)] = sectorPixels(i);
}

bool CSectorMap::anyDirty() const {
    return std::any_of(m_dirty.begin(), m_dirty.end(), [](const CPixelClip& c) { return !kelEmpty(c); });
}

std::vector<CSectorMap::Dirty> CSectorMap::takeDirty() {
    std::vector<Dirty> out;
    for (size_t i = 0; i < m_dirty.size(); ++i)
        if (!kelEmpty(m_dirty[i])) {
            out.push_back({int(i), m_dirty[i]});
            m_dirty[i] = kClean;
        }
    return out;
}
