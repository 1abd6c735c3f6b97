#include "Audio/Processes/ModLimTB.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Audio/Processes/OnePole.h"

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

template <class Biquad>
inline double runBiquad(const Biquad& b, double (&w)[2], double x) {
    const double w0 = x - b.a1 * w[0] - b.a2 * w[1];
    const double y = b.b0 * w0 + b.b1 * w[0] + b.b2 * w[1];
    w[1] = w[0];
    w[0] = w0;
    return y;
}

// The AIGC input factor: ratios of neighbouring slow cascade stages, so it
// rises above 1 while the slower stages still lag a gain reduction.
inline double aigcFactor(int type, const double (&c)[12]) {
    switch (type) {
        case 1: return c[5] / c[6] * c[7] / c[8] * c[9] / c[10];
        case 2: return c[6] / c[7] * c[8] / c[9] * c[10] / c[11];
        case 3: return c[5] / c[7] * c[8] / c[9] * c[10] / c[11];
        case 4: return c[5] / c[7] * c[8] / c[10];
        default: return c[5] / c[6] * c[7] * c[9] / c[10] * c[11];
    }
}

// A release cascade stage: falls at once, rises with coefficient a.
inline void riseOnly(double& stage, double in, double a) { stage += (in - stage) * (stage < in ? a : 1.0); }

}  // namespace

CModLimTB::Params CModLimTB::Params::fromValues(std::span<const double> v) {
    Params p;
    const auto n = v.size();
    if (n > 0) p.attack = v[0];
    if (n > 1) p.type = limParamInt(v[1], 0, 2);
    if (n > 2) p.knee = v[2];
    if (n > 3) p.release = v[3];
    if (n > 4) p.releaseEnable = limParamSwitch(v[4]);
    if (n > 5) p.aigcType = limParamInt(v[5], 0, 5);
    if (n > 6) p.drcType = limParamInt(v[6], 0, 2);
    if (n > 7) p.timing = v[7];
    if (n > 8) p.releaseRatio = v[8];
    if (n > 9) p.releaseShape = v[9];
    return p;
}

void CModLimTB::prepare(double sampleRate, int /*maxBlock*/) {
    sr_ = sampleRate > 0.0 ? sampleRate : 44100.0;
    window_.prepare(limMaxLookAheadLength(sr_));
    prepared_ = true;
    rebuildAll();
    resetState();
}

void CModLimTB::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    sr_ = sampleRate;
    if (!prepared_) return;
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

    const Params old = params_;
    params_ = p;
    if (!prepared_ || p == old) return;

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
        if (p.releaseEnable && !old.releaseEnable) rel_.reset();
    }
}

void CModLimTB::reset() { resetState(); }

void CModLimTB::rebuildAll() {
    updateLookAhead();
    updateKneeAndRelease();
    drcCoefs_.build(sr_);
    for (int i = 0; i < 12; ++i) co_.kc[i] = onePoleCoefFreq(0.75 / cascadeTime(i), sr_);
    co_.k3 = onePoleCoefFreq(3.0, sr_);
    co_.k6 = onePoleCoefFreq(6.0, sr_);
    co_.k12 = onePoleCoefFreq(12.0, sr_);
    co_.kBL = onePoleCoefFreq(112.5, sr_);
    co_.kBM = onePoleCoefFreq(187.5, sr_);
    co_.kBH = onePoleCoefFreq(300.0, sr_);
    co_.hp250 = highPass<Biquad>(250.0, sr_);
    co_.hp500 = highPass<Biquad>(500.0, sr_);
    updateShape(false);
}

void CModLimTB::updateLookAhead() {
    window_.setLength(limLookAheadLength(params_.attack, sr_, window_.maxLength()));
    co_.T = limThresholdForAttack(params_.attack);
    // The release target follows at about 2 / attack Hz. (Clamped to Nyquist,
    // which only matters for attacks shorter than about 4 samples.)
    const double attack = std::max(params_.attack, 1e-6);
    relTables_.kTarget = onePoleCoefWClamped((1.5 * kPi) / sr_ * 1.3333333 / (0.5 * attack));
}

void CModLimTB::updateKneeAndRelease() {
    // The knee arc starts K0 below the threshold (a hair below it at knee 0),
    // has its centre at (K0, B) below the e' = 0 line and its radius |B| so that
    // it also touches the line e' = -e, at K1.
    co_.K0 = -0.5 * co_.T * (1.98 * params_.knee + 0.0001);
    co_.B = 2.414213562373095 * co_.K0;
    co_.K1 = co_.K0 - 0.7071067811865476 * co_.B;
    co_.R2 = co_.B * co_.B;
    relTables_.build(params_.release, relTables_.kTarget, sr_);
}

void CModLimTB::updateShape(bool glide) {
    const double timing = params_.timing;
    const double rr = params_.releaseRatio;
    co_.aAtt = co_.k3 / timing;
    co_.aRel = co_.k3 * rr / timing;
    co_.aQ = co_.k6 * rr / timing;
    co_.k3t = co_.k3 / timing;
    co_.k3rt = co_.k3 * rr / timing;
    co_.k6rt = co_.k6 * rr / timing;

    const double ta = 0.25 * timing * 1.0267;
    const double tr = 0.25 * timing / rr * 0.91;
    for (int j = 0; j < 8; ++j) co_.sA[j] = onePoleCoefTimeClamped(tr * (0.75 * kTA[j] + 0.25 * kTC[j]), sr_);
    for (int j = 0; j < 7; ++j) co_.sB[j] = onePoleCoefTimeClamped(tr * (0.75 * kTB[j] + 0.25 * kTD[j]), sr_);
    co_.sG = onePoleCoefWClamped(0.77 * 2.0 * kPi / (sr_ * ta));

    const double s = params_.releaseShape;
    if (s > 1.0) {
        co_.mixQ = 2.0 - s;
        co_.mixF = 0.0;
        co_.mixS = s - 1.0;
    } else {
        co_.mixS = 0.0;
        co_.mixQ = 0.5 * s + 0.5;
        co_.mixF = 1.0 - co_.mixQ;
    }
    if (!glide) return;
    State& st = st_;
    // The S-curve stages do not run while their weight is 0; when it comes in
    // they start from the follower.
    if (co_.mixS != 0.0 && st.mix.s == 0.0) std::fill(std::begin(st.s), std::end(st.s), st.f);
    const int n = std::max(1, static_cast<int>(std::round(kMixGlideTime * sr_)));
    st.mixGlide = n;
    st.mixStep = {(co_.mixQ - st.mix.q) / n, (co_.mixF - st.mix.f) / n, (co_.mixS - st.mix.s) / n};
}

void CModLimTB::resetState() {
    State& s = st_;
    std::fill(std::begin(s.c), std::end(s.c), 1.0);
    s.f = s.q1 = s.q2 = s.q3 = s.q4 = 1.0;
    const bool tb4 = params_.type == 2;
    s.e1 = s.e2 = tb4 ? kEpsTB4 : 1.0;
    s.e3 = kEpsTB4;
    s.hp250[0] = s.hp250[1] = s.hp500[0] = s.hp500[1] = 0.0;
    s.bl = 1.0;
    s.bm = s.bh = 0.0;
    s.u = s.v = 1.0;
    s.eps = tb4 ? kEpsTB4 : kEpsTBUni;
    std::fill(std::begin(s.s), std::end(s.s), 1.0);
    s.mix = {co_.mixQ, co_.mixF, co_.mixS};
    s.mixStep = {0.0, 0.0, 0.0};
    s.mixGlide = 0;
    rel_.reset();
    drc_.reset();
    window_.clear();
}

void CModLimTB::process(const double* level, double* gainOut, double* scaleOut, int n) {
    if (!prepared_ || n <= 0) return;
    switch (params_.type) {
        case 1: processType<1>(level, gainOut, scaleOut, n); break;
        case 2: processType<2>(level, gainOut, scaleOut, n); break;
        default: processType<0>(level, gainOut, scaleOut, n); break;
    }
}

namespace {

// S-curve release cascade on `in`: each stage rises towards the stage before
// it and is pulled up by how far that one lies above the last stage; any part
// above the input is drawn back towards it with G.
template <class Coefs>
inline void sCurve(double (&S)[8], double in, const Coefs& c) {
    const double s7 = S[7];
    double prev = in;
    for (int j = 0; j < 7; ++j) {
        const double sj = S[j];
        const double p = sj + (prev - sj) * (prev > sj ? c.sA[j] : 0.0) + (prev - s7) * (prev > s7 ? c.sB[j] : 0.0);
        S[j] = p >= in ? p + (in - p) * c.sG : p;
        prev = S[j];
    }
    const double p = s7 + (prev - s7) * (prev > s7 ? c.sA[7] : 0.0);
    S[7] = p >= in ? p + (in - p) * c.sG : p;
}

}  // namespace

template <int Type>
void CModLimTB::processType(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    const Coefs c = co_;
    State s = st_;
    CLimReleaseState rel = rel_;
    CLimDrcState drc = drc_;
    const CLimDrcCoefs dk = drcCoefs_;
    const CLimReleaseTables& rt = relTables_;
    const int aigc = params_.aigcType;
    const int drcType = params_.drcType;
    const bool relOn = params_.releaseEnable;
    CSlidingWindowMin& win = window_;

    for (int i = 0; i < n; ++i) {
        const double x = level[i];

        double p = drc.d3;
        if (aigc != 0) p *= aigcFactor(aigc, s.c);
        scaleOut[i] = p;

        const double y = p * x;
        double g;
        if (y == 0.0) {
            g = 1.0;
        } else {
            const double e = y - c.T;
            if (e <= c.K0) {
                g = 1.0;
            } else if (e < c.K1) {
                const double d = e - c.K0;
                g = (std::sqrt(c.R2 - d * d) + c.B) / y + 1.0;
            } else {
                g = c.T / y;
            }
        }

        if (aigc != 0) {
            s.c[0] += (g - s.c[0]) * c.kc[0];
            for (int j = 1; j < 12; ++j) s.c[j] += (s.c[j - 1] - s.c[j]) * c.kc[j];
        }

        if (relOn) g = rel.apply(g, rt);

        const double m = win.push(g);
        double out;

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
            s.f += (m - s.f) * (s.f > m ? c.aAtt : c.aRel);
            s.q1 += (m - s.q1) * (s.q1 < m ? c.aQ : c.aAtt);
            riseOnly(s.q2, s.q1, c.aQ);
            riseOnly(s.q3, s.q2, c.aQ);
            riseOnly(s.q4, s.q3, c.aQ);
            // The detectors see the gain's fast movements through two
            // high-passes; the alternating offset keeps them out of denormals.
            const double d = (1.0 + s.eps) - m;
            s.eps = -s.eps;
            s.e1 += ((1.0 - std::abs(runBiquad(c.hp250, s.hp250, d))) - s.e1) * c.k3;
            s.e2 += ((1.0 - std::abs(runBiquad(c.hp500, s.hp500, d))) - s.e2) * c.k6;
            if (s.mix.s != 0.0) sCurve(s.s, m, c);
            out = std::min(m, s.e2 * (s.s[7] * s.mix.s + s.q4 * s.mix.q + s.f * s.mix.f) * s.e1);
        } else {
            // Split the held gain into a low band (BL) and two band detectors;
            // U and V speed the followers up while the mix lies above the held
            // gain and slow them down correspondingly.
            const double u = s.u;
            const double v = s.v;
            s.bl += (m - s.bl) * c.kBL;
            const double r1 = m - s.bl;
            const double mid = s.bm + (r1 - s.bm) * c.kBM;
            const double r2 = r1 - mid;
            const double hi = s.bh + (r2 - s.bh) * c.kBH;

            s.f += (s.bl - s.f) * (s.f > s.bl ? c.k3t * u : c.k3rt * v);

            s.bm = kEpsTB4 - std::abs(mid);
            s.e1 += (s.bm - s.e1) * std::min(1.0, s.e1 >= s.bm ? c.k3 * u : c.k3 * v);

            const double u2 = u * u, u4 = u2 * u2, u8 = u4 * u4, u16 = u8 * u8;
            const double v2 = v * v, v4 = v2 * v2, v8 = v4 * v4, v16 = v8 * v8;
            s.bh = kEpsTB4 - std::abs(hi);
            s.e2 += (s.bh - s.e2) * std::min(1.0, s.e2 < s.bh ? c.k6 * v8 : c.k6 * u8);
            const double h = kEpsTB4 - std::abs(r2 - hi);
            s.e3 += (h - s.e3) * std::min(1.0, s.e3 < h ? c.k12 * v16 : c.k12 * u16);

            const double aAtt = c.k3t * u;
            const double aQ = c.k6rt * v;
            s.q1 += (s.bl - s.q1) * (s.q1 < s.bl ? aQ : aAtt);
            riseOnly(s.q2, s.q1, aQ);
            riseOnly(s.q3, s.q2, aQ);
            riseOnly(s.q4, s.q3, aQ);

            if (s.mix.s != 0.0) sCurve(s.s, s.bl, c);

            const double total =
                s.f * s.mix.f + s.q4 * s.mix.q + s.s[7] * s.mix.s + 0.32 * s.e3 + 0.8 * s.e1 + 0.95 * s.e2;
            if (total > m) {
                s.u = total / m;
                s.v = m / total;
                out = m;
            } else {
                s.u = s.v = 1.0;
                out = total;
            }
        }

        if (drcType != 0) drc.update(out * p, drcType, dk);
        gainOut[i] = out;
    }

    st_ = s;
    rel_ = rel;
    drc_ = drc;
}
