// tamblor-render's own pieces: checking parameter texts, the gain-reduction
// and overs figures, the state stream it hands plug-ins, JSON values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Tools/Render/Measure.h"
#include "Tools/Render/ParamText.h"
#include "Tools/Render/Report.h"
#include "Tools/Render/Vst3Host.h"

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

TEST(RenderHostStream, ReadsWritesAndSeeksAsPluginsExpect) {
    render::CHostStream s;
    char abc[] = "abcdef";
    Steinberg::int32 n = -1;
    EXPECT_EQ(s.write(abc, 6, &n), Steinberg::kResultOk);
    EXPECT_EQ(n, 6);
    Steinberg::int64 pos = -1;
    EXPECT_EQ(s.seek(2, Steinberg::IBStream::kIBSeekSet, &pos), Steinberg::kResultOk);
    EXPECT_EQ(pos, 2);
    char got[8] = {};
    EXPECT_EQ(s.read(got, 8, &n), Steinberg::kResultOk);  // short read at the end
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::string(got, 4), "cdef");
    EXPECT_EQ(s.read(got, 1, &n), Steinberg::kResultOk);
    EXPECT_EQ(n, 0);
    // Writing past the end leaves zeros in the gap; negative positions are refused.
    EXPECT_EQ(s.seek(2, Steinberg::IBStream::kIBSeekEnd, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.write(abc, 1, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.data(), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 0, 0, 'a'}));
    EXPECT_NE(s.seek(-10, Steinberg::IBStream::kIBSeekCur, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.tell(&pos), Steinberg::kResultOk);
    EXPECT_EQ(pos, 9);
}

TEST(RenderReport, JsonValues) {
    EXPECT_EQ(render::jsonNumber(NAN), "null");
    EXPECT_EQ(render::jsonNumber(-INFINITY), "null");
    EXPECT_EQ(render::jsonNumber(-0.001), "0.00");
    EXPECT_EQ(render::jsonNumber(-1.234, 1), "-1.2");
    EXPECT_EQ(render::jsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\u000a\"");
}

}  // namespace
