// The product's host side through the adapter: host parameters bound to the
// internal parameters, programs, the state chunk restoring every value, and
// automation with main-thread edits while processing allocates nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "Tests/Support/AllocationCounter.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Host/MemoryStream.h"
#include "Host/ParamChanges.h"
#include "VstTestSupport.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

const char* const kHostNames[] = {"Bypass",  "Oversmp", "InGain",  "OutGain", "RlsEnab", "Release", "DCEnabl",
                                  "DCFreq",  "DCType",  "DithEnb", "DithBit", "DithTyp", "DithShp", "DithBln",
                                  "Meterin", "ChLink",  "Mode",    "TBAIGC",  "Knee",    "XTime",   "XForm",
                                  "XShape",  "DRCType", "Timing",  "RlsRto",  "RlsShp"};
constexpr int kOversmp = 1, kInGain = 2, kOutGain = 3, kRelease = 5, kDithBln = 13, kMode = 16;

class VstHostSide : public vsttest::CInstanceTest {
protected:
    void SetUp() override {
        CInstanceTest::SetUp();
        if (!HasFatalFailure() && !vsttest::embeddedDefinitionsPresent())
            GTEST_SKIP() << "built without the product definitions";
    }

    std::vector<double> hostValues() {
        std::vector<double> v;
        for (int i = 0; i < p->hostParamCount(); ++i) v.push_back(p->hostParamNormalized(i));
        return v;
    }
    double fromText(int index, const char* text) {
        double v = -1.0;
        EXPECT_TRUE(p->hostParamFromText(index, text, &v)) << kHostNames[index] << " " << text;
        return v;
    }
    std::vector<uint8_t> save() {
        host::CMemoryStream s;
        EXPECT_EQ(p->getState(&s), sb::kResultOk);
        return s.data();
    }
    sb::tresult load(const std::vector<uint8_t>& chunk) {
        host::CMemoryStream s(chunk);
        return p->setState(&s);
    }
};

TEST_F(VstHostSide, TheTwentySixHostParametersAndTheirTexts) {
    ASSERT_EQ(p->hostParamCount(), 26);
    for (int i = 0; i < 26; ++i) {
        const CHostParamInfo info = p->hostParamInfo(i);
        EXPECT_EQ(info.name, kHostNames[i]);
        // Only the blanking entry names no parameter.
        EXPECT_EQ(info.bound, i != kDithBln) << kHostNames[i];
        if (!info.bound) continue;
        EXPECT_GE(info.defaultNormalized, 0.0);
        EXPECT_LE(info.defaultNormalized, 1.0);
        // The defaults are what a fresh instance holds.
        EXPECT_NEAR(p->hostParamNormalized(i), info.defaultNormalized, 1e-12) << kHostNames[i];
        // Every display text reads back to its own position.
        for (double n : {0.0, 0.3, 1.0}) {
            const CString text = p->hostParamText(i, n);
            if (text == "Reserve") continue;  // positions beyond an enumeration's names share one text
            double back = -1.0;
            ASSERT_TRUE(p->hostParamFromText(i, text, &back)) << kHostNames[i] << " '" << text.utf8() << "'";
            EXPECT_EQ(p->hostParamText(i, back), text) << kHostNames[i];
        }
    }
    EXPECT_EQ(p->hostParamText(kDithBln, 0.5), CString());

    // A value set by the host reads back as its text.
    p->setHostParamNormalized(kOutGain, fromText(kOutGain, "-1.0"));
    EXPECT_EQ(p->hostParamText(kOutGain, p->hostParamNormalized(kOutGain)).utf8().substr(0, 4), "-1.0");
    p->setHostParamNormalized(kOversmp, fromText(kOversmp, "8X"));
    EXPECT_EQ(p->hostParamText(kOversmp, p->hostParamNormalized(kOversmp)), "8X");
    double untouched = 0.25;
    EXPECT_FALSE(p->hostParamFromText(kOversmp, "9X", &untouched));
    EXPECT_EQ(untouched, 0.25);
    // The host's own changes are not echoed back to it as edits.
    EXPECT_TRUE(inst->handler.calls().empty());
}

TEST_F(VstHostSide, StateRestoresEveryValueAndRefusalChangesNothing) {
    p->setHostParamNormalized(kInGain, fromText(kInGain, "4.5"));
    p->setHostParamNormalized(kRelease, 0.7);
    p->setHostParamNormalized(kMode, 0.4);
    const std::vector<double> saved = hostValues();
    const std::vector<uint8_t> chunk = save();

    p->setHostParamNormalized(kInGain, 0.1);
    p->setHostParamNormalized(kRelease, 0.2);
    p->setHostParamNormalized(kMode, 1.0);
    const std::vector<double> other = hostValues();
    ASSERT_NE(other, saved);

    // A damaged chunk is refused before anything changes.
    std::vector<uint8_t> damaged = chunk;
    damaged[damaged.size() / 2] ^= 0x5A;
    EXPECT_EQ(load(damaged), sb::kResultFalse);
    EXPECT_EQ(hostValues(), other);
    std::vector<uint8_t> cut(chunk.begin(), chunk.begin() + long(chunk.size()) - 3);
    EXPECT_EQ(load(cut), sb::kResultFalse);
    EXPECT_EQ(hostValues(), other);

    ASSERT_EQ(load(chunk), sb::kResultOk);
    EXPECT_EQ(hostValues(), saved);
    EXPECT_EQ(save(), chunk) << "a loaded state saves bit for bit as it came";
    // The adapter's parameter objects follow the core.
    for (int i = 0; i < 26; ++i) EXPECT_DOUBLE_EQ(p->getParamNormalized(sv::ParamID(i)), saved[size_t(i)]);
}

TEST_F(VstHostSide, ProgramChangesActivateTheirPresets) {
    const int count = p->programCount();
    if (count < 2) GTEST_SKIP() << "no factory bank in this build";
    const std::vector<double> first = hostValues();
    inst->handler.calls().clear();
    ASSERT_FALSE(p->setProgram(count - 1));
    EXPECT_EQ(p->currentProgram(), count - 1);
    // The host hears of the new program through the program parameter.
    const bool told = std::any_of(inst->handler.calls().begin(), inst->handler.calls().end(),
                                  [](const std::string& c) { return c.rfind("perform 999 ", 0) == 0; });
    EXPECT_TRUE(told);
    EXPECT_NE(hostValues(), first) << p->programName(count - 1).utf8();
    // Back to the first program: its entry kept the state it had.
    ASSERT_FALSE(p->setProgram(0));
    EXPECT_EQ(hostValues(), first);
}

TEST_F(VstHostSide, AutomationAndEditsWhileProcessingAllocateNothing) {
    sv::ProcessSetup setup{sv::kRealtime, sv::kSample32, 1024, 44100.0};
    ASSERT_EQ(p->setupProcessing(setup), sb::kResultTrue);
    p->setActive(true);
    p->setProcessing(true);

    constexpr int kFrames = 1100;  // 512 + 512 + 76, split further at the changes
    std::vector<float> in(2 * kFrames), out(2 * kFrames);
    for (int i = 0; i < kFrames; ++i) in[size_t(i)] = in[size_t(kFrames + i)] = float(0.5 * std::sin(0.05 * i));
    float* inPtr[2] = {in.data(), in.data() + kFrames};
    float* outPtr[2] = {out.data(), out.data() + kFrames};
    sv::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    inBus.channelBuffers32 = inPtr;
    outBus.channelBuffers32 = outPtr;

    // 100 points for two parameters, prepared before the counting starts.
    host::CParamChanges changes(2, 100);
    for (sv::ParamID id : {sv::ParamID(kInGain), sv::ParamID(kRelease)})
        for (int k = 0; k < 100; ++k) changes.add(id, 0.3 + 0.004 * k, k * 11);
    sv::ProcessData data;
    data.numSamples = kFrames;
    data.symbolicSampleSize = sv::kSample32;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &changes;
    p->process(data);  // first touch outside the count

    size_t allocations = 0;
    for (int block = 0; block < 20; ++block) {
        // A main-thread edit between blocks, as an editor would make.
        p->setHostParamNormalized(kOutGain, 0.5 + 0.01 * block);
        CAllocationProbe probe;
        p->process(data);
        allocations += probe.count();
    }
    EXPECT_EQ(allocations, 0u);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));
    // The last automation point is what the core holds after the block.
    EXPECT_NEAR(p->hostParamNormalized(kInGain), 0.3 + 0.004 * 99, 1e-9);
    p->setProcessing(false);
    p->setActive(false);
}

}  // namespace
