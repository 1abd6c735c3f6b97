// The host library's instance on the built bundle: the three ways of running
// a block agree, the caller's buffers are used only for the block they were
// handed for, and refusals name what was wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Host/Module.h"
#include "Host/PluginInstance.h"
#include "Tests/VST/VstTestSupport.h"

#ifndef TAMBLOR_TEST_BUNDLE
#error "TAMBLOR_TEST_BUNDLE names the built bundle"
#endif

namespace {

constexpr int kFrames = 256;

class HostPluginInstance : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_module.load(TAMBLOR_TEST_BUNDLE), ""); }

    // A created instance prepared for stereo blocks of kFrames.
    std::string start(host::CPluginInstance& p, bool is64) {
        if (std::string err = p.create(m_module.factory()); !err.empty()) return err;
        host::CHostSetup setup;
        setup.maxBlock = kFrames;
        setup.is64 = is64;
        return p.prepare(setup);
    }

    vsttest::CScratchDir m_scratch;
    vsttest::CWorkingDir m_cwd{m_scratch.path()};
    host::CModule m_module;
};

// Block b of a tone at -20 dBFS, both channels.
template <class Sample>
std::vector<std::vector<Sample>> tone(int b) {
    std::vector<std::vector<Sample>> x(2, std::vector<Sample>(kFrames));
    for (int i = 0; i < kFrames; ++i)
        x[0][size_t(i)] = x[1][size_t(i)] = Sample(0.1 * std::sin(0.07 * (b * kFrames + i)));
    return x;
}

// Runs blocks through the instance the way `how` says for each block
// ('c': copied, 'd': direct) and gives the outputs, block after block.
template <class Sample>
std::vector<Sample> runBlocks(host::CPluginInstance& p, const std::string& how) {
    std::vector<Sample> all;
    for (size_t b = 0; b < how.size(); ++b) {
        auto in = tone<Sample>(int(b));
        const auto untouched = in;
        std::vector<std::vector<Sample>> out(2, std::vector<Sample>(kFrames, Sample(NAN)));
        if (how[b] == 'd') {
            void* ip[2] = {in[0].data(), in[1].data()};
            void* op[2] = {out[0].data(), out[1].data()};
            p.processDirect(ip, op, kFrames);
        } else {
            const Sample* ip[2] = {in[0].data(), in[1].data()};
            Sample* op[2] = {out[0].data(), out[1].data()};
            p.process(ip, op, kFrames);
        }
        EXPECT_EQ(in, untouched) << "block " << b << " wrote into its input";
        for (const auto& ch : out) all.insert(all.end(), ch.begin(), ch.end());
    }
    return all;
}

TEST_F(HostPluginInstance, CopiedAndDirectBlocksAgree) {
    // Enough blocks to get past the chain's latency.
    const std::string copied(24, 'c'), mixed = "dddcccdcdcdcdddcccdcdccd";
    for (bool is64 : {false, true}) {
        host::CPluginInstance a, b;
        ASSERT_EQ(start(a, is64), "");
        ASSERT_EQ(start(b, is64), "");
        std::vector<double> ya, yb;
        if (is64) {
            ya = runBlocks<double>(a, copied);
            yb = runBlocks<double>(b, mixed);
        } else {
            const std::vector<float> fa = runBlocks<float>(a, copied), fb = runBlocks<float>(b, mixed);
            ya.assign(fa.begin(), fa.end());
            yb.assign(fb.begin(), fb.end());
        }
        EXPECT_EQ(ya, yb) << (is64 ? "64-bit" : "32-bit");
        double peak = 0.0;
        for (double v : ya) peak = std::max(peak, std::fabs(v));
        EXPECT_GT(peak, 0.01);
    }
    // Blocks of the other sample size are converted on the way in and out.
    host::CPluginInstance c, d;
    ASSERT_EQ(start(c, true), "");
    ASSERT_EQ(start(d, true), "");
    const std::vector<float> viaFloat = runBlocks<float>(c, copied);
    const std::vector<double> direct = runBlocks<double>(d, std::string(24, 'd'));
    ASSERT_EQ(viaFloat.size(), direct.size());
    for (size_t i = 0; i < direct.size(); ++i) ASSERT_NEAR(viaFloat[i], direct[i], 1e-6) << i;
}

TEST_F(HostPluginInstance, RefusalsNameWhatWasWrong) {
    host::CPluginInstance p;
    EXPECT_EQ(p.prepare({}), "no plug-in");
    EXPECT_EQ(p.create(nullptr), "no factory");
    ASSERT_EQ(p.create(m_module.factory()), "");
    host::CHostSetup nine;
    nine.channels = 9;
    EXPECT_EQ(p.prepare(nine), "cannot host 9 channels");
    Steinberg::Vst::ParamID id = 0;
    EXPECT_EQ(p.findParameter("NoSuch", &id), "the plug-in has no parameter 'NoSuch'");
    if (!p.findParameter("Oversmp", &id).empty()) GTEST_SKIP() << "built without the product definitions";
    double v = -1.0;
    EXPECT_FALSE(p.valueFromText(54321, "4X", &v));  // no such parameter
    EXPECT_EQ(v, -1.0);
    const std::string err = p.selectProgram("NoSuchPreset");
    EXPECT_EQ(err.rfind("unknown preset 'NoSuchPreset' (the plug-in has ", 0), 0u) << err;
    // A change reaches the controller at once.
    ASSERT_TRUE(p.valueFromText(id, "4X", &v));
    p.queueChange(id, v);
    EXPECT_EQ(p.parameterText(id, p.parameterValue(id)), "4X");
}

}  // namespace
