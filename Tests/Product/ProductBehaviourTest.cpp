// The switches a user reaches through the host: bypass, the limiter mode,
// the DC filter and dither, run through the VST3 interfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ProductHost.h"
#include "ProductSignals.h"

namespace product {
namespace {

class ProductBehaviour : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enterModule()); }
    void TearDown() override { exitModule(); }

    // A started host at 44.1 kHz, or a skip when it lacks a parameter.
    bool needs(CHost& host, std::initializer_list<const char*> names) {
        if (!host.loaded() || !host.start(kRate, 512)) return false;
        for (const char* n : names)
            if (host.paramId(n) < 0) {
                m_missing = n;
                return false;
            }
        return true;
    }
    static constexpr double kRate = 44100.0;
    std::string m_missing;
};

#define NEEDS(host, ...)                                                                   \
    do {                                                                                   \
        if (!needs(host, {__VA_ARGS__})) {                                                 \
            ASSERT_FALSE(m_missing.empty()) << "the plug-in did not start";                \
            GTEST_SKIP() << "no \"" << m_missing << "\" host parameter";                   \
        }                                                                                  \
    } while (0)

TEST_F(ProductBehaviour, BypassPassesTheDelayedInputAndSwitchesWithoutClicks) {
    CHost host;
    NEEDS(host, "Bypass", "InGain", "OutGain");
    // A loud 200 Hz sine that the limiter audibly reduces, so the processed
    // and the dry signal differ by several dB.
    const double amp = 0.9, freq = 200.0;
    const Stereo tone = sine(kRate, 0.5, freq, amp);
    const double naturalStep = 2.0 * M_PI * freq / kRate * amp;
    host.setParam("InGain", "6.0");
    host.setParam("OutGain", "-6.0");
    const int lat = host.latency();
    host.run(tone);
    const Stereo wet = host.run(tone);
    ASSERT_LT(samplePeak(wet), 0.6);  // limited to about -6 dB

    const int bypass = host.paramId("Bypass");
    host.queueParam(bypass, 1.0, 100);
    const Stereo on = host.run(tone);
    EXPECT_LT(maxStep(on, 0, on.size()), 1.2 * naturalStep);
    // After the latency and the cross-fade the output is the input, delayed.
    const Stereo settled = host.run(tone);
    double err = 0.0;
    for (size_t i = 0; i < settled.size(); ++i) {
        const double dry = amp * std::sin(2.0 * M_PI * freq * double(i + 2 * tone.size() - size_t(lat)) / kRate);
        err = std::max({err, std::fabs(settled.l[i] - dry), std::fabs(settled.r[i] - dry)});
    }
    EXPECT_LT(err, 1e-6);

    host.queueParam(bypass, 0.0, 300);
    const Stereo off = host.run(tone);
    EXPECT_LT(maxStep(off, 0, off.size()), 1.2 * naturalStep);
    const Stereo back = host.run(tone);
    EXPECT_NEAR(samplePeak(back), samplePeak(wet), 0.01);
    EXPECT_EQ(host.latency(), lat);
}

TEST_F(ProductBehaviour, ModeChangesWhilePlayingAreClickFree) {
    CHost host;
    NEEDS(host, "Mode", "InGain", "OutGain");
    // A 100 Hz sine 6 dB over the ceiling: every mode reduces it, and a
    // jump of the gain shows as a step far above the sine's own.
    const double freq = 100.0, ceilingDb = -1.0;
    const Stereo tone = sine(kRate, 0.25, freq, 0.95);
    host.setParam("InGain", "6.0");
    host.setParam("OutGain", "-1.0");
    host.run(tone);
    host.run(tone);
    const double bound = 2.0 * (2.0 * M_PI * freq / kRate) * 1.1 * dbToGain(ceilingDb);
    for (const char* mode : {"Clip", "TB-1", "AIGC-1", "TB INS", "AIGC-4", "TB-C", "TB UNI", "AIGC-3", "TB-4", "AIGC-2"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(host.setParam("Mode", mode, 200));
        const Stereo out = host.run(tone);
        EXPECT_LT(maxStep(out, 0, out.size()), bound);
        EXPECT_EQ(firstNonFinite(out, 0), out.size());
    }
}

TEST_F(ProductBehaviour, DcFilterRemovesAnOffset) {
    CHost host;
    NEEDS(host, "DCEnabl");
    // Program at -12 dB riding on a DC offset of 0.1: no limiting.
    Stereo in = programMix(kRate, 2.0, 5);
    for (size_t i = 0; i < in.size(); ++i) {
        in.l[i] = 0.25 * in.l[i] + 0.1;
        in.r[i] = 0.25 * in.r[i] + 0.1;
    }
    const size_t from = in.size() / 2;
    const Stereo plain = host.run(in);
    EXPECT_NEAR(mean(plain.l, from, plain.size()), 0.1, 0.01);
    host.queueParam(host.paramId("DCEnabl"), 1.0);
    host.run(in);
    const Stereo filtered = host.run(in);
    EXPECT_LT(std::fabs(mean(filtered.l, from, filtered.size())), 0.002);
    EXPECT_LT(std::fabs(mean(filtered.r, from, filtered.size())), 0.002);
    // The program itself passes.
    EXPECT_GT(rms(filtered, from, filtered.size()), 0.5 * rms(plain, from, plain.size()) - 0.1);
}

TEST_F(ProductBehaviour, DitherAddsNoiseScaledToItsWordLength) {
    CHost host;
    NEEDS(host, "DithEnb", "DithBit");
    const Stereo silence = Stereo(size_t(kRate));
    const size_t from = silence.size() / 2;
    const Stereo off = host.run(silence);
    EXPECT_LT(samplePeak(off, from), 1e-7);
    host.queueParam(host.paramId("DithEnb"), 1.0);
    auto noiseAt = [&](const char* bits) {
        EXPECT_TRUE(host.setParam("DithBit", bits)) << bits;
        host.run(silence);
        const Stereo out = host.run(silence);
        return rms(out, from, out.size());
    };
    const double n16 = noiseAt("16"), n8 = noiseAt("8"), n24 = noiseAt("24");
    // About one step of the word length: 2^-15 at 16 bits.
    EXPECT_GT(n16, 0.1 / 32768.0);
    EXPECT_LT(n16, 10.0 / 32768.0);
    // Eight bits fewer, 48 dB more noise (within 6 dB either way).
    EXPECT_GT(n8 / n16, 128.0);
    EXPECT_LT(n8 / n16, 512.0);
    EXPECT_GT(n16 / n24, 128.0);
    EXPECT_LT(n16 / n24, 512.0);
}

}  // namespace
}  // namespace product
