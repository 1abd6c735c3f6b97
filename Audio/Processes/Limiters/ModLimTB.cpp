#include "Audio/Processes/Limiters/ModLimTB.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <type_traits>

#include "Audio/Processes/Limiters/OnePole.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Time constants of the AIGC cascade stages C0 ... C11 (seconds, doubling).
double cascadeTime(int i) { return 0.0005 * static_cast<double>(1 << i); }

// S-curve release: stage times relative to the release time, as weighted
// sums of two shapes each (0.75 / 0.25).
constexpr double kTA[8] = {4.909635, 2.066496, 1.573579, 1.412593, 1.335332, 1.265604, 1.236652, 0.320461};
constexpr double kTC[8] = {3.398044, 2.585466, 2.109207, 1.358241, 0.910342, 0.85048, 0.330975, 0.000212};
constexpr double kTB[7] = {4.515913, 2.24209, 1.36675, 0.974507, 0.59483, 0.577553, 0.216144};
constexpr double kTD[7] = {5.511782, 2.21639, 1.225656, 0.797192, 0.474525, 0.473484, 0.000871};

// Offsets that keep the detector states away from denormals: fixed for TB-4,
// alternating in sign every sample for TB UNI (starting positive).
constexpr double kEpsTB4 = -1e-15;
constexpr double kEpsTBUni = 1e-15;

template <class Biquad>
Biquad highPass(double freq, double sr) {
    // Direct-form-II high-pass with a bandwidth of 2.54 octaves.
    const double w = 2.0 * kPi * freq / sr;
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double alpha = sw * std::sinh(0.8802969193111305 * w / sw);
    const double a0 = 1.0 + alpha;
    Biquad b;
    b.b0 = (1.0 + cw) / 2.0 / a0;
    b.b1 = -(1.0 + cw) / a0;
    b.b2 = b.b0;
    b.a1 = -2.0 * cw / a0;
    b.a2 = (1.0 - alpha) / a0;
    return b;
}

template <class V, class Biquad>
inline V runBiquad(const Biquad& b, V (&w)[2], V x) {
    const V w0 = x - b.a1 * w[0] - b.a2 * w[1];
    const V y = b.b0 * w0 + b.b1 * w[0] + b.b2 * w[1];
    w[1] = w[0];
    w[0] = w0;
    return y;
}

// The AIGC input factor: ratios of neighbouring slow cascade stages, so it
// rises above 1 while the slower stages still lag a gain reduction.
template <class V>
inline V aigcFactor(int type, const V (&c)[12]) {
    switch (type) {
        case 1: return c[5] / c[6] * c[7] / c[8] * c[9] / c[10];
        case 2: return c[6] / c[7] * c[8] / c[9] * c[10] / c[11];
        case 3: return c[5] / c[7] * c[8] / c[9] * c[10] / c[11];
        case 4: return c[5] / c[7] * c[8] / c[10];
        default: return c[5] / c[6] * c[7] * c[9] / c[10] * c[11];
    }
}

// A release cascade stage: falls at once, rises with coefficient a.
template <class V>
inline void riseOnly(V& stage, V in, V a) {
    stage += (in - stage) * vChoose(stage < in, [&] { return a; }, [] { return V(1.0); });
}

}  // namespace


void CModLimTB::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    m_window.prepare(limMaxLookAheadLength(m_sr));
    m_prepared = true;
    rebuildAll();
    resetState();
}

void CModLimTB::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    if (!m_prepared) return;
    rebuildAll();
    resetState();
}

void CModLimTB::setParams(const Params& in) {
    Params p = in;
    p.type = std::clamp(p.type, 0, 2);
    p.aigcType = std::clamp(p.aigcType, 0, 5);
    p.drcType = std::clamp(p.drcType, 0, 2);
    p.attack = std::max(p.attack, 0.0);
    p.knee = std::clamp(p.knee, 0.0, 1.0);
    p.release = std::max(p.release, 1e-4);
    p.timing = std::max(p.timing, 0.01);
    p.releaseRatio = std::clamp(p.releaseRatio, 0.01, 1.0);

    const Params old = m_params;
    m_params = p;
    if (!m_prepared || p == old) return;

    if (p.type != old.type || p.aigcType != old.aigcType || p.drcType != old.drcType) {
        rebuildAll();
        resetState();
        return;
    }
    const bool attackChanged = p.attack != old.attack;
    if (attackChanged) updateLookAhead();
    if (p.timing != old.timing || p.releaseRatio != old.releaseRatio || p.releaseShape != old.releaseShape)
        updateShape(true);
    if (attackChanged || p.knee != old.knee || p.release != old.release || p.releaseEnable != old.releaseEnable) {
        updateKneeAndRelease();
        if (p.releaseEnable && !old.releaseEnable) m_rel.reset();
    }
}

void CModLimTB::reset() { resetState(); }

void CModLimTB::rebuildAll() {
    updateLookAhead();
    updateKneeAndRelease();
    m_drcCoefs.build(m_sr);
    for (int i = 0; i < 12; ++i) m_co.kc[i] = onePoleCoefFreq(0.75 / cascadeTime(i), m_sr);
    m_co.k3 = onePoleCoefFreq(3.0, m_sr);
    m_co.k6 = onePoleCoefFreq(6.0, m_sr);
    m_co.k12 = onePoleCoefFreq(12.0, m_sr);
    m_co.kBL = onePoleCoefFreq(112.5, m_sr);
    m_co.kBM = onePoleCoefFreq(187.5, m_sr);
    m_co.kBH = onePoleCoefFreq(300.0, m_sr);
    m_co.hp250 = highPass<BiquadT<double>>(250.0, m_sr);
    m_co.hp500 = highPass<BiquadT<double>>(500.0, m_sr);
    updateShape(false);
}

void CModLimTB::updateLookAhead() {
    m_window.setLength(limLookAheadLength(m_params.attack, m_sr, m_window.maxLength()));
    m_co.T = limThresholdForAttack(m_params.attack);
    // The release target follows at about 2 / attack Hz. (Clamped to Nyquist,
    // which only matters for attacks shorter than about 4 samples.)
    const double attack = std::max(m_params.attack, 1e-6);
    m_relTables.kTarget = onePoleCoefWClamped((1.5 * kPi) / m_sr * 1.3333333 / (0.5 * attack));
}

void CModLimTB::updateKneeAndRelease() {
    // The knee arc starts K0 below the threshold (a hair below it at knee 0),
    // has its centre at (K0, B) below the e' = 0 line and its radius |B| so that
    // it also touches the line e' = -e, at K1.
    m_co.K0 = -0.5 * m_co.T * (1.98 * m_params.knee + 0.0001);
    m_co.B = 2.414213562373095 * m_co.K0;
    m_co.K1 = m_co.K0 - 0.7071067811865476 * m_co.B;
    m_co.R2 = m_co.B * m_co.B;
    m_relTables.build(m_params.release, m_relTables.kTarget, m_sr);
}

void CModLimTB::updateShape(bool glide) {
    const double timing = m_params.timing;
    const double rr = m_params.releaseRatio;
    m_co.aAtt = m_co.k3 / timing;
    m_co.aRel = m_co.k3 * rr / timing;
    m_co.aQ = m_co.k6 * rr / timing;
    m_co.k3t = m_co.k3 / timing;
    m_co.k3rt = m_co.k3 * rr / timing;
    m_co.k6rt = m_co.k6 * rr / timing;

    const double ta = 0.25 * timing * 1.0267;
    const double tr = 0.25 * timing / rr * 0.91;
    for (int j = 0; j < 8; ++j) m_co.sA[j] = onePoleCoefTimeClamped(tr * (0.75 * kTA[j] + 0.25 * kTC[j]), m_sr);
    for (int j = 0; j < 7; ++j) m_co.sB[j] = onePoleCoefTimeClamped(tr * (0.75 * kTB[j] + 0.25 * kTD[j]), m_sr);
    m_co.sG = onePoleCoefWClamped(0.77 * 2.0 * kPi / (m_sr * ta));

    const double s = m_params.releaseShape;
    if (s > 1.0) {
        m_co.mixQ = 2.0 - s;
        m_co.mixF = 0.0;
        m_co.mixS = s - 1.0;
    } else {
        m_co.mixS = 0.0;
        m_co.mixQ = 0.5 * s + 0.5;
        m_co.mixF = 1.0 - m_co.mixQ;
    }
    if (!glide) return;
    State& st = m_st;
    // The S-curve stages do not run while their weight is 0; when it comes in
    // they start from the follower.
    if (m_co.mixS != 0.0 && st.mix.s == 0.0) std::fill(std::begin(st.s), std::end(st.s), st.f);
    const int n = std::max(1, static_cast<int>(std::round(kMixGlideTime * m_sr)));
    st.mixGlide = n;
    st.mixStep = {(m_co.mixQ - st.mix.q) / n, (m_co.mixF - st.mix.f) / n, (m_co.mixS - st.mix.s) / n};
}

void CModLimTB::resetState() {
    State& s = m_st;
    std::fill(std::begin(s.c), std::end(s.c), 1.0);
    s.f = s.q1 = s.q2 = s.q3 = s.q4 = 1.0;
    const bool tb4 = m_params.type == 2;
    s.e1 = s.e2 = tb4 ? kEpsTB4 : 1.0;
    s.e3 = kEpsTB4;
    s.hp250[0] = s.hp250[1] = s.hp500[0] = s.hp500[1] = 0.0;
    s.bl = 1.0;
    s.bm = s.bh = 0.0;
    s.u = s.v = 1.0;
    s.eps = tb4 ? kEpsTB4 : kEpsTBUni;
    std::fill(std::begin(s.s), std::end(s.s), 1.0);
    s.mix = {m_co.mixQ, m_co.mixF, m_co.mixS};
    s.mixStep = {0.0, 0.0, 0.0};
    s.mixGlide = 0;
    m_rel.reset();
    m_drc.reset();
    m_window.clear();
}

void CModLimTB::process(const double* level, double* gainOut, double* scaleOut, int n) {
    if (!m_prepared || n <= 0) return;
    switch (m_params.type) {
        case 1: runOne<1>(level, gainOut, scaleOut, n); break;
        case 2: runOne<2>(level, gainOut, scaleOut, n); break;
        default: runOne<0>(level, gainOut, scaleOut, n); break;
    }
}

// With an AIGC or DRC type the input factor depends on the previous
// samples' gains: each sample then waits for the one before through the knee's
// division, and a pair, which computes every branch for both lanes, is no
// faster than two channels one after the other. So pairs run without them.
bool CModLimTB::runsLike(const CModLimTB& o) const {
    const auto pairable = [](const CModLimTB& m) {
        return m.m_prepared && m.m_params.aigcType == 0 && m.m_params.drcType == 0;
    };
    return this != &o && pairable(*this) && pairable(o) && m_params.type == o.m_params.type &&
           m_params.releaseEnable == o.m_params.releaseEnable && m_st.mixGlide == o.m_st.mixGlide;
}

void CModLimTB::processPair(CModLimTB& a, CModLimTB& b, const double* levelA, const double* levelB, double* gainA,
                            double* gainB, double* scaleA, double* scaleB, int n) {
    if (n <= 0) return;
    if (!kHaveDual || !a.runsLike(b)) {
        a.process(levelA, gainA, scaleA, n);
        b.process(levelB, gainB, scaleB, n);
        return;
    }
    switch (a.m_params.type) {
        case 1: runPair<1>(a, b, levelA, levelB, gainA, gainB, scaleA, scaleB, n); break;
        case 2: runPair<2>(a, b, levelA, levelB, gainA, gainB, scaleA, scaleB, n); break;
        default: runPair<0>(a, b, levelA, levelB, gainA, gainB, scaleA, scaleB, n); break;
    }
}

namespace {

// S-curve release cascade on `in`: each stage rises towards the stage before
// it and is pulled up by how far that one lies above the last stage; any part
// above the input is drawn back towards it with G.
template <class V, class Coefs>
inline void sCurve(V (&S)[8], V in, const Coefs& c) {
    const V s7 = S[7];
    V prev = in;
    for (int j = 0; j < 7; ++j) {
        const V sj = S[j];
        const V p = sj + (prev - sj) * vChoose(prev > sj, [&] { return c.sA[j]; }, [] { return V(0.0); }) +
                    (prev - s7) * vChoose(prev > s7, [&] { return c.sB[j]; }, [] { return V(0.0); });
        S[j] = vChoose(p >= in, [&] { return p + (in - p) * c.sG; }, [&] { return p; });
        prev = S[j];
    }
    const V p = s7 + (prev - s7) * vChoose(prev > s7, [&] { return c.sA[7]; }, [] { return V(0.0); });
    S[7] = vChoose(p >= in, [&] { return p + (in - p) * c.sG; }, [&] { return p; });
}

// Every real of the coefficients and of the state, visited in the same order
// across several sets (to gather two channels into pairs and back).
template <class F, class... C>
constexpr void eachCoef(F&& f, C&... c) {
    f(c.T...), f(c.K0...), f(c.K1...), f(c.B...), f(c.R2...);
    for (int i = 0; i < 12; ++i) f(c.kc[i]...);
    f(c.k3...), f(c.k6...), f(c.k12...), f(c.aAtt...), f(c.aRel...), f(c.aQ...);
    f(c.k3t...), f(c.k3rt...), f(c.k6rt...), f(c.kBL...), f(c.kBM...), f(c.kBH...);
    f(c.hp250.b0...), f(c.hp250.b1...), f(c.hp250.b2...), f(c.hp250.a1...), f(c.hp250.a2...);
    f(c.hp500.b0...), f(c.hp500.b1...), f(c.hp500.b2...), f(c.hp500.a1...), f(c.hp500.a2...);
    for (int i = 0; i < 8; ++i) f(c.sA[i]...);
    for (int i = 0; i < 7; ++i) f(c.sB[i]...);
    f(c.sG...), f(c.mixQ...), f(c.mixF...), f(c.mixS...);
}

template <class F, class... S>
constexpr void eachStateValue(F&& f, S&... s) {
    for (int i = 0; i < 12; ++i) f(s.c[i]...);
    f(s.f...), f(s.q1...), f(s.q2...), f(s.q3...), f(s.q4...), f(s.e1...), f(s.e2...), f(s.e3...);
    for (int i = 0; i < 2; ++i) f(s.hp250[i]...), f(s.hp500[i]...);
    f(s.bl...), f(s.bm...), f(s.bh...), f(s.u...), f(s.v...), f(s.eps...);
    for (int i = 0; i < 8; ++i) f(s.s[i]...);
    f(s.mix.q...), f(s.mix.f...), f(s.mix.s...), f(s.mixStep.q...), f(s.mixStep.f...), f(s.mixStep.s...);
}

template <class R, class... S>
void eachReleaseValue(R&& f, S&... r) {
    f(r.rt...), f(r.r1...), f(r.r2...), f(r.r3...), f(r.r4...);
}

template <class R, class... S>
void eachDrcValue(R&& f, S&... d) {
    f(d.d1...), f(d.d3...);
}

#if TAMBLOR_HAVE_DUAL
constexpr auto kZip = [](CDual& d, const double& a, const double& b) { d = CDual(a, b); };
constexpr auto kUnzip = [](const CDual& d, double& a, double& b) {
    a = d.lane0();
    b = d.lane1();
};
#endif

}  // namespace

// The sample step of one channel (V = double) or of two channels side by
// side (V = CDual). Coefficients and state are locals of the block loop (see
// runOne and runPair), which the step reaches by reference; the look-ahead
// windows and release tables stay with their channels.
template <class V>
struct CModLimTB::Lane {
    static constexpr bool kDual = !std::is_same_v<V, double>;

    const CoefsT<V>& c;
    StateT<V>& s;
    CLimReleaseStateT<V>& rel;
    CLimDrcStateT<V>& drc;
    const CLimDrcCoefsT<V>& dk;
    CLimReleaseRowT<V>& row;
    CModLimTB& a;
    CModLimTB& b;  // the same as a for one channel
    const int aigc = a.m_params.aigcType;
    const int drcType = a.m_params.drcType;
    const bool relOn = a.m_params.releaseEnable;
    // Type 2: whether U and V are 1 in every lane (the mix lay at or below
    // the held gain last sample). Then every rate they scale is its
    // coefficient times 1, the coefficient itself, and the limited rates of
    // the band detectors are the same all through the block.
    bool unitUV = vAll((s.u == 1.0) && (s.v == 1.0));
    const V e1Unit = vMin(V(1.0), c.k3);
    const V e2Unit = vMin(V(1.0), c.k6);
    const V e3Unit = vMin(V(1.0), c.k12);

    [[gnu::always_inline]] inline V release(V g) {
#if TAMBLOR_HAVE_DUAL
        if constexpr (kDual) return rel.apply(g, CLimReleaseTablePair{a.m_relTables, b.m_relTables}, row);
#endif
        if constexpr (!kDual) return rel.apply(g, a.m_relTables, row);
    }

    V hold(V g) {
        if constexpr (kDual)
            return V(a.m_window.push(g.lane0()), b.m_window.push(g.lane1()));
        else
            return a.m_window.push(g);
    }

    // One sample: returns the gain for level x and sets the input factor.
    template <int Type>
    [[gnu::always_inline]] inline V step(V x, V& scale) {
        const V out = shape<Type>(hold(limit(x, scale)));
        if (drcType != 0) drc.update(out * scale, drcType, dk);
        return out;
    }

    // A sample in three steps: limit() gives the input factor (scale) and the
    // gain for level x, hold() the minimum over the look-ahead window, shape()
    // the type stage. RelOn 1 or 0 fixes whether the release stage runs (a
    // loop chosen once per block), -1 leaves it to the setting.
    template <int RelOn = -1>
    [[gnu::always_inline]] inline V limit(V x, V& scale) {
        V p = drc.d3;
        // Pairs run without an AIGC type (see runsLike).
        if (!kDual && aigc != 0) p *= aigcFactor(aigc, s.c);
        scale = p;

        // Knee: 1 at or below its start (and for a zero level), T / y above
        // its end, the arc in between.
        const V y = p * x;
        const V e = y - c.T;
        const auto arc = [&] {
            const V d = e - c.K0;
            return (vSqrt(c.R2 - d * d) + c.B) / y + 1.0;
        };
        const auto above = [&] {
            // A pair skips the arc while neither lane is inside the knee.
            if (kDual && !vAny((e > c.K0) && (e < c.K1))) return c.T / y;
            return vChoose(e < c.K1, arc, [&] { return c.T / y; });
        };
        V g = vChoose((y == 0.0) || (e <= c.K0), [] { return V(1.0); }, above);

        if (!kDual && aigc != 0) {
            s.c[0] += (g - s.c[0]) * c.kc[0];
            for (int j = 1; j < 12; ++j) s.c[j] += (s.c[j - 1] - s.c[j]) * c.kc[j];
        }

        if (RelOn == 1 || (RelOn == -1 && relOn)) g = release(g);
        return g;
    }

    // The limiting of a block: the knee gains in one pass, then the release
    // stage over them in a loop of its own.
    void limitBlock(const double* x, double* gain, double* scale, int n) {
        for (int i = 0; i < n; ++i) gain[i] = limit<0>(x[i], scale[i]);
        if (relOn) releaseBlock(gain, gain, n);
    }

    void releaseBlock(double* gA, double* gB, int n) {
#if TAMBLOR_HAVE_DUAL
        if constexpr (kDual) rel.run(gA, gB, n, CLimReleaseTablePair{a.m_relTables, b.m_relTables}, row);
#endif
        if constexpr (!kDual) rel.run(gA, gB, n, a.m_relTables, row);
    }

    template <int Type>
    [[gnu::always_inline]] inline V shape(V m) {
        V out;

        if constexpr (Type != 0) {
            if (s.mixGlide > 0) {
                if (--s.mixGlide == 0) {
                    s.mix = {c.mixQ, c.mixF, c.mixS};
                } else {
                    s.mix.q += s.mixStep.q;
                    s.mix.f += s.mixStep.f;
                    s.mix.s += s.mixStep.s;
                }
            }
        }

        if constexpr (Type == 0) {
            out = m;
        } else if constexpr (Type == 1) {
            s.f += (m - s.f) * vChoose(s.f > m, [&] { return c.aAtt; }, [&] { return c.aRel; });
            s.q1 += (m - s.q1) * vChoose(s.q1 < m, [&] { return c.aQ; }, [&] { return c.aAtt; });
            riseOnly(s.q2, s.q1, c.aQ);
            riseOnly(s.q3, s.q2, c.aQ);
            riseOnly(s.q4, s.q3, c.aQ);
            // The detectors see the gain's fast movements through two
            // high-passes; the alternating offset keeps them out of denormals.
            const V d = (1.0 + s.eps) - m;
            s.eps = -s.eps;
            s.e1 += ((1.0 - vAbs(runBiquad(c.hp250, s.hp250, d))) - s.e1) * c.k3;
            s.e2 += ((1.0 - vAbs(runBiquad(c.hp500, s.hp500, d))) - s.e2) * c.k6;
            curve(m);
            out = vMin(m, s.e2 * (s.s[7] * s.mix.s + s.q4 * s.mix.q + s.f * s.mix.f) * s.e1);
        } else {
            // Split the held gain into a low band (BL) and two band detectors;
            // U and V speed the followers up while the mix lies above the held
            // gain and slow them down correspondingly.
            const V u = s.u;
            const V v = s.v;
            s.bl += (m - s.bl) * c.kBL;
            const V r1 = m - s.bl;
            const V mid = s.bm + (r1 - s.bm) * c.kBM;
            const V r2 = r1 - mid;
            const V hi = s.bh + (r2 - s.bh) * c.kBH;

            s.bm = kEpsTB4 - vAbs(mid);
            s.bh = kEpsTB4 - vAbs(hi);
            const V h = kEpsTB4 - vAbs(r2 - hi);
            V aAtt, aQ;
            if (unitUV) {
                s.f += (s.bl - s.f) * vChoose(s.f > s.bl, [&] { return c.k3t; }, [&] { return c.k3rt; });
                s.e1 += (s.bm - s.e1) * e1Unit;
                s.e2 += (s.bh - s.e2) * e2Unit;
                s.e3 += (h - s.e3) * e3Unit;
                aAtt = c.k3t;
                aQ = c.k6rt;
            } else {
                s.f += (s.bl - s.f) * vChoose(s.f > s.bl, [&] { return c.k3t * u; }, [&] { return c.k3rt * v; });
                s.e1 += (s.bm - s.e1) *
                        vMin(1.0, vChoose(s.e1 >= s.bm, [&] { return c.k3 * u; }, [&] { return c.k3 * v; }));
                const V u2 = u * u, u4 = u2 * u2, u8 = u4 * u4, u16 = u8 * u8;
                const V v2 = v * v, v4 = v2 * v2, v8 = v4 * v4, v16 = v8 * v8;
                s.e2 += (s.bh - s.e2) *
                        vMin(1.0, vChoose(s.e2 < s.bh, [&] { return c.k6 * v8; }, [&] { return c.k6 * u8; }));
                s.e3 += (h - s.e3) *
                        vMin(1.0, vChoose(s.e3 < h, [&] { return c.k12 * v16; }, [&] { return c.k12 * u16; }));
                aAtt = c.k3t * u;
                aQ = c.k6rt * v;
            }
            s.q1 += (s.bl - s.q1) * vChoose(s.q1 < s.bl, [&] { return aQ; }, [&] { return aAtt; });
            riseOnly(s.q2, s.q1, aQ);
            riseOnly(s.q3, s.q2, aQ);
            riseOnly(s.q4, s.q3, aQ);

            curve(s.bl);

            const V total =
                s.f * s.mix.f + s.q4 * s.mix.q + s.s[7] * s.mix.s + 0.32 * s.e3 + 0.8 * s.e1 + 0.95 * s.e2;
            // Mostly the mix lies at or below the held gain: then U and V
            // stay 1 and the followers' speeds do not wait for the divisions.
            const auto above = total > m;
            if (vAny(above)) [[unlikely]] {
                s.u = vSelect(above, total / m, V(1.0));
                s.v = vSelect(above, m / total, V(1.0));
                out = vSelect(above, m, total);
                unitUV = false;
            } else {
                s.u = s.v = 1.0;
                out = total;
                unitUV = true;
            }
        }

        return out;
    }

    // The S-curve stages run only while their weight in the mix is not 0.
    void curve(V in) {
        const auto on = s.mix.s != 0.0;
        if (!vAny(on)) return;
        if constexpr (kDual) {
            V before[8];
            std::copy(std::begin(s.s), std::end(s.s), before);
            sCurve(s.s, in, c);
            for (int j = 0; j < 8; ++j) s.s[j] = vSelect(on, s.s[j], before[j]);
        } else {
            sCurve(s.s, in, c);
        }
    }
};

namespace {
// Samples per piece of a block that the per-sample passes take in turn.
constexpr int kPassLength = 1024;

// The number of reals eachCoef and eachStateValue visit: every one there is.
template <class Coefs, class State>
constexpr bool visitsEveryValue() {
    Coefs c{};
    State s{};
    int nc = 0, ns = 0;
    eachCoef([&nc](double&) { ++nc; }, c);
    eachStateValue([&ns](double&) { ++ns; }, s);
    return nc * sizeof(double) == sizeof(Coefs) && (ns + 1) * sizeof(double) == sizeof(State);
}
}  // namespace

template <int Type>
void CModLimTB::runOne(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    static_assert(visitsEveryValue<Coefs, State>());
    const Coefs c = m_co;
    State s = m_st;
    CLimReleaseState rel = m_rel;
    CLimDrcState drc = m_drc;
    const CLimDrcCoefsT<double> dk = m_drcCoefs;
    CLimReleaseRow row;
    Lane<double> l{c, s, rel, drc, dk, row, *this, *this};
    if (l.drcType == 0) {
        // Nothing leads from the held gain back to the limiting: the
        // limiting, the holding and the shaping run as passes, which keeps
        // fewer values live at once and lets the window run as one loop of
        // its own. They go over pieces of the block that stay in the first
        // level cache from one pass to the next (an oversampled block is
        // longer).
        for (int at = 0; at < n; at += kPassLength) {
            const int m = std::min(kPassLength, n - at);
            double* g = gainOut + at;
            l.limitBlock(level + at, g, scaleOut + at, m);
            m_window.run(g, g, m);
            if constexpr (Type != 0)
                for (int i = 0; i < m; ++i) g[i] = l.template shape<Type>(g[i]);
        }
    } else {
        for (int i = 0; i < n; ++i) gainOut[i] = l.template step<Type>(level[i], scaleOut[i]);
    }
    m_st = s;
    m_rel = rel;
    m_drc = drc;
}

// Two channels in one loop, each lane of a register doing exactly the
// arithmetic its channel does alone.
template <int Type>
void CModLimTB::runPair(CModLimTB& a, CModLimTB& b, const double* levelA, const double* levelB, double* gainA,
                        double* gainB, double* scaleA, double* scaleB, int n) {
#if TAMBLOR_HAVE_DUAL
    CoefsT<CDual> c;
    StateT<CDual> s;
    CLimReleaseStateT<CDual> rel;
    CLimDrcStateT<CDual> drc;
    CLimDrcCoefsT<CDual> dk;
    eachCoef(kZip, c, a.m_co, b.m_co);
    eachStateValue(kZip, s, a.m_st, b.m_st);
    s.mixGlide = a.m_st.mixGlide;
    eachReleaseValue(kZip, rel, a.m_rel, b.m_rel);
    eachDrcValue(kZip, drc, a.m_drc, b.m_drc);
    kZip(dk.kSlow, a.m_drcCoefs.kSlow, b.m_drcCoefs.kSlow);
    kZip(dk.k40, a.m_drcCoefs.k40, b.m_drcCoefs.k40);
    kZip(dk.k400, a.m_drcCoefs.k400, b.m_drcCoefs.k400);

    CLimReleaseRowT<CDual> row;
    Lane<CDual> l{c, s, rel, drc, dk, row, a, b};
    const auto put = [](double* x, double* y, int i, CDual v) {
        x[i] = v.lane0();
        y[i] = v.lane1();
    };
    // Pairs run without a DRC type (see runsLike), in passes as in runOne,
    // each window in a pass of its own.
    for (int at = 0; at < n; at += kPassLength) {
        const int m = std::min(kPassLength, n - at);
        double* ga = gainA + at;
        double* gb = gainB + at;
        for (int i = 0; i < m; ++i) {
            CDual scale;
            put(ga, gb, i, l.template limit<0>(CDual(levelA[at + i], levelB[at + i]), scale));
        }
        if (l.relOn) l.releaseBlock(ga, gb, m);
        CSlidingWindowMin::runPair(a.m_window, ga, ga, b.m_window, gb, gb, m);
        if constexpr (Type != 0)
            for (int i = 0; i < m; ++i) put(ga, gb, i, l.template shape<Type>(CDual(ga[i], gb[i])));
    }
    // Without a DRC or AIGC type the input factor is D3 all through the
    // block (limit() gives it for every sample).
    std::fill_n(scaleA, n, drc.d3.lane0());
    std::fill_n(scaleB, n, drc.d3.lane1());

    eachStateValue(kUnzip, s, a.m_st, b.m_st);
    a.m_st.mixGlide = b.m_st.mixGlide = s.mixGlide;
    eachReleaseValue(kUnzip, rel, a.m_rel, b.m_rel);
    eachDrcValue(kUnzip, drc, a.m_drc, b.m_drc);
#else
    (void)a, (void)b, (void)levelA, (void)levelB, (void)gainA, (void)gainB, (void)scaleA, (void)scaleB, (void)n;
#endif
}
