#include "Tools/Render/LoudnessSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace render {

namespace {

std::string decibels(double v, const char* unit) {
    char s[48];
    std::snprintf(s, sizeof s, "%+.2f %s", v, unit);
    return s;
}

}  // namespace

CRenderFailure searchInGain(const CLoudnessTarget& target,
                            const std::function<CRenderFailure(double, CSearchPass*)>& renderPass,
                            CSearchResult* result) {
    result->passes.clear();
    // Aim at half the tolerance; stop as soon as a pass lands within it.
    const double aim = 0.5 * target.toleranceLu;
    const CSearchPass* below = nullptr;  // the nearest passes under and over the target
    const CSearchPass* above = nullptr;
    result->passes.reserve(size_t(target.maxPasses));
    double gain = std::clamp(target.startInGainDb, target.minInGainDb, target.maxInGainDb);
    const std::string wanted = decibels(target.lufs, "LUFS");
    for (int n = 0; n < target.maxPasses; ++n) {
        CSearchPass pass;
        pass.inGainDb = gain;
        if (CRenderFailure f = renderPass(gain, &pass)) return f;
        if (!std::isfinite(pass.loudness))
            return {"the output has no measurable loudness: no In Gain brings it to " + wanted, 2};
        result->passes.push_back(pass);
        const CSearchPass& p = result->passes.back();
        const double miss = target.lufs - p.loudness;
        // More gain reduction than allowed while still under the target: more
        // In Gain would only add to it.
        if (p.gainReductionDb > target.maxGainReductionDb && miss > -target.toleranceLu)
            return {wanted + " would need more than " + decibels(target.maxGainReductionDb, "dB").substr(1) +
                        " of gain reduction (" + decibels(p.gainReductionDb, "dB").substr(1) + " at In Gain " +
                        decibels(p.inGainDb, "dB") + " for " + decibels(p.loudness, "LUFS") + "; see --max-gr)",
                    2};
        if (std::fabs(miss) <= aim) break;
        if (miss > 0 && p.inGainDb >= target.maxInGainDb)
            return {wanted + " is out of reach: the largest In Gain (" + decibels(target.maxInGainDb, "dB") +
                        ") gives " + decibels(p.loudness, "LUFS"),
                    2};
        if (miss < 0 && p.inGainDb <= target.minInGainDb)
            return {wanted + " is out of reach: the smallest In Gain (" + decibels(target.minInGainDb, "dB") +
                        ") gives " + decibels(p.loudness, "LUFS"),
                    2};
        if (miss > 0 && (!below || p.inGainDb > below->inGainDb)) below = &p;
        if (miss < 0 && (!above || p.inGainDb < above->inGainDb)) above = &p;
        double next = p.inGainDb + miss;  // the loudness follows the gain one to one at most
        if (below && above && above->inGainDb > below->inGainDb) {
            const double slope = (above->loudness - below->loudness) / (above->inGainDb - below->inGainDb);
            next = slope > 1e-6 ? below->inGainDb + (target.lufs - below->loudness) / slope
                                : 0.5 * (below->inGainDb + above->inGainDb);
            // Stay strictly inside the bracket.
            const double margin = 0.05 * (above->inGainDb - below->inGainDb);
            next = std::clamp(next, below->inGainDb + margin, above->inGainDb - margin);
        }
        gain = std::clamp(next, target.minInGainDb, target.maxInGainDb);
    }
    const CSearchPass& last = result->passes.back();
    if (std::fabs(target.lufs - last.loudness) > target.toleranceLu)
        return {"the search for " + wanted + " did not converge in " + std::to_string(target.maxPasses) +
                    " passes (last: " + decibels(last.loudness, "LUFS") + ")",
                1};
    result->inGainDb = last.inGainDb;
    return {};
}

}  // namespace render
