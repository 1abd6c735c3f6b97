// The parameter controls on a real instance: knobs dragged, fine-dragged,
// wheeled and reset, discrete parameters stepping, several groups edited at
// once; values checked on the audio side's own parameters.
#include <cmath>

#include "Tests/UI/ControlsFixture.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamGroup.h"

namespace uitest {
namespace {

constexpr const char* kInGain = "plugin.modMain.modTamblor.ingain";
constexpr const char* kMode = "plugin.modMain.modTamblor.mode-params.mode";

const char* const kBridges =
    "<ui:param-bridge name=\"ingain-bridge\" param=\"plugin.modMain.modTamblor.ingain\"/>"
    "<ui:param-bridge name=\"mode-bridge\" param=\"plugin.modMain.modTamblor.mode-params.mode\"/>"
    "<ui:param-group-selector name=\"group-selector\"/>";

const char* const kKnobs =
    "<ui:knob name=\"in\" width=\"74\" height=\"74\" image-set=\"is.knob3\" color=\"Knob\" bridge=\"ui.ingain-bridge\" "
    "group-selector=\"ui.group-selector\"/>"
    "<ui:knob name=\"in2\" width=\"74\" height=\"74\" image-set=\"is.knob\" color=\"Knob\" bridge=\"ui.ingain-bridge\" "
    "group-selector=\"ui.group-selector\" active-audio-groups=\"1\"/>"
    "<ui:knob name=\"mode\" width=\"74\" height=\"74\" image-set=\"is.knob\" bridge=\"ui.mode-bridge\" "
    "knob-multichange=\"^in\"/>";

class UiControls : public UiInstance {
protected:
    void SetUp() override {
        UiInstance::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        openUi(kKnobs, kBridges);
    }
    // Normalised position of a value on the audio side.
    static double norm(const char* name, uint32_t g = 0) {
        return param(name)->info().normalize(0, value(name, g));
    }
};

TEST_F(UiControls, KnobDragFineDragWheelAndDoubleClickGiveTheirChanges) {
    CKnob* knob = uiView<CKnob>("in");
    ASSERT_NE(knob, nullptr);
    ASSERT_TRUE(knob->binding().isReady());
    const double start = norm(kInGain);
    EXPECT_NEAR(knob->position(), start, 1e-12);
    // With the default precision a drag of 100 logical pixels moves 0.4, a
    // fine drag a tenth of that, a wheel notch 0.02 and a fine notch 0.002.
    struct Step {
        const char* what;
        double dy;      // drag distance (negative: up); 0: a wheel notch
        double delta;   // wheel notches
        bool shift;
        double change;  // expected normalised change
    };
    const Step steps[] = {
        {"drag up", -50, 0, false, 0.2},
        {"drag down", 25, 0, false, -0.1},
        {"fine drag", -100, 0, true, 0.04},
        {"wheel up", 0, 1, false, 0.02},
        {"wheel down", 0, -1, false, -0.02},
        {"fine wheel", 0, 1, true, 0.002},
    };
    double expected = start;
    for (const Step& s : steps) {
        const CString shift = s.shift ? "true" : "false";
        if (s.delta != 0) {
            ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", CString::number(s.delta)}, {"is-shift", shift}}));
        } else {
            ASSERT_FALSE(input(knob, "mouse-press", {{"x", "30"}, {"y", "30"}, {"is-shift", shift}}));
            ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", CString::number(30 + s.dy / 2)}, {"is-shift", shift}}));
            ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", CString::number(30 + s.dy)}, {"is-shift", shift}}));
            ASSERT_FALSE(input(knob, "mouse-release", {{"x", "30"}, {"y", CString::number(30 + s.dy)}}));
        }
        expected += s.change;
        // The audio side's value, and what the editor shows before the echo.
        EXPECT_NEAR(norm(kInGain), expected, 1e-9) << s.what;
        EXPECT_NEAR(knob->position(), expected, 1e-9) << s.what;
    }
    pumpUi();
    EXPECT_NEAR(knob->position(), expected, 1e-9) << "the echo agrees";

    // Far beyond the top: stops at 1.0.
    ASSERT_FALSE(input(knob, "mouse-press", {{"x", "30"}, {"y", "30"}}));
    ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", "-2000"}}));
    ASSERT_FALSE(input(knob, "mouse-release", {{"x", "30"}, {"y", "-2000"}}));
    EXPECT_DOUBLE_EQ(norm(kInGain), 1.0);
    EXPECT_DOUBLE_EQ(value(kInGain), param(kInGain)->info().maxValue(0));

    // A double click puts the default back.
    ASSERT_FALSE(input(knob, "mouse-press", {{"x", "30"}, {"y", "30"}, {"is-double-click", "true"}}));
    ASSERT_FALSE(input(knob, "mouse-release", {{"x", "30"}, {"y", "30"}}));
    EXPECT_DOUBLE_EQ(value(kInGain), param(kInGain)->info().defaultValue(0));
}

TEST_F(UiControls, DiscreteParameterMovesOneStepPerNotchOrGatheredDrag) {
    CKnob* knob = uiView<CKnob>("mode");
    ASSERT_NE(knob, nullptr);
    ASSERT_TRUE(knob->binding().isDiscrete());
    const double start = value(kMode);
    ASSERT_GE(start, 1.0);
    ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_EQ(value(kMode), start + 1);
    ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", "-1"}, {"is-shift", "true"}}));
    EXPECT_EQ(value(kMode), start) << "a fine notch is still one step";
    ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(value(kMode), start - 1);
    // A drag moves whole steps only: the range of 11 steps is 250 pixels at
    // the default precision, so 23 pixels (one step is 22.7) make one step.
    ASSERT_FALSE(input(knob, "mouse-press", {{"x", "30"}, {"y", "30"}}));
    ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", "20"}}));
    EXPECT_EQ(value(kMode), start - 1);
    ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", "7"}}));
    EXPECT_EQ(value(kMode), start);
    ASSERT_FALSE(input(knob, "mouse-release", {{"x", "30"}, {"y", "7"}}));
}

TEST_F(UiControls, ActiveGroupsChangeTogetherAndTheSelectorPicksTheGroup) {
    CKnob* both = uiView<CKnob>("in2");
    CKnob* one = uiView<CKnob>("in");
    ASSERT_NE(both, nullptr);
    const double g0 = norm(kInGain, 0), g1 = norm(kInGain, 1), g2 = norm(kInGain, 2);
    ASSERT_FALSE(input(both, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_NEAR(norm(kInGain, 0), g0 + 0.02, 1e-9);
    EXPECT_NEAR(norm(kInGain, 1), g1 + 0.02, 1e-9);
    EXPECT_NEAR(norm(kInGain, 2), g2, 1e-12) << "a group that is not active stays";
    // Selecting group 2 makes the knobs edit it.
    auto* selector = uiObject<CParamGroupSelector>("ui.group-selector");
    ASSERT_FALSE(selector->setIndex(2));
    EXPECT_NEAR(one->position(), g2, 1e-12);
    ASSERT_FALSE(input(one, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_NEAR(norm(kInGain, 2), g2 - 0.02, 1e-9);
    EXPECT_NEAR(norm(kInGain, 0), g0 + 0.02, 1e-9);
    // Ctrl with the wheel moves the multi-change knobs too (here one knob
    // of another parameter).
    CKnob* mode = uiView<CKnob>("mode");
    const double modeStart = value(kMode);
    ASSERT_FALSE(input(mode, "mouse-wheel", {{"delta", "1"}, {"is-ctrl", "true"}}));
    EXPECT_EQ(value(kMode), modeStart + 1);
    EXPECT_NEAR(norm(kInGain, 2), g2, 1e-9);
}

TEST_F(UiControls, BlockedKnobAndUnreadyBridgeChangeNothing) {
    CKnob* knob = uiView<CKnob>("in");
    const double start = value(kInGain);
    ASSERT_FALSE(knob->setAttr("is-disabled", "true"));
    ASSERT_TRUE(knob->isBlocked());
    ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", "1"}}));
    ASSERT_FALSE(input(knob, "mouse-press", {{"x", "30"}, {"y", "30"}}));
    ASSERT_FALSE(input(knob, "mouse-move", {{"x", "30"}, {"y", "0"}}));
    EXPECT_EQ(value(kInGain), start);
    // A bridge to a parameter the audio side lacks never becomes ready.
    auto* missing = uiObject<CParamBridge>("ui.ingain-bridge");
    ASSERT_TRUE(missing->isReady());
    CParamBridge bad;
    EXPECT_TRUE(bad.setNormalized(0, 0, 0.5)) << "not ready: refused";
}

}  // namespace
}  // namespace uitest
