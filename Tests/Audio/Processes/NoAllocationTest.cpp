#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Audio/Processes/Gain/ModAbs.h"
#include "Audio/Processes/Flow/ModBypass.h"
#include "Audio/Processes/Gain/ModClip.h"
#include "Audio/Processes/Gain/ModDenormNoise.h"
#include "Audio/Processes/Gain/ModDither.h"
#include "Audio/Processes/Filters/ModFilterIIR.h"
#include "Audio/Processes/Flow/ModFixedLatency.h"
#include "Audio/Processes/Gain/ModGain.h"
#include "Audio/Processes/Flow/ModLatencyUniformer.h"
#include "Audio/Processes/Gain/ModMult.h"
#include "Tests/Audio/Filters/DCFilterTable.h"
#include "Tests/Support/AllocationCounter.h"

// Once prepared, parameter changes and processing never allocate.
TEST(NoAllocation, ParameterChangesAndProcessing) {
    {
        alloc_counter::Scope probe;
        auto p = std::make_unique<int>(1);
        ASSERT_EQ(probe.allocations(), 1u) << "the allocation counter is not active";
    }
    constexpr int kBlock = 512;
    std::vector<double> a(kBlock, 0.25), b(kBlock, -0.5), out(kBlock);
    const double* in2[2] = {a.data(), b.data()};
    double* out2[2] = {a.data(), out.data()};

    CModGain gain;
    CModClip clip;
    CModMult mult;
    CModAbs rect;
    CModDenormNoise denorm;
    CModBypass bypass;
    CModDither dither(1);
    CModFilterIIR iir;
    CModFixedLatency fixed;
    CModLatencyUniformer uniformer;
    const auto array = dc_filters::array();
    ASSERT_TRUE(iir.setGenArray(array).ok());
    ASSERT_TRUE(uniformer.setLatencies("44100=1041;48000=1080").ok());
    clip.setClipLevel(1.1);
    fixed.setLatency(0.01, 128);
    gain.prepare(48000.0, kBlock);
    bypass.prepare(48000.0, kBlock);
    dither.prepare(48000.0, kBlock);
    iir.prepare(48000.0, kBlock);
    fixed.prepare(48000.0, kBlock, 2);
    uniformer.prepare(48000.0, kBlock, 2);

    alloc_counter::Scope scope;
    for (int round = 0; round < 12; ++round) {
        gain.setParams({0.5 + round, round % 3 == 1, round % 2 == 1});
        gain.process(a.data(), out.data(), kBlock);
        clip.setParams({0.1 * round});
        clip.process(a.data(), out.data(), kBlock);
        mult.process(a.data(), b.data(), out.data(), kBlock);
        rect.process(b.data(), out.data(), kBlock);
        denorm.process(a.data(), out.data(), kBlock);
        bypass.setParams({round % 2 == 1, round % 5 == 4});
        bypass.process(a.data(), b.data(), out.data(), kBlock);
        dither.setParams({round % 17, round % 3, (round / 3) % 3});
        dither.process(a.data(), out.data(), kBlock);
        iir.setParams({round % 11, 5.0 + round, 1.0, 0.7071});
        iir.process(a.data(), out.data(), kBlock);
        fixed.process(in2, out2, kBlock);
        ASSERT_TRUE(uniformer.setUpstreamLatency(50 * round).ok());
        uniformer.process(in2, out2, kBlock);
    }
    EXPECT_EQ(scope.allocations(), 0u);
}
