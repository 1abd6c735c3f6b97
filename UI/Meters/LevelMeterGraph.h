#pragma once
// CLevelMeterGraph (tag "ui:level-meter-graph"): a scrolling graph of a
// meter source, such as the gain reduction over the last seconds. Its
// listeners keep every frame that arrives (they are given
// "history-frames"), and each update appends the frames' combined values
// ("combo-mode" over the shown channels, in dB) to a ring that covers
// "graph-period" seconds ("4.0") at the source's frame rate. The newest
// value is at the right edge; "graph-period-shift" (0.07) moves the window
// by that fraction of the period, leaving room at the right. Values are
// placed through the range ("min-max"); "is-inverted" draws from the top
// (gain reduction growing downward). Drawn as columns from the base line
// in the view's colour, "brush-size" (1.5) thick at the top edge in
// "Peak"; grid lines at the range's labelled steps in "GraphLines".

#include <vector>

#include "UI/Meters/LevelMeter.h"

class CLevelMeterGraph : public CLevelMeterBase {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    // Appends the frames that arrived since the last call (UI timer).
    bool takeFrames();
    // The kept values in dB, oldest first.
    std::vector<double> values() const;
    size_t capacity() const { return m_ring.size(); }

private:
    std::vector<double> m_ring;
    size_t m_head = 0, m_count = 0;
    double m_fps = 0;
};
