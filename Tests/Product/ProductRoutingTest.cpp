// Routing presets, channel group solo and the evaluation mode, run on the
// product's instance as the plug-in core builds it (these parameters are not
// host parameters).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ProductCore.h"
#include "ProductSignals.h"

namespace product {
namespace {

constexpr double kRate = 44100.0;
const std::string kIo = "plugin.modMain.io-params.";
const std::string kLim = "plugin.modMain.modTamblor.";

class ProductRouting : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enterModule()); }
    void TearDown() override { exitModule(); }
};

// Amplitude of the component at freq (Goertzel over [from, end)).
double toneLevel(const std::vector<double>& x, size_t from, double freq) {
    const double w = 2.0 * M_PI * freq / kRate;
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = from; i < x.size(); ++i) {
        const double s = x[i] + 2.0 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double re = s1 - s2 * std::cos(w), im = s2 * std::sin(w);
    return 2.0 * std::sqrt(re * re + im * im) / double(x.size() - from);
}

// Left carries 300 Hz, right 500 Hz, both at -12 dBFS (no limiting).
Stereo twoTones(double seconds) {
    Stereo s(size_t(seconds * kRate));
    for (size_t i = 0; i < s.size(); ++i) {
        s.l[i] = 0.25 * std::sin(2.0 * M_PI * 300.0 * double(i) / kRate);
        s.r[i] = 0.25 * std::sin(2.0 * M_PI * 500.0 * double(i) / kRate);
    }
    return s;
}

// What an output channel carries: 'L', 'R', '-' (silence) or '?'.
char source(const std::vector<double>& x, size_t from) {
    const double l = toneLevel(x, from, 300.0), r = toneLevel(x, from, 500.0);
    if (l > 0.2 && r < 0.01) return 'L';
    if (r > 0.2 && l < 0.01) return 'R';
    if (l < 1e-6 && r < 1e-6) return '-';
    return '?';
}

struct Preset {
    const char* name;
    const char* in;
    const char* out;
    const char* grouping;
    const char* expected;  // sources of the two host outputs
};

const Preset kPresets[] = {
    {"Default Stereo", "1,2,0,0,0,0,0,0", "1,2,0,0,0,0,0,0", "0,0,1,1,2,2,3,3", "LR"},
    {"2.1 Stereo", "1,2,3,0,0,0,0,0", "1,2,0,0,0,0,0,0", "0,0,1,1,1,1,1,1", "LR"},
    {"5.1 Surround (Multi)", "1,2,3,4,5,6,0,0", "1,2,3,4,5,6,0,0", "0,0,0,0,0,0,3,3", "LR"},
    {"5.1 Surround (Groups)", "1,2,3,4,5,6,0,0", "1,2,3,4,5,6,0,0", "0,0,1,2,3,3,3,3", "LR"},
    {"7.1 Surround (Multi)", "1,2,3,4,5,6,7,8", "1,2,3,4,5,6,7,8", "0,0,0,0,0,0,0,0", "LR"},
    {"7.1 Surround (Groups)", "1,2,3,4,5,6,7,8", "1,2,3,4,5,6,7,8", "0,0,1,2,3,3,4,4", "LR"},
    {"Dual Mono", "1,2,0,0,0,0,0,0", "1,2,0,0,0,0,0,0", "0,1,1,1,1,1,1,1", "LR"},
    {"Mid-Side Stereo", "1,2,0,0,0,0,0,0", "1,2,0,0,0,0,0,0", "0,1,1,1,1,1,1,1", "LR"},
    {"Mono To Stereo", "1,0,0,0,0,0,0,0", "1,1,0,0,0,0,0,0", "0,0,1,1,2,2,3,3", "LL"},
    {"Stereo Side-Chain", "1,2,3,4,0,0,0,0", "1,2,0,0,0,0,0,0", "0,0,1,1,2,2,3,3", "LR"},
    {"Mono Side-Chain", "1,2,0,0,0,0,0,0", "1,0,0,0,0,0,0,0", "0,0,1,1,2,2,3,3", "L-"},
    {"Force Mono", "1,0,0,0,0,0,0,0", "1,0,0,0,0,0,0,0", "0,0,1,1,2,2,3,3", "L-"},
};

void applyPreset(CCoreInstance& core, const Preset& p) {
    ASSERT_TRUE(core.setList(kIo + "in-routing", p.in));
    ASSERT_TRUE(core.setList(kIo + "out-routing", p.out));
    ASSERT_TRUE(core.setList(kIo + "grouping", p.grouping));
}

// Gains are stored as linear factors.
const double kPlus12dB = std::pow(10.0, 12.0 / 20.0);
const double kMinus1dB = std::pow(10.0, -1.0 / 20.0);

TEST_F(ProductRouting, PresetsRouteTheHostChannels) {
    const Stereo in = twoTones(1.0);
    for (const Preset& p : kPresets) {
        SCOPED_TRACE(p.name);
        CCoreInstance core(kRate);
        ASSERT_TRUE(core.ok()) << core.error();
        applyPreset(core, p);
        core.run(in);
        const Stereo out = core.run(in);
        const size_t from = out.size() / 2;
        const std::string got = {source(out.l, from), source(out.r, from)};
        EXPECT_EQ(got, p.expected);
        EXPECT_EQ(firstNonFinite(out, 0), out.size());
    }
}

TEST_F(ProductRouting, GroupedChannelsAreLimitedTogetherAndDualMonoApart) {
    // With 12 dB of input gain the left channel goes 11.5 dB over the
    // ceiling while the right stays 6 dB under it: linked in one group the
    // right channel follows the left's gain reduction; in its own group it
    // does not.
    Stereo in = twoTones(1.0);
    for (size_t i = 0; i < in.size(); ++i) {
        in.l[i] *= 4.0 * 0.95;
        in.r[i] *= 0.5;
    }
    const double quiet = 0.125 * 4.0;
    auto rightLevel = [&](const Preset& p) {
        CCoreInstance core(kRate);
        EXPECT_TRUE(core.ok()) << core.error();
        applyPreset(core, p);
        EXPECT_TRUE(core.set(kLim + "ingain", kPlus12dB, 0, 0));
        EXPECT_TRUE(core.set(kLim + "ingain", kPlus12dB, 0, 1));
        core.run(in);
        const Stereo out = core.run(in);
        return toneLevel(out.r, out.size() / 2, 500.0);
    };
    EXPECT_LT(rightLevel(kPresets[0]), 0.5 * quiet);          // Default Stereo: linked
    EXPECT_NEAR(rightLevel(kPresets[6]), quiet, 0.02 * quiet);  // Dual Mono: untouched
}

TEST_F(ProductRouting, GroupSoloMutesTheOtherGroups) {
    const Stereo in = twoTones(1.0);
    CCoreInstance core(kRate);
    ASSERT_TRUE(core.ok()) << core.error();
    applyPreset(core, kPresets[6]);  // Dual Mono: left in group 0, right in group 1
    struct Case {
        double solo0, solo1;
        const char* expected;
    };
    for (const Case& c : {Case{1, 0, "L-"}, Case{0, 1, "-R"}, Case{1, 1, "LR"}, Case{0, 0, "LR"}}) {
        SCOPED_TRACE(c.expected);
        ASSERT_TRUE(core.set(kIo + "channel-group-solo", c.solo0, 0, 0));
        ASSERT_TRUE(core.set(kIo + "channel-group-solo", c.solo1, 0, 1));
        core.run(in);
        const Stereo out = core.run(in);
        const size_t from = out.size() / 2;
        EXPECT_EQ(std::string({source(out.l, from), source(out.r, from)}), c.expected);
        // Muted channels carry nothing but the anti-denormal noise.
        auto peakOf = [from](const std::vector<double>& x) {
            double peak = 0.0;
            for (size_t i = from; i < x.size(); ++i) peak = std::max(peak, std::fabs(x[i]));
            return peak;
        };
        if (c.expected[0] == '-') {
            EXPECT_LT(peakOf(out.l), 1e-9);
        }
        if (c.expected[1] == '-') {
            EXPECT_LT(peakOf(out.r), 1e-9);
        }
    }
}

TEST_F(ProductRouting, EvalMatchesTheOutputLoudnessToTheInput) {
    const Stereo in = programMix(kRate, 4.0, 21);
    const size_t from = in.size() - size_t(kRate);
    auto outRms = [&](bool eval) {
        CCoreInstance core(kRate);
        EXPECT_TRUE(core.ok()) << core.error();
        EXPECT_TRUE(core.set(kLim + "ingain", kPlus12dB));
        EXPECT_TRUE(core.set(kLim + "outgain", kMinus1dB));
        EXPECT_TRUE(core.set(kLim + "eval-enable", eval ? 1.0 : 0.0));
        const Stereo out = core.run(in);
        const int lat = core.latency();
        return rms(out, from, out.size()) / rms(in, from - size_t(lat), in.size() - size_t(lat));
    };
    const double plain = outRms(false), eval = outRms(true);
    // Limited with 12 dB more drive the output is clearly louder...
    EXPECT_GT(20.0 * std::log10(plain), 3.0);
    // ...and the evaluation mode brings it back to the input's loudness.
    EXPECT_NEAR(20.0 * std::log10(eval), 0.0, 1.5);
}

}  // namespace
}  // namespace product
