// tamblor-render's own pieces: checking parameter texts, the gain-reduction
// and overs figures, JSON values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "Tools/Render/Measure.h"
#include "Tools/Render/Options.h"
#include "Tools/Render/ParamText.h"
#include "Tools/Render/PendingFiles.h"
#include "Tools/Render/Report.h"
#include "Tools/Render/TruePeak.h"

namespace {

using render::CAudioBuffer;

TEST(RenderParamText, AgreesOnlyWithWhatWasAskedFor) {
    struct Case {
        const char* given;
        const char* shown;
        bool agrees;
    };
    const Case cases[] = {
        {"-1", "-1.0 dB", true},       {"-1.0 dB", "-1.0 dB", true}, {"-1.04", "-1.0 dB", true},
        {"-1.06", "-1.0 dB", false},   {"+3", "3.0 dB", true},       {"12.34", "12.3 ms", true},
        {"50", "3.0 dB", false},  // clamped to the range
        {"8", "8X", true},             {"8x", "8X", true},           {"3X", "1X", false},
        {"hard clip", "Hard Clip", true}, {"loud", "0.0 dB", false}, {"", "", false},
        {"0", "-0.0 dB", true},        {"-24", "-24 dB", true},      {"-24.6", "-24 dB", false},
        // A number is read whole: what follows it must be the unit shown.
        {"0x10", "0.0 dB", false},     {"0b1", "0.0 dB", false},     {"1e-1", "0.1 dB", false},
        {"1e0", "1.0 dB", false},      {"-1.0dB", "-1.0 dB", true},  {"3 ms", "3.0 dB", false},
        {"8 X", "8X", true},
    };
    for (const Case& c : cases) EXPECT_EQ(render::displayTextAgrees(c.given, c.shown), c.agrees) << c.given << " / " << c.shown;

    double v = 0;
    int places = 0;
    ASSERT_TRUE(render::leadingNumber("  -12.50 dB", &v, &places));
    EXPECT_DOUBLE_EQ(v, -12.5);
    EXPECT_EQ(places, 2);
    EXPECT_FALSE(render::leadingNumber("dB -3", &v));
    EXPECT_FALSE(render::leadingNumber("-.", &v));
}

CAudioBuffer sine(double amplitude, size_t frames, double rate = 48000.0) {
    CAudioBuffer b;
    b.sampleRate = rate;
    b.channels.assign(2, std::vector<double>(frames));
    for (size_t i = 0; i < frames; ++i)
        b.channels[0][i] = b.channels[1][i] = amplitude * std::sin(2 * M_PI * 220.0 * double(i) / rate);
    return b;
}

TEST(RenderMeasure, GainReductionFromInputAndOutput) {
    const CAudioBuffer in = sine(0.5, 48000);
    // Output = input x 2 (+6 dB of static gain) with a 9 dB dip for 100 ms in one channel.
    CAudioBuffer out = in;
    for (auto& ch : out.channels)
        for (double& s : ch) s *= 2.0;
    for (size_t i = 20000; i < 24800; ++i) out.channels[1][i] *= std::pow(10.0, -9.0 / 20.0);
    EXPECT_NEAR(render::maxGainReduction(in, out, 6.0), 9.0, 0.05);
    // Without the dip nothing was reduced; a static gain above the real one reads as no reduction.
    CAudioBuffer plain = in;
    for (auto& ch : plain.channels)
        for (double& s : ch) s *= 2.0;
    EXPECT_NEAR(render::maxGainReduction(in, plain, 6.0), 0.0, 1e-9);
    EXPECT_NEAR(render::maxGainReduction(in, plain, 0.0), 0.0, 1e-9);
    // Quiet passages and a muted output say nothing about the limiter.
    CAudioBuffer quiet = sine(0.005, 48000), silent = quiet;
    for (auto& ch : silent.channels) std::fill(ch.begin(), ch.end(), 0.0);
    EXPECT_NEAR(render::maxGainReduction(quiet, sine(0.0001, 48000), 0.0), 0.0, 1e-9);
    EXPECT_NEAR(render::maxGainReduction(in, silent, 0.0), 0.0, 1e-9);
}

TEST(RenderMeasure, OversAboveTheCeiling) {
    CAudioBuffer out;
    out.sampleRate = 48000;
    const double c = std::pow(10.0, -1.0 / 20.0);  // -1 dB
    out.channels = {{0.1, c * 1.01, c * 1.02, 0.2, -c * 1.05, c},  // two runs, three samples
                    {c * 1.001, 0.0, 0.0, 0.0, 0.0, 0.0}};         // one run
    const render::COvers o = render::countOvers(out, -1.0);
    EXPECT_EQ(o.samples, 4u);
    EXPECT_EQ(o.runs, 3u);
    EXPECT_NEAR(o.maxOvershootDb, 20 * std::log10(1.05), 1e-9);
    EXPECT_EQ(render::countOvers(out, 0.0).samples, 0u);
    EXPECT_LT(render::countOvers(out, 0.0).maxOvershootDb, 0.0);
}

// The 16x interpolator against the ideal one: a sinc summed over the whole
// signal, at the same sixteen points per sample, on signals whose peaks fall
// between the samples.
TEST(RenderTruePeak, MatchesBruteForceSincInterpolation) {
    constexpr size_t kN = 1200;
    auto bruteForcePeak = [](const std::vector<double>& x, size_t from, size_t to) {
        double peak = 0.0;
        for (size_t n = from; n < to; ++n)
            for (int p = 0; p < 16; ++p) {
                const double t = double(n) + p / 16.0;
                double y = 0.0;
                for (size_t m = 0; m < x.size(); ++m) {
                    const double u = t - double(m);
                    y += x[m] * (u == 0.0 ? 1.0 : std::sin(M_PI * u) / (M_PI * u));
                }
                peak = std::max(peak, std::fabs(y));
            }
        return peak;
    };
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    struct Case {
        const char* name;
        std::vector<double> x;
    };
    std::vector<Case> cases;
    // Faded in and out over 300 samples: a signal cut off hard rings in the
    // ideal interpolation far beyond the reach of any finite filter.
    auto faded = [](std::vector<double> x) {
        for (size_t i = 0; i < 300; ++i) {
            const double g = 0.5 - 0.5 * std::cos(M_PI * double(i) / 300.0);
            x[i] *= g;
            x[kN - 1 - i] *= g;
        }
        return x;
    };
    auto tones = [&](std::initializer_list<std::pair<double, double>> parts) {  // (cycles per sample, phase)
        std::vector<double> x(kN);
        for (size_t i = 0; i < kN; ++i)
            for (const auto& [f, ph] : parts) x[i] += 0.3 * std::sin(2 * M_PI * f * double(i) + ph);
        return faded(x);
    };
    cases.push_back({"quarter rate at 45 degrees", tones({{0.25, M_PI / 4}})});
    cases.push_back({"0.41 of the rate", tones({{0.41, 0.3}})});
    cases.push_back({"two tones", tones({{0.23, 0.1}, {0.27, 1.9}})});
    std::vector<double> dense(kN);  // twenty random tones below 0.42 of the rate
    for (int k = 0; k < 20; ++k) {
        const double f = 0.42 * uni(rng), ph = 2 * M_PI * uni(rng);
        for (size_t i = 0; i < kN; ++i) dense[i] += 0.05 * std::sin(2 * M_PI * f * double(i) + ph);
    }
    cases.push_back({"dense", faded(dense)});
    for (const Case& c : cases) {
        // Away from the ends, where a finite signal rings in both.
        constexpr size_t kFrom = 400, kTo = 800;
        const std::vector<double> mid(c.x.begin() + kFrom, c.x.begin() + kTo);
        std::vector<double> frames;
        render::CTruePeak16::framePeaks(c.x, &frames);
        const double fir = *std::max_element(frames.begin() + kFrom, frames.begin() + kTo);
        const double ideal = bruteForcePeak(c.x, kFrom, kTo);
        EXPECT_NEAR(20 * std::log10(fir / ideal), 0.0, 0.01) << c.name;
        double samplePeak = 0.0;
        for (double v : mid) samplePeak = std::max(samplePeak, std::fabs(v));
        EXPECT_GE(fir, samplePeak) << c.name;
    }
    // A quarter-rate sine sampled at 45 degrees: samples at -3 dB, the true peak at its amplitude.
    const std::vector<double> q = tones({{0.25, M_PI / 4}});
    std::vector<double> frames;
    render::CTruePeak16::framePeaks(q, &frames);
    EXPECT_NEAR(20 * std::log10(*std::max_element(frames.begin() + 400, frames.begin() + 800) / 0.3), 0.0, 0.001);
    EXPECT_NEAR(20 * std::log10(std::fabs(q[600]) / 0.3), -3.01, 0.01);
}

TEST(RenderTruePeak, ReportedBesideTheBs1770FigureAndUsedForOvers) {
    // Bursts near a quarter of the rate at 45 degrees: the samples stay 3 dB
    // under the peaks between them.
    CAudioBuffer b;
    b.sampleRate = 48000;
    b.channels.assign(2, std::vector<double>(48000, 0.0));
    for (size_t i = 0; i < 48000; ++i)
        if (i % 4800 < 480) {
            const double fade = std::sin(M_PI * double(i % 4800) / 480.0);  // no ringing at the edges
            for (auto& ch : b.channels) ch[i] = 0.5 * fade * std::sin(2 * M_PI * 0.25 * double(i) + M_PI / 4);
        }
    const render::CSignalFigures f = render::measureSignal(b);
    EXPECT_NEAR(f.truePeak16x, 20 * std::log10(0.5), 0.02);
    EXPECT_GE(f.truePeak16x, f.truePeak - 0.01);
    EXPECT_LT(f.samplePeak, f.truePeak16x - 2.9);
    const render::COvers o = render::countOvers(b, 20 * std::log10(0.45));
    EXPECT_EQ(o.samples, 0u);
    EXPECT_EQ(o.truePeakRuns, o.truePeakOverAt.size());
    EXPECT_GE(o.truePeakRuns, 10u);  // at least one per burst
    EXPECT_NEAR(o.truePeakOverDb, 20 * std::log10(0.5 / 0.45), 0.02);
    EXPECT_GE(o.truePeakOverAt.front(), 0u);
    EXPECT_LT(o.truePeakOverAt.front() % 4800, 480u);
}

TEST(RenderFiles, ChunksAreReadWithinABound) {
    namespace fs = std::filesystem;
    const std::string dir = ::testing::TempDir() + "render-files-" + std::to_string(::getpid());
    fs::create_directories(dir);
    std::ofstream(dir + "/small", std::ios::binary) << "abcdef";
    std::vector<uint8_t> got;
    EXPECT_EQ(render::readBoundedFile(dir + "/small", 6, &got), "");
    EXPECT_EQ(got.size(), 6u);
    EXPECT_NE(render::readBoundedFile(dir + "/small", 5, &got).find("larger than"), std::string::npos);
    EXPECT_NE(render::readBoundedFile(dir, 100, &got).find("folder"), std::string::npos);
    EXPECT_NE(render::readBoundedFile("/dev/zero", 1 << 20, &got).find("larger than"), std::string::npos);
    EXPECT_NE(render::readBoundedFile(dir + "/none", 100, &got), "");
    fs::remove_all(dir);

    double v = 0;
    for (const char* bad : {"0x10", "inf", "nan", "1e", "", "-", "1.5s", " 1"}) EXPECT_FALSE(render::parseDecimal(bad, &v)) << bad;
    for (const char* good : {"0", "-1", "+2.5", ".5", "1e-3", "600"}) EXPECT_TRUE(render::parseDecimal(good, &v)) << good;
}

TEST(RenderReport, JsonValues) {
    EXPECT_EQ(render::jsonNumber(NAN), "null");
    EXPECT_EQ(render::jsonNumber(-INFINITY), "null");
    EXPECT_EQ(render::jsonNumber(-0.001), "0.00");
    EXPECT_EQ(render::jsonNumber(-1.234, 1), "-1.2");
    EXPECT_EQ(render::jsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
}

}  // namespace
