// The resamplers around an oversampled section: their chains per factor,
// the latency budget per factor and rate, the exact arrival of an impulse,
// the frequency response of a round trip, and factor changes while playing.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "Audio/Processes/Filters/ModFilterFIR.h"
#include "Audio/Processes/Resampling/ModInterpolator.h"
#include "Audio/Processes/Resampling/ModResampler.h"
#include "Tests/Audio/Filters/FilterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

constexpr double kPi = std::numbers::pi;
using Names = std::vector<std::string>;

// The oversampled section: upsampler, a gain path of `gain` samples at the
// oversampled rate, downsampler.
std::string section(int gain) {
    std::string s = "<audio:process-def name='modMain'>"
                    "<audio:param name='oversampling' converter='shared::audio.paramcvt.real' min-values='0'"
                    " max-values='4' def-values='1'/>"
                    "<audio:param name='host-oversampling-mode' converter='shared::audio.paramcvt.real'"
                    " min-values='0' max-values='3' def-values='0'/>"
                    "<audio:modResampler name='modUpsampler' is-upsampler='true' xfade-length='0.015'/>"
                    "<test:delay name='modGain' latency-samples='" + std::to_string(gain) + "'/>"
                    "<audio:modResampler name='modDownsampler' is-upsampler='false' xfade-length='0.015'/>";
    for (const char* r : {"modUpsampler", "modDownsampler"})
        s += std::string("<audio:param-remap orig='") + r + ".mode' new='oversampling'/><audio:param-remap orig='" + r +
             ".host-mode' new='host-oversampling-mode'/>";
    return s + "</audio:process-def>";
}

// Amplitude of the component at f Hz of y[from, to) at rate, through a
// four-term Blackman-Harris window (far leakage well below -120 dB).
double amplitude(const std::vector<double>& y, size_t from, size_t to, double f, double rate) {
    std::complex<double> s = 0;
    double sum = 0;
    const double n = double(to - from);
    for (size_t i = from; i < to; ++i) {
        const double t = 2 * kPi * double(i - from) / n;
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        s += w * y[i] * std::polar(1.0, -2.0 * kPi * f * double(i) / rate);
        sum += w;
    }
    return 2.0 * std::abs(s) / sum;
}

std::vector<double> sine(size_t n, double f, double rate, double amp = 1.0) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = amp * std::sin(2 * kPi * f * double(i) / rate);
    return x;
}

class Resampler : public testing::Test {
protected:
    void SetUp() override { filtertest::startApp(); }
    void TearDown() override {
        graph.root.reset();
        defs.reset();
        filtertest::stopApp();
    }
    CError build(double rate, double mode, double hostMode = 0, const std::string& xml = section(128)) {
        graph.root.reset();
        defs = std::make_unique<CObject>();
        KEL_TRY(filtertest::loadXml(defs.get(), xml));
        KEL_TRY(graph.build(*defs->findChild("modMain"), 2, rate));
        up = dynamic_cast<CModResampler*>(graph.process->findProcess("modUpsampler"));
        down = dynamic_cast<CModResampler*>(graph.process->findProcess("modDownsampler"));
        graph.set("plugin.modMain.oversampling", mode);
        if (up) graph.set("plugin.modMain.host-oversampling-mode", hostMode);
        return {};
    }
    std::vector<double> run(const std::vector<double>& x, int block = 512) { return graph.runSignal({x, x}, block)[0]; }
    static Names names(const CModResampler* r) {
        Names out;
        for (const CString& n : r->chainNames()) out.push_back(n.utf8());
        return out;
    }
    static std::span<const double> kernel(const CModResampler* r, int stage) {
        auto* fir = dynamic_cast<CModFilterFIRModule*>(r->node(("modFilter" + std::to_string(stage)).c_str()));
        return fir->filterList().kernel(0);
    }

    std::unique_ptr<CObject> defs;
    filtertest::Graph graph;
    CModResampler* up = nullptr;
    CModResampler* down = nullptr;
};

}  // namespace

TEST_F(Resampler, ChainsPerMode) {
    const Names up8 = {"modInterpInterp1", "modFilter1", "modInterpInterp2", "modFilter2", "modInterpInterp3",
                       "modFilter3"};
    const Names down8 = {"modFilter3", "modInterpDecim3", "modFilter2", "modInterpDecim2", "modFilter1",
                         "modInterpDecim1"};
    struct Case {
        double mode, hostMode;
        int octaves;
    } cases[] = {{1, 3, 0}, {2, 0, 1}, {3, 0, 2}, {4, 0, 3}, {0, 2, 2}, {0, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", host mode " + std::to_string(c.hostMode));
        ASSERT_TRUE(build(44100, c.mode, c.hostMode).ok());
        EXPECT_EQ(run(std::vector<double>(512, 0.0)).size(), 512u);
        const size_t n = size_t(2 * c.octaves);
        EXPECT_EQ(names(up), Names(up8.begin(), up8.begin() + long(n)));
        EXPECT_EQ(names(down), Names(down8.end() - long(n), down8.end()));
        EXPECT_EQ(up->rateFactor(), double(1 << c.octaves));
        EXPECT_EQ(down->rateFactor(), 1.0 / double(1 << c.octaves));
    }
    // The steep filters sit at the host-rate boundary, the soft ones beyond.
    EXPECT_EQ(kernel(up, 1).size(), 367u);
    EXPECT_EQ(kernel(up, 2).size(), 39u);
    EXPECT_EQ(kernel(down, 1).size(), 1017u);
    EXPECT_EQ(kernel(down, 3).size(), 39u);
}

TEST_F(Resampler, LatencySumsMatchTheBudget) {
    // Chains at the stage rates (the FIR designs are made at 44.1 kHz).
    const int upChain[4] = {0, 311, 769, 1685};
    const int downChain[4] = {0, 636, 1419, 2985};
    struct Rate {
        double rate;
        int uniform;  // the latency the plug-in reports at this rate
    } rates[] = {{44100, 1041},  {48000, 1080},  {88200, 1482},  {96000, 1560},
                 {176400, 2364}, {192000, 2520}, {352800, 4128}, {384000, 4440}};
    for (const Rate& r : rates)
        for (int octaves = 0; octaves <= 3; ++octaves) {
            const int f = 1 << octaves;
            SCOPED_TRACE(std::to_string(r.rate) + " Hz at " + std::to_string(f) + "X");
            const int gain = int(std::lround(0.010 * r.rate * f)) + 128;
            ASSERT_TRUE(build(r.rate, octaves + 1, 0, section(gain)).ok());
            run(std::vector<double>(64, 0.0), 64);
            const int total = upChain[octaves] + gain + downChain[octaves];
            const int padded = (total + f - 1) / f * f;
            EXPECT_EQ(up->latency(), double(upChain[octaves]));
            EXPECT_EQ(graph.process->childLatency("modGain"), double(upChain[octaves] + gain));
            EXPECT_EQ(down->padding(), padded - total);
            EXPECT_EQ(down->latency() * f, double(downChain[octaves] + padded - total));
            EXPECT_EQ(graph.process->latency(), double(padded / f));
            // The bounds that size the alignment delays around the resamplers
            // cover the real latency, without counting every stage at the
            // host rate (which made them several times too long).
            EXPECT_GE(up->maxLatencySeconds(), up->latency() / (r.rate * f));
            EXPECT_GE(down->maxLatencySeconds(), down->latency() / r.rate);
            EXPECT_LT(up->maxLatencySeconds() + down->maxLatencySeconds(), 0.1);
            if (octaves == 3) {
                EXPECT_EQ(graph.process->latency(), double(r.uniform));
            }
        }
}

TEST_F(Resampler, ImpulseArrivesAtTheReportedLatency) {
    for (double rate : {44100.0, 48000.0})
        for (int mode : {2, 3, 4}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, mode " + std::to_string(mode));
            ASSERT_TRUE(build(rate, mode, 0, section(int(std::lround(0.010 * rate * (1 << (mode - 1))) + 128))).ok());
            std::vector<double> x(8192, 0.0);
            const size_t t0 = 1500;
            x[t0] = 1.0;
            const auto y = run(x, 441);
            const double latency = graph.process->latency();
            const auto peak = size_t(std::max_element(y.begin(), y.end()) - y.begin());
            EXPECT_EQ(double(peak), double(t0) + latency);
            // Linear phase: the response is symmetric about the arrival.
            for (size_t k = 1; k < 300; ++k) ASSERT_NEAR(y[peak - k], y[peak + k], 1e-12) << k;
        }
}

TEST_F(Resampler, RoundTripsFollowTheStageResponses) {
    const double rate = 44100;
    for (int octaves = 1; octaves <= 3; ++octaves)
        for (double f : {100.0, 1000.0, 10000.0, 18000.0, 20500.0}) {
            SCOPED_TRACE(std::to_string(1 << octaves) + "X at " + std::to_string(f) + " Hz");
            ASSERT_TRUE(build(rate, octaves + 1).ok());
            const std::vector<double> x = sine(16384, f, rate);
            std::vector<double> y, inner;  // inner: the section at the oversampled rate
            for (size_t pos = 0; pos < x.size(); pos += 512) {
                const double* in[2] = {x.data() + pos, x.data() + pos};
                const int n = graph.step(in, 2, 512);
                const double* o = graph.process->outputChannel(0, 0);
                y.insert(y.end(), o, o + n);
                const double* g = graph.process->findProcess("modGain")->outputChannel(0, 0);
                inner.insert(inner.end(), g, g + (512 << octaves));
            }
            // Every stage's kernel at its own rate (the interpolator's factor 2
            // restores the level the zeros take away).
            double expectUp = 1.0, expect = 1.0;
            for (int k = 1; k <= octaves; ++k)
                for (const CModResampler* r : {up, down}) {
                    std::complex<double> s = 0;
                    const auto h = kernel(r, k);
                    for (size_t i = 0; i < h.size(); ++i) s += h[i] * std::polar(1.0, -2 * kPi * f * double(i) / (rate * (1 << k)));
                    expect *= std::abs(s);
                    if (r == up) expectUp *= std::abs(s);
                }
            const double got = amplitude(y, 4096, y.size(), f, rate);
            EXPECT_NEAR(20 * std::log10(got), 20 * std::log10(expect), 1e-4);
            if (f <= 10000.0) {
                EXPECT_NEAR(20 * std::log10(got), 0.0, 1e-3);
            }
            const double innerRate = rate * (1 << octaves);
            const size_t from = size_t(4096) << octaves;
            EXPECT_NEAR(amplitude(inner, from, inner.size(), f, innerRate), expectUp, 1e-5);
            // Its images stay below -120 dB (except the first image of a tone
            // in the steep filters' transition band).
            if (f > 18000.0) continue;
            for (int k = 1; k < (1 << octaves); ++k)
                for (double image : {k * rate - f, k * rate + f})
                    EXPECT_LT(amplitude(inner, from, inner.size(), image, innerRate), 1e-6) << image << " Hz";
        }
    // What a downsampler alone removes before it halves the rate.
    const std::string alone = "<audio:process-def name='modMain'><audio:param name='oversampling'"
                              " converter='shared::audio.paramcvt.real' min-values='0' max-values='4' def-values='2'/>"
                              "<audio:modResampler name='modDownsampler'/>"
                              "<audio:param-remap orig='modDownsampler.mode' new='oversampling'/></audio:process-def>";
    for (double f : {5000.0, 30000.0, 40000.0}) {
        ASSERT_TRUE(build(88200, 2, 0, alone).ok());
        const auto y = run(sine(32768, f, 88200));
        ASSERT_EQ(y.size(), 16384u);
        const double a = amplitude(y, 4096, y.size(), f > 22050 ? 44100 - f : f, 44100);
        EXPECT_NEAR(a, f < 22050 ? 1.0 : 0.0, f < 22050 ? 1e-4 : 1e-6) << f;
    }
}

TEST_F(Resampler, FactorChangesWhilePlayingNeitherAllocateNorClick) {
    ASSERT_TRUE(build(44100, 4).ok());
    const double f = 200.0, amp = 0.5;
    const std::vector<double> x = sine(44100 * 3, f, 44100, amp);
    struct Change {
        size_t block;
        double mode, hostMode;
        int octaves;
    } changes[] = {{40, 2, 0, 1}, {80, 4, 0, 3}, {82, 3, 0, 2}, {130, 0, 3, 3}, {180, 1, 0, 0}, {220, 2, 0, 1}};
    run(std::vector<double>(441, 0.0), 441);
    CAudioProcessBase* firstStage[2] = {up->node("modInterpInterp1"), up->node("modFilter1")};
    std::vector<double> y;
    size_t allocations = 0, next = 0;
    for (size_t block = 0, pos = 0; pos + 441 <= x.size(); ++block, pos += 441) {
        if (next < std::size(changes) && changes[next].block == block) {
            graph.set("plugin.modMain.oversampling", changes[next].mode);
            graph.set("plugin.modMain.host-oversampling-mode", changes[next].hostMode);
            ++next;
        }
        const double* in[2] = {x.data() + pos, x.data() + pos};
        alloc_counter::Scope scope;
        const int n = graph.step(in, 2, 441);
        allocations += scope.allocations();
        const double* o = graph.process->outputChannel(0, 0);
        y.insert(y.end(), o, o + n);
        ASSERT_EQ(up->octaves(), down->octaves()) << block;
        if (next && block == changes[next - 1].block + 39) {
            // Settled at the new factor and at full level.
            EXPECT_EQ(up->octaves(), changes[next - 1].octaves) << block;
            EXPECT_FALSE(down->switching()) << block;
            EXPECT_NEAR(*std::max_element(y.end() - 441, y.end()), amp, 2e-3) << block;
        }
        if (block == 79) {
            // 8X -> 2X kept the first stage's nodes.
            EXPECT_EQ(names(up), (Names{"modInterpInterp1", "modFilter1"}));
            EXPECT_EQ(names(down), (Names{"modFilter1", "modInterpDecim1"}));
            EXPECT_EQ(up->node("modInterpInterp1"), firstStage[0]);
            EXPECT_EQ(up->node("modFilter1"), firstStage[1]);
        }
    }
    EXPECT_EQ(allocations, 0u);
    // A 200 Hz sine of 0.5 moves by at most 2 pi 200 / 44100 x 0.5 per sample;
    // the fades add a little to that, a click would add much more.
    const double steady = 2 * kPi * f / 44100 * amp;
    EXPECT_LT(filtertest::maxStep(y), 1.2 * steady);
}

TEST(ResampleStages, InterpolateAndDecimateAcrossBlocksOfAnyLength) {
    CProcessConfig cfg;
    cfg.maxChannels = 1;
    CModInterpolator interp;
    CModDecimator decim;
    ASSERT_TRUE(interp.prepare(cfg).ok() && decim.prepare(cfg).ok());
    std::vector<double> ramp(40), up, down;
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = double(i + 1);
    size_t pos = 0;
    for (int n : {3, 5, 2, 1, 7, 22}) {
        for (CAudioProcessBase* p : {static_cast<CAudioProcessBase*>(&interp), static_cast<CAudioProcessBase*>(&decim)}) {
            p->setChannels(1);
            p->input(0).channels = 1;
            p->input(0).ch[0] = ramp.data() + pos;
            p->process(n);
            auto& out = p == &interp ? up : down;
            out.insert(out.end(), p->outputChannel(0, 0), p->outputChannel(0, 0) + p->outputFrames(n));
        }
        pos += size_t(n);
    }
    ASSERT_EQ(up.size(), 80u);
    ASSERT_EQ(down.size(), 20u);
    for (size_t i = 0; i < 40; ++i) EXPECT_TRUE(up[2 * i] == 2 * ramp[i] && up[2 * i + 1] == 0.0) << i;
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(down[i], ramp[2 * i]) << i;
}

TEST_F(Resampler, OneSectionOwnsBothEndsAndTheirFactor) {
    // Two sections one after the other, and only the up ends bound to the
    // parameters: each down end follows the factor of the up end before it.
    const std::string two =
        "<audio:process-def name='modMain'>"
        "<audio:param name='oversampling' converter='shared::audio.paramcvt.real' min-values='0' max-values='4'"
        " def-values='1'/>"
        "<audio:param name='host-oversampling-mode' converter='shared::audio.paramcvt.real' min-values='0'"
        " max-values='3' def-values='0'/>"
        "<audio:modResampler name='modUpsampler' is-upsampler='true'/>"
        "<test:delay name='modGain' latency-samples='16'/>"
        "<audio:modResampler name='modDownsampler' is-upsampler='false'/>"
        "<audio:modResampler name='up2' is-upsampler='true'/>"
        "<audio:modResampler name='down2' is-upsampler='false'/>"
        "<audio:param-remap orig='modUpsampler.mode' new='oversampling'/>"
        "<audio:param-remap orig='up2.mode' new='oversampling'/></audio:process-def>";
    ASSERT_TRUE(build(44100, 4, 0, two).ok());
    auto* up2 = dynamic_cast<CModResampler*>(graph.process->findProcess("up2"));
    auto* down2 = dynamic_cast<CModResampler*>(graph.process->findProcess("down2"));
    ASSERT_TRUE(up && down && up2 && down2);
    EXPECT_EQ(&up->section(), &down->section());
    EXPECT_EQ(&up2->section(), &down2->section());
    EXPECT_NE(&up->section(), &up2->section());
    std::vector<double> x(8192, 0.0);
    x[1000] = 1.0;
    const auto y = run(x, 512);
    for (const CModResampler* r : {up, down, up2, down2}) EXPECT_EQ(r->octaves(), 3);
    EXPECT_EQ(names(down), (Names{"modFilter3", "modInterpDecim3", "modFilter2", "modInterpDecim2", "modFilter1",
                                  "modInterpDecim1"}));
    // Both sections pass the impulse whole, at the latency the graph reports.
    const auto peak = size_t(std::max_element(y.begin(), y.end()) - y.begin());
    EXPECT_EQ(double(peak), 1000.0 + graph.process->latency());
    EXPECT_GT(y[peak], 0.8);

    // A down end with no up end before it runs a section of its own.
    const std::string alone = "<audio:process-def name='modMain'><audio:param name='oversampling'"
                              " converter='shared::audio.paramcvt.real' min-values='0' max-values='4' def-values='2'/>"
                              "<audio:modResampler name='modDownsampler'/>"
                              "<audio:param-remap orig='modDownsampler.mode' new='oversampling'/></audio:process-def>";
    ASSERT_TRUE(build(88200, 2, 0, alone).ok());
    run(std::vector<double>(512, 0.0));
    EXPECT_FALSE(down->section().hasEnd(COversampledSection::kUp));
    EXPECT_EQ(down->octaves(), 1);
}

TEST_F(Resampler, PolyphaseStagesMatchTheStraightforwardSection) {
    // One programme (partials and noise near full scale, a factor change on
    // the way) through the section with every stage in its straightforward
    // form and with the polyphase forms: the outputs and the
    // oversampled signal agree within -140 dB.
    const size_t frames = 441 * 60;
    std::vector<double> x(frames);
    uint32_t seed = 12345;
    for (size_t i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(seed >> 8) / double(1u << 24) - 0.5;
        x[i] = 0.4 * std::sin(0.031 * double(i)) + 0.3 * std::sin(2.71 * double(i)) + 0.25 * noise;
    }
    struct Run {
        std::vector<double> out, inner;
        bool steepFast = false, softFast = false;
    };
    auto render = [&](int mode, size_t limit) {
        Run r;
        EXPECT_TRUE(build(44100, mode).ok());
        up->section().setPolyphaseTapLimit(limit);
        CProcessConfig cfg;
        cfg.hostRate = cfg.maxSampleRate = 44100;
        cfg.maxChannels = 2;
        EXPECT_TRUE(graph.process->prepare(cfg).ok());
        graph.process->setRate(44100);
        graph.process->setChannels(2);
        for (size_t pos = 0, block = 0; pos + 441 <= frames; pos += 441, ++block) {
            if (block == 30) graph.set("plugin.modMain.oversampling", mode == 4 ? 3 : 4);
            const double* in[2] = {x.data() + pos, x.data() + pos};
            const int n = graph.step(in, 2, 441);
            const double* o = graph.process->outputChannel(0, 1);
            r.out.insert(r.out.end(), o, o + n);
            const double* g = graph.process->findProcess("modGain")->outputChannel(0, 0);
            r.inner.insert(r.inner.end(), g, g + (441 << up->octaves()));
            if (block == 10) {
                const COversampledSection& sec = up->section();
                r.steepFast = sec.polyphase(COversampledSection::kUp, 1) && sec.polyphase(COversampledSection::kDown, 1);
                r.softFast = sec.polyphase(COversampledSection::kUp, 2) && sec.polyphase(COversampledSection::kDown, 2);
            }
        }
        return r;
    };
    for (int mode : {2, 3, 4})
        for (size_t limit : {COversampledSection::kDefaultPolyphaseTapLimit, size_t(2000)}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + ", tap limit " + std::to_string(limit));
            const Run ref = render(mode, 0);
            const Run fast = render(mode, limit);
            EXPECT_FALSE(ref.steepFast || ref.softFast);
            EXPECT_EQ(fast.steepFast, limit >= 1017);  // the steep kernels: 367 and 1017 taps
            EXPECT_EQ(fast.softFast, mode >= 3);       // the soft ones: 39 taps, from 4X on
            ASSERT_EQ(ref.out.size(), fast.out.size());
            ASSERT_EQ(ref.inner.size(), fast.inner.size());
            double worst = 0.0, innerWorst = 0.0;
            for (size_t i = 0; i < ref.out.size(); ++i) worst = std::max(worst, std::fabs(ref.out[i] - fast.out[i]));
            for (size_t i = 0; i < ref.inner.size(); ++i)
                innerWorst = std::max(innerWorst, std::fabs(ref.inner[i] - fast.inner[i]));
            EXPECT_LT(worst, 1e-7);
            EXPECT_LT(innerWorst, 1e-7);
            EXPECT_GT(*std::max_element(fast.out.begin(), fast.out.end()), 0.5);
        }
}
