// The plug-in's latency through the VST3 interfaces: what it reports at each
// rate and oversampling factor, where an impulse really comes out, and that
// changing the factor while playing keeps the latency and makes no click.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ProductHost.h"
#include "ProductSignals.h"

namespace product {
namespace {

class ProductLatency : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enterModule()); }
    void TearDown() override { exitModule(); }
};

struct RateCase {
    double rate;
    int uniform;
};
const RateCase kRates[] = {{44100.0, 1041}, {48000.0, 1080}, {88200.0, 1482},
                           {96000.0, 1560}, {176400.0, 2364}, {192000.0, 2520}};
const char* const kFactors[] = {"1X", "2X", "4X", "8X"};

TEST_F(ProductLatency, ReportedEqualsUniformAndMeasuredAtEveryRateAndFactor) {
    for (const RateCase& rc : kRates) {
        // A fresh instance per rate, its factor raised step by step.
        CHost host;
        ASSERT_TRUE(host.loaded());
        const bool canSwitch = host.paramId("Oversmp") >= 0;
        ASSERT_TRUE(host.start(rc.rate, 512));
        for (const char* factor : kFactors) {
            if (!canSwitch && std::string(factor) != "1X") continue;
            SCOPED_TRACE(std::to_string(int(rc.rate)) + " Hz, " + factor);
            if (canSwitch) {
                ASSERT_TRUE(host.setParam("Oversmp", factor));
            }
            // Let the factor change and its cross-fades settle.
            host.runSilence(size_t(0.1 * rc.rate));
            const int reported = host.latency();
            EXPECT_EQ(reported, rc.uniform);
            // An impulse well below the limiter's threshold comes out whole,
            // exactly `reported` samples late.
            const size_t at = 100;
            const Stereo out = host.run(impulse(size_t(rc.uniform) + at + 1024, at, 0.25));
            const size_t peak = peakPosition(out);
            EXPECT_EQ(int(peak) - int(at), reported);
            EXPECT_NEAR(out.l[peak], 0.25, 0.03);
            EXPECT_NEAR(out.r[peak], out.l[peak], 1e-9);
        }
        host.stop();
    }
}

TEST_F(ProductLatency, SwitchingOversamplingWhilePlayingKeepsLatencyWithoutClicks) {
    CHost host;
    ASSERT_TRUE(host.loaded());
    if (host.paramId("Oversmp") < 0) GTEST_SKIP() << "no \"Oversmp\" host parameter";
    const double rate = 44100.0;
    ASSERT_TRUE(host.start(rate, 256));
    // A 220 Hz sine at -12 dBFS: its largest natural step is 2*pi*220/44100*0.25.
    const double amp = 0.25;
    const double naturalStep = 2.0 * M_PI * 220.0 / rate * amp;
    const Stereo tone = sine(rate, 0.5, 220.0, amp);
    const int reported = host.latency();
    host.run(tone);  // past the latency
    for (const char* factor : {"8X", "2X", "4X", "1X", "8X", "1X"}) {
        SCOPED_TRACE(factor);
        ASSERT_TRUE(host.setParam("Oversmp", factor, 100));
        const Stereo out = host.run(tone);
        EXPECT_EQ(host.latency(), reported);
        EXPECT_EQ(firstNonFinite(out, 0), out.size());
        EXPECT_LT(maxStep(out, 0, out.size()), 1.5 * naturalStep);
        EXPECT_GT(rms(out, out.size() / 2, out.size()), 0.5 * amp / std::sqrt(2.0));
    }
    EXPECT_EQ(host.handler().latencyRestarts(), 0);
}

}  // namespace
}  // namespace product
