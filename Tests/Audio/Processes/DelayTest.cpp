#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Audio/Processes/DSPModDelay.h"
#include "Audio/Processes/ModFixedLatency.h"
#include "Audio/Processes/ModLatencyUniformer.h"
#include "Audio/Processes/Ranmar.h"

namespace {

// Runs lanes of input through a processing callback in blocks of varying
// size (1 to 700 frames) so that block edges fall everywhere.
template <class Process>
std::vector<std::vector<double>> runBlocks(const std::vector<std::vector<double>>& in, Process&& process) {
    std::vector<std::vector<double>> out(in.size(), std::vector<double>(in[0].size()));
    const int sizes[] = {1, 7, 512, 700, 3, 64, 333};
    size_t pos = 0;
    for (int b = 0; pos < in[0].size(); ++b) {
        const int n = int(std::min<size_t>(size_t(sizes[b % 7]), in[0].size() - pos));
        std::vector<const double*> src;
        std::vector<double*> dst;
        for (size_t l = 0; l < in.size(); ++l) {
            src.push_back(in[l].data() + pos);
            dst.push_back(out[l].data() + pos);
        }
        process(std::span<const double* const>(src), std::span<double* const>(dst), n, pos);
        pos += size_t(n);
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

std::vector<double> sine(size_t n, double freq, double rate) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = std::sin(2.0 * std::numbers::pi * freq * double(i) / rate);
    return x;
}

double maxStep(const std::vector<double>& y) {
    double m = 0.0;
    for (size_t i = 1; i < y.size(); ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

double delayed(const std::vector<double>& x, size_t i, int d) { return i >= size_t(d) ? x[i - size_t(d)] : 0.0; }

}  // namespace

TEST(DSPModDelay, DelaysEveryLaneExactly) {
    for (int d : {0, 1, 17, 1000, 4440}) {
        CDSPModDelay delay;
        delay.prepare(2, 4440);
        delay.setDelay(d);
        const std::vector<std::vector<double>> in = {randomSignal(20000, 1), randomSignal(20000, 2)};
        const auto out = runBlocks(in, [&](auto src, auto dst, int n, size_t) { delay.process(src, dst, n); });
        for (size_t l = 0; l < 2; ++l)
            for (size_t i = 0; i < in[l].size(); ++i) ASSERT_EQ(out[l][i], delayed(in[l], i, d)) << d;
    }
    // Requests beyond the prepared maximum are clamped.
    CDSPModDelay delay;
    delay.prepare(1, 100);
    delay.setDelay(5000);
    EXPECT_EQ(delay.delay(), 100);
}

// A change of delay: the raised-cosine mix of both read positions, no step
// beyond what the signal makes on its own, then exactly the new delay.
TEST(DSPModDelay, ChangesAreClickFreeAndEndOnTheNewDelay) {
    const double rate = 48000.0;
    struct Case {
        int from, to, fade;
    };
    for (const Case& c : {Case{100, 1041, 720}, Case{1041, 0, 720}, Case{0, 3, 5760}, Case{300, 2000, 0}}) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " over " << c.fade);
        CDSPModDelay delay;
        delay.setFadeLength(c.fade);
        delay.prepare(1, 4440);
        delay.setDelay(c.from);
        delay.reset();
        const size_t changeAt = 10000;
        const std::vector<std::vector<double>> in = {sine(30000, 1000.0, rate)};
        const auto out = runBlocks(in, [&](auto src, auto dst, int n, size_t pos) {
            if (pos <= changeAt && changeAt < pos + size_t(n)) {
                const int head = int(changeAt - pos);
                delay.process(src, dst, head);
                delay.setDelay(c.to);
                EXPECT_EQ(delay.delay(), c.to);
                const double* s = src[0] + head;
                double* t = dst[0] + head;
                delay.process({&s, 1}, {&t, 1}, n - head);
            } else {
                delay.process(src, dst, n);
            }
        });
        const auto& x = in[0];
        const auto& y = out[0];
        for (size_t i = size_t(c.from); i < changeAt; ++i) ASSERT_EQ(y[i], delayed(x, i, c.from));
        for (int k = 1; k <= c.fade; ++k) {
            const size_t i = changeAt + size_t(k) - 1;
            const double t = 0.5 - 0.5 * std::cos(std::numbers::pi * k / c.fade);
            ASSERT_NEAR(y[i], (1 - t) * delayed(x, i, c.from) + t * delayed(x, i, c.to), 1e-12) << k;
        }
        for (size_t i = changeAt + size_t(c.fade) - (c.fade > 0); i < y.size(); ++i)
            ASSERT_EQ(y[i], delayed(x, i, c.to)) << i;
        if (c.fade > 0) {
            EXPECT_LE(maxStep(std::vector<double>(y.begin() + c.from, y.end())), 1.1 * maxStep(x));
        }
    }
}

TEST(DSPModDelay, ChangeDuringAFadeFollowsIt) {
    CDSPModDelay delay;
    delay.setFadeLength(100);
    delay.prepare(1, 1000);
    const std::vector<double> x = randomSignal(2000, 5);
    std::vector<double> y(x.size());
    const double* s = x.data();
    double* t = y.data();
    auto run = [&](int n) {
        delay.process({&s, 1}, {&t, 1}, n);
        s += n;
        t += n;
    };
    delay.setDelay(200);
    run(50);
    delay.setDelay(700);  // waits for the fade to 200
    EXPECT_TRUE(delay.fading());
    EXPECT_EQ(delay.delay(), 700);
    run(50);
    EXPECT_TRUE(delay.fading());  // now fading 200 → 700
    run(100);
    EXPECT_FALSE(delay.fading());
    run(int(x.size()) - 200);
    for (size_t i = 200; i < x.size(); ++i) ASSERT_EQ(y[i], delayed(x, i, 700));
    // The second fade started where the first one ended.
    const size_t mid = 100 + 50;
    const double tm = 0.5 - 0.5 * std::cos(std::numbers::pi * 51 / 100);
    EXPECT_NEAR(y[mid], (1 - tm) * delayed(x, mid, 200) + tm * delayed(x, mid, 700), 1e-12);
}

TEST(ModFixedLatency, DelaysByTimePlusSamples) {
    struct Case {
        double rate;
        int expected;
    };
    for (const Case& c : {Case{88200.0, 1010}, Case{44100.0, 569}, Case{352800.0, 3656}}) {
        CModFixedLatency m;
        m.setLatency(0.010, 128);
        m.prepare(c.rate, 512, 2);
        EXPECT_EQ(m.latency(), c.expected);
        const std::vector<std::vector<double>> in = {randomSignal(5000, 3), randomSignal(5000, 4)};
        const auto out = runBlocks(in, [&](auto src, auto dst, int n, size_t) { m.process(src, dst, n); });
        for (size_t l = 0; l < 2; ++l)
            for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(out[l][i], delayed(in[l], i, c.expected));
    }
}

namespace {
const char* kLatencies = "44100=1041;48000=1080;88200=1482;96000=1560;176400=2364;192000=2520;352800=4128;384000=4440";
}

TEST(ModLatencyUniformer, PicksTheFirstRateAtLeastTheHostRate) {
    CModLatencyUniformer u;
    ASSERT_TRUE(u.setLatencies(kLatencies).ok());
    ASSERT_EQ(u.latencies().size(), 8u);
    struct Case {
        double rate;
        int target;  // 0: unsupported
    };
    for (const Case& c : {Case{22050.0, 1041}, Case{44100.0, 1041}, Case{44100.4, 1041}, Case{44101.0, 1080},
                          Case{96000.0, 1560}, Case{384000.0, 4440}, Case{384000.6, 0}, Case{400000.0, 0}}) {
        const CModLatencyUniformer::Entry* e = u.entryFor(c.rate);
        EXPECT_EQ(e ? e->samples : 0, c.target) << c.rate;
    }
    for (const char* bad : {"44100", "44100=x", "=5", "44100=1041;48000=-1"}) {
        EXPECT_TRUE(u.setLatencies(bad)) << bad;
        EXPECT_EQ(u.latencies().size(), 8u);
    }
    EXPECT_TRUE(u.setLatencies(" 44100 = 10 ; ;48000=20;").ok());
    EXPECT_EQ(u.latencies().size(), 2u);
}

// The total latency stays at the table's value whatever the upstream latency;
// impossible cases are diagnosed and add nothing.
TEST(ModLatencyUniformer, PadsToTheTargetAndDiagnosesTheRest) {
    CModLatencyUniformer u;
    ASSERT_TRUE(u.setLatencies(kLatencies).ok());
    u.prepare(44100.0, 512, 2);
    for (int upstream : {0, 300, 1041, 569}) {
        EXPECT_TRUE(u.setUpstreamLatency(upstream).ok());
        EXPECT_EQ(u.addedLatency(), 1041 - upstream);
        EXPECT_EQ(u.totalLatency(), 1041);
    }
    // A change of the upstream latency (another oversampling factor) is
    // faded over round(0.015 · 44100) = 662 samples.
    u.reset();
    ASSERT_FALSE(u.fading());
    ASSERT_TRUE(u.setUpstreamLatency(300).ok());
    std::vector<double> a(1000, 1.0), b(1000, 1.0);
    const double* src[2] = {a.data(), b.data()};
    double* dst[2] = {a.data(), b.data()};
    u.process(src, dst, 661);
    EXPECT_TRUE(u.fading());
    u.process(src, dst, 1);
    EXPECT_FALSE(u.fading());
    EXPECT_EQ(u.addedLatency(), 741);

    CError e = u.setUpstreamLatency(2000);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Too high latency 2000 at sample rate 44100.000000 in LatencyUniformer");
    EXPECT_EQ(u.addedLatency(), 0);

    CModLatencyUniformer v;
    ASSERT_TRUE(v.setLatencies(kLatencies).ok());
    v.prepare(400000.0, 512, 1);
    e = v.setUpstreamLatency(100);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unsupported sample rate 400000.000000 in LatencyUniformer");
    EXPECT_EQ(v.addedLatency(), 0);
    EXPECT_EQ(v.totalLatency(), 100);
}
