#include "Audio/Processes/Gain/ModDither.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Audio/Filters/FilterDesign.h"

namespace {

constexpr double kPi = std::numbers::pi;

// Sections whose angular frequency lies this close to Nyquist or above are
// left out of the cascade.
constexpr double kMaxSectionW = 0.95 * kPi;

struct SectionDesign {
    int type;  // kRBJPeaking, kRBJHighShelf or kRBJHighPass
    double wTimesRate;
    double s;  // alpha = sin w · s
    double A;
};

// The seven sections of the Equal curve: a broad dip around 640 Hz, the
// mid-band shaping peaks and the treble shelves that move the noise above
// the ear's most sensitive region.
const SectionDesign* equalDesign() {
    static const SectionDesign k[7] = {
        {kRBJPeaking, 2.0 * kPi * 638.4, std::sinh(kRBJBandwidthFactor * 2.264), std::pow(10.0, -1.18 / 40.0)},
        {kRBJPeaking, 8783.893059437061, 0.34657666606799514, 1.333521432163324},
        {kRBJPeaking, 22405.838805402404, 1.0606537216483736, 0.40550853544838383},
        {kRBJPeaking, 54475.216613247016, 0.5926230563407816, 2.5365883879579205},
        {kRBJHighShelf, 95692.9122283451, 0.3352257149184635, 1.6788040181225603},
        {kRBJHighShelf, 95692.9122283451, 0.9935863658489695, 1.6788040181225603},
        {kRBJHighShelf, 120637.15789784805, 0.4279813055619755, 2.51188643150958},
    };
    return k;
}

// The two sections of the Classic curve: a steep treble shelf and a gentle
// high-pass that takes the noise away from the lowest frequencies.
const SectionDesign* classicDesign() {
    static const SectionDesign k[2] = {
        {kRBJHighShelf, 2.0 * kPi * 16500.0, std::sinh(kRBJBandwidthFactor * 1.0), std::pow(10.0, 24.0 / 40.0)},
        {kRBJHighPass, 5026.548245743669, 5.61266007566822, 1.0},
    };
    return k;
}

template <int Kind>
inline double ditherNoise(CRanmar& rng) {
    if constexpr (Kind == CModDither::kTPDF) {
        const double u1 = rng.next();
        return u1 - rng.next();
    } else if constexpr (Kind == CModDither::kGauss) {
        const double u1 = rng.next();
        const double u2 = rng.next();
        const double u3 = rng.next();
        return (u1 + u2 + u3 - 1.5) * 0.88;
    } else {
        return rng.next() - 0.5;
    }
}

template <int Begin, int End>
inline double pairwiseSum(const double* z) {
    if constexpr (End - Begin == 0) {
        return 0.0;
    } else if constexpr (End - Begin == 1) {
        return z[Begin];
    } else {
        constexpr int Mid = (Begin + End) / 2;
        return pairwiseSum<Begin, Mid>(z) + pairwiseSum<Mid, End>(z);
    }
}

}  // namespace

int CModDither::designShaping(int shaping, double sampleRate, ShapingSet& out) {
    const SectionDesign* design = nullptr;
    int count = 0;
    if (shaping == kShapingEqual) {
        design = equalDesign();
        count = 7;
    } else if (shaping == kShapingClassic) {
        design = classicDesign();
        count = 2;
    }
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const SectionDesign& d = design[i];
        const double w = d.wTimesRate / sampleRate;
        if (!(w < kMaxSectionW)) continue;
        const CBiquadRaw r = rbjCoefficients(d.type, w, d.A, std::sin(w) * d.s);
        out[size_t(n++)] = {r.b1 / r.b0, r.b2 / r.b0, r.a1 / r.a0, r.a2 / r.a0};
    }
    return n;
}

CModDither::CModDither() : CModDither(CRanmar::nextInstanceSeed()) {}

CModDither::CModDither(uint32_t seed) : m_seed(seed) {
    m_rng.seed(seed);
    update();
}

void CModDither::prepare(double sampleRate, int /*maxBlock*/) { setSampleRate(sampleRate); }

void CModDither::setSampleRate(double sampleRate) {
    m_rate = sampleRate;
    update();
    reset();
}

void CModDither::setParams(const Params& p) {
    if (p == m_params) return;
    const bool shapingChanged = p.shaping != m_params.shaping;
    m_params = p;
    update();
    if (shapingChanged) reset();
}

void CModDither::reset() { m_state.fill(0.0); }

void CModDither::update() {
    const int w = 8 + std::clamp(m_params.bits, 0, 16);
    m_s = std::ldexp(1.0, w - 1);
    m_q = 1.0 / m_s;
    m_sectionCount = designShaping(m_params.shaping, m_rate, m_sections);
}

template <int Kind, int Sections>
void CModDither::run(const double* in, double* out, int frames) {
    CRanmar& rng = m_rng;
    const double S = m_s;
    const double Q = m_q;
    // Section ratios and states in locals; the feedback works in units of
    // one quantisation step.
    double c1[Sections + 1], c2[Sections + 1], d1[Sections + 1], d2[Sections + 1];
    double z1[Sections + 1], z2[Sections + 1];
    for (int k = 0; k < Sections; ++k) {
        c1[k] = m_sections[size_t(k)].c1;
        c2[k] = m_sections[size_t(k)].c2;
        d1[k] = m_sections[size_t(k)].d1;
        d2[k] = m_sections[size_t(k)].d2;
        z1[k] = m_state[size_t(2 * k)];
        z2[k] = m_state[size_t(2 * k + 1)];
    }
    for (int i = 0; i < frames; ++i) {
        // The feedback is the sum of the first states, added pairwise to keep
        // the per-sample dependency chain short. The running sums P[k] give
        // each section's output once the error is known: o[k] = e + P[k].
        const double f = pairwiseSum<0, Sections>(z1);
        double P[Sections + 1];
        double acc = 0.0;
        for (int k = 0; k < Sections; ++k) P[k] = acc += z1[k];
        const double v = in[i] * S + f;
        const double n = ditherNoise<Kind>(rng);
        // v + n rounded half away from zero: floor(t + 0.5) for t ≥ 0 and
        // −floor(0.5 − t) below, written without a branch on the sign (which
        // is random near silence); + 0.0 turns −0 into 0.
        const double t = v + n;
        const double q = std::copysign(std::floor(std::fabs(t) + 0.5), t) + 0.0;
        out[i] = q * Q;
        if constexpr (Sections > 0) {
            const double e = q - v;
            double prev = e;
            for (int k = 0; k < Sections; ++k) {
                const double o = e + P[k];
                z1[k] = c1[k] * prev - d1[k] * o + z2[k];
                z2[k] = c2[k] * prev - d2[k] * o;
                prev = o;
            }
        }
    }
    for (int k = 0; k < Sections; ++k) {
        m_state[size_t(2 * k)] = z1[k];
        m_state[size_t(2 * k + 1)] = z2[k];
    }
}

template <int Kind>
void CModDither::runShaped(const double* in, double* out, int frames) {
    switch (m_sectionCount) {
        case 0: run<Kind, 0>(in, out, frames); break;
        case 1: run<Kind, 1>(in, out, frames); break;
        case 2: run<Kind, 2>(in, out, frames); break;
        case 3: run<Kind, 3>(in, out, frames); break;
        case 4: run<Kind, 4>(in, out, frames); break;
        case 5: run<Kind, 5>(in, out, frames); break;
        case 6: run<Kind, 6>(in, out, frames); break;
        default: run<Kind, 7>(in, out, frames); break;
    }
}

void CModDither::process(const double* in, double* out, int frames) {
    switch (m_params.noise) {
        case kGauss: runShaped<kGauss>(in, out, frames); break;
        case kOneBit: runShaped<kOneBit>(in, out, frames); break;
        default: runShaped<kTPDF>(in, out, frames); break;
    }
}
