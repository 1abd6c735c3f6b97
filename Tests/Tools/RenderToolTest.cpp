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

#include "../VST/VstTestSupport.h"

#if !defined(TAMBLOR_TEST_BUNDLE) || !defined(TAMBLOR_TEST_RENDER)
#error "TAMBLOR_TEST_BUNDLE and TAMBLOR_TEST_RENDER name the built bundle and program"
#endif

namespace {

namespace fs = std::filesystem;

struct RenderRun {
    int status = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

// The module's block allocator never gives its chunks back, which the leak
// checker reports once the module is closed; address errors still fail a run.
#ifdef TAMBLOR_SANITIZED
constexpr const char* kChildEnv = "ASAN_OPTIONS=detect_leaks=0 ";
#else
constexpr const char* kChildEnv = "";
#endif

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

RenderRun runRender(const std::string& dir, const std::string& args) {
    RenderRun run;
    const std::string errFile = dir + "/../" + fs::path(dir).filename().string() + ".stderr";
    const std::string cmd = "cd '" + dir + "' && " + kChildEnv + "'" TAMBLOR_TEST_RENDER "' --plugin '" TAMBLOR_TEST_BUNDLE
                            "' " + args + " 2>'" + errFile + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int st = pclose(pipe);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.err = slurp(errFile);
    fs::remove(errFile);
    return run;
}

// The "key": value pairs of the flat JSON report (values as written).
std::map<std::string, std::string> jsonFields(const std::string& text) {
    std::map<std::string, std::string> f;
    const std::regex pair("\"([a-z_0-9]+)\": (\"[^\"]*\"|[^,\\n]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair); it != std::sregex_iterator(); ++it)
        f[(*it)[1]] = (*it)[2];
    return f;
}

double number(const std::map<std::string, std::string>& f, const std::string& key) {
    const auto it = f.find(key);
    return it == f.end() || it->second == "null" ? NAN : std::stod(it->second);
}

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct Audio {
    SF_INFO info{};
    std::vector<double> samples;  // interleaved
    bool ok = false;
};

Audio readAudio(const std::string& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f) return a;
    a.samples.resize(size_t(a.info.frames * a.info.channels));
    sf_readf_double(f, a.samples.data(), a.info.frames);
    sf_close(f);
    a.ok = true;
    return a;
}

void writeAudio(const std::string& path, int rate, int channels, int format, const std::vector<double>& interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_double(f, interleaved.data(), sf_count_t(interleaved.size() / size_t(channels)));
    sf_close(f);
}

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
    };
    for (const Case& c : cases) {
        const RenderRun run = runRender(scratch.path(), c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_EQ(filesIn(scratch.path()), before) << c.args;
    }
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

}  // namespace
