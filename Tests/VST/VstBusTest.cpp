// Bus layouts: the arrangement rules and what an instance makes of a
// host's request.
#include <gtest/gtest.h>

#include "Audio/VST/SpeakerArrangements.h"
#include "VstTestSupport.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;
using vst3io::Arrangement;

namespace {

constexpr Arrangement kMono = 0x80000, kStereo = 0x3, k51 = 0x3F, k71 = 0x63F, kQuad = 0x33;
constexpr Arrangement kNine = 0x63F | (Arrangement(1) << 11);  // 7.1 plus a top centre

struct NegotiationCase {
    const char* what;
    std::vector<Arrangement> ins, outs;
    vst3io::CArrangementRules rules;
    Arrangement in, out, sidechain;
    bool unchanged;
};

vst3io::CArrangementRules rules(bool symmetric, bool sidechain = false, int maxChannels = 8) {
    vst3io::CArrangementRules r;
    r.symmetricIo = symmetric;
    r.useSidechain = sidechain;
    r.maxChannels = maxChannels;
    return r;
}

TEST(VstArrangements, NegotiationTakesOrReplacesRequests) {
    const NegotiationCase cases[] = {
        {"7.1 in and out", {k71}, {k71}, rules(true), k71, k71, 0, true},
        {"stereo", {kStereo}, {kStereo}, rules(true), kStereo, kStereo, 0, true},
        {"an unlisted 4-channel layout", {kQuad}, {kQuad}, rules(true), kQuad, kQuad, 0, true},
        {"nine channels", {kNine}, {kNine}, rules(true), k71, k71, 0, false},
        {"nine in, stereo out", {kNine}, {kStereo}, rules(true), k71, k71, 0, false},
        {"empty input", {0}, {kStereo}, rules(true), k71, k71, 0, false},
        {"max of 2 channels", {k51}, {k51}, rules(true, false, 2), kStereo, kStereo, 0, false},
        {"stereo in, 5.1 out, symmetric", {kStereo}, {k51}, rules(true), k51, k51, 0, false},
        {"mono in, stereo out, symmetric", {kMono}, {kStereo}, rules(true), kStereo, kStereo, 0, false},
        {"mono in, stereo out", {kMono}, {kStereo}, rules(false), kMono, kStereo, 0, true},
        {"mono in, 5.1 out", {kMono}, {k51}, rules(false), kMono, k51, 0, true},
        {"5.1 in, stereo out", {k51}, {kStereo}, rules(false), k51, kStereo, 0, true},
        {"stereo in, mono out", {kStereo}, {kMono}, rules(false), kMono, kStereo, 0, false},
        {"5.1 in, 7.1 out", {k51}, {k71}, rules(false), kMono, kStereo, 0, false},
        {"sidechain stereo", {kStereo, kStereo}, {kStereo}, rules(true, true), kStereo, kStereo, kStereo, true},
        {"sidechain mono", {kStereo, kMono}, {kStereo}, rules(true, true), kStereo, kStereo, kMono, true},
        {"sidechain 5.1", {kStereo, k51}, {kStereo}, rules(true, true), kStereo, kStereo, kStereo, false},
        {"sidechain bus empty", {kStereo, 0}, {kStereo}, rules(true, true), kStereo, kStereo, 0, true},
        {"sidechain off", {kStereo, k51}, {kStereo}, rules(true, false), kStereo, kStereo, 0, true},
        {"sidechain on, one input", {kStereo}, {kStereo}, rules(true, true), kStereo, kStereo, 0, true},
    };
    for (const NegotiationCase& c : cases) {
        const vst3io::CArrangementResult r = vst3io::negotiateArrangements(c.ins.data(), int(c.ins.size()),
                                                                             c.outs.data(), int(c.outs.size()), c.rules);
        EXPECT_EQ(r.input, c.in) << c.what;
        EXPECT_EQ(r.output, c.out) << c.what;
        EXPECT_EQ(r.sidechain, c.sidechain) << c.what;
        EXPECT_EQ(r.unchanged, c.unchanged) << c.what;
    }
    const Arrangement one = kStereo;
    EXPECT_FALSE(vst3io::negotiateArrangements(&one, 0, &one, 1, rules(true)).unchanged);
    EXPECT_FALSE(vst3io::negotiateArrangements(&one, 1, &one, 0, rules(true)).unchanged);
}

TEST(VstArrangements, TableRowsAndSpeakerNames) {
    const std::pair<int, Arrangement> rows[] = {{16, k71}, {9, k71}, {8, k71}, {7, 0x63B}, {6, k51}, {5, 0x3B},
                                                {4, 0x10B}, {3, 0x103}, {2, kStereo}, {1, kMono}, {0, kMono}};
    for (const auto& [wanted, arr] : rows) EXPECT_EQ(vst3io::arrangementForChannels(wanted), arr) << wanted;

    auto names = [](Arrangement a) {
        std::string s;
        for (const CString& n : vst3io::channelNames(a)) s += n.utf8() + ",";
        return s;
    };
    EXPECT_EQ(names(k71), "L,R,C,Lfe,Ls,Rs,Sl,Sr,");
    EXPECT_EQ(names(kMono), "M,");
    EXPECT_EQ(names(0x10B), "L,R,Lfe,S,");
    EXPECT_EQ(names((Arrangement(1) << 27) | (Arrangement(1) << 28) | (Arrangement(1) << 63)), "Rcs,,,");
    EXPECT_EQ(names(0), "");
}

class VstBuses : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vsttest::startApplication()); }
    void TearDown() override { vsttest::finishApplication(); }
};

TEST_F(VstBuses, InstanceStartsStereoWithEventInput) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    EXPECT_EQ(inst->getBusCount(sv::kAudio, sv::kInput), 1);
    EXPECT_EQ(inst->getBusCount(sv::kAudio, sv::kOutput), 1);
    EXPECT_EQ(inst->getBusCount(sv::kEvent, sv::kInput), 1);
    EXPECT_EQ(inst->getBusCount(sv::kEvent, sv::kOutput), 0);
    sv::BusInfo info{};
    ASSERT_EQ(inst->getBusInfo(sv::kAudio, sv::kInput, 0, info), sb::kResultTrue);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(info.busType, sv::kMain);
    ASSERT_EQ(inst->getBusInfo(sv::kEvent, sv::kInput, 0, info), sb::kResultTrue);
    EXPECT_EQ(info.channelCount, 1);
    EXPECT_EQ(inst->getBusInfo(sv::kAudio, sv::kInput, 1, info), sb::kInvalidArgument);
    EXPECT_EQ(inst->getBusInfo(sv::kAudio, sv::kOutput, -1, info), sb::kInvalidArgument);
    sv::SpeakerArrangement arr = 0;
    EXPECT_EQ(inst->getBusArrangement(sv::kOutput, 0, arr), sb::kResultTrue);
    EXPECT_EQ(arr, kStereo);
    EXPECT_EQ(inst->getBusArrangement(sv::kOutput, 1, arr), sb::kInvalidArgument);
}

TEST_F(VstBuses, ArrangementRequestsRebuildTheBuses) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    sv::SpeakerArrangement in = k71, out = k71;
    EXPECT_EQ(inst->setBusArrangements(&in, 1, &out, 1), sb::kResultTrue);
    sv::SpeakerArrangement got = 0;
    inst->getBusArrangement(sv::kInput, 0, got);
    EXPECT_EQ(got, k71);
    ASSERT_EQ(inst->inputChannelNames().size(), 8u);
    EXPECT_EQ(inst->inputChannelNames()[7], "Sr");

    // The product keeps input and output alike.
    in = kStereo;
    out = k51;
    EXPECT_EQ(inst->setBusArrangements(&in, 1, &out, 1), sb::kResultFalse);
    inst->getBusArrangement(sv::kInput, 0, got);
    EXPECT_EQ(got, k51);
    inst->getBusArrangement(sv::kOutput, 0, got);
    EXPECT_EQ(got, k51);
    EXPECT_EQ(inst->inputChannelNames().size(), 6u);

    // A sidechain request is ignored when the product has none.
    sv::SpeakerArrangement ins[2] = {kStereo, kStereo};
    out = kStereo;
    EXPECT_EQ(inst->setBusArrangements(ins, 2, &out, 1), sb::kResultTrue);
    EXPECT_EQ(inst->getBusCount(sv::kAudio, sv::kInput), 1);
    EXPECT_TRUE(inst->sidechainChannelNames().empty());

    // No output bus: refused, buses stay as they were.
    EXPECT_EQ(inst->setBusArrangements(ins, 1, &out, 0), sb::kResultFalse);
    inst->getBusArrangement(sv::kOutput, 0, got);
    EXPECT_EQ(got, kStereo);
    EXPECT_EQ(inst->getBusCount(sv::kEvent, sv::kInput), 1);
}

}  // namespace
