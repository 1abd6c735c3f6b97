#include "Audio/Processes/Limiters/ModLimAIGC.h"

#include <algorithm>
#include <cmath>

#include "Audio/Processes/Limiters/OnePole.h"

namespace {

inline double pow4(double v) {
    const double v2 = v * v;
    return v2 * v2;
}

// The input factor from the cascade (before the dynamic-range factor).
inline double inputFactor(int type, const double (&c)[12]) {
    const double slow = pow4(c[9]) * pow4(c[10]) * pow4(c[11]) * pow4(c[11]);
    switch (type) {
        case 0: return std::sqrt(std::sqrt(c[4])) * std::sqrt(c[5]) * c[6] * c[7] * c[8] * slow;
        case 2: return c[6] * c[7] * c[8] * slow;
        default: return c[6] * c[7] / c[8] * slow;  // types 1 and 3
    }
}

}  // namespace

CModLimAIGC::Params CModLimAIGC::Params::fromValues(std::span<const double> v) {
    Params p;
    const auto n = v.size();
    if (n > 0) p.attack = v[0];
    if (n > 1) p.type = limParamInt(v[1], 0, 3);
    if (n > 2) p.release = v[2];
    if (n > 3) p.releaseEnable = limParamSwitch(v[3]);
    if (n > 4) p.drcType = limParamInt(v[4], 0, 2);
    return p;
}

void CModLimAIGC::prepare(double sampleRate, int /*maxBlock*/) {
    sr_ = sampleRate > 0.0 ? sampleRate : 44100.0;
    window_.prepare(limMaxLookAheadLength(sr_));
    prepared_ = true;
    rebuildAll();
    resetState();
}

void CModLimAIGC::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    sr_ = sampleRate;
    if (!prepared_) return;
    rebuildAll();
    resetState();
}

void CModLimAIGC::setParams(const Params& in) {
    Params p = in;
    p.type = std::clamp(p.type, 0, 3);
    p.drcType = std::clamp(p.drcType, 0, 2);
    p.attack = std::max(p.attack, 0.0);
    p.release = std::max(p.release, 1e-4);

    const Params old = params_;
    params_ = p;
    if (!prepared_ || p == old) return;

    if (p.type != old.type || p.drcType != old.drcType) {
        rebuildAll();
        resetState();
        return;
    }
    if (p.attack != old.attack) updateAttack();
    if (p.attack != old.attack || p.release != old.release || p.releaseEnable != old.releaseEnable) {
        relTables_.build(params_.release, relTables_.kTarget, sr_);
        if (p.releaseEnable && !old.releaseEnable) rel_.reset();
    }
}

void CModLimAIGC::reset() { resetState(); }

void CModLimAIGC::rebuildAll() {
    updateAttack();
    relTables_.build(params_.release, relTables_.kTarget, sr_);
    drcCoefs_.build(sr_);
    for (int j = 0; j < 12; ++j) kc_[j] = onePoleCoefFreq(2048.0 / static_cast<double>(1 << j), sr_);
}

void CModLimAIGC::updateAttack() {
    window_.setLength(limLookAheadLength(params_.attack, sr_, window_.maxLength()));
    T_ = limThresholdForAttack(params_.attack);
    // (Clamped to Nyquist, which only matters for attacks shorter than about
    // 4 samples.)
    const double attack = std::max(params_.attack, 1e-6);
    relTables_.kTarget = onePoleCoefFreqClamped(2.0 / attack, sr_);
    kS_ = onePoleCoefFreqClamped(1.0 / attack, sr_);
}

void CModLimAIGC::resetState() {
    s_ = 1.0;
    std::fill(std::begin(c_), std::end(c_), 1.0);
    rel_.reset();
    drc_.reset();
    window_.clear();
}

void CModLimAIGC::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!prepared_ || n <= 0) return;
    const double T = T_;
    const double kS = kS_;
    double kc[12], c[12];
    std::copy(std::begin(kc_), std::end(kc_), kc);
    std::copy(std::begin(c_), std::end(c_), c);
    double s = s_;
    CLimReleaseState rel = rel_;
    CLimReleaseRow row;
    CLimDrcState drc = drc_;
    const CLimDrcCoefs dk = drcCoefs_;
    const CLimReleaseTables& rt = relTables_;
    const int type = params_.type;
    const int drcType = params_.drcType;
    const bool relOn = params_.releaseEnable;
    CSlidingWindowMin& win = window_;

    for (int i = 0; i < n; ++i) {
        const double a = inputFactor(type, c) * drc.d3;
        scaleOut[i] = a;

        const double y = a * level[i];
        double g = y <= T ? 1.0 : T / y;
        if (relOn) g = rel.apply(g, rt, row);

        const double m = win.push(g);
        gainOut[i] = m;

        s += (m - s) * kS;
        c[0] += (s - c[0]) * kc[0];
        for (int j = 1; j < 12; ++j) c[j] += (c[j - 1] - c[j]) * kc[j];

        if (drcType != 0) drc.update(a * m, drcType, dk);
    }

    std::copy(std::begin(c), std::end(c), c_);
    s_ = s;
    rel_ = rel;
    drc_ = drc;
}
