// The limiter sub-graph built from its definition: latency, limiting,
// click-free changes, the Clip mode's gain path, real-time behaviour.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Audio/Plugin/AudioDiagnostics.h"
#include "Audio/Processes/Limiters/LimiterStages.h"
#include "Audio/Processes/Flow/ModFixedLatencyModule.h"
#include "Core/Log.h"
#include "Tests/Audio/Processes/LimiterGraph.h"
#include "Tests/Support/AllocationCounter.h"

using namespace limgraph;

namespace {

using Signals = std::vector<std::vector<double>>;
constexpr double kTau = 2.0 * std::numbers::pi;
constexpr int kClip = 0, kTBUni = 6, kTBIns = 9;

int expectedLatency(double rate) { return int(std::lround(0.010 * rate)) + 128; }

double maxStep(const std::vector<double>& y) {
    double m = 0.0;
    for (size_t i = 1; i < y.size(); ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

double peak(const std::vector<double>& y) {
    double m = 0.0;
    for (double v : y) m = std::max(m, std::abs(v));
    return m;
}

class LimiterGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(startApplication());
        kelFlushAudioDiagnostics();
        kelSetLogSink([this](std::string_view l) { log.emplace_back(l); });
    }
    void TearDown() override {
        graph.reset();
        kelFlushAudioDiagnostics();
        kelSetLogSink({});
        CApplication::finish();
    }
    CLimiterGraph& make(int channels, double hostRate, double maxRate) {
        graph = std::make_unique<CLimiterGraph>();
        CError e = graph->build(channels, hostRate, maxRate);
        EXPECT_FALSE(e) << e.message().utf8();
        return *graph;
    }
    std::unique_ptr<CLimiterGraph> graph;
    std::vector<std::string> log;
};

}  // namespace

// The gain path pads to 10 ms + 128 samples whatever the transient filter
// adds, at every rate the limiter may run at (the oversampled ones too), and
// the audio really is that late.
TEST_F(LimiterGraphTest, LatencyIsTenMillisecondsPlus128AtEveryRate) {
    CLimiterGraph& g = make(1, 44100.0, 352800.0);
    const std::vector<double> quiet(64, 0.0);
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 352800.0}) {
        g.setRate(rate);
        for (int mode : {kTBUni, kClip})
            for (double transTime : {0.0001, 0.0015, 0.010}) {
                g.setMode(mode);
                g.set("mode-params.trans-time", transTime);
                g.run({quiet}, 64);
                EXPECT_EQ(g.process()->latency(), expectedLatency(rate))
                    << rate << " Hz, mode " << kModeNames[mode] << ", trans time " << transTime;
            }
        // Below the threshold "TB INS" leaves the level alone: an impulse
        // comes out unchanged exactly the latency later.
        g.setMode(kTBIns);
        g.set("mode-params.trans-time", 0.0015);
        g.run({quiet}, 64);
        g.process()->reset();
        const int d = expectedLatency(rate);
        std::vector<double> impulse(size_t(d + 100), 0.0);
        impulse[7] = 0.5;
        const auto out = g.run({impulse}, 256);
        for (size_t i = 0; i < out[0].size(); ++i)
            ASSERT_NEAR(out[0][i], i == size_t(d + 7) ? 0.5 : 0.0, 1e-12) << rate << " Hz at " << i;
    }
}

// Isolated peaks 12 dB above the threshold on top of a quiet signal come out
// at the threshold, for every algorithm and attack: the graph delays the
// audio against the gain path by exactly the look-ahead.
TEST_F(LimiterGraphTest, PeaksTwelveDecibelsOverComeOutAtTheThreshold) {
    CLimiterGraph& g = make(2, 44100.0, 44100.0);
    const size_t n = 16384;
    Signals in(2, std::vector<double>(n));
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / 44100.0;
        in[0][i] = 0.4 * std::sin(kTau * 220.0 * t);
        in[1][i] = 0.3 * std::sin(kTau * 330.0 * t + 1.0);
    }
    for (size_t at = 1000; at + 200 < n; at += 3000) {
        // A 3 kHz burst of 2 ms on one channel, a single-sample spike on the other.
        std::vector<double>& burst = in[(at / 3000) % 2];
        for (size_t k = 0; k < 88; ++k)
            burst[at + k] = 4.0 * std::sin(std::numbers::pi * double(k) / 88.0) * std::sin(kTau * 3000.0 * k / 44100.0);
        in[1 - (at / 3000) % 2][at + 40] = -4.0;
    }
    for (int mode = 0; mode < kModeCount; ++mode)
        for (double attack : {0.0001, 0.0005, 0.0015, 0.005, 0.010}) {
            g.setMode(mode);
            g.set("mode-params.trans-time", attack);
            g.run({{0.0}, {0.0}}, 1);
            g.process()->reset();
            const Signals out = g.run(in, 512);
            const double threshold = mode == kClip ? 0.994 : limThresholdForAttack(attack);
            for (int c = 0; c < 2; ++c) {
                const double p = peak(out[size_t(c)]);
                EXPECT_LE(p, threshold * (1.0 + 1e-12)) << kModeNames[mode] << ", attack " << attack << ", ch " << c;
                EXPECT_GT(p, 0.8 * threshold) << kModeNames[mode] << ", attack " << attack << ", ch " << c;
            }
        }
}

// A loud low tone with settings changed every 0.1 s: no output step is
// larger than the largest step of the input itself (10 % leeway: a step in
// the gain of 2 % at the tone's peak already exceeds it).
TEST_F(LimiterGraphTest, SettingChangesMidSignalCauseNoClicks) {
    CLimiterGraph& g = make(2, 44100.0, 44100.0);
    const size_t n = 30000;
    Signals in(2, std::vector<double>(n));
    for (size_t i = 0; i < n; ++i) {
        in[0][i] = 4.0 * std::sin(kTau * 100.0 * double(i) / 44100.0);
        in[1][i] = -0.75 * in[0][i];  // linked: the same gain on both channels
    }
    const struct {
        const char* param;
        int mode;
        std::vector<double> values;  // one per 0.1 s
    } cases[] = {
        {"mode-params.mode", kTBUni, {6, 7, 2, 8, 9, 5, 1}},
        {"mode-params.mode", kTBUni, {6, 0, 6, 0, 9, 0, 3}},
        {"mode-params.trans-time", kTBUni, {0.0015, 0.0001, 0.010, 0.005, 0.0005}},
        {"mode-params.trans-time", 5, {0.0015, 0.0001, 0.010, 0.005, 0.0005}},
        {"mode-params.trans-time", 8, {0.0015, 0.0001, 0.010, 0.005, 0.0005}},
        {"mode-params.trans-time", kTBIns, {0.0015, 0.0001, 0.010, 0.005, 0.0005}},
        {"mode-params.trans-time", 2, {0.0015, 0.0001, 0.010, 0.005, 0.0005}},
        {"release", kTBUni, {0.010, 0.001, 0.3, 0.05}},
        {"release", 5, {0.010, 0.001, 0.3, 0.05}},
        {"mode-params.knee", kTBUni, {0.0, 1.0, 0.3, 0.0}},
        {"mode-params.knee", 7, {0.0, 1.0, 0.3, 0.0}},
    };
    for (const auto& tc : cases) {
        g.setMode(tc.mode);
        g.set(tc.param, tc.values[0]);
        g.run({{0.0}, {0.0}}, 1);
        g.process()->reset();
        const Signals out = g.run(in, 512, [&](size_t s) {
            const size_t k = s / 4410;
            if (k < tc.values.size()) g.set(tc.param, tc.values[k]);
        });
        for (int c = 0; c < 2; ++c)
            EXPECT_LE(maxStep(out[size_t(c)]), 1.1 * maxStep(in[size_t(c)])) << tc.param << " in " << kModeNames[tc.mode];
        g.set(tc.param, tc.values[0]);
    }
}

// "Clip" has no look-ahead: bypass state 0 takes the transient filter out of
// the gain path and the fixed-latency pad alone makes up the latency.
TEST_F(LimiterGraphTest, ClipModeTakesTheTransientFilterOutOfTheGainPath) {
    CLimiterGraph& g = make(1, 44100.0, 44100.0);
    auto* pad = dynamic_cast<CModFixedLatencyModule*>(g.limiter()->findProcess("modFixedLatency"));
    ASSERT_NE(pad, nullptr);
    const auto names = [&] {
        std::string s;
        for (const CString& n : g.limiter()->sequenceNames()) s += n.utf8() + " ";
        return s;
    };
    g.set("mode-params.trans-time", 0.0015);
    for (int mode : {kClip, kTBUni, kClip, 1}) {
        g.setMode(mode);
        g.run({std::vector<double>(64, 0.0)}, 64);
        const bool clip = mode == kClip;
        EXPECT_EQ(g.limiter()->bypassState(0), clip);
        EXPECT_EQ(names(), clip ? "modAbs modLeveler modSwitch modFixedLatency modMult "
                                : "modAbs modLeveler modSwitch modTrans modFixedLatency modMult ");
        // 66 taps of 1.5 ms add 128 + 65 samples in front of the pad.
        EXPECT_EQ(pad->latency(), clip ? 569 : 569 - 193) << kModeNames[mode];
        EXPECT_EQ(g.process()->latency(), 569);
    }
}

// Once prepared, neither processing nor changes of every kind (modes, times,
// gains, the rate) allocate, and the sequence never meets a cycle.
TEST_F(LimiterGraphTest, ProcessingAndChangesNeitherAllocateNorBreakTheSequence) {
    CLimiterGraph& g = make(2, 44100.0, 88200.0);
    std::vector<double> a(512), b(512);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = 3.0 * std::sin(0.05 * double(i));
        b[i] = -2.0 * std::sin(0.03 * double(i));
    }
    const std::vector<const double*> in = {a.data(), b.data()};
    g.runBlock(in, 512);
    log.clear();
    alloc_counter::Scope scope;
    for (int step = 0; step < 40; ++step) {
        g.setMode(step % kModeCount);
        g.set("mode-params.trans-time", 0.0001 + 0.0025 * (step % 4));
        g.set("mode-params.knee", 0.1 * (step % 3));
        g.set("mode-params.chlink", step % 2 ? 0.5 : 1.0);
        g.set("mode-params.tbaigc", step % 6);
        g.set("mode-params.drc-type", step % 3);
        g.set("release", 0.002 * (1 + step % 5));
        g.set("ingain", 1.0 + 0.1 * (step % 7));
        if (step % 10 == 5) g.setRate(g.rate() == 44100.0 ? 88200.0 : 44100.0);
        for (int k = 0; k < 3; ++k) g.runBlock(in, 512);
    }
    EXPECT_EQ(scope.allocations(), 0u);
    kelFlushAudioDiagnostics();
    for (const std::string& line : log) EXPECT_EQ(line.find("process seq err"), std::string::npos) << line;
}
