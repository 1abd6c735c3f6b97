// The built bundle as hosts see it: loaded through the system's loader and
// its entry points (twice in one process), and mastered end to end by
// tamblor-render (Linux; scripts/windows-test.sh runs the Windows build).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sndfile.h>
#endif

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Tools/Render/Vst3Host.h"
#include "VstTestSupport.h"

#ifndef TAMBLOR_TEST_BUNDLE
#error "TAMBLOR_TEST_BUNDLE names the built bundle"
#endif

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

// Creates an instance and runs blocks of 1 kHz tone: 24 blocks of 256 frames
// outlast any latency the chain reports at 48 kHz.
void exerciseOnce(render::CVst3Module& module) {
    constexpr int blocks = 24;
    render::CVst3Plugin plugin;
    ASSERT_EQ(plugin.create(module.factory()), "");
    EXPECT_EQ(plugin.className(), "Tamblor");
    render::CProcessConfig config;
    config.maxBlock = 256;
    ASSERT_EQ(plugin.prepare(config), "");
    ASSERT_EQ(plugin.inputChannels(), 2);
    ASSERT_EQ(plugin.outputChannels(), 2);
    std::vector<double> l(256), r(256), ol(256), orr(256);
    const double* in[2] = {l.data(), r.data()};
    double* out[2] = {ol.data(), orr.data()};
    double peak = 0.0;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < 256; ++i) l[size_t(i)] = r[size_t(i)] = 0.1 * std::sin(2 * M_PI * 1000.0 * (b * 256 + i) / 48000.0);
        plugin.process(in, out, 256);
        for (double v : ol) {
            ASSERT_TRUE(std::isfinite(v));
            peak = std::max(peak, std::fabs(v));
        }
    }
    EXPECT_GT(peak, 0.01);
    std::vector<uint8_t> chunk;
    EXPECT_EQ(plugin.saveState(&chunk), "");
    EXPECT_EQ(plugin.loadState(chunk), "");
    plugin.close();
}

TEST(VstBundle, LoadsTwiceInOneProcess) {
    vsttest::CScratchDir scratch;
    vsttest::CWorkingDir cwd(scratch.path());
    // One after the other: the second load starts from a finished module.
    for (int round = 0; round < 2; ++round) {
        render::CVst3Module module;
        ASSERT_EQ(module.load(TAMBLOR_TEST_BUNDLE), "") << "round " << round;
        exerciseOnce(module);
        module.unload();
    }
    // Both at once: the entries are counted, the first exit keeps the other alive.
    render::CVst3Module a, b;
    ASSERT_EQ(a.load(TAMBLOR_TEST_BUNDLE), "");
    ASSERT_EQ(b.load(TAMBLOR_TEST_BUNDLE), "");
    exerciseOnce(a);
    a.unload();
    exerciseOnce(b);
    b.unload();
}

TEST(VstBundle, MissingBundleIsReported) {
    render::CVst3Module module;
    const std::string err = module.load("/nonexistent/Nothing.vst3");
#ifdef _WIN32
    const char* expected = "/nonexistent/Nothing.vst3/Contents/x86_64-win/Nothing.vst3";
#else
    const char* expected = "/nonexistent/Nothing.vst3/Contents/x86_64-linux/Nothing.so";
#endif
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(module.factory(), nullptr);
}

#ifndef _WIN32
struct RenderRun {
    int status = -1;
    std::string out;
};

// The module's block allocator never gives its chunks back, which the leak
// checker reports once the module is closed; address errors still fail a run.
#ifdef TAMBLOR_SANITIZED
constexpr const char* kChildEnv = "ASAN_OPTIONS=detect_leaks=0 ";
#else
constexpr const char* kChildEnv = "";
#endif

RenderRun runRender(const std::string& dir, const std::string& args) {
    RenderRun run;
    const std::string cmd = "cd '" + dir + "' && " + kChildEnv + "'" TAMBLOR_TEST_RENDER "' --plugin '" TAMBLOR_TEST_BUNDLE
                            "' " + args + " 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int st = pclose(pipe);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return run;
}

// The three figures of a table row ("Input", "Output"); false when the row is missing.
bool rowFigures(const std::string& text, const std::string& row, double fig[3]) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string first, a, b, c;
        if (!(words >> first >> a >> b >> c) || first != row) continue;
        std::string extra;
        if (words >> extra) return false;
        const std::string s[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) fig[i] = s[i] == "-inf" ? -INFINITY : std::stod(s[i]);
        return true;
    }
    return false;
}

TEST(VstBundle, RenderMastersTheDemoEndToEnd) {
    vsttest::CScratchDir scratch;
    const RenderRun run = runRender(scratch.path(), "--demo --demo-seconds 3 --block 480 -o out.wav --save-state s.aprs");
    ASSERT_EQ(run.status, 0) << run.out;

    double in[3], out[3];
    ASSERT_TRUE(rowFigures(run.out, "Input", in)) << run.out;
    ASSERT_TRUE(rowFigures(run.out, "Output", out)) << run.out;
    // The demo programme: loud, peaking at -0.5 dBFS, true peak at or above it.
    EXPECT_GT(in[0], -30.0);
    EXPECT_LT(in[0], 0.0);
    EXPECT_NEAR(in[1], -0.5, 0.01);
    EXPECT_GE(in[2], in[1] - 0.01);
    EXPECT_LT(in[2], 3.0);
    // The output is real audio in a sensible range (a limiter may raise
    // loudness but keeps the true peak near or under full scale).
    for (double v : out) EXPECT_TRUE(std::isfinite(v)) << run.out;
    EXPECT_GT(out[0], in[0] - 12.0);
    EXPECT_LT(out[2], 1.0);
    EXPECT_GE(out[2], out[1] - 0.01);

    // The file has the input's layout and length: latency compensated.
    SF_INFO info{};
    SNDFILE* f = sf_open((scratch.path() + "/out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 48000);
    EXPECT_EQ(info.frames, 3 * 48000);
    sf_close(f);

    std::ifstream state(scratch.path() + "/s.aprs", std::ios::binary);
    char id[4] = {};
    state.read(id, 4);
    EXPECT_EQ(std::string(id, 4), "aprs");

    // The saved state loads again; 64-bit processing measures the same input.
    const RenderRun again = runRender(scratch.path(), "--demo --demo-seconds 3 --f64 --block 333 --load-state s.aprs");
    ASSERT_EQ(again.status, 0) << again.out;
    double in2[3];
    ASSERT_TRUE(rowFigures(again.out, "Input", in2));
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(in2[i], in[i]);

    // Unknown parameters and foreign state are errors.
    EXPECT_EQ(runRender(scratch.path(), "--demo --demo-seconds 1 --set NoSuchParam=1").status, 2);
    std::ofstream(scratch.path() + "/bad.aprs", std::ios::binary) << "abnk0000000000000000";
    EXPECT_EQ(runRender(scratch.path(), "--demo --demo-seconds 1 --load-state bad.aprs").status, 1);
    EXPECT_EQ(runRender(scratch.path(), "").status, 2);
}

#endif  // !_WIN32

}  // namespace
