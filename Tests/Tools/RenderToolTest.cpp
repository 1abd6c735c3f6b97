// tamblor-render end to end: the built program mastering through the built
// bundle, as a user runs it (Linux).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "RenderTestSupport.h"

namespace {

using namespace rendertest;
namespace fs = std::filesystem;

TEST(RenderTool, MastersTheDemoWithoutAnInput) {
    vsttest::CScratchDir scratch;
    const RenderRun run = runRender(scratch.path(), "--demo-seconds 3 --block 480 --json --save-state s.aprs");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto f = jsonFields(run.out);
    for (const char* key : {"latency_samples", "rtf", "cpu_seconds", "input_integrated_lufs",
                            "input_loudness_range_lu", "input_sample_peak_dbfs", "input_true_peak_dbtp",
                            "output_integrated_lufs", "output_loudness_range_lu", "output_sample_peak_dbfs",
                            "output_true_peak_dbtp", "max_gain_reduction_db", "overs", "out_gain_db"})
        EXPECT_TRUE(std::isfinite(number(f, key))) << key << "\n" << run.out;
    // The demo programme: loud, sample peak at -0.5 dBFS, true peak at or above it.
    EXPECT_NEAR(number(f, "input_sample_peak_dbfs"), -0.5, 0.01);
    EXPECT_GE(number(f, "input_true_peak_dbtp"), number(f, "input_sample_peak_dbfs") - 0.01);
    EXPECT_GT(number(f, "input_integrated_lufs"), -30.0);
    EXPECT_GE(number(f, "latency_samples"), 0.0);
    EXPECT_GT(number(f, "rtf"), 1.0);
    EXPECT_GE(number(f, "max_gain_reduction_db"), 0.0);
    // The limiter holds the output under its clipper (1.1 times the Out Gain).
    EXPECT_LE(number(f, "sample_peak_over_out_gain_db"), 20 * std::log10(1.1) + 0.01);
    EXPECT_GT(number(f, "output_integrated_lufs"), number(f, "input_integrated_lufs") - 12.0);

    // The default output: the input's layout and length (latency compensated).
    const Audio out = readAudio(scratch.path() + "/tamblor-demo.wav");
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, 48000);
    EXPECT_EQ(out.info.frames, 3 * 48000);
    EXPECT_EQ(out.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
    EXPECT_EQ(slurp(scratch.path() + "/s.aprs").substr(0, 4), "aprs");

    // The saved state loads again; 64-bit processing gives the same figures
    // of the input, and the table report carries the same figures.
    const RenderRun again = runRender(scratch.path(), "--demo-seconds 3 --double --block 333 --state s.aprs -o b.wav");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("Output"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("max gain reduction"), std::string::npos) << again.out;
}

// The main job as README.md shows it: scripts/run.sh installs the bundle and
// masters the demo with settings that put the limiter to work, and the
// report shows it: louder, with gain reduction, the true peak held.
TEST(RenderTool, MainJobShowsTheLimiterAtWork) {
    vsttest::CScratchDir scratch;
    const fs::path render(TAMBLOR_TEST_RENDER);
    const std::string build = render.parent_path().parent_path().parent_path().string();
    const std::string script = fs::path(TAMBLOR_BANKS_DIR).parent_path().parent_path().string() + "/scripts/run.sh";
    const std::string cmd = "HOME='" + scratch.path() + "' TAMBLOR_BUILD_DIR='" + build + "' " + kChildEnv + "'" +
                            script + "' --demo-seconds 4 --json -o '" + scratch.path() + "/demo.wav' 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    ASSERT_EQ(pclose(pipe), 0) << out;
    EXPECT_TRUE(fs::exists(scratch.path() + "/.vst3/Tamblor.vst3")) << out;
    const auto f = jsonFields(out.substr(out.find('{')));
    EXPECT_GT(number(f, "output_integrated_lufs") - number(f, "input_integrated_lufs"), 3.0) << out;
    EXPECT_GT(number(f, "max_gain_reduction_db"), 3.0) << out;
    EXPECT_DOUBLE_EQ(number(f, "out_gain_db"), -1.0);
    EXPECT_LE(number(f, "true_peak_over_out_gain_db"), 0.1) << out;
    EXPECT_TRUE(fs::exists(scratch.path() + "/demo.wav"));
}

// An impulse comes out at the sample it went in, whatever the block size and
// sample size, at the common sample rates.
TEST(RenderTool, OutputIsAlignedWithTheInput) {
    vsttest::CScratchDir scratch;
    struct Case {
        int rate;
        const char* args;
    };
    const Case cases[] = {{44100, "--block 512"}, {48000, "--block 100 --double"}, {96000, "--block 4096"}};
    for (const Case& c : cases) {
        constexpr size_t kAt = 12345, kFrames = 40000;
        std::vector<double> x(kFrames * 2, 0.0);
        x[kAt * 2] = x[kAt * 2 + 1] = 0.5;
        writeAudio(scratch.path() + "/impulse.wav", c.rate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, x);
        const RenderRun run = runRender(scratch.path(), std::string("impulse.wav -o out.wav --json ") + c.args);
        ASSERT_EQ(run.status, 0) << run.err;
        const Audio out = readAudio(scratch.path() + "/out.wav");
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.info.frames, sf_count_t(kFrames));
        EXPECT_EQ(out.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);  // the input's format
        for (int ch = 0; ch < 2; ++ch) {
            size_t peakAt = 0;
            for (size_t i = 0; i < kFrames; ++i)
                if (std::fabs(out.samples[i * 2 + size_t(ch)]) > std::fabs(out.samples[peakAt * 2 + size_t(ch)]))
                    peakAt = i;
            EXPECT_EQ(peakAt, kAt) << c.rate << " Hz " << c.args << ", channel " << ch;
            EXPECT_GT(std::fabs(out.samples[peakAt * 2 + size_t(ch)]), 0.1);
        }
    }
}

// Failures are one line on stderr, a non-zero exit, and no file written.
TEST(RenderTool, FailuresWriteNothing) {
    vsttest::CScratchDir scratch;
    std::ofstream(scratch.path() + "/text.wav") << "this is not audio";
    std::ofstream(scratch.path() + "/foreign.aprs", std::ios::binary) << "abnk0000000000000000";
    fs::create_directory(scratch.path() + "/folder");
    writeAudio(scratch.path() + "/in.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, std::vector<double>(2000, 0.1));
    const std::set<std::string> before = filesIn(scratch.path());
    struct Case {
        const char* args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"missing.wav -o out.wav --save-state s.aprs", 1, "missing.wav"},
        {"text.wav -o out.wav", 1, "text.wav"},
        {"--demo-seconds 1 -o out.mp3", 2, "out.mp3"},
        {"--demo-seconds 1 -o out.flac --bits float", 2, "FLAC"},
        {"--demo-seconds 1 --preset 'No Such Preset' --save-state s.aprs", 2, "No Such Preset"},
        {"--demo-seconds 1 --set NoSuchParam=1 --save-state s.aprs", 2, "NoSuchParam"},
        {"--demo-seconds 1 --set OutGain --save-state s.aprs", 2, "NAME=VALUE"},
        {"--demo-seconds 1 --state foreign.aprs --save-state s.aprs", 1, "foreign.aprs"},
        {"--demo-seconds 1 --state nothing.aprs", 1, "nothing.aprs"},
        {"--demo-seconds 1 --bits 12", 2, "--bits"},
        {"--demo-seconds 1 --frobnicate", 2, "--frobnicate"},
        {"--demo-seconds 1 --plugin /nonexistent/Nothing.vst3", 1, "Nothing"},
        // Every file read is bounded; folders and endless devices are refused, not read.
        {"--demo-seconds 1 --state folder --save-state s.aprs", 1, "folder"},
        {"--demo-seconds 1 --state /dev/zero --save-state s.aprs", 1, "16 MB"},
        {"folder -o out.wav", 1, "folder"},
        // A value is read whole, as the plug-in displays it.
        {"--demo-seconds 1 --set OutGain=0x10 -o out.wav", 2, "bad value"},
        {"--demo-seconds 1 --set OutGain=0b1 -o out.wav", 2, "bad value"},
        {"--demo-seconds 1 --set OutGain=1e-1 -o out.wav", 2, "bad value"},
        {"--demo-seconds 1 --set OutGain=1e0 -o out.wav", 2, "bad value"},
        {"--demo-seconds 1 --set-norm OutGain=0x1 -o out.wav", 2, "0x1"},
        // One file is not two: no output over the saved state or the input.
        {"--demo-seconds 1 -o x.wav --save-state x.wav", 2, "same file"},
        {"--demo-seconds 1 -o ./x.wav --save-state x.wav", 2, "same file"},
        {"in.wav -o in.wav", 2, "--overwrite-input"},
        {"in.wav -o out.wav --save-state in.wav", 2, "in.wav"},
        {"--demo-seconds 0", 2, "more than 0"},
    };
    for (const Case& c : cases) {
        const RenderRun run = runRender(scratch.path(), c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_EQ(filesIn(scratch.path()), before) << c.args;
    }
}

// --list prints the parameters and programs and renders nothing; an input
// file cut short is rendered as far as it goes, with a word on how far.
TEST(RenderTool, ListsWithoutRenderingAndTellsOfShortFiles) {
    vsttest::CScratchDir scratch;
    const std::set<std::string> before = filesIn(scratch.path());
    const RenderRun list = runRender(scratch.path(), "--list");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("programs:"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("OutGain"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("Integrated"), std::string::npos) << list.out;
    EXPECT_EQ(filesIn(scratch.path()), before);

    writeAudio(scratch.path() + "/long.wav", 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, std::vector<double>(20000, 0.1));
    fs::resize_file(scratch.path() + "/long.wav", 44 + 4 * 6000);  // 6000 of 10000 frames left
    const RenderRun cut = runRender(scratch.path(), "long.wav -o out.wav --json");
    ASSERT_EQ(cut.status, 0) << cut.err;
    EXPECT_NE(cut.err.find("6000 of the 10000 frames"), std::string::npos) << cut.err;
    EXPECT_EQ(number(jsonFields(cut.out), "frames"), 6000);
    EXPECT_EQ(number(jsonFields(cut.out), "frames_declared"), 10000);
    EXPECT_EQ(readAudio(scratch.path() + "/out.wav").info.frames, 6000);
    const RenderRun whole = runRender(scratch.path(), "out.wav -o out.wav --overwrite-input --json");
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.err, "");
    EXPECT_EQ(number(jsonFields(whole.out), "frames_declared"), 6000);
}

// Host parameters by name from display text, programs by name; values that
// do not read back as asked for are refused rather than clamped or ignored.
TEST(RenderTool, SetsParametersAndPresetsByName) {
    vsttest::CScratchDir scratch;
    EXPECT_EQ(runRender(scratch.path(), "--demo-seconds 1 --preset Default -o d.wav").status, 0);

    const RenderRun set = runRender(scratch.path(), "--demo-seconds 2 --set InGain=6 --set OutGain=-3.0 "
                                                    "--set Oversmp=8X --json -o s.wav");
    if (set.status == 2 && set.err.find("no parameter") != std::string::npos)
        GTEST_SKIP() << "the plug-in exposes no host parameters yet: " << set.err;
    ASSERT_EQ(set.status, 0) << set.err;
    const auto f = jsonFields(set.out);
    EXPECT_DOUBLE_EQ(number(f, "in_gain_db"), 6.0);
    EXPECT_DOUBLE_EQ(number(f, "out_gain_db"), -3.0);
    // Driven 6 dB into a -3 dB ceiling: real limiting, peaks held near the ceiling.
    EXPECT_GT(number(f, "max_gain_reduction_db"), 3.0);
    EXPECT_LE(number(f, "output_sample_peak_dbfs"), -3.0 + 20 * std::log10(1.1) + 0.01);
    EXPECT_GT(number(f, "output_sample_peak_dbfs"), -4.0);

    for (const char* bad : {"OutGain=loud", "OutGain=50", "Oversmp=3X", "InGain="}) {
        const RenderRun run = runRender(scratch.path(), std::string("--demo-seconds 1 --set ") + bad + " -o bad.wav");
        EXPECT_EQ(run.status, 2) << bad << "\n" << run.err;
        EXPECT_NE(run.err.find("bad value"), std::string::npos) << bad << "\n" << run.err;
        EXPECT_FALSE(fs::exists(scratch.path() + "/bad.wav")) << bad;
    }

    // "+3dB" and "+6dB" variants of a preset differ by 3 dB of input gain.
    const RenderRun p3 = runRender(scratch.path(), "--demo-seconds 1 --json --preset 'Clipped Top +3dB' -o p.wav");
    const RenderRun p6 = runRender(scratch.path(), "--demo-seconds 1 --json --preset 'Clipped Top +6dB' -o p.wav");
    if (p3.status == 2) GTEST_SKIP() << "the plug-in has no factory presets yet: " << p3.err;
    ASSERT_EQ(p3.status, 0) << p3.err;
    ASSERT_EQ(p6.status, 0) << p6.err;
    EXPECT_NEAR(number(jsonFields(p6.out), "in_gain_db") - number(jsonFields(p3.out), "in_gain_db"), 3.0, 0.05);
}

// Output formats: FLAC and AIFF, 16- and 24-bit and float; a 16-bit input
// comes out 16-bit unless told otherwise.
TEST(RenderTool, WritesTheFormatsAsked) {
    vsttest::CScratchDir scratch;
    std::vector<double> x(2 * 20000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.3 * std::sin(0.01 * double(i / 2));
    writeAudio(scratch.path() + "/in16.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, x);
    struct Case {
        const char* args;
        const char* file;
        int format;
    };
    const Case cases[] = {
        {"in16.wav -o a.wav", "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"in16.wav -o a.flac --bits 24", "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"in16.wav -o a.aiff --bits float", "a.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"a.aiff -o b.flac", "b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},  // float input, integer container
    };
    for (const Case& c : cases) {
        const RenderRun run = runRender(scratch.path(), c.args);
        ASSERT_EQ(run.status, 0) << c.args << "\n" << run.err;
        const Audio out = readAudio(scratch.path() + "/" + c.file);
        ASSERT_TRUE(out.ok) << c.file;
        EXPECT_EQ(out.info.format, c.format) << c.args;
        EXPECT_EQ(out.info.frames, 20000) << c.args;
        EXPECT_EQ(out.info.samplerate, 44100) << c.args;
    }
}

// A 6-channel file keeps every channel by default (the plug-in routes the
// bus's width); --routing chooses another routing preset by name, the report
// names the one in force, and an unknown name is refused with nothing written.
TEST(RenderTool, RoutesEveryChannelAndTakesARoutingByName) {
    vsttest::CScratchDir scratch;
    constexpr size_t kFrames = 22050;
    std::vector<double> x(kFrames * 6);
    for (size_t i = 0; i < kFrames; ++i)
        for (size_t c = 0; c < 6; ++c) x[i * 6 + c] = 0.2 * std::sin(0.01 * double(c + 1) * double(i));
    writeAudio(scratch.path() + "/six.wav", 44100, 6, SF_FORMAT_WAV | SF_FORMAT_FLOAT, x);
    auto channelPeaks = [&](const std::string& file) {
        const Audio out = readAudio(scratch.path() + "/" + file);
        std::vector<double> peaks(6, 0.0);
        for (size_t i = 0; out.ok && i < kFrames; ++i)
            for (size_t c = 0; c < 6; ++c) peaks[c] = std::max(peaks[c], std::fabs(out.samples[i * 6 + c]));
        return peaks;
    };
    const RenderRun all = runRender(scratch.path(), "six.wav -o all.wav --json");
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(jsonFields(all.out).at("routing"), "\"5.1 Surround (Multi)\"");
    for (double p : channelPeaks("all.wav")) EXPECT_GT(p, 0.15);

    const RenderRun stereo = runRender(scratch.path(), "six.wav -o stereo.wav --routing 'Default Stereo'");
    ASSERT_EQ(stereo.status, 0) << stereo.err;
    EXPECT_NE(stereo.out.find("routing: Default Stereo"), std::string::npos) << stereo.out;
    const std::vector<double> peaks = channelPeaks("stereo.wav");
    for (size_t c = 0; c < 6; ++c) EXPECT_EQ(peaks[c] > 0.15, c < 2) << "channel " << c + 1;

    const RenderRun bad = runRender(scratch.path(), "six.wav -o bad.wav --routing 'Quadraphonic'");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown routing preset 'Quadraphonic'"), std::string::npos) << bad.err;
    EXPECT_FALSE(fs::exists(scratch.path() + "/bad.wav"));
}

}  // namespace
