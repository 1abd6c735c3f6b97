#pragma once
// A picture of one render over time (PNG or SVG, drawn with cairo): the
// input and output waveform envelopes (peak and RMS of each pixel column, in
// dBFS) with the Out Gain and marks where the output's true peaks (16x) pass
// it; the gain reduction; the short-term loudness (BS.1770, 3 s) of input
// and output. Times and dB on the axes, the file and settings in the title.
// Builds without cairo (Windows) draw nothing and say so.

#include <string>

#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/Report.h"

namespace render {

// Where things are on the picture, so that tests can find them.
struct CPlotLayout {
    static constexpr int kWidth = 1600, kHeight = 1100;
    static constexpr int kLeft = 110, kRight = 40;  // the plot area between these margins
    struct CPanel {
        int top, height;
        double dbTop, dbBottom;  // the values at the panel's top and bottom edges
        double y(double db) const;
    };
    static constexpr CPanel kLevels{100, 430, 6.0, -48.0};
    static constexpr CPanel kGainReduction{630, 160, 0.0, -12.0};  // scaled down when the reduction is larger
    static constexpr CPanel kLoudness{850, 170, 0.0, -48.0};
    static int plotWidth() { return kWidth - kLeft - kRight; }
    // The pixel column of a time, and the colour of the gain-reduction trace (RGB).
    static int column(double seconds, double totalSeconds);
    static constexpr unsigned kGainReductionRgb = 0xC0392B;
};

bool plotSupported();

// Draws the render to path (.png or .svg); an empty string on success.
std::string drawPlot(const std::string& path, const CAudioBuffer& input, const CAudioBuffer& output,
                     const CRenderReport& report);

}  // namespace render
