#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "Audio/Graph/DelayCompensation.h"
#include "Audio/Processes/Flow/DSPModDelay.h"
#include "Audio/Processes/Flow/ModFixedLatency.h"
#include "Audio/Processes/Flow/ModLatencyUniformer.h"
#include "Audio/Processes/Flow/RingDelay.h"
#include "Audio/Processes/Gain/Ranmar.h"

namespace {

using Lanes = std::vector<std::vector<double>>;
using ProcessFn = std::function<void(std::span<const double* const>, std::span<double* const>, int)>;

// Runs the lanes in blocks of 1 to 700 frames, so block edges fall
// everywhere; blocks also end at each position in breaks, where onBreak runs.
Lanes runBlocks(const Lanes& in, const ProcessFn& process, std::vector<size_t> breaks = {},
                const std::function<void(size_t)>& onBreak = {}) {
    Lanes out(in.size(), std::vector<double>(in[0].size()));
    const size_t sizes[] = {1, 7, 512, 700, 3, 64, 333};
    for (size_t pos = 0, b = 0; pos < in[0].size(); ++b) {
        size_t end = std::min(in[0].size(), pos + sizes[b % 7]);
        for (size_t at : breaks) {
            if (at == pos && onBreak) onBreak(at);
            if (at > pos && at < end) end = at;
        }
        std::vector<const double*> src;
        std::vector<double*> dst;
        for (size_t l = 0; l < in.size(); ++l) {
            src.push_back(in[l].data() + pos);
            dst.push_back(out[l].data() + pos);
        }
        process(src, dst, int(end - pos));
        pos = end;
    }
    return out;
}

std::vector<double> randomSignal(size_t n, int seed) {
    CRanmar r;
    r.init(seed, 77);
    std::vector<double> x(n);
    for (double& v : x) v = 2.0 * r.next() - 1.0;
    return x;
}

double maxStep(const std::vector<double>& y) {
    double m = 0.0;
    for (size_t i = 1; i < y.size(); ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

double delayed(const std::vector<double>& x, size_t i, int d) { return i >= size_t(d) ? x[i - size_t(d)] : 0.0; }

double fadeWeight(int k, int length) { return 0.5 - 0.5 * std::cos(std::numbers::pi * k / length); }

}  // namespace

TEST(DSPModDelay, DelaysEveryLaneExactly) {
    for (int d : {0, 1, 17, 1000, 4440}) {
        CDSPModDelay delay;
        delay.prepare(2, 4440);
        delay.setDelay(d);
        const Lanes in = {randomSignal(20000, 1), randomSignal(20000, 2)};
        const Lanes out = runBlocks(in, [&](auto src, auto dst, int n) { delay.process(src, dst, n); });
        for (size_t l = 0; l < 2; ++l)
            for (size_t i = 0; i < in[l].size(); ++i) ASSERT_EQ(out[l][i], delayed(in[l], i, d)) << d;
    }
    CDSPModDelay delay;
    delay.prepare(1, 100);
    delay.setDelay(5000);
    EXPECT_EQ(delay.delay(), 100);  // clamped to the prepared maximum
}

// A change of delay: the raised-cosine mix of both read positions, no step
// beyond what the signal makes on its own, then exactly the new delay.
TEST(DSPModDelay, ChangesAreClickFreeAndEndOnTheNewDelay) {
    const struct {
        int from, to, fade;
    } cases[] = {{100, 1041, 720}, {1041, 0, 720}, {0, 3, 5760}, {300, 2000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " over " << c.fade);
        CDSPModDelay delay;
        delay.setFadeLength(c.fade);
        delay.prepare(1, 4440);
        delay.setDelay(c.from);
        delay.reset();
        const size_t at = 10000;
        Lanes in = {std::vector<double>(30000)};
        for (size_t i = 0; i < in[0].size(); ++i) in[0][i] = std::sin(2.0 * std::numbers::pi * 1000.0 * double(i) / 48000.0);
        const Lanes out = runBlocks(
            in, [&](auto src, auto dst, int n) { delay.process(src, dst, n); }, {at},
            [&](size_t) { delay.setDelay(c.to); });
        const auto& x = in[0];
        const auto& y = out[0];
        for (size_t i = size_t(c.from); i < at; ++i) ASSERT_EQ(y[i], delayed(x, i, c.from));
        for (int k = 1; k <= c.fade; ++k) {
            const size_t i = at + size_t(k) - 1;
            const double t = fadeWeight(k, c.fade);
            ASSERT_NEAR(y[i], (1 - t) * delayed(x, i, c.from) + t * delayed(x, i, c.to), 1e-12) << k;
        }
        for (size_t i = at + size_t(std::max(c.fade - 1, 0)); i < y.size(); ++i) ASSERT_EQ(y[i], delayed(x, i, c.to));
        if (c.fade > 0) {
            EXPECT_LE(maxStep(std::vector<double>(y.begin() + c.from, y.end())), 1.1 * maxStep(x));
        }
    }
}

TEST(DSPModDelay, ChangeDuringAFadeWaitsForItsEnd) {
    CDSPModDelay delay;
    delay.setFadeLength(100);
    delay.prepare(1, 1000);
    delay.setDelay(200);
    const Lanes in = {randomSignal(2000, 5)};
    const Lanes out = runBlocks(
        in, [&](auto src, auto dst, int n) { delay.process(src, dst, n); }, {50},
        [&](size_t) {
            delay.setDelay(700);
            EXPECT_EQ(delay.delay(), 700);
        });
    const auto& x = in[0];
    // Fade 0 → 200 over samples 0…99, then 200 → 700 over 100…199.
    for (int k = 1; k <= 100; ++k) {
        const size_t i = size_t(99 + k);
        const double t = fadeWeight(k, 100);
        ASSERT_NEAR(out[0][i], (1 - t) * delayed(x, i, 200) + t * delayed(x, i, 700), 1e-12);
    }
    for (size_t i = 200; i < x.size(); ++i) ASSERT_EQ(out[0][i], delayed(x, i, 700));
}

TEST(ModFixedLatency, DelaysByTimePlusSamples) {
    for (auto [rate, expected] : {std::pair{88200.0, 1010}, {44100.0, 569}, {352800.0, 3656}}) {
        CModFixedLatency m;
        m.setLatency(0.010, 128);
        m.prepare(rate, 512, 2);
        EXPECT_EQ(m.latency(), expected);
        const Lanes in = {randomSignal(5000, 3), randomSignal(5000, 4)};
        const Lanes out = runBlocks(in, [&](auto src, auto dst, int n) { m.process(src, dst, n); });
        for (size_t l = 0; l < 2; ++l)
            for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(out[l][i], delayed(in[l], i, expected));
    }
}

namespace {
const char* kLatencies = "44100=1041;48000=1080;88200=1482;96000=1560;176400=2364;192000=2520;352800=4128;384000=4440";
}

TEST(ModLatencyUniformer, PicksTheFirstRateAtLeastTheHostRate) {
    CModLatencyUniformer u;
    ASSERT_TRUE(u.setLatencies(kLatencies).ok());
    // rate, target (0: unsupported)
    for (auto [rate, target] : {std::pair{22050.0, 1041}, {44100.0, 1041}, {44100.4, 1041}, {44101.0, 1080},
                                {96000.0, 1560}, {384000.0, 4440}, {384000.6, 0}}) {
        const CModLatencyUniformer::Entry* e = u.entryFor(rate);
        EXPECT_EQ(e ? e->samples : 0, target) << rate;
    }
    for (const char* bad : {"44100", "44100=x", "=5", "44100=1041;48000=-1"}) EXPECT_TRUE(u.setLatencies(bad)) << bad;
    EXPECT_EQ(u.latencies().size(), 8u);
}

// The total stays at the table's value whatever the upstream latency; a
// change is faded over 0.015 s; impossible cases are diagnosed and add nothing.
TEST(ModLatencyUniformer, PadsToTheTargetAndDiagnosesTheRest) {
    CModLatencyUniformer u;
    ASSERT_TRUE(u.setLatencies(kLatencies).ok());
    u.prepare(44100.0, 512, 2);
    for (int upstream : {0, 300, 1041, 569}) {
        EXPECT_TRUE(u.setUpstreamLatency(upstream).ok());
        EXPECT_EQ(u.addedLatency(), 1041 - upstream);
        EXPECT_EQ(u.totalLatency(), 1041);
    }
    u.reset();
    ASSERT_TRUE(u.setUpstreamLatency(300).ok());
    std::vector<double> a(1000, 1.0), b(1000, 1.0);
    const double* src[2] = {a.data(), b.data()};
    double* dst[2] = {a.data(), b.data()};
    u.process(src, dst, 661);
    EXPECT_TRUE(u.fading());
    u.process(src, dst, 1);  // round(0.015 · 44100) = 662
    EXPECT_FALSE(u.fading());

    CError e = u.setUpstreamLatency(2000);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Too high latency 2000 at sample rate 44100.000000 in LatencyUniformer");
    EXPECT_EQ(u.addedLatency(), 0);

    u.prepare(400000.0, 512, 1);
    e = u.setUpstreamLatency(100);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unsupported sample rate 400000.000000 in LatencyUniformer");
    EXPECT_EQ(u.totalLatency(), 100);
}

// After a reset every delay line gives silence for silence, whichever of its
// lanes carried signal before (they clear only what was written), and it
// delays exactly again afterwards.
TEST(DelayLines, ResetForgetsWhatTheUsedLanesHeld) {
    constexpr int kLanes = 6, kDelay = 300;
    struct Line {
        const char* name;
        std::function<void(int lanes)> prepare;
        ProcessFn process;
        std::function<void()> reset;
    };
    CDSPModDelay dsp;
    CModFixedLatency fixed;
    CAlignDelay align;
    const Line lines[] = {
        {"DSPModDelay", [&](int lanes) { dsp.prepare(lanes, kDelay), dsp.setDelay(kDelay); },
         [&](auto src, auto dst, int n) { dsp.process(src, dst, n); }, [&] { dsp.reset(); }},
        {"ModFixedLatency", [&](int lanes) { fixed.setLatency(0.0, kDelay), fixed.prepare(44100.0, 512, lanes); },
         [&](auto src, auto dst, int n) { fixed.process(src, dst, n); }, [&] { fixed.reset(); }},
        {"AlignDelay", [&](int lanes) { align.prepare(lanes, kDelay, 16), align.setDelay(kDelay); },
         [&](auto src, auto dst, int n) {
             for (size_t l = 0; l < src.size(); ++l) align.process(int(l), src[l], dst[l], n);
             align.endBlock(n);
         },
         [&] { align.reset(); }},
    };
    for (const Line& line : lines)
        for (int used : {1, 2, kLanes}) {
            SCOPED_TRACE(testing::Message() << line.name << ", " << used << " lanes used");
            line.prepare(kLanes);
            Lanes loud;
            for (int l = 0; l < used; ++l) loud.push_back(randomSignal(2000, 10 + l));
            runBlocks(loud, line.process);
            line.reset();
            const Lanes silence(size_t(kLanes), std::vector<double>(1000, 0.0));
            for (const auto& lane : runBlocks(silence, line.process))
                for (double v : lane) ASSERT_EQ(v, 0.0);
            line.reset();
            const Lanes in = {randomSignal(1500, 5), randomSignal(1500, 6)};
            const Lanes out = runBlocks(in, line.process);
            for (size_t l = 0; l < 2; ++l)
                for (size_t i = 0; i < 1500; ++i) ASSERT_EQ(out[l][i], delayed(in[l], i, kDelay));
        }
}

// The bulk form of the steady ring delay against the per-sample write and
// read: every delay from 0 to size - 1, runs crossing the ring's end, blocks
// longer than the ring, in place and out of place.
TEST(DelayLines, BulkRingRunEqualsTheSampleBySampleLoop) {
    constexpr unsigned kSize = 16, kMask = kSize - 1;
    const std::vector<double> x = randomSignal(400, 11);
    for (unsigned d = 0; d < kSize; ++d) {
        SCOPED_TRACE(testing::Message() << "d = " << d);
        std::vector<double> ringA(kSize, 0.0), ringB(kSize, 0.0), yA(x.size()), yB(x.size());
        unsigned w = 5;
        const int sizes[] = {3, 40, 1, 16, 17, 100};
        for (size_t pos = 0, k = 0; pos < x.size(); ++k) {
            const int n = int(std::min<size_t>(size_t(sizes[k % 6]), x.size() - pos));
            for (int i = 0; i < n; ++i) {
                ringA[(w + unsigned(i)) & kMask] = x[pos + size_t(i)];
                yA[pos + size_t(i)] = ringA[(w + unsigned(i) - d) & kMask];
            }
            if (k % 2) {
                std::copy_n(x.data() + pos, n, yB.data() + pos);
                ringDelayRun(ringB.data(), kSize, w, d, yB.data() + pos, yB.data() + pos, n);
            } else {
                ringDelayRun(ringB.data(), kSize, w, d, x.data() + pos, yB.data() + pos, n);
            }
            w += unsigned(n);
            pos += size_t(n);
        }
        ASSERT_EQ(yA, yB);
        ASSERT_EQ(ringA, ringB);
    }
}
