#include "Audio/Processes/Limiters/ModLimAIGC.h"

#include <algorithm>
#include <cmath>

#include "Audio/Processes/Limiters/OnePole.h"

namespace {

template <class V>
inline V pow4(V v) {
    const V v2 = v * v;
    return v2 * v2;
}

// The input factor from the cascade (before the dynamic-range factor).
template <class V>
inline V inputFactor(int type, const V (&c)[12]) {
    const V slow = pow4(c[9]) * pow4(c[10]) * pow4(c[11]) * pow4(c[11]);
    switch (type) {
        case 0: return vSqrt(vSqrt(c[4])) * vSqrt(c[5]) * c[6] * c[7] * c[8] * slow;
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

bool CModLimAIGC::runsLike(const CModLimAIGC& o) const {
    return this != &o && m_prepared && o.m_prepared && m_params.type == o.m_params.type &&
           m_params.drcType == o.m_params.drcType && m_params.releaseEnable == o.m_params.releaseEnable;
}

// The loop of process() with both channels' values in the two lanes of a
// register; the look-ahead windows stay scalar, one per lane.
void CModLimAIGC::processPair(CModLimAIGC& a, CModLimAIGC& b, const double* levelA, const double* levelB,
                              double* __restrict gainA, double* __restrict gainB, double* __restrict scaleA,
                              double* __restrict scaleB, int n) {
    if (n <= 0) return;
    if (!kHaveDual || !a.runsLike(b)) {
        a.process(levelA, gainA, scaleA, n);
        b.process(levelB, gainB, scaleB, n);
        return;
    }
#if TAMBLOR_HAVE_DUAL
    const CDual T(a.T_, b.T_);
    const CDual kS(a.m_kS, b.m_kS);
    CDual kc[12], c[12];
    for (int j = 0; j < 12; ++j) {
        kc[j] = CDual(a.m_kc[j], b.m_kc[j]);
        c[j] = CDual(a.m_c[j], b.m_c[j]);
    }
    CDual s(a.m_s, b.m_s);
    CLimReleaseStateT<CDual> rel;
    rel.rt = CDual(a.m_rel.rt, b.m_rel.rt);
    rel.r1 = CDual(a.m_rel.r1, b.m_rel.r1);
    rel.r2 = CDual(a.m_rel.r2, b.m_rel.r2);
    rel.r3 = CDual(a.m_rel.r3, b.m_rel.r3);
    rel.r4 = CDual(a.m_rel.r4, b.m_rel.r4);
    CLimReleaseRowT<CDual> row;
    const CLimReleaseTablePair rt{a.m_relTables, b.m_relTables};
    CLimDrcStateT<CDual> drc;
    drc.d1 = CDual(a.m_drc.d1, b.m_drc.d1);
    drc.d3 = CDual(a.m_drc.d3, b.m_drc.d3);
    CLimDrcCoefsT<CDual> dk;
    dk.kSlow = CDual(a.m_drcCoefs.kSlow, b.m_drcCoefs.kSlow);
    dk.k40 = CDual(a.m_drcCoefs.k40, b.m_drcCoefs.k40);
    dk.k400 = CDual(a.m_drcCoefs.k400, b.m_drcCoefs.k400);
    const int type = a.m_params.type;
    const int drcType = a.m_params.drcType;
    const bool relOn = a.m_params.releaseEnable;
    CSlidingWindowMin& winA = a.m_window;
    CSlidingWindowMin& winB = b.m_window;

    for (int i = 0; i < n; ++i) {
        const CDual f = inputFactor(type, c) * drc.d3;
        scaleA[i] = f.lane0();
        scaleB[i] = f.lane1();

        const CDual y = f * CDual(levelA[i], levelB[i]);
        CDual g = vSelect(y <= T, CDual(1.0), T / y);
        if (relOn) g = rel.apply(g, rt, row);

        const double mA = winA.push(g.lane0());
        const double mB = winB.push(g.lane1());
        gainA[i] = mA;
        gainB[i] = mB;
        const CDual m(mA, mB);

        s += (m - s) * kS;
        c[0] += (s - c[0]) * kc[0];
        for (int j = 1; j < 12; ++j) c[j] += (c[j - 1] - c[j]) * kc[j];

        if (drcType != 0) drc.update(f * m, drcType, dk);
    }

    for (int j = 0; j < 12; ++j) {
        a.m_c[j] = c[j].lane0();
        b.m_c[j] = c[j].lane1();
    }
    a.m_s = s.lane0();
    b.m_s = s.lane1();
    a.m_rel.rt = rel.rt.lane0(), b.m_rel.rt = rel.rt.lane1();
    a.m_rel.r1 = rel.r1.lane0(), b.m_rel.r1 = rel.r1.lane1();
    a.m_rel.r2 = rel.r2.lane0(), b.m_rel.r2 = rel.r2.lane1();
    a.m_rel.r3 = rel.r3.lane0(), b.m_rel.r3 = rel.r3.lane1();
    a.m_rel.r4 = rel.r4.lane0(), b.m_rel.r4 = rel.r4.lane1();
    a.m_drc.d1 = drc.d1.lane0(), b.m_drc.d1 = drc.d1.lane1();
    a.m_drc.d3 = drc.d3.lane0(), b.m_drc.d3 = drc.d3.lane1();
#endif
}
