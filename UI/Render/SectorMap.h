#pragma once
// CSectorMap: the window area in sectors of 256 x 128 pixels (column x >> 8,
// row y >> 7). Each sector lists the views that overlap it, in painting
// order (bottom first), and carries what of it is dirty for the next frame:
// the bounds of the areas marked in it, so that a meter moving in a corner
// of a sector does not draw the whole sector again.

#include <cstdint>
#include <functional>
#include <vector>

#include "UI/Render/Geometry.h"

class CView;

struct CSectorRange {
    int col0 = 0, col1 = -1, row0 = 0, row1 = -1;
    bool empty() const { return col1 < col0 || row1 < row0; }
    bool operator==(const CSectorRange&) const = default;
};

class CSectorMap {
public:
    static constexpr int kShiftX = 8, kShiftY = 7;
    static constexpr int kWidth = 1 << kShiftX, kHeight = 1 << kShiftY;

    // Sizes the map for a window of pixel size w x h; clears views and marks.
    void resize(int w, int h);
    int columns() const { return m_cols; }
    int rows() const { return m_rows; }
    int sectorCount() const { return m_cols * m_rows; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The sectors a rectangle touches: first column round(x) >> 8, last
    // round(x + w - 1) >> 8, rows likewise with >> 7; negative bounds become
    // 0 and bounds are clamped to the map.
    CSectorRange range(const CRectD& r) const;
    // The pixels of a sector (cut at the window's edge).
    CPixelClip sectorPixels(int index) const;

    void clearViews();
    // Takes views out of every sector (those the predicate names).
    void removeViews(const std::function<bool(const CView*)>& which);
    void addView(CView* view, const CRectD& area);
    const std::vector<CView*>& views(int index) const { return m_views[size_t(index)]; }
    // The sector of a pixel, or -1 outside the map.
    int sectorAt(double x, double y) const;

    void markDirty(const CRectD& area);
    void markAllDirty();
    bool anyDirty() const;
    struct Dirty {
        int index = 0;
        CPixelClip pixels;  // what of the sector to draw again
    };
    // The dirty sectors, in row order; clears the marks.
    std::vector<Dirty> takeDirty();

private:
    int m_width = 0, m_height = 0, m_cols = 0, m_rows = 0;
    std::vector<std::vector<CView*>> m_views;
    std::vector<CPixelClip> m_dirty;  // empty ({0, 0, 0, 0}): clean
};
