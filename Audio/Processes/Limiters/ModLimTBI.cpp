#include "Audio/Processes/Limiters/ModLimTBI.h"

#include <algorithm>

CModLimTBI::Params CModLimTBI::Params::fromValues(std::span<const double> v) {
    Params p;
    if (!v.empty()) p.attack = v[0];
    return p;
}

void CModLimTBI::prepare(double sampleRate, int /*maxBlock*/) {
    sr_ = sampleRate > 0.0 ? sampleRate : 44100.0;
    window_.prepare(limMaxLookAheadLength(sr_));
    prepared_ = true;
    rebuild();
}

void CModLimTBI::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    sr_ = sampleRate;
    if (!prepared_) return;
    rebuild();
    reset();
}

void CModLimTBI::setParams(const Params& in) {
    Params p = in;
    p.attack = std::max(p.attack, 0.0);
    const bool changed = !(p == params_);
    params_ = p;
    if (prepared_ && changed) rebuild();
}

void CModLimTBI::rebuild() {
    window_.setLength(limLookAheadLength(params_.attack, sr_, window_.maxLength()));
    T_ = limThresholdForAttack(params_.attack);
}

void CModLimTBI::reset() { window_.clear(); }

void CModLimTBI::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!prepared_ || n <= 0) return;
    const double T = T_;
    CSlidingWindowMin& win = window_;
    for (int i = 0; i < n; ++i) {
        const double x = level[i];
        gainOut[i] = win.push(x > T ? T / x : 1.0);
        scaleOut[i] = 1.0;
    }
}
