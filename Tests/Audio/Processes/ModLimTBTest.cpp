// CModLimTB in particular: knee geometry, release behaviour, the type stages'
// settling, the dynamic-range types, and parameter changes mid-signal.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "Tests/Audio/Processes/LimiterTestSupport.h"

using namespace limtest;

namespace {

CModLimTB::Params tbParams(int type, bool release = false, double releaseTime = 0.05) {
    CModLimTB::Params p;
    p.type = type;
    p.releaseEnable = release;
    p.release = releaseTime;
    return p;
}

Output runTB(const CModLimTB::Params& p, const Signal& x, double sr = 44100.0) {
    CGainComputerOf<CModLimTB> gc;
    gc.mod.prepare(sr, 512);
    gc.mod.setParams(p);
    return gc.run(x);
}

// Samples after the end of the hold until the gain has recovered half of the
// way from its held value back to 1, after 0.2 s at level 2 over a floor of 0.5.
int halfRecovery(const CModLimTB::Params& p) {
    const int start = 1000, len = 8820, L = 66;
    Signal x(3 * 44100, 0.5);
    std::fill(x.begin() + start, x.begin() + start + len, 2.0);
    const Output o = runTB(p, x);
    const int end = start + len + L - 1;
    const double held = o.gain[end - 1];
    for (int i = end; i < static_cast<int>(x.size()); ++i)
        if (o.gain[i] >= 1.0 - 0.5 * (1.0 - held)) return i - end;
    return -1;
}

}  // namespace

// With e = y - T and e' = (g - 1) y: e' = 0 up to where the knee starts (K0),
// e' = -e (g = T / y) from its end K1 on, and in between an arc of a circle
// that touches both lines: the shape of a soft knee, found from the output
// alone. A wider knee setting starts the knee further below the threshold.
TEST(ModLimTB, KneeIsACircularArcTangentToBothLines) {
    double lastStart = 1.0;
    for (double knee : {0.0, 0.25, 1.0}) {
        SCOPED_TRACE(testing::Message() << "knee " << knee);
        CModLimTB tb;
        tb.prepare(44100.0, 512);
        CModLimTB::Params p;
        p.knee = knee;
        tb.setParams(p);
        const double T = tb.threshold();
        auto ePrime = [&](double e) {
            const double y = T + e;
            double g, s;
            tb.reset();
            tb.process(&y, &g, &s, 1);
            return (g - 1.0) * y;
        };
        // The knee's start: the last e below the threshold that is left alone
        // (bisection on e' == 0), its end where the arc meets e' = -e.
        double lo = -T, hi = 0.0;
        ASSERT_EQ(ePrime(lo), 0.0);
        for (int i = 0; i < 200; ++i) {
            const double mid = 0.5 * (lo + hi);
            (ePrime(mid) == 0.0 ? lo : hi) = mid;
        }
        const double K0 = lo;
        EXPECT_LT(K0, 0.0);
        EXPECT_LT(K0, lastStart);
        lastStart = K0;
        // A circle tangent to e' = 0 at (K0, 0) has its centre at (K0, cy);
        // tangent to e' = -e as well, it meets that line at K1 = -K0 / sqrt 2.
        const double cy = (1.0 + std::sqrt(2.0)) * K0;
        const double K1 = -K0 / std::sqrt(2.0);
        const double span = K1 - K0;
        for (int i = -20; i <= 120; ++i) {
            const double e = K0 + span * i / 100.0;
            if (e <= K0)
                EXPECT_EQ(ePrime(e), 0.0);
            else if (e >= K1)
                EXPECT_NEAR(ePrime(e), -e, 1e-15);
            else
                // K0 is only found to where the gain first leaves 1.0: a few ppm.
                EXPECT_NEAR(std::hypot(e - K0, ePrime(e) - cy), -cy, 1e-5 * -cy);
        }
        // Slopes at the two ends match the lines: 0 at K0, -1 at K1.
        const double h = span * 1e-4;
        EXPECT_NEAR((ePrime(K0 + h) - ePrime(K0)) / h, 0.0, 0.03);
        EXPECT_NEAR((ePrime(K1) - ePrime(K1 - h)) / h, -1.0, 0.03);
    }
    // Knee 0: gain 1 up to T (1 - 0.00005), exactly T / y from T (1 + 0.0000353553).
    CModLimTB tb;
    tb.prepare(44100.0, 512);
    tb.setParams(tbParams(0));
    const double T = tb.threshold();
    for (double y : {T * (1 - 0.00005), T * (1 + 0.0000353554), 1.5}) {
        double g, s;
        tb.reset();
        tb.process(&y, &g, &s, 1);
        EXPECT_DOUBLE_EQ(g, std::min(1.0, T / y)) << "y " << y;
    }
}

// Release off: type 0 lets go the moment the hold ends. Release on: a gradual
// recovery whose duration follows the release time. Types 1 and 2 always
// recover gradually, and the timing factor stretches that.
TEST(ModLimTB, ReleaseBehaviour) {
    EXPECT_EQ(halfRecovery(tbParams(0)), 0);
    const int fast = halfRecovery(tbParams(0, true, 0.01));
    const int slow = halfRecovery(tbParams(0, true, 0.1));
    EXPECT_NEAR(fast, 0.01 * 44100 * 0.58, 60);
    EXPECT_NEAR(static_cast<double>(slow) / fast, 10.0, 0.5);
    // Each release path of types 1 and 2 (follower, release cascade, S-curve).
    for (int type : {1, 2}) {
        for (double shape : {-1.0, 0.0, 2.0}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " shape " << shape);
            CModLimTB::Params p = tbParams(type);
            p.releaseShape = shape;
            const int base = halfRecovery(p);
            EXPECT_GT(base, 0.05 * 44100);
            p.timing = 2.0;
            EXPECT_GT(halfRecovery(p), 1.4 * base);
            // The release stage adds its own delay on top.
            p.timing = 1.0;
            p.releaseEnable = true;
            p.release = 0.1;
            EXPECT_GT(halfRecovery(p), base + 1000);
        }
    }
}

// On a steady level every type settles on T / x, whichever release shape
// (follower, release cascade, S-curve) is mixed in.
TEST(ModLimTB, TypesSettleOnTheHeldGain) {
    for (int type = 0; type < 3; ++type) {
        for (double shape : {-1.0, 0.5, 1.0, 1.5, 2.0}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " shape " << shape);
            CModLimTB::Params p = tbParams(type, true, 0.02);
            p.releaseShape = shape;
            const Output o = runTB(p, Signal(2 * 44100, 1.6));
            EXPECT_NEAR(o.gain.back(), 0.9981 / 1.6, 1e-9);
        }
    }
}

// Dynamic-range types through the input factor: off keeps it at 1; "Rls"
// never raises it but lowers it after a loud passage; "Exp" also raises it
// while the gain lies below its slow average.
TEST(ModLimTB, DynamicRangeTypes) {
    struct Row {
        int drc;
        double loudMax, quietMin;  // expected bounds of the input factor
        bool raises, lowers;
    };
    const Row rows[] = {{0, 1.0, 1.0, false, false}, {1, 1.0, 0.25, false, true}, {2, 4.0, 0.25, true, true}};
    Signal x(6 * 44100, 0.2);
    std::fill(x.begin(), x.begin() + 3 * 44100, 2.0);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "drc " << r.drc);
        CModLimTB::Params p = tbParams(0);
        p.drcType = r.drc;
        const Output o = runTB(p, x);
        const auto loud = std::minmax_element(o.scale.begin(), o.scale.begin() + 3 * 44100);
        const auto quiet = std::minmax_element(o.scale.begin() + 3 * 44100, o.scale.end());
        EXPECT_LE(*loud.second, r.loudMax);
        EXPECT_GE(*quiet.first, r.quietMin);
        EXPECT_EQ(*loud.second > 1.5, r.raises);
        EXPECT_EQ(*quiet.first < 0.8, r.lowers);
        if (r.drc == 0) {
            EXPECT_EQ(*quiet.second, 1.0);
        }
    }
}

namespace {

// Runs x through a processor set to a, switched to b at sample `at` (a block
// boundary; 0 for no switch).
template <class M>
Signal runWithChange(const Signal& x, const typename M::Params& a, const typename M::Params& b, size_t at) {
    M mod;
    mod.prepare(44100.0, 512);
    mod.setParams(a);
    Signal g(x.size()), s(x.size());
    for (size_t i = 0; i < x.size(); i += 256) {
        if (i == at) mod.setParams(b);
        mod.process(x.data() + i, g.data() + i, s.data() + i, static_cast<int>(std::min<size_t>(256, x.size() - i)));
    }
    return g;
}

double maxStep(const Signal& g, size_t from, size_t to) {
    double m = 0.0;
    for (size_t i = std::max<size_t>(from, 1); i < to; ++i) m = std::max(m, std::abs(g[i] - g[i - 1]));
    return m;
}

// A parameter change in the middle of a signal makes no step larger than the
// steps the gain makes on its own under the old or the new setting (checked
// once under deep reduction and once while the gain recovers).
template <class M>
void expectNoJump(const Signal& x, const typename M::Params& a, const typename M::Params& b) {
    const double own = std::max(maxStep(runWithChange<M>(x, a, a, 0), 1, x.size()),
                                maxStep(runWithChange<M>(x, b, b, 0), 1, x.size()));
    for (size_t at : {256 * 40, 256 * 80}) EXPECT_LE(maxStep(runWithChange<M>(x, a, b, at), at, at + 300), own) << at;
}

}  // namespace

// Only changes of the type, AIGC type or DRC type restart the states.
TEST(ModLimTB, ParameterChangesDoNotJump) {
    const Signal x = musicLevel(33075, 44100.0, 1.8, 3, false);
    using Change = std::function<void(CModLimTB::Params&)>;
    const std::pair<const char*, Change> changes[] = {
        {"knee", [](auto& p) { p.knee = 0.7; }},
        {"release", [](auto& p) { p.release = 0.005; }},
        {"release on", [](auto& p) { p.releaseEnable = true; }},
        {"timing", [](auto& p) { p.timing = 3.0; }},
        {"ratio", [](auto& p) { p.releaseRatio = 1.0; }},
        {"shape to S-curve", [](auto& p) { p.releaseShape = 1.8; }},
        {"shape", [](auto& p) { p.releaseShape = 0.9; }},
        {"attack", [](auto& p) { p.attack = 0.005; }},
        {"attack short", [](auto& p) { p.attack = 0.0003; }},
    };
    for (int type = 0; type < 3; ++type) {
        for (const auto& [name, change] : changes) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << name);
            CModLimTB::Params a = tbParams(type, name != std::string("release on"));
            a.releaseShape = -1.0;
            a.knee = 0.2;
            CModLimTB::Params b = a;
            change(b);
            expectNoJump<CModLimTB>(x, a, b);
        }
    }
    const CModLimAIGC::Params a{0.0015, 1, 0.05, false, 0};
    for (const CModLimAIGC::Params& b : {CModLimAIGC::Params{0.004, 1, 0.05, false, 0},
                                         CModLimAIGC::Params{0.0015, 1, 0.05, true, 0}}) {
        SCOPED_TRACE(testing::Message() << "AIGC attack " << b.attack << " release " << b.releaseEnable);
        expectNoJump<CModLimAIGC>(x, a, b);
    }
}

// Received slot values: integers rounded half away from zero and limited,
// switches on from 0.5, missing slots at their fallbacks.
TEST(ModLimTB, ParamsFromSlotValues) {
    const double v[] = {0.002, 1.5, 0.3, 0.01, 0.5, 5.7, -0.4};
    const auto p = CModLimTB::Params::fromValues(v);
    EXPECT_EQ(p.type, 2);
    EXPECT_TRUE(p.releaseEnable);
    EXPECT_EQ(p.aigcType, 5);
    EXPECT_EQ(p.drcType, 0);
    EXPECT_EQ(p.timing, 1.0);
    EXPECT_EQ(p.releaseRatio, 0.5);
    EXPECT_EQ(p.releaseShape, 0.5);
    EXPECT_EQ(CModLimTB::Params::fromValues(std::span<const double>{}), CModLimTB::Params{});
}
