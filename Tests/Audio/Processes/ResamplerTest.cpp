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

#include "Audio/Processes/ModFilterFIR.h"
#include "Audio/Processes/ModInterpolator.h"
#include "Audio/Processes/ModResampler.h"
#include "Tests/Audio/Filters/FilterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The oversampled section: upsampler, a gain path of round(0.010 SR) + 128
// samples at the oversampled rate, downsampler.
const char* const kSection = R"(
<audio:process-def name="modMain">
  <audio:param name="oversampling" converter="shared::audio.paramcvt.real" min-values="0" max-values="4" def-values="1"/>
  <audio:param name="host-oversampling-mode" converter="shared::audio.paramcvt.real" min-values="0" max-values="3" def-values="0"/>
  <audio:modResampler name="modUpsampler" is-upsampler="true" xfade-length="0.015"/>
  <test:rate-delay name="modGain" latency-sec="0.010" latency-samples="128"/>
  <audio:modResampler name="modDownsampler" is-upsampler="false" xfade-length="0.015"/>
  <audio:param-remap orig="modUpsampler.mode" new="oversampling"/>
  <audio:param-remap orig="modUpsampler.host-mode" new="host-oversampling-mode"/>
  <audio:param-remap orig="modDownsampler.mode" new="oversampling"/>
  <audio:param-remap orig="modDownsampler.host-mode" new="host-oversampling-mode"/>
</audio:process-def>)";

// Magnitude of a kernel at f Hz for the rate it runs at.
double kernelGain(std::span<const double> h, double f, double rate) {
    std::complex<double> s = 0;
    for (size_t i = 0; i < h.size(); ++i) s += h[i] * std::polar(1.0, -2.0 * kPi * f * double(i) / rate);
    return std::abs(s);
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

class Resampler : public testing::Test {
protected:
    void SetUp() override { filtertest::startApp(); }
    void TearDown() override {
        graph.root.reset();
        defs.reset();
        filtertest::stopApp();
    }
    CError build(double rate, double mode, double hostMode = 0, const char* xml = kSection) {
        graph.root.reset();
        defs = std::make_unique<CObject>();
        KEL_TRY(filtertest::loadXml(defs.get(), xml));
        KEL_TRY(graph.build(*defs->findChild("modMain"), 2, rate));
        up = dynamic_cast<CModResampler*>(graph.process->findProcess("modUpsampler"));
        down = dynamic_cast<CModResampler*>(graph.process->findProcess("modDownsampler"));
        graph.set("plugin.modMain.oversampling", mode);
        if (graph.collector->findParam("plugin.modMain.host-oversampling-mode"))
            graph.set("plugin.modMain.host-oversampling-mode", hostMode);
        return {};
    }
    // Runs a signal through both channels in host blocks; returns channel 0.
    std::vector<double> run(const std::vector<double>& x, int block = 512) {
        return graph.runSignal({x, x}, block)[0];
    }
    static std::vector<std::string> names(const CModResampler* r) {
        std::vector<std::string> out;
        for (const CString& n : r->chainNames()) out.push_back(n.utf8());
        return out;
    }
    static size_t taps(const CModResampler* r, const char* node) {
        auto* fir = dynamic_cast<CModFilterFIRModule*>(r->node(node));
        return fir && fir->filterList().kernelCount() ? fir->filterList().kernel(0).size() : 0;
    }

    std::unique_ptr<CObject> defs;
    filtertest::Graph graph;
    CModResampler* up = nullptr;
    CModResampler* down = nullptr;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(Resampler, ChainsPerMode) {
    const Names up2 = {"modInterpInterp1", "modFilter1"};
    const Names up4 = {"modInterpInterp1", "modFilter1", "modInterpInterp2", "modFilter2"};
    const Names up8 = {"modInterpInterp1", "modFilter1", "modInterpInterp2", "modFilter2", "modInterpInterp3",
                       "modFilter3"};
    const Names down2 = {"modFilter1", "modInterpDecim1"};
    const Names down4 = {"modFilter2", "modInterpDecim2", "modFilter1", "modInterpDecim1"};
    const Names down8 = {"modFilter3", "modInterpDecim3", "modFilter2", "modInterpDecim2", "modFilter1",
                         "modInterpDecim1"};
    struct Case {
        double mode, hostMode;
        int factor;
        Names up, down;
    } cases[] = {
        {1, 3, 1, {}, {}},      {2, 0, 2, up2, down2}, {3, 0, 4, up4, down4},
        {4, 0, 8, up8, down8},  {0, 2, 4, up4, down4}, {0, 0, 1, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", host mode " + std::to_string(c.hostMode));
        ASSERT_TRUE(build(44100, c.mode, c.hostMode).ok());
        const auto y = run(std::vector<double>(512, 0.0));
        EXPECT_EQ(y.size(), 512u);
        EXPECT_EQ(names(up), c.up);
        EXPECT_EQ(names(down), c.down);
        EXPECT_EQ(up->rateFactor(), double(c.factor));
        EXPECT_EQ(down->rateFactor(), 1.0 / c.factor);
        EXPECT_EQ(graph.process->rateFactor(), 1.0);
    }
    // The steep filters sit at the host-rate boundary, the soft ones beyond.
    EXPECT_EQ(taps(up, "modFilter1"), 367u);
    EXPECT_EQ(taps(up, "modFilter2"), 39u);
    EXPECT_EQ(taps(down, "modFilter1"), 1017u);
    EXPECT_EQ(taps(down, "modFilter3"), 39u);
}

TEST_F(Resampler, SwitchingEightToTwoKeepsTheFirstStage) {
    ASSERT_TRUE(build(44100, 4).ok());
    run(std::vector<double>(512, 0.0));
    CAudioProcessBase* interp = up->node("modInterpInterp1");
    CAudioProcessBase* steep = up->node("modFilter1");
    graph.set("plugin.modMain.oversampling", 2);
    std::vector<double> x(512, 0.1);
    for (int i = 0; i < 20; ++i) {
        run(x);
        if (!up->switching() && !down->switching()) break;
    }
    EXPECT_EQ(names(up), (Names{"modInterpInterp1", "modFilter1"}));
    EXPECT_EQ(names(down), (Names{"modFilter1", "modInterpDecim1"}));
    EXPECT_EQ(up->node("modInterpInterp1"), interp);
    EXPECT_EQ(up->node("modFilter1"), steep);
    EXPECT_EQ(up->octaves(), 1);
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
            ASSERT_TRUE(build(r.rate, octaves + 1).ok());
            run(std::vector<double>(64, 0.0), 64);
            const int gain = int(std::lround(0.010 * r.rate * f)) + 128;
            const int total = upChain[octaves] + gain + downChain[octaves];
            const int padded = (total + f - 1) / f * f;
            EXPECT_EQ(up->latency(), double(upChain[octaves]));
            EXPECT_EQ(graph.process->childLatency("modGain"), double(upChain[octaves] + gain));
            EXPECT_EQ(down->latency() * f, double(downChain[octaves] + padded - total));
            EXPECT_EQ(down->padding(), padded - total);
            EXPECT_EQ(graph.process->latency(), double(padded / f));
            if (octaves == 3) {
                EXPECT_EQ(graph.process->latency(), double(r.uniform));
            }
        }
}

TEST_F(Resampler, ImpulseArrivesAtTheReportedLatency) {
    for (double rate : {44100.0, 48000.0})
        for (int mode : {2, 3, 4}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, mode " + std::to_string(mode));
            ASSERT_TRUE(build(rate, mode).ok());
            std::vector<double> x(8192, 0.0);
            const size_t t0 = 1500;
            x[t0] = 1.0;
            const auto y = run(x, 441);
            const double latency = graph.process->latency();
            ASSERT_EQ(latency, std::floor(latency));
            const size_t peak = size_t(std::max_element(y.begin(), y.end(), [](double a, double b) {
                                           return std::fabs(a) < std::fabs(b);
                                       }) - y.begin());
            EXPECT_EQ(peak, t0 + size_t(latency));
            // Linear phase: the response is symmetric about the arrival.
            for (size_t k = 1; k < 300; ++k) EXPECT_NEAR(y[peak - k], y[peak + k], 1e-12) << k;
        }
}

TEST_F(Resampler, SineRoundTripsFollowTheStageResponses) {
    const double rate = 44100;
    for (int mode : {2, 3, 4}) {
        const int octaves = mode - 1;
        for (double f : {100.0, 1000.0, 10000.0, 18000.0, 20500.0}) {
            SCOPED_TRACE("mode " + std::to_string(mode) + " at " + std::to_string(f) + " Hz");
            ASSERT_TRUE(build(rate, mode).ok());
            std::vector<double> x(16384);
            for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(2 * kPi * f * double(i) / rate);
            // The section's view at the oversampled rate.
            std::vector<double> inner;
            std::vector<double> y;
            const double* in[2];
            for (size_t pos = 0; pos < x.size(); pos += 512) {
                in[0] = in[1] = x.data() + pos;
                const int n = graph.step(in, 2, 512);
                const double* o = graph.process->outputChannel(0, 0);
                y.insert(y.end(), o, o + n);
                const double* g = graph.process->findProcess("modGain")->outputChannel(0, 0);
                inner.insert(inner.end(), g, g + (512 << octaves));
            }
            // Expected: every stage's kernel at its own rate (the interpolator's
            // factor 2 restores the level the zeros take away).
            double expected = 1.0, expectedUp = 1.0;
            for (int k = 1; k <= octaves; ++k) {
                const double stageRate = rate * double(1 << k);
                auto* upFir = dynamic_cast<CModFilterFIRModule*>(up->node(("modFilter" + std::to_string(k)).c_str()));
                auto* downFir = dynamic_cast<CModFilterFIRModule*>(down->node(("modFilter" + std::to_string(k)).c_str()));
                const double g = kernelGain(upFir->filterList().kernel(0), f, stageRate);
                expectedUp *= g;
                expected *= g * kernelGain(downFir->filterList().kernel(0), f, stageRate);
            }
            const double got = amplitude(y, 4096, 16384, f, rate);
            EXPECT_NEAR(20 * std::log10(got), 20 * std::log10(expected), 1e-4);
            if (f <= 10000.0) {
                EXPECT_NEAR(20 * std::log10(got), 0.0, 1e-3);
            }
            // Images of the tone in the oversampled section stay below -120 dB.
            const double innerRate = rate * double(1 << octaves);
            const size_t from = 4096u << octaves, to = inner.size();
            EXPECT_NEAR(amplitude(inner, from, to, f, innerRate), expectedUp, 1e-5);
            if (f > 18000.0) continue;  // its first image lies in the transition band
            for (int k = 1; k < (1 << octaves); ++k)
                for (double image : {k * rate - f, k * rate + f})
                    EXPECT_LT(amplitude(inner, from, to, image, innerRate), 1e-6) << image << " Hz";
        }
    }
}

TEST_F(Resampler, DownsamplingRemovesWhatWouldAlias) {
    // A downsampler alone at 88.2 kHz, halving the rate.
    const char* xml = R"(
      <audio:process-def name="modMain">
        <audio:param name="oversampling" converter="shared::audio.paramcvt.real" min-values="0" max-values="4" def-values="2"/>
        <audio:modResampler name="modDownsampler" is-upsampler="false"/>
        <audio:param-remap orig="modDownsampler.mode" new="oversampling"/>
      </audio:process-def>)";
    for (double f : {5000.0, 30000.0, 40000.0}) {
        ASSERT_TRUE(build(88200, 2, 0, xml).ok());
        std::vector<double> x(32768);
        for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(2 * kPi * f * double(i) / 88200);
        const auto y = run(x);
        ASSERT_EQ(y.size(), x.size() / 2);
        const double alias = f > 22050 ? 44100 - f : f;
        const double a = amplitude(y, 4096, y.size(), alias, 44100);
        if (f < 22050)
            EXPECT_NEAR(a, 1.0, 1e-4);
        else
            EXPECT_LT(a, 1e-6) << f;
    }
}

TEST_F(Resampler, FactorChangesWhilePlayingNeitherAllocateNorClick) {
    ASSERT_TRUE(build(44100, 3).ok());
    const double f = 200.0, amp = 0.5;
    std::vector<double> x(44100 * 3);
    for (size_t i = 0; i < x.size(); ++i) x[i] = amp * std::sin(2 * kPi * f * double(i) / 44100);
    struct Change {
        size_t block;
        double mode, hostMode;
        int octaves;
    } changes[] = {{40, 4, 0, 3}, {80, 2, 0, 1}, {84, 3, 0, 2}, {130, 0, 3, 3}, {180, 1, 0, 0}, {220, 2, 0, 1}};
    std::vector<double> y;
    size_t allocations = 0, next = 0;
    const double* in[2];
    for (size_t block = 0, pos = 0; pos + 441 <= x.size(); ++block, pos += 441) {
        if (next < std::size(changes) && changes[next].block == block) {
            graph.set("plugin.modMain.oversampling", changes[next].mode);
            graph.set("plugin.modMain.host-oversampling-mode", changes[next].hostMode);
            ++next;
        }
        in[0] = in[1] = x.data() + pos;
        alloc_counter::Scope scope;
        const int n = graph.step(in, 2, 441);
        allocations += scope.allocations();
        const double* o = graph.process->outputChannel(0, 0);
        y.insert(y.end(), o, o + n);
        EXPECT_EQ(up->octaves(), down->octaves()) << block;
        EXPECT_EQ(n, 441);
        if (next && block == changes[next - 1].block + 39) {
            // Settled at the new factor, at its latency, at full level.
            EXPECT_EQ(up->octaves(), changes[next - 1].octaves) << block;
            EXPECT_FALSE(down->switching()) << block;
            const size_t end = y.size();
            const double peak = *std::max_element(y.begin() + long(end - 441), y.end());
            EXPECT_NEAR(peak, amp, 2e-3) << block;
        }
    }
    EXPECT_EQ(allocations, 0u);
    // A sine of 200 Hz moves by at most 2 pi 200 / 44100 x 0.5 per sample;
    // the fades add a little to that, a click would add much more.
    const double steady = 2 * kPi * f / 44100 * amp;
    double worst = 0;
    for (size_t i = 1; i < y.size(); ++i) worst = std::max(worst, std::fabs(y[i] - y[i - 1]));
    EXPECT_LT(worst, 1.2 * steady);
}

TEST(ResampleStages, InterpolateAndDecimateAcrossBlocksOfAnyLength) {
    CProcessConfig cfg;
    cfg.maxChannels = 1;
    CModInterpolator interp;
    CModDecimator decim;
    ASSERT_TRUE(interp.prepare(cfg).ok());
    ASSERT_TRUE(decim.prepare(cfg).ok());
    interp.setChannels(1);
    decim.setChannels(1);
    std::vector<double> ramp(40);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = double(i + 1);
    std::vector<double> up, down;
    size_t pos = 0;
    for (int n : {3, 5, 2, 1, 7, 22}) {
        interp.input(0).channels = 1;
        interp.input(0).ch[0] = ramp.data() + pos;
        interp.process(n);
        const double* u = interp.outputChannel(0, 0);
        up.insert(up.end(), u, u + interp.outputFrames(n));
        decim.input(0).channels = 1;
        decim.input(0).ch[0] = ramp.data() + pos;
        decim.process(n);
        const double* d = decim.outputChannel(0, 0);
        down.insert(down.end(), d, d + decim.outputFrames(n));
        pos += size_t(n);
    }
    ASSERT_EQ(up.size(), 80u);
    ASSERT_EQ(down.size(), 20u);
    for (size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(up[2 * i], 2.0 * ramp[i]);
        EXPECT_EQ(up[2 * i + 1], 0.0);
    }
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(down[i], ramp[2 * i]);
}
