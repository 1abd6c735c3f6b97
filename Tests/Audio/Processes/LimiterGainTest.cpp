// Behaviour shared by the limiter gain computers: the look-ahead hold, the
// step response, threshold and look-ahead length by attack, the ceiling the
// held gain guarantees, the second output, and no allocation while running.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Tests/Audio/Processes/LimiterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

using namespace limtest;

namespace {

const Kind kHoldingKinds[] = {Kind::TB1, Kind::TBUni, Kind::TB4, Kind::TBC, Kind::TBI,
                              Kind::AIGC1, Kind::AIGC2, Kind::AIGC3, Kind::AIGC4};

}  // namespace

// A single sample at level 2T after silence: the gain is T / 2T = 0.5 on that
// sample and stays there for exactly L - 1 further samples.
TEST(LimiterGain, SinglePeakIsHeldForTheLookAhead) {
    constexpr int L = 66;  // round(1.5 ms * 44.1 kHz)
    for (Kind k : kHoldingKinds) {
        SCOPED_TRACE(kindName(k));
        auto gc = makeGainComputer(k);
        Signal x(400, 0.0);
        x[100] = 2.0 * limThresholdForAttack(0.0015);
        const Output o = gc->run(x, 64);
        EXPECT_NEAR(o.gain[99], 1.0, 1e-14);  // TB-4 idles a few 1e-15 below 1
        for (int i = 100; i < 100 + L; ++i) ASSERT_EQ(o.gain[i], 0.5) << "sample " << i;
        EXPECT_GT(o.gain[100 + L], 0.5);
    }
}

// A step to 2T: 0.5 from the first sample of the step, held L - 1 samples past
// its end (where the input factor stays 1).
TEST(LimiterGain, StepOfTwiceTheThreshold) {
    constexpr int L = 66;
    for (Kind k : {Kind::TB1, Kind::TBUni, Kind::TB4, Kind::TBI}) {
        SCOPED_TRACE(kindName(k));
        auto gc = makeGainComputer(k);
        Signal x(1000, 0.0);
        std::fill(x.begin() + 200, x.begin() + 500, 2.0 * limThresholdForAttack(0.0015));
        const Output o = gc->run(x);
        for (int i = 200; i < 500 + L - 1; ++i) ASSERT_EQ(o.gain[i], 0.5) << "sample " << i;
        EXPECT_GT(o.gain[500 + L - 1], 0.5);
    }
    // Clip has no look-ahead: 0.5 on the first sample of the step, not held.
    auto clip = makeGainComputer(Kind::Clip);
    Signal x(10, 0.0);
    x[3] = 2.0 * 0.994;
    const Output o = clip->run(x);
    EXPECT_EQ(o.gain[3], 0.5);
    EXPECT_GT(o.gain[4], 0.99);
}

// Threshold and look-ahead length chosen by the attack time, read from the
// gain (level 4: T = 4 g) and the hold length of a single peak.
TEST(LimiterGain, ThresholdAndLookAheadByAttack) {
    struct Row {
        double sr, attack, threshold;
        int length;
    };
    const Row rows[] = {
        {44100, 0.0015, 0.9981, 66},   {44100, 0.0009, 0.9981, 40},  {44100, 0.00089, 0.9979, 39},
        {44100, 0.0007, 0.9979, 31},   {44100, 0.00065, 0.9968, 29}, {44100, 0.0005, 0.9958, 22},
        {44100, 0.00045, 0.9954, 20},  {44100, 0.0003, 0.9938, 13},  {44100, 0.00025, 0.9905, 11},
        {44100, 0.0001, 0.989, 4},     {44100, 0.02, 0.9981, 882},   {352800, 0.0015, 0.9981, 529},
        {352800, 0.0001, 0.989, 35},   {44100, 0.00001, 0.989, 1},
    };
    for (const Row& r : rows) {
        for (Kind k : {Kind::TB1, Kind::TBC, Kind::TBI, Kind::AIGC1}) {
            SCOPED_TRACE(testing::Message() << kindName(k) << " sr " << r.sr << " attack " << r.attack);
            auto gc = makeGainComputer(k, r.sr, r.attack);
            Signal x(2000, 0.0);
            x[10] = 4.0;
            const Output o = gc->run(x, 512);
            EXPECT_NEAR(4.0 * o.gain[10], r.threshold, 1e-15);
            const auto held = std::count(o.gain.begin(), o.gain.end(), o.gain[10]);
            EXPECT_EQ(held, r.length);
        }
    }
}

// With the input factor at 1, every input sample meets a gain that limits it
// to T on each of the L samples its peak is held: g[t] * x[s] <= T for
// t - L < s <= t. The soft knee only ever limits more.
TEST(LimiterGain, HeldGainKeepsEveryLevelUnderTheThreshold) {
    constexpr int L = 66;
    const Signal x = musicLevel(22050, 44100.0, 1.8);
    for (int type = 0; type < 3; ++type) {
        for (double knee : {0.0, 0.6}) {
            for (bool release : {false, true}) {
                SCOPED_TRACE(testing::Message() << "type " << type << " knee " << knee << " release " << release);
                CGainComputerOf<CModLimTB> gc;
                gc.mod.prepare(44100.0, 512);
                CModLimTB::Params p;
                p.type = type;
                p.knee = knee;
                p.release = 0.01;
                p.releaseEnable = release;
                p.releaseShape = type == 1 ? -1.0 : 1.5;
                gc.mod.setParams(p);
                const Output o = gc.run(x);
                const double T = gc.mod.threshold();
                for (size_t t = 0; t < x.size(); ++t) {
                    ASSERT_GT(o.gain[t], 0.0);
                    ASSERT_LE(o.gain[t], 1.0);
                    for (size_t s = t >= L - 1 ? t - (L - 1) : 0; s <= t; ++s)
                        ASSERT_LE(o.gain[t] * x[s], T * (1 + 1e-12)) << "t " << t << " s " << s;
                }
            }
        }
    }
}

// All gains stay in (0, 1] on loud material; the second output of TB INS
// (and of TB without AIGC and DRC) is exactly 1.
TEST(LimiterGain, GainRangeAndConstantSecondOutput) {
    const Signal x = musicLevel(30000, 44100.0, 3.0);
    for (Kind k : {Kind::TB1, Kind::TBUni, Kind::TB4, Kind::TBC, Kind::TBI, Kind::AIGC1, Kind::AIGC2, Kind::AIGC3,
                   Kind::AIGC4, Kind::Clip}) {
        SCOPED_TRACE(kindName(k));
        const Output o = makeGainComputer(k)->run(x);
        const auto [lo, hi] = std::minmax_element(o.gain.begin(), o.gain.end());
        EXPECT_GT(*lo, 0.0);
        EXPECT_LE(*hi, 1.0);
        if (k == Kind::TBI || k == Kind::TB1 || k == Kind::TBUni || k == Kind::TB4 || k == Kind::Clip) {
            EXPECT_TRUE(std::all_of(o.scale.begin(), o.scale.end(), [](double s) { return s == 1.0; }));
        }
    }
}

// "AIGC-2" and "AIGC-4" share one input-factor formula; "AIGC-3" does not.
TEST(LimiterGain, Aigc2EqualsAigc4SampleForSample) {
    const Signal x = musicLevel(60000, 44100.0, 2.5, 11);
    Output o[4];
    for (int type = 0; type < 4; ++type) {
        CGainComputerOf<CModLimAIGC> gc;
        gc.mod.prepare(44100.0, 512);
        gc.mod.setParams({0.002, type, 0.05, true, 2});
        o[type] = gc.run(x, 100 + 37 * type);
    }
    EXPECT_EQ(o[1].gain, o[3].gain);
    EXPECT_EQ(o[1].scale, o[3].scale);
    EXPECT_NE(o[1].scale, o[2].scale);
    EXPECT_NE(o[0].scale, o[2].scale);
}

// Sustained loud level: the AIGC input factor takes over the lasting part of
// the reduction, so the held gain recovers towards 1.
TEST(LimiterGain, AigcInputFactorTakesOverSustainedReduction) {
    for (Kind k : {Kind::AIGC1, Kind::AIGC2, Kind::AIGC3, Kind::AIGC4}) {
        SCOPED_TRACE(kindName(k));
        const Output o = makeGainComputer(k)->run(Signal(5 * 44100, 2.0));
        EXPECT_LT(o.scale.back(), 0.6);
        EXPECT_GT(o.gain.back(), 0.9);
        EXPECT_NEAR(2.0 * o.scale.back() * o.gain.back(), 0.9981, 0.005);
    }
}

// prepare() allocates; setParams(), reset() and process() never do.
TEST(LimiterGain, NoAllocationWhileRunning) {
    const Signal x = musicLevel(4096, 44100.0, 2.0);
    Signal g(x.size()), s(x.size());
    CModLimTB tb;
    CModLimTBC tbc;
    CModLimTBI tbi;
    CModLimAIGC aigc;
    CModLimClip clip;
    tb.prepare(44100.0, 512);
    tbc.prepare(44100.0, 512);
    tbi.prepare(44100.0, 512);
    aigc.prepare(44100.0, 512);
    clip.prepare(44100.0, 512);

    CAllocationProbe probe;
    for (int type = 0; type < 3; ++type) {
        tb.setParams({0.0015 + 0.001 * type, type, 0.3, 0.05, true, type + 1, type, 1.2, 0.4, type - 0.5});
        tb.process(x.data(), g.data(), s.data(), 2048);
        tb.setParams({0.01, type, 0.5, 0.2, true, type + 1, type, 2.0, 0.3, 1.5});
        tb.process(x.data() + 2048, g.data(), s.data(), 2048);
        tb.reset();
    }
    tbc.setParams({0.02});
    tbc.process(x.data(), g.data(), s.data(), 4096);
    tbi.setParams({0.02});
    tbi.process(x.data(), g.data(), s.data(), 4096);
    aigc.setParams({0.02, 2, 0.1, true, 1});
    aigc.process(x.data(), g.data(), s.data(), 4096);
    clip.setParams({2});
    clip.process(x.data(), g.data(), s.data(), 4096);
    EXPECT_EQ(probe.count(), 0u);
}
