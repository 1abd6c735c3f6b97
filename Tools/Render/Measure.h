#pragma once
// The figures tamblor-render reports about a signal and about what the
// plug-in did to it.
//
// Loudness (ITU-R BS.1770 integrated loudness, EBU Tech 3342 loudness range)
// and peaks come from libebur128; its true peak oversamples 4x below 96 kHz.
// Builds without libebur128 (Windows) use the tool's own meter and report no
// loudness range.

#include <cstddef>

#include "Tools/Render/DemoSignal.h"

namespace render {

struct CSignalFigures {
    double integrated;     // LUFS; -inf when no block passes the gates
    double loudnessRange;  // LU; NaN when not measured
    double samplePeak;     // dBFS
    double truePeak;       // dBTP
};

CSignalFigures measureSignal(const CAudioBuffer& buf);

// The largest gain reduction the plug-in applied, in dB (0 or more), worked
// out from its input and aligned output: in windows of 10 ms, per channel,
// the ratio of the input peak times the static gain (In Gain + Out Gain, what
// a signal below the threshold gets) to the output peak. Windows where the
// input comes out below -40 dBFS after the static gain, or where the output
// is silent, are left out: there dither, the DC filter and muting decide
// the ratio rather than the limiter.
double maxGainReduction(const CAudioBuffer& in, const CAudioBuffer& out, double staticGainDb);

// Output samples above a ceiling (the Out Gain setting).
struct COvers {
    size_t samples = 0;        // samples above the ceiling, all channels
    size_t runs = 0;           // runs of consecutive such samples in a channel
    double maxOvershootDb = 0; // the sample peak relative to the ceiling (may be negative)
};

COvers countOvers(const CAudioBuffer& out, double ceilingDb);

double toDecibels(double linear);

}  // namespace render
