// What a host may throw at the plug-in: non-finite input, and automation
// arriving in every block while nothing in process may allocate.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "ProductHost.h"
#include "ProductSignals.h"
#include "Tests/Support/AllocationCounter.h"

namespace product {
namespace {

class ProductRobustness : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enterModule()); }
    void TearDown() override { exitModule(); }
};

TEST_F(ProductRobustness, OutputIsFiniteAgainWithinFiftyMillisecondsAfterNonFiniteInput) {
    const double rate = 44100.0;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* factor;
        double bad;
        bool is64;
    };
    const Case cases[] = {{"1X", nan, true}, {"1X", inf, false}, {"1X", -inf, true}, {"8X", nan, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.factor) + ", " + std::to_string(c.bad) + (c.is64 ? ", 64-bit" : ", 32-bit"));
        CHost host;
        ASSERT_TRUE(host.loaded());
        ASSERT_TRUE(host.start(rate, 512, c.is64));
        ASSERT_TRUE(host.setParam("Oversmp", c.factor));
        ASSERT_TRUE(host.setParam("InGain", "6.0"));
        // Program with 300 bad samples in the left channel and one in the
        // right, then program again.
        Stereo in = programMix(rate, 1.5, 7);
        const size_t badFrom = size_t(0.5 * rate), badTo = badFrom + 300;
        for (size_t i = badFrom; i < badTo; ++i) in.l[i] = c.bad;
        in.r[badFrom + 17] = c.bad;
        const Stereo out = host.run(in);
        const size_t recovered = badTo + size_t(0.050 * rate);
        EXPECT_EQ(firstNonFinite(out, recovered), out.size()) << "non-finite output after recovery";
        // It plays again.
        EXPECT_GT(rms(out, out.size() - size_t(0.5 * rate), out.size()), 0.05);
    }
}

TEST_F(ProductRobustness, ProcessDoesNotAllocateWhileAutomationArrives) {
    const double rate = 48000.0;
    for (bool is64 : {true, false}) {
        SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
        CHost host;
        ASSERT_TRUE(host.loaded());
        ASSERT_TRUE(host.start(rate, 512, is64));
        const Stereo in = programMix(rate, 0.1, 3);
        Stereo out(512);
        const int block = 512;
        // Warm up: the graph's first blocks and every factor once.
        for (int k = 0; k < 20; ++k) host.processBlock(in.l.data(), in.r.data(), out.l.data(), out.r.data(), block);
        // The parameters and what their automation sweeps, one value per block.
        struct Sweep {
            const char* name;
            const char* texts[4];
        };
        const Sweep sweeps[] = {
            {"InGain", {"0.0", "6.0", "12.0", "3.0"}},
            {"OutGain", {"-1.0", "-3.0", "0.0", "-6.0"}},
            {"Release", {"1.0", "50.0", "300.0", "10.0"}},
            {"Mode", {"TB-1", "Clip", "AIGC-2", "TB INS"}},
            {"Knee", {"0.0", "50.0", "100.0", "20.0"}},
            {"XTime", {"0.1", "5.0", "10.0", "1.5"}},
            {"Bypass", {"On", "Off", "On", "Off"}},
            {"DithEnb", {"On", "Off", "On", "Off"}},
            {"DCEnabl", {"On", "Off", "On", "Off"}},
        };
        std::vector<std::pair<int, std::array<double, 4>>> points;
        for (const Sweep& s : sweeps) {
            const int id = host.paramId(s.name);
            if (id < 0) continue;
            std::array<double, 4> v{};
            for (int i = 0; i < 4; ++i) {
                v[size_t(i)] = host.normalizedFromText(id, s.texts[i]);
                if (std::isnan(v[size_t(i)])) v[size_t(i)] = 0.25 * i;
            }
            points.emplace_back(id, v);
        }
        if (points.empty()) std::printf("[ note ] no host parameters: blocks without automation\n");
        alloc_counter::Scope scope;
        for (int k = 0; k < 200; ++k) {
            // Several points per parameter and block, a ramp of 40 points in one.
            for (const auto& [id, v] : points) {
                host.queueAutomation(id, v[size_t(k % 4)], 0);
                host.queueAutomation(id, v[size_t((k + 1) % 4)], 200);
            }
            if (!points.empty())
                for (int i = 0; i < 40; ++i) host.queueAutomation(points.front().first, i / 40.0, 250 + i);
            host.processBlock(in.l.data(), in.r.data(), out.l.data(), out.r.data(), k % 7 == 0 ? 37 : block);
        }
        EXPECT_EQ(scope.allocations(), 0u);
    }
}

}  // namespace
}  // namespace product
