#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "Audio/Filters/FIRDesign.h"

namespace {

// |H| of a kernel at a frequency given as a fraction of the sample rate.
double magnitude(const std::vector<double>& h, double fraction) {
    std::complex<double> s = 0;
    for (size_t n = 0; n < h.size(); ++n) s += h[n] * std::polar(1.0, -2.0 * std::numbers::pi * fraction * double(n));
    return std::abs(s);
}

struct LowPassCase {
    const char* name;
    double length, freq, beta;
    size_t taps;
    double stopFrom;  // fraction of the rate from which the stop band must hold
};

// The resampler filters of the product, all designed at 44100 Hz.
const LowPassCase kLowPass[] = {
    {"up steep", 0.008, 10650, 16, 367, 0.27},
    {"down steep", 0.023, 11000, 16, 1017, 0.26},
    {"soft", 0.00081, 10200, 16.3, 39, 0.46},
};

}  // namespace

TEST(FIRDesign, BesselI0MatchesReferenceValues) {
    struct {
        double x, i0;
    } const values[] = {{0, 1.0},           {1, 1.2660658777520082}, {-2, 2.2795853023360673},
                        {3.7, 8.738617524169396},   {3.75, 9.1189458608},    {5, 27.239871823604442},
                        {10, 2815.716628466}, {50, 2.9325537838493362e20}};
    // The polynomial forms are good to 1.6e-7 below 3.75 and 1.9e-7 of
    // sqrt(x) e^-x I0(x) (about 0.4) above.
    for (const auto& v : values) EXPECT_NEAR(firBesselI0(v.x) / v.i0, 1.0, 5e-7) << "x = " << v.x;
}

TEST(FIRDesign, ResamplerLowPassFilters) {
    for (const LowPassCase& c : kLowPass) {
        SCOPED_TRACE(c.name);
        const CFIRKernel k = designFIRLowPass(44100, c.length, c.freq, c.beta);
        ASSERT_EQ(k.taps.size(), c.taps);
        EXPECT_EQ(firLowPassLength(44100, c.length, c.freq), c.taps);
        const size_t half = c.taps / 2;
        EXPECT_EQ(k.latency, int(half));
        EXPECT_DOUBLE_EQ(k.taps[half], 2.0 * c.freq / 44100);
        for (size_t n = 1; n <= half; ++n) ASSERT_EQ(k.taps[half + n], k.taps[half - n]) << n;

        // Unit gain in the pass band, the cut-off half way down (a windowed
        // ideal low-pass), deep attenuation beyond the transition.
        const double cut = c.freq / 44100;
        EXPECT_NEAR(magnitude(k.taps, 0.0), 1.0, 1e-4);
        EXPECT_NEAR(magnitude(k.taps, 0.1 * cut), 1.0, 1e-4);
        EXPECT_NEAR(magnitude(k.taps, cut), 0.5, 0.02);
        for (double f = c.stopFrom; f <= 0.5; f += 0.005) EXPECT_LT(magnitude(k.taps, f), 1e-5) << f;
    }
}

TEST(FIRDesign, FixedDesignRateGivesTheSameTapsAtEveryHostRate) {
    const CFIRKernel at44 = designFIRLowPass(44100, 0.008, 10650, 16);
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0}) {
        EXPECT_EQ(designFIRLowPass(firDesignRate(1, rate), 0.008, 10650, 16).taps, at44.taps) << rate;
        EXPECT_EQ(firDesignRate(0, rate), rate);
    }
    // Designed at the module's own rate the half length grows with R^2.
    EXPECT_EQ(designFIRLowPass(firDesignRate(0, 88200), 0.008, 10650, 16).latency, 730);
    EXPECT_TRUE(designFIRLowPass(0, 0.008, 10650, 16).taps.empty());
    EXPECT_TRUE(designFIRLowPass(44100, 0.008, 0, 16).taps.empty());
}

TEST(FIRDesign, TransientKernelOfThreeTaps) {
    const CFIRKernel k = designFIRTransient(44100, 3.0 / 44100, 0.0, kFIRTransientClassic);
    const double s = std::sin(std::numbers::pi / 4), sum = 2 * s + 1;
    ASSERT_EQ(k.taps.size(), 3u);
    EXPECT_NEAR(k.taps[0], s / sum, 1e-15);
    EXPECT_NEAR(k.taps[1], 1.0 / sum, 1e-15);
    EXPECT_NEAR(k.taps[2], s / sum, 1e-15);
    EXPECT_EQ(k.latency, 2);
}

TEST(FIRDesign, TransientKernelShapes) {
    struct Case {
        int type;
        double power;
        double exponent;  // 1 + 4q, or 1 / (1 - 4q)
        bool symmetric;
    } const cases[] = {
        {kFIRTransientClassic, 0.25, 2.0, true}, {kFIRTransientClassic, -1.0, 0.2, true},
        {kFIRTransientSharp, 0.0, 1.0, false},   {kFIRTransientSharp, 1.0, 5.0, false},
        {kFIRTransientAsymm, -0.25, 0.5, true},  {kFIRTransientAsymm, 0.5, 3.0, true},
    };
    const double rate = 352800, length = 0.0015;  // 529 taps
    const size_t taps = 529;
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + " power " + std::to_string(c.power));
        const CFIRKernel k = designFIRTransient(rate, length, c.power, c.type);
        ASSERT_EQ(k.taps.size(), taps);
        EXPECT_EQ(k.latency, int(taps) - 1);
        double sum = 0;
        for (double h : k.taps) sum += h;
        EXPECT_NEAR(sum, 1.0, 1e-12);
        // The ratio of two taps shows the exponent: (b1 / b2)^p.
        const double l1 = double(taps + 1), k1 = 100, k2 = 200;
        auto base = [&](double kk) {
            switch (c.type) {
                case kFIRTransientClassic: return std::sin(kk * std::numbers::pi / l1);
                case kFIRTransientSharp: return 1 - std::sin(kk * std::numbers::pi / (2 * l1));
                default: return 0.5 - 0.5 * std::cos(2 * std::numbers::pi * kk / l1);
            }
        };
        EXPECT_NEAR(k.taps[99] / k.taps[199], std::pow(base(k1) / base(k2), c.exponent), 1e-9);
        if (c.symmetric) {
            for (size_t i = 0; i < taps / 2; ++i) ASSERT_NEAR(k.taps[i], k.taps[taps - 1 - i], 1e-15) << i;
        } else {
            for (size_t i = 1; i < taps; ++i) ASSERT_LT(k.taps[i], k.taps[i - 1]) << i;  // falls from the onset
        }
    }
    EXPECT_TRUE(designFIRTransient(44100, 0.4 / 44100, 0, 0).taps.empty());  // rounds to no tap
    EXPECT_EQ(designFIRTransient(44100, 0.6 / 44100, 0, 0).taps, std::vector<double>{1.0});
    EXPECT_TRUE(designFIRTransient(44100, 0.0015, 0, 3).taps.empty());
    EXPECT_FALSE(firTransientTypeValid(-1));
}
