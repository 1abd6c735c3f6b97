// The loudness evaluator and the channel linker: whole-group processors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "Audio/Processes/Limiters/ModLeveler.h"
#include "Audio/Processes/Limiters/ModLimEvaluator.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

using Signal = std::vector<double>;

// Runs `channels` channels of constant signal 1 and constant levels a (port 1)
// and b (port 2) for n samples; returns channel 0 of the output.
Signal runEvaluator(CModLimEvaluator& ev, int channels, double a, double b, int n) {
    const Signal one(n, 1.0), la(n, a), lb(n, b);
    std::vector<Signal> out(channels, Signal(n));
    std::vector<const double*> sig(channels, one.data()), pa(channels, la.data()), pb(channels, lb.data());
    std::vector<double*> po;
    for (auto& o : out) po.push_back(o.data());
    for (int i = 0; i < n; i += 512) {
        const int len = std::min(512, n - i);
        std::vector<const double*> s2, a2, b2;
        std::vector<double*> o2;
        for (int c = 0; c < channels; ++c) {
            s2.push_back(sig[c] + i);
            a2.push_back(pa[c] + i);
            b2.push_back(pb[c] + i);
            o2.push_back(po[c] + i);
        }
        ev.process(s2, a2, b2, o2, len);
    }
    return out[0];
}

}  // namespace

// G follows sqrt(P1 / P2) within 0.03 ... 32: equal loudness gives 1, an
// output 6 dB louder 0.5, a silent output the upper limit.
TEST(ModLimEvaluator, ConvergesToTheLoudnessRatio) {
    struct Row {
        int channels;
        double a, b, gain;
    };
    const Row rows[] = {{1, 0.3, 0.3, 1.0}, {2, 0.3, 0.6, 0.5}, {1, 0.3, 0.0, 32.0}, {2, 0.0, 0.3, 0.03},
                        {1, 0.1, 0.05, 2.0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "a " << r.a << " b " << r.b);
        CModLimEvaluator ev;
        ev.prepare(44100.0, 512);
        ev.setParams({0.1, 1.0});
        const Signal out = runEvaluator(ev, r.channels, r.a, r.b, 4 * 44100);
        EXPECT_NEAR(out.back(), r.gain, 1e-3 * r.gain);
        EXPECT_EQ(out.back(), ev.currentGain());
    }
}

// In-gain +6 dB: the first 0.15 s are scaled by exactly 1 / in-gain whatever
// the levels say; afterwards the measured ratio takes over. A later in-gain
// change glides instead of stepping.
TEST(ModLimEvaluator, FirstMomentsScaledByTheInverseInputGain) {
    const double inGain = std::pow(10.0, 6.0 / 20.0);
    CModLimEvaluator ev;
    ev.prepare(44100.0, 512);
    ev.setParams({0.9, inGain});
    const Signal out = runEvaluator(ev, 2, 0.2, 0.8, 44100);
    const int hold = 6615;  // round(0.15 * 44100)
    for (int i = 0; i < hold; ++i) ASSERT_EQ(out[i], 1.0 / inGain) << i;
    EXPECT_LT(out[hold], 1.0 / inGain);

    // The change restarts the hold: G heads for 1/4 for 0.15 s, then back to
    // the measured ratio (equal levels now), without a step: the 0.05 s glide
    // moves by under 0.3 % of the remaining distance per sample.
    ev.setParams({0.1, 4.0});
    const Signal later = runEvaluator(ev, 2, 0.3, 0.3, 44100);
    EXPECT_LT(std::abs(later[0] - out.back()), 1e-3);
    for (size_t i = 1; i < later.size(); ++i) ASSERT_LT(std::abs(later[i] - later[i - 1]), 3e-3) << i;
    EXPECT_LT(later[hold - 1], 0.3);
    EXPECT_NEAR(later.back(), 1.0, 1e-3);
}

// Linked level per channel: own + (common - own) * linking, with the common
// level the maximum (mode 0) or minimum (mode 1); 0 and 1 (within an epsilon)
// copy exactly.
TEST(ModLeveler, LinksChannelsToTheCommonLevel) {
    struct Row {
        int mode;
        double linking;
        double expected[3];
    };
    const Row rows[] = {
        {0, 1.0, {0.8, 0.8, 0.8}},
        {1, 1.0, {0.2, 0.2, 0.2}},
        {0, 0.0, {0.2, 0.8, 0.5}},
        {0, 0.25, {0.2 + 0.6 * 0.25, 0.8, 0.5 + 0.3 * 0.25}},
        {1, 0.5, {0.2, 0.5, 0.35}},
        {0, 1.0 - 1e-16, {0.8, 0.8, 0.8}},
        {1, 1e-16, {0.2, 0.8, 0.5}},
    };
    for (const Row& r : rows) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(testing::Message() << "mode " << r.mode << " linking " << r.linking << " in place " << inPlace);
            CModLeveler lev;
            lev.prepare(44100.0, 512);
            lev.setParams({r.mode, 0.0, r.linking});
            Signal ch[3] = {Signal(64, 0.2), Signal(64, 0.8), Signal(64, 0.5)};
            Signal res[3] = {Signal(64), Signal(64), Signal(64)};
            const double* in[3] = {ch[0].data(), ch[1].data(), ch[2].data()};
            double* out[3];
            for (int c = 0; c < 3; ++c) out[c] = inPlace ? ch[c].data() : res[c].data();
            lev.process(in, out, 64);
            for (int c = 0; c < 3; ++c) {
                if (r.linking < 1e-15 || r.linking > 1 - 1e-15)
                    EXPECT_EQ(out[c][0], r.expected[c]) << c;  // a copy, not a blend
                else
                    EXPECT_DOUBLE_EQ(out[c][0], r.expected[c]) << c;
                EXPECT_EQ(out[c][63], out[c][0]);
            }
        }
    }
}

// A stereo pair runs its own loop: bit for bit the per-sample form, with
// random levels, ties, both modes, partial and full linking, in place and
// into other buffers, over a block length the vector loop does not divide.
TEST(ModLeveler, StereoPairMatchesThePerSampleForm) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> uni(0.0, 2.0);
    Signal a(517), b(517);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = uni(rng);
        b[i] = i % 5 == 0 ? a[i] : uni(rng);
    }
    for (int mode : {0, 1})
        for (double linking : {0.3, 1.0})
            for (bool inPlace : {false, true}) {
                CModLeveler lev;
                lev.prepare(44100.0, 1024);
                lev.setParams({mode, 0.0, linking});
                Signal xa = a, xb = b, oa(a.size()), ob(b.size());
                const double* in[2] = {xa.data(), xb.data()};
                double* out[2] = {inPlace ? xa.data() : oa.data(), inPlace ? xb.data() : ob.data()};
                lev.process(in, out, static_cast<int>(a.size()));
                for (size_t i = 0; i < a.size(); ++i) {
                    const double linked = mode == 0 ? std::max(a[i], b[i]) : std::min(a[i], b[i]);
                    // Full linking copies the common level.
                    const auto blend = [&](double own) { return linking == 1.0 ? linked : own + (linked - own) * linking; };
                    ASSERT_EQ(out[0][i], blend(a[i])) << mode << " " << linking << " " << i;
                    ASSERT_EQ(out[1][i], blend(b[i])) << mode << " " << linking << " " << i;
                }
            }
}

// A linking change glides over 5 ms instead of stepping the level.
TEST(ModLeveler, LinkingChangeGlides) {
    CModLeveler lev;
    lev.prepare(44100.0, 512);
    lev.setParams({0, 0.0, 0.0});
    Signal a(512, 0.2), b(512, 0.8), oa(512), ob(512);
    const double* in[2] = {a.data(), b.data()};
    double* out[2] = {oa.data(), ob.data()};
    lev.process(in, out, 100);
    lev.setParams({0, 0.0, 1.0});
    lev.process(in, out, 512);
    const int glide = 221;  // round(0.005 * 44100)
    EXPECT_NEAR(oa[0], 0.2, 1e-12);
    for (int i = 1; i < 512; ++i) ASSERT_LT(oa[i] - oa[i - 1], 0.6 / glide * 1.01) << i;
    EXPECT_EQ(oa[glide], 0.8);
    EXPECT_EQ(ob, Signal(512, 0.8));
}

TEST(ModLevelerAndEvaluator, NoAllocationWhileRunning) {
    CModLeveler lev;
    CModLimEvaluator ev;
    lev.prepare(44100.0, 512);
    ev.prepare(44100.0, 512);
    Signal a(512, 0.2), b(512, 0.8), oa(512), ob(512);
    const double* in[2] = {a.data(), b.data()};
    double* out[2] = {oa.data(), ob.data()};
    CAllocationProbe probe;
    for (double linking : {0.0, 0.5, 1.0}) {
        lev.setParams({1, 0.0, linking});
        lev.process(in, out, 512);
        ev.setParams({linking + 0.1, 2.0});
        ev.process(in, in, in, out, 512);
    }
    EXPECT_EQ(probe.count(), 0u);
}
