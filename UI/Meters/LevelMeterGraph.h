#pragma once
// Scrolling graphs of meter sources.
//
// CLevelMeterGraph (tag "ui:level-meter-graph"): a scrolling graph of a
// meter source, such as the gain reduction over the last seconds. Its
// listeners keep every frame that arrives (they are given
// "history-frames"), and each update appends the frames' combined values
// ("combo-mode" over the shown channels, in dB) to a ring that covers
// "graph-period" seconds ("4.0") at the source's frame rate. The newest
// value is at the right edge; "graph-period-shift" (0.07) moves the window
// by that fraction of the period, leaving room at the right. Values are
// placed through the range ("min-max"); "is-inverted" draws from the top
// (gain reduction growing downward). Drawn, without a background, as
// columns from the base line in the view's colour, "brush-size" (1.5) thick at the top edge in
// "Peak"; grid lines at the range's labelled steps in "GraphLines", and a
// vertical line at each of "ruler-timeline-values" (seconds before the
// newest value, blank separated, e.g. "1 2 3").
//
// With "is-waveform" the source is a waveform source (fields "min0",
// "max0", "min1", "max1": the extremes of its two ports per frame, sample
// values) and each frame keeps the extremes over the shown channels. The
// graph then draws, about a centre line, the second port's span (the
// output) in the view's colour and the first port's (the input) lightly
// over it in "Peak"; full scale (±1) reaches the top and bottom edges.
//
// CGraphLogLines (tag "ui:graph-log-lines"): the level lines over a graph:
// one line per value of "line-values" (dB, blank separated, e.g. "-3 -6
// -12 -24") in "GraphLines", each labelled at the left edge ("label-format",
// "%.0f", in "font-name" and the view's colour). The lines are placed as the
// graph places its values: through the range "min-max" (from the bottom, or
// from the top with "is-inverted"), or, with "is-waveform", at the
// amplitude of each value above and below the centre line.

#include <array>
#include <vector>

#include "UI/Meters/LevelMeter.h"

class CFont;

class CLevelMeterGraph : public CLevelMeterBase {
public:
    // The extremes of one waveform frame: port 0 then port 1.
    using Span = std::array<double, 4>;  // min0, max0, min1, max1

    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    // Appends the frames that arrived since the last call (UI timer).
    bool takeFrames();
    // The kept values in dB, oldest first (level graphs).
    std::vector<double> values() const;
    // The kept extremes, oldest first (waveform graphs).
    std::vector<Span> spans() const;
    size_t capacity() const { return m_capacity; }
    bool isWaveform() const { return m_waveform; }

private:
    void paintTimeline(const CPainter& p) const;
    void paintLevels(const CPainter& p) const;
    void paintWaveform(const CPainter& p) const;
    // Places the kept entry k (of n) as a column [x0, x1) of the inner area.
    void column(size_t k, size_t n, double* x0, double* x1) const;

    std::vector<double> m_ring;  // m_stride values per entry
    size_t m_stride = 1, m_capacity = 0, m_head = 0, m_count = 0;
    double m_fps = 0;
    bool m_waveform = false;
};

class CGraphLogLines : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    // Height (0 at the bottom, 1 at the top of the inner area) of the lines of
    // a dB value: one for level graphs, two for waveforms.
    std::vector<double> linePositions(double db) const;

private:
    const CMinMax* m_range = nullptr;
    const CFont* m_font = nullptr;
};
