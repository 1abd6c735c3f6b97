#pragma once
// The layout engine: turns the placement records of a view tree into
// rectangles in window pixels.
//
// 1. Compact sizes, bottom up: a view's compact size is its fixed
//    "compact-width"/"compact-height", else the larger of what its own
//    content and its children need (docked children add up along their
//    side, inline rows add up, full and overlay children overlap), plus its
//    inner border.
// 2. Arrangement, top down, inside each parent's inner rectangle: docked
//    children ("top", "bottom", "left", "right") in child order, each taking
//    its size from the space left; then "full" children fill what is left,
//    "overlay" children cover the inner rectangle, "window-overlay" ones the
//    window, scroll bars the parent's edges; then the inline children in
//    rows (columns with "is-inline-vertical"). Views placed "match" copy the
//    rectangle of their "placement-match" view once everything else is
//    placed.
// 3. Clips, top down: a view paints inside its drawing area cut by its
//    ancestors' rectangles ("unclip-level" N skips N ancestors, -1 all).
//
// Growing sizes ("full", "balanced", "full-compact", "full-simple") share the
// free space of their row or strip in proportion to their ratios: "full" and
// "full-simple" start from nothing and may end below their compact size,
// "full-compact" starts from its compact size, "balanced" ends where an equal
// share of the whole puts it but never below its compact size. Minimum and
// maximum bounds always hold: a size that would cross one is fixed there and
// the rest is shared again among the others.

#include <vector>

#include "UI/Render/Geometry.h"

class CView;

// Lays out the tree under root into the window rectangle at a total scale.
void kelLayoutViews(CView& root, const CRectD& window, double scale);

// Shares free space among growing sizes (exposed for tests). Each entry has
// a start (added before sharing), a floor, a ceiling and a ratio; returns the
// sizes.
struct CGrowEntry {
    double start = 0, floor = 0, ceiling = 1e300, ratio = 1;
};
std::vector<double> kelShareSpace(const std::vector<CGrowEntry>& entries, double space);
