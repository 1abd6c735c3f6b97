#include "Audio/Processes/Limiters/LimiterStages.h"

#include "Audio/Processes/Limiters/OnePole.h"

namespace {

struct ThresholdRow {
    double attack;  // lower bound of the attack time (seconds)
    double threshold;
};

// Rows from the longest attack bound down; shorter attacks limit to a lower
// threshold.
constexpr ThresholdRow kThresholds[] = {
    {0.0009, 0.9981}, {0.0007, 0.9979}, {0.0006, 0.9968}, {0.0005, 0.9958},
    {0.0004, 0.9954}, {0.0003, 0.9938}, {0.0002, 0.9905}, {0.0, 0.989},
};

}  // namespace

const CLimReleaseRowRanges kLimReleaseRowRanges = [] {
    CLimReleaseRowRanges r;
    for (int j = 0; j < CLimReleaseTables::kSize; ++j) {
        r.lo[size_t(j)] = limReleaseRowLow(j);
        r.hi[size_t(j)] = limReleaseRowHigh(j);
    }
    return r;
}();

double limThresholdForAttack(double attack) {
    for (const ThresholdRow& row : kThresholds)
        if (attack >= row.attack) return row.threshold;
    return kThresholds[std::size(kThresholds) - 1].threshold;
}

int limLookAheadLength(double attack, double sampleRate, int maxLength) {
    const double samples = std::round(attack * sampleRate);  // halves away from zero
    if (!(samples >= 1.0)) return 1;
    if (samples >= static_cast<double>(maxLength)) return maxLength < 1 ? 1 : maxLength;
    return static_cast<int>(samples);
}

int limMaxLookAheadLength(double sampleRate) {
    const double samples = std::round(kLimMaxAttack * sampleRate);
    return samples < 1.0 ? 1 : static_cast<int>(samples);
}

void CLimReleaseTables::build(double release, double kTargetCoef, double sampleRate) {
    kTarget = kTargetCoef;
    const double rel = std::max(release, 1e-6);
    for (int j = 1; j < kSize; ++j) {
        const double f = j / (127.0 * rel);
        t1[j] = onePoleCoefFreq(7.56 * f, sampleRate);
        t2[j] = onePoleCoefFreq(1.31 * f, sampleRate);
        t3[j] = onePoleCoefFreq(1.5 * f, sampleRate);
    }
    t1[0] = t1[1];
    t2[0] = t2[1];
    t3[0] = t3[1];
}

void CLimDrcCoefs::build(double sampleRate) {
    kSlow = onePoleCoefTime(5.45750528, sampleRate);
    k40 = onePoleCoefFreq(40.0, sampleRate);
    k400 = onePoleCoefFreq(400.0, sampleRate);
}
