// The built bundle as hosts see it: loaded through the system's loader and
// its entry points (twice in one process). tamblor-render's runs through it
// are in Tests/Tools/RenderToolTest.cpp.
#include <gtest/gtest.h>

#include <cmath>

#include "Host/Module.h"
#include "Host/PluginInstance.h"
#include "VstTestSupport.h"

#ifndef TAMBLOR_TEST_BUNDLE
#error "TAMBLOR_TEST_BUNDLE names the built bundle"
#endif

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

// Creates an instance and runs blocks of 1 kHz tone: 24 blocks of 256 frames
// outlast any latency the chain reports at 48 kHz.
void exerciseOnce(host::CModule& module) {
    constexpr int blocks = 24;
    host::CPluginInstance plugin;
    ASSERT_EQ(plugin.create(module.factory()), "");
    EXPECT_EQ(plugin.className(), "Tamblor");
    host::CHostSetup config;
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
        host::CModule module;
        ASSERT_EQ(module.load(TAMBLOR_TEST_BUNDLE), "") << "round " << round;
        exerciseOnce(module);
        module.unload();
    }
    // Both at once: the entries are counted, the first exit keeps the other alive.
    host::CModule a, b;
    ASSERT_EQ(a.load(TAMBLOR_TEST_BUNDLE), "");
    ASSERT_EQ(b.load(TAMBLOR_TEST_BUNDLE), "");
    exerciseOnce(a);
    a.unload();
    exerciseOnce(b);
    b.unload();
}

TEST(VstBundle, MissingBundleIsReported) {
    host::CModule module;
    const std::string err = module.load("/nonexistent/Nothing.vst3");
#ifdef _WIN32
    const char* expected = "/nonexistent/Nothing.vst3/Contents/x86_64-win/Nothing.vst3";
#else
    const char* expected = "/nonexistent/Nothing.vst3/Contents/x86_64-linux/Nothing.so";
#endif
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(module.factory(), nullptr);
}

}  // namespace
