#include "Audio/Processes/Limiters/ModLimEvaluator.h"

#include <algorithm>
#include <cmath>

#include "Audio/Processes/Limiters/OnePole.h"

CModLimEvaluator::Params CModLimEvaluator::Params::fromValues(std::span<const double> v) {
    Params p;
    if (v.size() > 0) p.avgTime = v[0];
    if (v.size() > 1) p.inGain = v[1];
    return p;
}

void CModLimEvaluator::prepare(double sampleRate, int /*maxBlock*/) {
    sr_ = sampleRate > 0.0 ? sampleRate : 44100.0;
    prepared_ = true;
    rebuild();
    reset();
}

void CModLimEvaluator::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    sr_ = sampleRate;
    if (prepared_) rebuild();
}

void CModLimEvaluator::setParams(const Params& in) {
    Params p = in;
    p.avgTime = std::max(p.avgTime, 1e-4);
    p.inGain = std::max(p.inGain, 1e-6);
    const bool changed = !(p == params_);
    params_ = p;
    if (!prepared_ || !changed) return;
    rebuild();
    if (fresh_) g_ = 1.0 / params_.inGain;
}

void CModLimEvaluator::rebuild() {
    kAvg_ = onePoleCoefTime(1.362 * params_.avgTime, sr_);
    kGain_ = onePoleCoefTime(0.05, sr_);
    holdLength_ = static_cast<int>(std::round(0.15 * sr_));
    hold_ = holdLength_;
}

void CModLimEvaluator::reset() {
    p1_ = p2_ = 0.0;
    g_ = 1.0 / params_.inGain;
    hold_ = holdLength_;
    fresh_ = true;
}

void CModLimEvaluator::process(std::span<const double* const> signal, std::span<const double* const> inLevel,
                               std::span<const double* const> outLevel, std::span<double* const> out, int n) {
    const size_t channels = std::min({signal.size(), inLevel.size(), outLevel.size(), out.size()});
    if (!prepared_ || n <= 0 || channels == 0) return;
    fresh_ = false;

    const double kAvg = kAvg_;
    const double kGain = kGain_;
    const double holdTarget = 1.0 / params_.inGain;
    const double invChannels = 1.0 / static_cast<double>(channels);
    double p1 = p1_, p2 = p2_, g = g_;
    int hold = hold_;

    for (int i = 0; i < n; ++i) {
        double a2 = 0.0, b2 = 0.0;
        for (size_t c = 0; c < channels; ++c) {
            const double a = inLevel[c][i];
            const double b = outLevel[c][i];
            a2 += a * a;
            b2 += b * b;
        }
        p1 += (a2 * invChannels - p1) * kAvg;
        p2 += (b2 * invChannels - p2) * kAvg;

        double target;
        if (hold > 0) {
            --hold;
            target = holdTarget;
        } else {
            target = std::clamp(std::sqrt((p1 + 1e-30) / (p2 + 1e-30)), 0.03, 32.0);
        }
        g += (target - g) * kGain;
        for (size_t c = 0; c < channels; ++c) out[c][i] = signal[c][i] * g;
    }

    p1_ = p1;
    p2_ = p2;
    g_ = g;
    hold_ = hold;
}
