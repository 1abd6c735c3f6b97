#include "Audio/Processes/Limiters/ModLimTBC.h"

#include <algorithm>
#include <cmath>

#include "Audio/Processes/Limiters/OnePole.h"

namespace {

// Time constants (seconds) of the group coefficients, all stretched by the
// same factor.
constexpr double kTimes[8] = {0.063201050283, 0.290185942194, 0.009667109551, 0.043885776166,
                              1.253696204552, 0.126988565921, 0.110536948645, 0.646890056686};
constexpr double kTimeStretch = 1.36437632;

inline void moveGroup(double (&s)[4], double in, double rise, double fall) {
    if (in >= s[0]) {
        s[0] += (in - s[0]) * rise;
        s[1] += (s[0] - s[1]) * rise;
        s[2] += (s[1] - s[2]) * rise;
        s[3] += (s[2] - s[3]) * rise;
    } else {
        s[3] += (in - s[3]) * fall;
        s[2] += (s[3] - s[2]) * fall;
        s[1] += (s[2] - s[1]) * fall;
        s[0] += (s[1] - s[0]) * fall;
    }
}

inline double mean(const double (&s)[4]) { return (s[0] + s[1] + s[2] + s[3]) * 0.25; }

#if TAMBLOR_HAVE_DUAL
// moveGroup() for two channels, each lane moving its own way. Mostly both
// move the same way: then only that way is computed, and the branch (as
// predictable as one channel's) keeps the selects off the chain of stages.
[[gnu::always_inline]] inline void moveGroup(CDual (&s)[4], CDual in, CDual rise, CDual fall) {
    const CDualMask up = in >= s[0];
    const auto rising = [&](CDual (&u)[4]) {
        u[0] = s[0] + (in - s[0]) * rise;
        u[1] = s[1] + (u[0] - s[1]) * rise;
        u[2] = s[2] + (u[1] - s[2]) * rise;
        u[3] = s[3] + (u[2] - s[3]) * rise;
    };
    const auto falling = [&](CDual (&d)[4]) {
        d[3] = s[3] + (in - s[3]) * fall;
        d[2] = s[2] + (d[3] - s[2]) * fall;
        d[1] = s[1] + (d[2] - s[1]) * fall;
        d[0] = s[0] + (d[1] - s[0]) * fall;
    };
    if (vAll(up)) {
        rising(s);
    } else if (!vAny(up)) {
        falling(s);
    } else {
        CDual u[4], d[4];
        rising(u);
        falling(d);
        for (int j = 0; j < 4; ++j) s[j] = vSelect(up, u[j], d[j]);
    }
}

inline CDual mean(const CDual (&s)[4]) { return (s[0] + s[1] + s[2] + s[3]) * 0.25; }
#endif

}  // namespace


void CModLimTBC::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    m_window.prepare(limMaxLookAheadLength(m_sr));
    m_prepared = true;
    rebuild();
    reset();
}

void CModLimTBC::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    if (!m_prepared) return;
    rebuild();
    reset();
}

void CModLimTBC::setParams(const Params& in) {
    Params p = in;
    p.attack = std::max(p.attack, 0.0);
    const bool changed = !(p == m_params);
    m_params = p;
    if (!m_prepared || !changed) return;
    rebuild();
    reset();
}

void CModLimTBC::rebuild() {
    m_window.setLength(limLookAheadLength(m_params.attack, m_sr, m_window.maxLength()));
    T_ = limThresholdForAttack(m_params.attack);
    for (int i = 0; i < 8; ++i) m_k[i] = onePoleCoefTimeClamped(kTimes[i] * kTimeStretch, m_sr);
}

void CModLimTBC::reset() {
    for (auto& group : m_g) std::fill(std::begin(group), std::end(group), 1.0);
    m_window.clear();
}

void CModLimTBC::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!m_prepared || n <= 0) return;
    const double T = T_;
    double k[8];
    std::copy(std::begin(m_k), std::end(m_k), k);
    double g0[4], g1[4], g2[4], g3[4], g4[4];
    std::copy(std::begin(m_g[0]), std::end(m_g[0]), g0);
    std::copy(std::begin(m_g[1]), std::end(m_g[1]), g1);
    std::copy(std::begin(m_g[2]), std::end(m_g[2]), g2);
    std::copy(std::begin(m_g[3]), std::end(m_g[3]), g3);
    std::copy(std::begin(m_g[4]), std::end(m_g[4]), g4);
    CSlidingWindowMin& win = m_window;

    for (int i = 0; i < n; ++i) {
        const double x = level[i];

        // How hard the limiter works on the unscaled level.
        moveGroup(g0, x > T ? T / x : 1.0, k[7], k[6]);
        const double a = mean(g0);
        const double fast = 1.0 / a;     // falls speed up
        const double slow = std::sqrt(a);  // rises slow down

        const double p = mean(g4) * mean(g2);
        scaleOut[i] = p;

        const double px = p * x;
        const double m = win.push(px > T ? T / px : 1.0);

        moveGroup(g1, m, slow * k[1], fast * k[0]);
        const double out = std::min(m, mean(g1));
        moveGroup(g2, m, slow * k[3], fast * k[2]);

        const double total = p * out;
        moveGroup(g3, total, slow * k[4], fast * k[4]);
        moveGroup(g4, std::min(1.0, mean(g3) / total), slow * k[5], fast * k[5]);

        gainOut[i] = out;
    }

    std::copy(std::begin(g0), std::end(g0), m_g[0]);
    std::copy(std::begin(g1), std::end(g1), m_g[1]);
    std::copy(std::begin(g2), std::end(g2), m_g[2]);
    std::copy(std::begin(g3), std::end(g3), m_g[3]);
    std::copy(std::begin(g4), std::end(g4), m_g[4]);
}

void CModLimTBC::processPair(CModLimTBC& a, CModLimTBC& b, const double* levelA, const double* levelB, double* gainA,
                             double* gainB, double* scaleA, double* scaleB, int n) {
#if TAMBLOR_HAVE_DUAL
    if (!a.m_prepared || !b.m_prepared || &a == &b || n <= 0) {
#endif
        a.process(levelA, gainA, scaleA, n);
        b.process(levelB, gainB, scaleB, n);
#if TAMBLOR_HAVE_DUAL
        return;
    }
    const CDual T(a.T_, b.T_);
    CDual k[8];
    for (int j = 0; j < 8; ++j) k[j] = CDual(a.m_k[j], b.m_k[j]);
    CDual g[5][4];
    for (int grp = 0; grp < 5; ++grp)
        for (int j = 0; j < 4; ++j) g[grp][j] = CDual(a.m_g[grp][j], b.m_g[grp][j]);
    CSlidingWindowMin& winA = a.m_window;
    CSlidingWindowMin& winB = b.m_window;

    for (int i = 0; i < n; ++i) {
        const CDual x(levelA[i], levelB[i]);

        // The steps of process(), lane by lane.
        moveGroup(g[0], vSelect(x > T, T / x, CDual(1.0)), k[7], k[6]);
        const CDual avg = mean(g[0]);
        const CDual fast = 1.0 / avg;
        const CDual slow = vSqrt(avg);

        const CDual p = mean(g[4]) * mean(g[2]);
        scaleA[i] = p.lane0();
        scaleB[i] = p.lane1();

        const CDual px = p * x;
        const CDual lim = vSelect(px > T, T / px, CDual(1.0));
        const CDual m(winA.push(lim.lane0()), winB.push(lim.lane1()));

        moveGroup(g[1], m, slow * k[1], fast * k[0]);
        const CDual out = vMin(m, mean(g[1]));
        moveGroup(g[2], m, slow * k[3], fast * k[2]);

        const CDual total = p * out;
        moveGroup(g[3], total, slow * k[4], fast * k[4]);
        moveGroup(g[4], vMin(CDual(1.0), mean(g[3]) / total), slow * k[5], fast * k[5]);

        gainA[i] = out.lane0();
        gainB[i] = out.lane1();
    }

    for (int grp = 0; grp < 5; ++grp)
        for (int j = 0; j < 4; ++j) {
            a.m_g[grp][j] = g[grp][j].lane0();
            b.m_g[grp][j] = g[grp][j].lane1();
        }
#endif
}
