#pragma once
// The figures tamblor-render reports about a signal and about what the
// plug-in did to it.
//
// Loudness (ITU-R BS.1770 integrated loudness, EBU Tech 3342 loudness range)
// and peaks come from libebur128; its true peak oversamples 4x below 96 kHz.
// Builds without libebur128 (Windows) use the tool's own meter and report no
// loudness range. Beside the BS.1770 true peak, a 16x measurement
// (TruePeak.h) gives the figure a true-peak limit is checked against.

#include <cstddef>
#include <vector>

#include "Tools/Render/DemoSignal.h"

namespace render {

struct CSignalFigures {
    double integrated;     // LUFS; -inf when no block passes the gates
    double loudnessRange;  // LU; NaN when not measured
    double samplePeak;     // dBFS
    double truePeak;       // dBTP, BS.1770 (4x below 96 kHz)
    double truePeak16x;    // dBTP, 16x oversampled
};

CSignalFigures measureSignal(const CAudioBuffer& buf);
// The integrated loudness alone (LUFS); of several buffers (of one rate and
// channel count), the loudness of all of them as one programme.
double integratedLoudness(const CAudioBuffer& buf);
double integratedLoudness(const std::vector<const CAudioBuffer*>& parts);

// The largest gain reduction the plug-in applied, in dB (0 or more), worked
// out from its input and aligned output: in windows of 10 ms, per channel,
// the ratio of the input peak times the static gain (In Gain + Out Gain, what
// a signal below the threshold gets) to the output peak. Windows where the
// input comes out below -40 dBFS after the static gain, or where the output
// is silent, are left out: there dither, the DC filter and muting decide
// the ratio rather than the limiter.
double maxGainReduction(const CAudioBuffer& in, const CAudioBuffer& out, double staticGainDb);

// Output samples, and peaks between them (16x), above a ceiling (the Out
// Gain setting).
struct COvers {
    size_t samples = 0;        // samples above the ceiling, all channels
    size_t runs = 0;           // runs of consecutive such samples in a channel
    double maxOvershootDb = 0; // the sample peak relative to the ceiling (may be negative)
    size_t truePeakRuns = 0;   // runs of frames whose 16x true peak passes the ceiling
    double truePeakOverDb = 0; // the 16x true peak relative to the ceiling (may be negative)
    std::vector<size_t> truePeakOverAt;  // the first frame of each such run (all channels, sorted)
};

COvers countOvers(const CAudioBuffer& out, double ceilingDb);

double toDecibels(double linear);

}  // namespace render
