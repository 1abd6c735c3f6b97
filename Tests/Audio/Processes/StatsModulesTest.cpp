// The statistics modules: true peak and clippings, running RMS and
// integrated loudness (against libebur128), the reset edge, the largest
// gain reduction, the waveform extremes, the evaluation branch's loudness
// weighting, and no allocation while processing and publishing.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

#include "Audio/Filters/FilterDesign.h"
#include "Audio/Processes/Metering/ModELoud.h"
#include "Audio/Processes/Metering/ModStatsMaxGR.h"
#include "Audio/Processes/Metering/ModStatsPeak.h"
#include "Audio/Processes/Metering/ModStatsRMS.h"
#include "Audio/Processes/Metering/ModStatsWave.h"
#include "Tests/Audio/Viz/VizTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

using namespace viztest;

namespace {

constexpr double kPi = std::numbers::pi;

double db(double amplitude) { return 20.0 * std::log10(amplitude); }

using Signal = std::vector<std::vector<double>>;  // channels x samples

Signal makeSignal(int channels, double rate, double seconds, const std::function<double(int, size_t)>& f) {
    Signal s(size_t(channels), std::vector<double>(size_t(seconds * rate)));
    for (int c = 0; c < channels; ++c)
        for (size_t i = 0; i < s[size_t(c)].size(); ++i) s[size_t(c)][i] = f(c, i);
    return s;
}

double referenceLoudness(const Signal& s, double rate) {
    const auto channels = unsigned(s.size());
    ebur128_state* st = ebur128_init(channels, (unsigned long)rate, EBUR128_MODE_I);
    std::vector<double> inter(s[0].size() * channels);
    for (size_t i = 0; i < s[0].size(); ++i)
        for (unsigned c = 0; c < channels; ++c) inter[i * channels + c] = s[c][i];
    ebur128_add_frames_double(st, inter.data(), s[0].size());
    double l = 0.0;
    ebur128_loudness_global(st, &l);
    ebur128_destroy(&st);
    return l;
}

// Raised-cosine fade-in over 10 ms.
double fadeIn(size_t i, double rate) {
    const double t = double(i) / (0.01 * rate);
    return t >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(kPi * t);
}

double referenceTruePeak(const std::vector<double>& x, double rate) {
    ebur128_state* st = ebur128_init(1, (unsigned long)rate, EBUR128_MODE_TRUE_PEAK);
    ebur128_add_frames_double(st, x.data(), x.size());
    double tp = 0.0;
    ebur128_true_peak(st, 0, &tp);
    ebur128_destroy(&st);
    return tp;
}

}  // namespace

TEST(StatsPeak, TruePeakBetweenSamples) {
    struct Case {
        double freq, phase, rate;
    } cases[] = {
        {12000, kPi / 4, 48000},  // samples at 0.707, crest between them
        {11025, kPi / 4, 44100},
        {997, 0.3, 44100},
        {5000, 1.0, 48000},
        {15000, 0.1, 48000},
        {19000, 2.0, 96000},
    };
    for (const Case& tc : cases) {
        // Faded in over 10 ms: an abrupt start would ring between its samples.
        std::vector<double> x(size_t(tc.rate / 4));
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = 0.8 * fadeIn(i, tc.rate) * std::sin(2 * kPi * tc.freq * double(i) / tc.rate + tc.phase);
        CModStatsPeak p;
        p.prepare(CTruePeakInterpolator::kDefaultBeta);
        for (size_t done = 0; done < x.size(); done += 333) p.process(x.data() + done, int(std::min<size_t>(333, x.size() - done)));
        EXPECT_NEAR(db(p.truePeak()), db(0.8), 0.15) << tc.freq;
        EXPECT_NEAR(db(p.truePeak()), db(referenceTruePeak(x, tc.rate)), 0.2) << tc.freq;
        EXPECT_GE(p.truePeak(), p.samplePeak());
    }
    // The quarter-rate sine at 45 degrees: the sample peak misses 3 dB.
    CModStatsPeak q;
    q.prepare(CTruePeakInterpolator::kDefaultBeta);
    std::vector<double> x(4800);
    for (size_t i = 0; i < x.size(); ++i) x[i] = fadeIn(i, 48000) * std::sin(kPi / 2 * double(i) + kPi / 4);
    q.process(x.data(), int(x.size()));
    EXPECT_NEAR(db(q.samplePeak()), -3.01, 0.01);
    EXPECT_NEAR(db(q.truePeak()), 0.0, 0.1);
    // Every phase of the interpolator passes DC unchanged.
    CTruePeakInterpolator t;
    t.design(350.0);  // the largest window parameter
    for (int p = 0; p < CTruePeakInterpolator::kPoints; ++p) {
        double sum = 0.0;
        for (int j = 0; j < CTruePeakInterpolator::kTaps; ++j) sum += t.coefficient(p, j);
        EXPECT_NEAR(sum, 1.0, 1e-12);
    }
}

TEST(StatsPeak, ClippingsCountRunsAboveFullScale) {
    struct Case {
        const char* what;
        std::vector<std::vector<double>> blocks;
        uint64_t clips;
    } cases[] = {
        {"full scale is no clipping", {{0.5, 1.0, -1.0}}, 0},
        {"one sample over", {{0.2, 1.2, 0.3}}, 1},
        {"a run counts once, both polarities", {{1.2, 1.3, 0.5, -1.1, -1.2, 0.9, 1.01}}, 3},
        {"a run across blocks counts once", {{0.1, 1.5}, {1.5, 1.5}, {0.2, 1.1}}, 2},
    };
    for (const Case& tc : cases) {
        CModStatsPeak p;
        p.prepare(6.0);
        for (const auto& b : tc.blocks) p.process(b.data(), int(b.size()));
        EXPECT_EQ(p.clips(), tc.clips) << tc.what;
    }
}

// Integrated loudness and RMS as the module publishes them.
TEST_F(VizTest, StatsRMSLoudnessAgainstReference) {
    std::mt19937 rng(77);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> noise(48000 * 8);
    for (double& v : noise) v = gauss(rng);
    struct Case {
        const char* what;
        double rate;
        Signal signal;
        double expected;  // NaN: libebur128's figure
    };
    const Case cases[] = {
        {"mono 1 kHz sine at -20 dBFS", 48000,
         makeSignal(1, 48000, 10, [](int, size_t i) { return 0.1 * std::sin(2 * kPi * 1000 * double(i) / 48000); }),
         -23.0},
        {"stereo noise, unequal channels", 44100,
         makeSignal(2, 44100, 6, [&](int c, size_t i) { return (c ? 0.05 : 0.2) * noise[(i * 2 + size_t(c)) % noise.size()]; }),
         NAN},
        {"loud bursts and near silence (both gates)", 48000,
         makeSignal(2, 48000, 8,
                    [&](int c, size_t i) {
                        const bool loud = (i / 24000) % 4 == 0;
                        return (loud ? 0.5 : 0.0008) * noise[(i + size_t(c) * 7919) % noise.size()];
                    }),
         NAN},
        {"low tone at 96 kHz", 96000,
         makeSignal(2, 96000, 3, [](int c, size_t i) { return (0.3 + 0.1 * c) * std::sin(2 * kPi * 60 * double(i) / 96000); }),
         NAN},
    };
    int n = 0;
    for (const Case& tc : cases) {
        const std::string name = "rms" + std::to_string(n);
        CObject* c = singleModule(defs.get(), name, "audio:modStatsRMS", {{"fps", "10"}}, {{"use-ebu128", "1"}});
        ASSERT_FALSE(c->initTree());
        const int block = 500;
        const int channels = int(tc.signal.size());
        ASSERT_FALSE(buildGraph(*c, channels, tc.rate, block));
        ASSERT_FALSE(viz->listen(uint32_t(++n), ("plugin." + name + ".mod").c_str(), 0));
        Signal piece{size_t(channels), std::vector<double>(size_t(block))};
        const size_t length = tc.signal[0].size() / block * block;
        for (size_t at = 0; at < length; at += size_t(block)) {
            for (int ch = 0; ch < channels; ++ch)
                std::copy_n(tc.signal[size_t(ch)].begin() + long(at), block, piece[size_t(ch)].begin());
            runBlock(piece);
        }
        Signal used = tc.signal;
        for (auto& ch : used) ch.resize(length);
        const double expected = std::isnan(tc.expected) ? referenceLoudness(used, tc.rate) : tc.expected;
        Block b = readBlock(request(uint32_t(n)));
        const auto& v = b.lanes.at(0).frames.at(0).values;
        ASSERT_EQ(v.size(), size_t(1 + 2 * channels));
        // The K-weighting design passes the mid range 0.02 to 0.05 dB below
        // the reference filter (0.045 dB at 1 kHz), so readings sit that low.
        EXPECT_NEAR(db(v[0]), expected - 0.045, 0.03) << tc.what;
        // The running RMS of the K-weighted signal (published at the last frame
        // end); the short-term peak is at least as high, and for the steady
        // sine the same.
        const auto* module = dynamic_cast<const CModStatsRMSModule*>(process->findObject(".mod"));
        ASSERT_TRUE(module);
        for (int ch = 0; ch < channels; ++ch) {
            const double rms = v[size_t(1 + 2 * ch)], peak = v[size_t(2 + 2 * ch)];
            EXPECT_NEAR(rms, std::sqrt(module->processor(ch).meanSquare()), 0.01 * rms) << tc.what;
            EXPECT_GE(peak, rms * 0.999) << tc.what;
            if (n == 1) {
                EXPECT_NEAR(peak / rms, 1.0, 3e-3);
            }
        }
    }
}

TEST(StatsLoudness, ShortTermPeakFollowsTheWindow) {
    // A 20 ms burst inside silence: a 10 ms window sees its full level, a
    // 100 ms window a fifth of its energy.
    for (double window : {0.01, 0.1}) {
        CModStatsRMS r;
        r.prepare(48000, 512);
        r.setParams(false, window);
        std::vector<double> x(48000, 0.0);
        for (size_t i = 10000; i < 10960; ++i) x[i] = 0.5;
        r.process(x.data(), int(x.size()));
        const double expected = window < 0.02 ? 0.25 : 0.25 * 0.2;
        EXPECT_NEAR(r.peakMeanSquare(), expected, expected * 0.02) << window;
        EXPECT_NEAR(r.meanSquare(), 0.25 * 960 / 48000, 1e-12);
    }
}

// A rising reset edge clears the statistics; holding it high does not clear
// them again.
TEST_F(VizTest, StatisticsResetOnTheRisingEdge) {
    struct Case {
        const char* tag;
        std::vector<double> loud, soft;  // blocks
        double loudReading, softReading;  // first published value
    } cases[] = {
        {"audio:modStatsMaxGR", std::vector<double>(100, 0.25), std::vector<double>(100, 0.5), 4.0, 2.0},
        {"audio:modStatsPeak", std::vector<double>(100, 0.8), std::vector<double>(100, 0.4), 0.8, 0.4},
    };
    int n = 0;
    for (const Case& tc : cases) {
        const std::string name = "reset" + std::to_string(n);
        CObject* c = singleModule(defs.get(), name, tc.tag, {{"fps", "480"}}, {{"reset", "0"}});
        ASSERT_FALSE(c->initTree());
        ASSERT_FALSE(buildGraph(*c, 1, 48000, 100));
        ASSERT_FALSE(viz->listen(uint32_t(++n), ("plugin." + name + ".mod").c_str(), 0));
        CAudioParam* reset = params->findParam(CString("plugin.") + CString(name) + CString(".mod.reset"));
        ASSERT_TRUE(reset);
        auto reading = [&] { return readBlock(request(uint32_t(n), 0, CVizDataRequest::kInfo)).lanes.at(0).frames.at(0).values.at(0); };
        const struct Step {
            double reset;
            const std::vector<double>* block;
            double reading;
        } steps[] = {
            {0, &tc.loud, tc.loudReading}, {0, &tc.soft, tc.loudReading},  // the statistic holds
            {1, &tc.soft, tc.softReading},                                 // rising edge: cleared
            {1, &tc.loud, tc.loudReading}, {1, &tc.soft, tc.loudReading},  // still high: no clearing
            {0, &tc.soft, tc.loudReading}, {1, &tc.soft, tc.softReading},  // next edge
        };
        for (size_t i = 0; i < std::size(steps); ++i) {
            reset->storage().setValue(0, 0, 0, steps[i].reset);
            runBlock({*steps[i].block});
            EXPECT_DOUBLE_EQ(reading(), steps[i].reading) << tc.tag << ", step " << i;
        }
    }
}

TEST_F(VizTest, WaveExtremesPerFrame) {
    CObject* c = singleModule(defs.get(), "wave", "audio:modStatsWave", {{"fps", "90.0"}}, {}, true);
    ASSERT_FALSE(c->initTree());
    ASSERT_FALSE(buildGraph(*c, 2, 44100, 490));  // one frame per block
    ASSERT_FALSE(viz->listen(1, "plugin.wave.mod", 1));
    EXPECT_EQ(viz->findSource("plugin.wave.mod")->listenerCount(1), 1u);
    Signal in0(2, std::vector<double>(490)), in1(2, std::vector<double>(490));
    for (int frame = 0; frame < 3; ++frame) {
        for (size_t i = 0; i < 490; ++i) {
            in0[0][i] = double(i) / 490.0 - 0.5 * frame;             // ramp
            in0[1][i] = -in0[0][i];
            in1[0][i] = 0.25 * std::sin(2 * kPi * double(i) / 490);  // one period
            in1[1][i] = 0.0;
        }
        CPortBuffers& p1 = process->input(1);
        p1.channels = 2;
        p1.ch[0] = in1[0].data();
        p1.ch[1] = in1[1].data();
        runBlock(in0);
    }
    // History of all three frames; values as f32.
    Block b = readBlock(request(1, 8));
    EXPECT_EQ(b.kind, uint32_t(EVizKind::VScope));
    ASSERT_EQ(b.lanes.at(0).frames.size(), 3u);
    for (int frame = 0; frame < 3; ++frame) {
        const auto& v = b.lanes[0].frames[size_t(frame)].values;
        ASSERT_EQ(v.size(), 8u);
        const double lo = -0.5 * frame, hi = 489.0 / 490.0 - 0.5 * frame;
        const double want[8] = {lo, hi, -0.25, 0.25, -hi, -lo, 0.0, 0.0};
        for (int k = 0; k < 8; ++k) EXPECT_NEAR(v[size_t(k)], want[k], 1e-3) << frame << " " << k;
    }
}

TEST(ELoudWeighting, ShapeAndProcessing) {
    for (double rate : {44100.0, 48000.0, 96000.0, 384000.0}) {
        const auto s = designELoudWeighting(rate);
        EXPECT_TRUE(sectionsStable(s)) << rate;
        auto gain = [&](double f) { return db(cascadeMagnitude(s, f, rate)); };
        EXPECT_NEAR(gain(1000), 0.0, 1e-9) << rate;
        EXPECT_LT(gain(40), -12.0) << rate;
        EXPECT_LT(gain(100), gain(400)) << rate;
        EXPECT_GT(gain(3500), 2.5) << rate;
        EXPECT_LT(gain(16000), gain(3500) - 3.0) << rate;
        // The same shape at every rate where the ear listens.
        const auto ref = designELoudWeighting(48000);
        for (double f : {50.0, 200.0, 2000.0, 6000.0})
            EXPECT_NEAR(gain(f), db(cascadeMagnitude(ref, f, 48000)), 0.3) << rate << " " << f;
    }
    // The processor delivers the designed gain, in place or not.
    CModELoud p;
    p.prepare(48000, 512);
    std::vector<double> x(48000), y(48000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(2 * kPi * 3000 * double(i) / 48000);
    for (size_t done = 0; done < x.size(); done += 500) p.process(x.data() + done, y.data() + done, 500);
    double energy = 0.0;  // over 1500 whole periods, once settled
    for (size_t i = 24000; i < y.size(); ++i) energy += y[i] * y[i];
    EXPECT_NEAR(std::sqrt(2.0 * energy / 24000.0), cascadeMagnitude(p.sections(), 3000, 48000), 1e-4);
}

// Once built and run, the modules neither allocate while processing nor
// while publishing.
TEST_F(VizTest, NoAllocationWhileProcessingAndPublishing) {
    {
        alloc_counter::Scope probe;
        auto p = std::make_unique<int>(1);
        ASSERT_EQ(probe.allocations(), 1u) << "the allocation counter is not active";
    }
    const char* tags[] = {"audio:modMeter",      "audio:modStatsPeak", "audio:modStatsRMS",
                          "audio:modStatsMaxGR", "audio:modStatsWave", "audio:modELoud"};
    std::vector<CAudioProcessBase*> graphs;
    int n = 0;
    for (const char* tag : tags) {
        const std::string name = "g" + std::to_string(n);
        CObject* c = singleModule(defs.get(), name, tag, {{"fps", "150"}}, {{"use-bias", "1"}, {"use-ebu128", "1"}},
                                  std::string(tag) == "audio:modStatsWave");
        ASSERT_FALSE(c->initTree());
        ASSERT_FALSE(buildGraph(*c, 2, 48000, 512));
        (void)viz->listen(uint32_t(++n), ("plugin." + name + ".mod").c_str(), 0);
        graphs.push_back(process);
    }
    Signal block(2, std::vector<double>(512));
    for (size_t i = 0; i < 512; ++i) block[0][i] = block[1][i] = 1.3 * std::sin(0.01 * double(i));
    auto runAll = [&] {
        for (CAudioProcessBase* g : graphs) {
            process = g;
            runBlock(block);
        }
    };
    runAll();
    const CAudioVizLane& meter = *viz->findSource("plugin.g0.mod")->lanes().at(0);
    const uint64_t before = meter.published();
    {
        alloc_counter::Scope scope;
        for (int round = 0; round < 200; ++round) runAll();
        EXPECT_EQ(scope.allocations(), 0u);
    }
    // 200 blocks of 512 samples at 150 frames per second (320 samples each).
    EXPECT_EQ(meter.published() - before, 320u);
}
