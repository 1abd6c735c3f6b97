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


void CModLimAIGC::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    m_window.prepare(limMaxLookAheadLength(m_sr));
    m_prepared = true;
    rebuildAll();
    resetState();
}

void CModLimAIGC::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    if (!m_prepared) return;
    rebuildAll();
    resetState();
}

void CModLimAIGC::setParams(const Params& in) {
    Params p = in;
    p.type = std::clamp(p.type, 0, 3);
    p.drcType = std::clamp(p.drcType, 0, 2);
    p.attack = std::max(p.attack, 0.0);
    p.release = std::max(p.release, 1e-4);

    const Params old = m_params;
    m_params = p;
    if (!m_prepared || p == old) return;

    if (p.type != old.type || p.drcType != old.drcType) {
        rebuildAll();
        resetState();
        return;
    }
    if (p.attack != old.attack) updateAttack();
    if (p.attack != old.attack || p.release != old.release || p.releaseEnable != old.releaseEnable) {
        m_relTables.build(m_params.release, m_relTables.kTarget, m_sr);
        if (p.releaseEnable && !old.releaseEnable) m_rel.reset();
    }
}

void CModLimAIGC::reset() { resetState(); }

void CModLimAIGC::rebuildAll() {
    updateAttack();
    m_relTables.build(m_params.release, m_relTables.kTarget, m_sr);
    m_drcCoefs.build(m_sr);
    for (int j = 0; j < 12; ++j) m_kc[j] = onePoleCoefFreq(2048.0 / static_cast<double>(1 << j), m_sr);
}

void CModLimAIGC::updateAttack() {
    m_window.setLength(limLookAheadLength(m_params.attack, m_sr, m_window.maxLength()));
    T_ = limThresholdForAttack(m_params.attack);
    // (Clamped to Nyquist, which only matters for attacks shorter than about
    // 4 samples.)
    const double attack = std::max(m_params.attack, 1e-6);
    m_relTables.kTarget = onePoleCoefFreqClamped(2.0 / attack, m_sr);
    m_kS = onePoleCoefFreqClamped(1.0 / attack, m_sr);
}

void CModLimAIGC::resetState() {
    m_s = 1.0;
    std::fill(std::begin(m_c), std::end(m_c), 1.0);
    m_rel.reset();
    m_drc.reset();
    m_window.clear();
}

void CModLimAIGC::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!m_prepared || n <= 0) return;
    const double T = T_;
    const double kS = m_kS;
    double kc[12], c[12];
    std::copy(std::begin(m_kc), std::end(m_kc), kc);
    std::copy(std::begin(m_c), std::end(m_c), c);
    double s = m_s;
    CLimReleaseState rel = m_rel;
    CLimReleaseRow row;
    CLimDrcState drc = m_drc;
    const CLimDrcCoefs dk = m_drcCoefs;
    const CLimReleaseTables& rt = m_relTables;
    const int type = m_params.type;
    const int drcType = m_params.drcType;
    const bool relOn = m_params.releaseEnable;
    CSlidingWindowMin& win = m_window;

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

    std::copy(std::begin(c), std::end(c), m_c);
    m_s = s;
    m_rel = rel;
    m_drc = drc;
}
