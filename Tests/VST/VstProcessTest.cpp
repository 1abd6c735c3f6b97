// The process call: automation thinning, the sidechain check, set-up and
// blocks in both sample sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "Audio/VST/ProcessHelpersVST.h"
#include "Host/ParamChanges.h"
#include "VstTestSupport.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

// A queue of n points: offset i, value i / 1000.
host::CParamValueQueue pointQueue(int n) {
    host::CParamValueQueue q(n);
    q.reset(0);
    for (int i = 0; i < n; ++i) {
        sb::int32 index = 0;
        q.addPoint(i, i / 1000.0, index);
    }
    return q;
}

std::vector<int> decimatedOffsets(int points, int capacity = 64) {
    host::CParamValueQueue q = pointQueue(points);
    std::vector<CHostParamChange> out(size_t(std::max(capacity, 1)));
    const int n = vst3proc::decimateQueue(q, 7, out.data(), capacity);
    std::vector<int> offsets;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(out[size_t(i)].index, 7);
        EXPECT_DOUBLE_EQ(out[size_t(i)].value, out[size_t(i)].offset / 1000.0);
        offsets.push_back(out[size_t(i)].offset);
    }
    return offsets;
}

TEST(VstAutomation, QueuesAreThinnedToThirtyTwoPoints) {
    // 100 points: floor(i * 100 / 32) for i = 0..30, then the last point.
    std::vector<int> expected;
    for (int i = 0; i < 31; ++i) expected.push_back(i * 100 / 32);
    expected.push_back(99);
    const std::vector<int> got = decimatedOffsets(100);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got[1], 3);
    EXPECT_EQ(got[2], 6);
    EXPECT_EQ(got[30], 93);

    // Up to 32 points all pass in order; 33 drop one.
    for (int n : {1, 2, 31, 32}) {
        std::vector<int> all;
        for (int i = 0; i < n; ++i) all.push_back(i);
        EXPECT_EQ(decimatedOffsets(n), all) << n;
    }
    const std::vector<int> of33 = decimatedOffsets(33);
    ASSERT_EQ(of33.size(), 32u);
    EXPECT_EQ(of33.front(), 0);
    EXPECT_EQ(of33.back(), 32);
    EXPECT_TRUE(std::is_sorted(of33.begin(), of33.end()));
    EXPECT_EQ(std::adjacent_find(of33.begin(), of33.end()), of33.end());

    EXPECT_TRUE(decimatedOffsets(0).empty());
    EXPECT_EQ(decimatedOffsets(100, 5).size(), 5u);  // never beyond the room given
    EXPECT_TRUE(decimatedOffsets(100, 0).empty());
}

TEST(VstAutomation, SidechainCountsOnlyWhenItCarriesSound) {
    float a[4] = {}, b[4] = {};
    float* ptrs[2] = {a, b};
    struct Case {
        const char* what;
        int numInputs;
        int channels;
        bool buffers;
        sb::uint64 silence;
        int expected;
    };
    const Case cases[] = {
        {"stereo, sounding", 2, 2, true, 0, 2},
        {"one channel silent", 2, 2, true, 0x1, 2},
        {"all silent", 2, 2, true, 0x3, 0},
        {"all silent plus stray bits", 2, 2, true, 0xFF, 0},
        {"no buffers", 2, 2, false, 0, 0},
        {"no channels", 2, 0, true, 0, 0},
        {"no second bus", 1, 2, true, 0, 0},
    };
    for (const Case& c : cases) {
        sv::AudioBusBuffers buses[2];
        buses[0].numChannels = 2;
        buses[0].channelBuffers32 = ptrs;
        buses[1].numChannels = c.channels;
        buses[1].silenceFlags = c.silence;
        buses[1].channelBuffers32 = c.buffers ? ptrs : nullptr;
        sv::ProcessData data;
        data.numInputs = c.numInputs;
        data.inputs = buses;
        EXPECT_EQ(vst3proc::sidechainChannels(data), c.expected) << c.what;
    }
}

class VstProcess : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vsttest::startApplication()); }
    void TearDown() override { vsttest::finishApplication(); }
};

TEST_F(VstProcess, SetupSampleSizesTailAndLatency) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    EXPECT_EQ(inst->canProcessSampleSize(sv::kSample32), sb::kResultTrue);
    EXPECT_EQ(inst->canProcessSampleSize(sv::kSample64), sb::kResultTrue);
    EXPECT_EQ(inst->canProcessSampleSize(2), sb::kResultFalse);
    EXPECT_EQ(inst->getProcessContextRequirements(), 0u);

    sv::ProcessSetup setup{sv::kOffline, sv::kSample64, 1024, 96000.0};
    EXPECT_EQ(inst->setupProcessing(setup), sb::kResultTrue);
    EXPECT_TRUE(inst->isOffline());
    EXPECT_DOUBLE_EQ(inst->sampleRate(), 96000.0);
    // The product's tail is 0.4 s.
    EXPECT_EQ(inst->getTailSamples(), 38400u);
    setup = {sv::kRealtime, sv::kSample32, 512, 44100.0};
    inst->setupProcessing(setup);
    EXPECT_FALSE(inst->isOffline());
    EXPECT_EQ(inst->getTailSamples(), 17640u);

    EXPECT_EQ(inst->setActive(true), sb::kResultTrue);
    EXPECT_EQ(inst->setProcessing(true), sb::kResultTrue);
    EXPECT_EQ(inst->setProcessing(false), sb::kResultTrue);
    EXPECT_EQ(inst->setActive(false), sb::kResultTrue);
    sv::RoutingInfo inInfo{}, outInfo{};
    EXPECT_EQ(inst->getRoutingInfo(inInfo, outInfo), sb::kNotImplemented);
}

// Runs blocks of a 1 kHz tone at -20 dBFS and gives the output of the last.
template <class Sample>
std::vector<std::vector<Sample>> runTone(CAudioWrapperVST3* p, int blocks, int frames, sv::ProcessData* proto) {
    std::vector<std::vector<Sample>> in(2, std::vector<Sample>(size_t(frames))), out = in;
    std::vector<Sample*> inPtrs = {in[0].data(), in[1].data()}, outPtrs = {out[0].data(), out[1].data()};
    sv::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = reinterpret_cast<sv::Sample32**>(inPtrs.data());
    outBus.channelBuffers32 = reinterpret_cast<sv::Sample32**>(outPtrs.data());
    outBus.silenceFlags = 0x3;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < frames; ++i) {
            const double t = double(b * frames + i) / 48000.0;
            in[0][size_t(i)] = in[1][size_t(i)] = Sample(0.1 * std::sin(2.0 * M_PI * 1000.0 * t));
        }
        for (auto& ch : out) std::fill(ch.begin(), ch.end(), Sample(NAN));
        sv::ProcessData data = *proto;
        data.numSamples = frames;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        EXPECT_EQ(p->process(data), sb::kResultTrue);
    }
    EXPECT_EQ(outBus.silenceFlags, 0u);
    return out;
}

template <class Sample>
void expectSounding(const std::vector<std::vector<Sample>>& out) {
    for (const auto& ch : out) {
        double peak = 0.0;
        for (Sample v : ch) {
            ASSERT_TRUE(std::isfinite(double(v)));
            peak = std::max(peak, std::fabs(double(v)));
        }
        EXPECT_GT(peak, 0.01);
        EXPECT_LT(peak, 1.0);
    }
}

TEST_F(VstProcess, BlocksInBothSampleSizesComeOutSounding) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    for (int size : {sv::kSample32, sv::kSample64}) {
        sv::ProcessSetup setup{sv::kRealtime, size, 512, 48000.0};
        inst->setupProcessing(setup);
        inst->setProcessing(true);
        sv::ProcessData proto;
        proto.symbolicSampleSize = size;
        // Enough blocks to get past any latency of the chain.
        if (size == sv::kSample32)
            expectSounding(runTone<float>(inst.get(), 40, 512, &proto));
        else
            expectSounding(runTone<double>(inst.get(), 40, 512, &proto));
        inst->setProcessing(false);
    }
}

TEST_F(VstProcess, ZeroFrameBlocksAndMissingBusesAreAccepted) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    sv::ProcessSetup setup{sv::kRealtime, sv::kSample32, 512, 48000.0};
    inst->setupProcessing(setup);
    inst->setProcessing(true);

    // Parameter changes with a zero-frame block and no buffers at all; ids
    // beyond the host parameters (the program parameter among them) are ignored.
    host::CParamChanges changes(3, 100);
    for (const auto& [id, points] : {std::pair<sv::ParamID, int>{0, 100}, {999, 3}, {12345, 5}})
        for (int i = 0; i < points; ++i) changes.add(id, i / 1000.0, i);

    sv::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    sv::ProcessData data;
    data.numSamples = 0;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &changes;
    EXPECT_EQ(inst->process(data), sb::kResultTrue);

    data.numInputs = 0;
    data.inputs = nullptr;
    data.numSamples = 64;
    EXPECT_EQ(inst->process(data), sb::kResultTrue);
    data.numOutputs = 0;
    data.outputs = nullptr;
    EXPECT_EQ(inst->process(data), sb::kResultTrue);
    inst->setProcessing(false);
}

}  // namespace
