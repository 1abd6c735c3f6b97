#pragma once
// Finding the In Gain that brings a render's integrated loudness to a
// target: a few renders, each pass's gain chosen from the ones before (a
// step of the remaining difference first, then the secant of the nearest
// passes on either side of the target, kept inside that bracket). The
// output's loudness grows with the In Gain, more slowly once the limiter
// works, so the search converges in a handful of passes.

#include <functional>
#include <string>
#include <vector>

#include "Tools/Render/Options.h"

namespace render {

struct CSearchPass {
    double inGainDb = 0.0;
    double loudness = 0.0;       // LUFS of the output
    double gainReductionDb = 0;  // the largest gain reduction of the pass
};

struct CLoudnessTarget {
    double lufs = -14.0;
    double toleranceLu = 0.1;  // the result lies within this of the target
    double maxGainReductionDb = 12.0;
    double minInGainDb = -3.0, maxInGainDb = 24.0;  // the In Gain range
    double startInGainDb = 0.0;
    int maxPasses = 12;
};

struct CSearchResult {
    double inGainDb = 0.0;
    std::vector<CSearchPass> passes;  // in order; the last is the result
};

// renderPass renders with the given In Gain and fills the pass's loudness
// and gain reduction. A target out of reach of the In Gain range, or one
// that needs more than the allowed gain reduction, is a failure with code 2.
CRenderFailure searchInGain(const CLoudnessTarget& target,
                            const std::function<CRenderFailure(double inGainDb, CSearchPass* pass)>& renderPass,
                            CSearchResult* result);

}  // namespace render
