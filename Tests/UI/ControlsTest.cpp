// The parameter controls on a real instance: knobs dragged, fine-dragged,
// wheeled and reset, discrete parameters stepping, several groups edited at
// once; values checked on the audio side's own parameters.
#include <cmath>

#include "Platform/Window/Window.h"
#include "Tests/UI/ControlsFixture.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamGroup.h"
#include "UI/Controls/ParamSwitch.h"
#include "UI/Controls/ReadOut.h"
#include "UI/Controls/SimpleSlider.h"

namespace uitest {
namespace {

constexpr const char* kInGain = "plugin.modMain.modTamblor.ingain";
constexpr const char* kMode = "plugin.modMain.modTamblor.mode-params.mode";

const char* const kBridges =
    "<ui:param-bridge name=\"ingain-bridge\" param=\"plugin.modMain.modTamblor.ingain\"/>"
    "<ui:param-bridge name=\"outgain-bridge\" param=\"plugin.modMain.modTamblor.outgain\"/>"
    "<ui:param-bridge name=\"mode-bridge\" param=\"plugin.modMain.modTamblor.mode-params.mode\"/>"
    "<ui:param-bridge name=\"release-bridge\" param=\"plugin.modMain.modTamblor.release\"/>"
    "<ui:param-bridge name=\"release-enable-bridge\" param=\"plugin.modMain.modTamblor.release-enable\"/>"
    "<ui:param-bridge name=\"form-bridge\" param=\"plugin.modMain.modTamblor.mode-params.trans-form\"/>"
    "<ui:param-bridge name=\"dc-bridge\" param=\"plugin.modMain.modTamblor.dcfilter-enable\"/>"
    "<ui:param-group-selector name=\"group-selector\"/>"
    "<ui:state-switch name=\"release-switch\" bridge=\"ui.release-enable-bridge\" "
    "target=\"ui.main-window.window-renderer.root.release\">"
    "  <ui:state-data if=\"0\" state-attrs=\"is-disabled\" is-disabled=\"true\"/>"
    "  <ui:state-data if=\"\" state-attrs=\"is-disabled\" is-disabled=\"false\"/>"
    "</ui:state-switch>";

const char* const kKnobs =
    "<ui:knob name=\"in\" width=\"74\" height=\"74\" image-set=\"is.knob3\" color=\"Knob\" bridge=\"ui.ingain-bridge\" "
    "group-selector=\"ui.group-selector\"/>"
    "<ui:knob name=\"in2\" width=\"74\" height=\"74\" image-set=\"is.knob\" color=\"Knob\" bridge=\"ui.ingain-bridge\" "
    "group-selector=\"ui.group-selector\" active-audio-groups=\"1\"/>"
    "<ui:knob name=\"mode\" width=\"74\" height=\"74\" image-set=\"is.knob\" bridge=\"ui.mode-bridge\" "
    "knob-multichange=\"^in\"/>"
    "<ui:knob name=\"release\" width=\"74\" height=\"74\" image-set=\"is.knob\" bridge=\"ui.release-bridge\"/>"
    "<ui:param-switch name=\"form0\" width=\"40\" height=\"16\" bridge=\"ui.form-bridge\" switch-value=\"0\"/>"
    "<ui:param-switch name=\"form1\" width=\"40\" height=\"16\" bridge=\"ui.form-bridge\" switch-value=\"1\"/>"
    "<ui:param-switch name=\"form2\" width=\"40\" height=\"16\" bridge=\"ui.form-bridge\" switch-value=\"2\"/>"
    "<ui:param-switch name=\"form\" width=\"60\" height=\"16\" bridge=\"ui.form-bridge\" font-name=\"font.compact\" "
    "is-show-state-name=\"true\"/>"
    "<ui:param-switch name=\"dc\" width=\"20\" height=\"16\" bridge=\"ui.dc-bridge\"/>"
    "<ui:simple-slider name=\"out-slider\" width=\"130\" height=\"16\" image-set=\"is.csurface\" "
    "bridge=\"ui.outgain-bridge\" is-new-inline-row=\"true\"/>"
    "<ui:readout name=\"in-value\" width=\"60\" height=\"16\" font-name=\"font.compact\" bridge=\"ui.ingain-bridge\" "
    "group-selector=\"ui.group-selector\"/>";

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
        EXPECT_NEAR(norm(kInGain), expected, 1e-6) << s.what;
        EXPECT_NEAR(knob->position(), expected, 1e-9) << s.what;
    }
    pumpUi();
    EXPECT_NEAR(knob->position(), expected, 1e-6) << "the echo agrees";

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

TEST_F(UiControls, EditBoxSetsTypedValuesAndRefusesBadText) {
    auto* r = uiView<CReadOut>("in-value");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->attr("text").utf8(), param(kInGain)->info().valueToText(0, value(kInGain)).utf8());
    ASSERT_FALSE(input(r, "mouse-press", {{"x", "5"}, {"y", "5"}}));
    EXPECT_FALSE(r->isEditing()) << "a single click leaves the box closed";
    ASSERT_FALSE(input(r, "mouse-press", {{"x", "5"}, {"y", "5"}, {"is-double-click", "true"}}));
    ASSERT_TRUE(r->isEditing());
    // Typed: clear the box, "6", Return.
    while (!r->editText().empty()) ASSERT_FALSE(input(r, "key-press", {{"key", "BackSpace"}}));
    for (const char* c : {"6", "x", " "}) ASSERT_FALSE(input(r, "key-press", {{"char", c}}));
    EXPECT_EQ(r->editText().utf8(), "6") << "characters a number cannot hold are not taken";
    ASSERT_FALSE(input(r, "key-press", {{"key", "Return"}}));
    EXPECT_FALSE(r->isEditing());
    // Gains are kept as factors: 6 dB.
    const double sixDb = std::pow(10.0, 6.0 / 20.0);
    EXPECT_NEAR(value(kInGain), sixDb, 1e-12);
    // Bad texts are refused: the value stays, the box stays open.
    for (const char* bad : {"1.2.3", "-", "", "--4"}) {
        ASSERT_FALSE(r->openEditBox());
        ASSERT_FALSE(r->setEditText(bad));
        EXPECT_FALSE(r->commitEditBox()) << bad;
        EXPECT_TRUE(r->isEditing()) << bad;
        EXPECT_TRUE(r->stateSet().isSet("edit-error")) << bad;
        EXPECT_NEAR(value(kInGain), sixDb, 1e-12) << bad;
        ASSERT_FALSE(input(r, "key-press", {{"key", "Escape"}}));
        EXPECT_FALSE(r->isEditing());
    }
    // Out of range: clamped; a comma is a decimal point.
    ASSERT_FALSE(r->openEditBox());
    ASSERT_FALSE(r->setEditText("99"));
    EXPECT_TRUE(r->commitEditBox());
    EXPECT_DOUBLE_EQ(value(kInGain), param(kInGain)->info().maxValue(0));
    ASSERT_FALSE(r->openEditBox());
    ASSERT_FALSE(r->setEditText("2,5"));
    EXPECT_TRUE(r->commitEditBox());
    EXPECT_NEAR(value(kInGain), std::pow(10.0, 2.5 / 20.0), 1e-12);
    pumpUi();
    EXPECT_EQ(r->attr("text").utf8(), "2.50");
}

TEST_F(UiControls, StateSwitchDisablesAControlWhileItsConditionHolds) {
    CKnob* release = uiView<CKnob>("release");
    auto* enable = uiObject<CParamBridge>("ui.release-enable-bridge");
    ASSERT_NE(release, nullptr);
    ASSERT_TRUE(enable->isReady());
    ASSERT_FALSE(enable->setValue(0, 0, 0.0));
    EXPECT_TRUE(release->isBlocked());
    const char* kRelease = "plugin.modMain.modTamblor.release";
    const double before = value(kRelease);
    ASSERT_FALSE(input(release, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_EQ(value(kRelease), before);
    ASSERT_FALSE(enable->setValue(0, 0, 1.0));
    EXPECT_FALSE(release->isBlocked());
    ASSERT_FALSE(input(release, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_GT(value(kRelease), before);
}

TEST_F(UiControls, SwitchArraysSelectorsAndTogglesStepTheirParameter) {
    const char* kForm = "plugin.modMain.modTamblor.mode-params.trans-form";
    const char* kDc = "plugin.modMain.modTamblor.dcfilter-enable";
    CParamSwitch* member[3] = {uiView<CParamSwitch>("form0"), uiView<CParamSwitch>("form1"), uiView<CParamSwitch>("form2")};
    CParamSwitch* selector = uiView<CParamSwitch>("form");
    CParamSwitch* dc = uiView<CParamSwitch>("dc");
    ASSERT_TRUE(member[0] && member[1] && member[2] && selector && dc);
    auto onStates = [&] {
        std::string s;
        for (CParamSwitch* m : member) s += m->stateSet().isSet("on") ? '1' : '0';
        return s;
    };
    EXPECT_EQ(onStates(), "100");
    EXPECT_EQ(selector->attr("text").utf8(), "Classic");
    ASSERT_FALSE(input(member[2], "mouse-release", {{"x", "3"}, {"y", "3"}}));
    EXPECT_EQ(value(kForm), 2.0);
    EXPECT_EQ(onStates(), "001") << "one member of the array is on";
    EXPECT_EQ(selector->attr("text").utf8(), "Asymm");
    // The selector wraps forward, steps back with the right button and the wheel.
    ASSERT_FALSE(input(selector, "mouse-release", {{"x", "3"}, {"y", "3"}}));
    EXPECT_EQ(value(kForm), 0.0);
    ASSERT_FALSE(input(selector, "mouse-release-r", {{"x", "3"}, {"y", "3"}}));
    EXPECT_EQ(value(kForm), 2.0);
    ASSERT_FALSE(input(selector, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(value(kForm), 1.0);
    EXPECT_EQ(onStates(), "010");
    // A two-state parameter toggles.
    const double dcBefore = value(kDc);
    ASSERT_FALSE(input(dc, "mouse-release", {{"x", "3"}, {"y", "3"}}));
    EXPECT_EQ(value(kDc), 1.0 - dcBefore);
    EXPECT_EQ(dc->isOn(), dcBefore == 0.0);
    ASSERT_FALSE(input(dc, "mouse-release", {{"x", "3"}, {"y", "3"}}));
    EXPECT_EQ(value(kDc), dcBefore);
}

TEST_F(UiControls, SliderFollowsThePointerAlongItsTrack) {
    const char* kOutGain = "plugin.modMain.modTamblor.outgain";
    auto* slider = uiView<CSimpleSlider>("out-slider");
    ASSERT_NE(slider, nullptr);
    const double track = slider->area().inner.w;
    ASSERT_GT(track, 100.0);
    const double start = norm(kOutGain);
    EXPECT_NEAR(slider->position(), start, 1e-12);
    ASSERT_FALSE(input(slider, "mouse-press", {{"x", "20"}, {"y", "8"}}));
    ASSERT_FALSE(input(slider, "mouse-move", {{"x", CString::number(20 - track / 4)}, {"y", "8"}}));
    ASSERT_FALSE(input(slider, "mouse-release", {{"x", CString::number(20 - track / 4)}, {"y", "8"}}));
    EXPECT_NEAR(norm(kOutGain), std::max(0.0, start - 0.25), 1e-9) << "a quarter of the track is a quarter of the range";
    ASSERT_FALSE(input(slider, "mouse-press", {{"x", "5"}, {"y", "8"}, {"is-double-click", "true"}}));
    EXPECT_DOUBLE_EQ(value(kOutGain), param(kOutGain)->info().defaultValue(0));
}


TEST_F(UiControls, KeysStepFocusedControlsAndEditAReadOutThroughTheProtocol) {
    auto key = [](CView* v, uint32_t code, bool shift = false, bool ctrl = false) {
        return input(v, "key-press", {{"keycode", CString::number(int64_t(code))},
                                      {"is-shift", shift ? "true" : "false"},
                                      {"is-ctrl", ctrl ? "true" : "false"}});
    };
    // A knob steps as its wheel does: a notch per arrow, fine with Shift, ten per page.
    CKnob* knob = uiView<CKnob>("in");
    ASSERT_FALSE(input(knob, "mouse-wheel", {{"delta", "-1"}}));  // away from the top
    double expected = norm(kInGain);
    struct Step {
        uint32_t code;
        bool shift;
        double change;
    };
    for (const Step& s : {Step{plat::kKeyUp, false, 0.02}, Step{plat::kKeyLeft, true, -0.002},
                          Step{plat::kKeyPageUp, false, 0.2}, Step{plat::kKeyRight, false, 0.02}}) {
        ASSERT_FALSE(key(knob, s.code, s.shift));
        expected += s.change;
        EXPECT_NEAR(norm(kInGain), expected, 1e-6) << s.code;
    }
    ASSERT_FALSE(key(knob, 'a')) << "other keys are not the knob's";
    EXPECT_NEAR(norm(kInGain), expected, 1e-6);
    // A selector steps one state per arrow.
    const char* kForm = "plugin.modMain.modTamblor.mode-params.trans-form";
    CParamSwitch* selector = uiView<CParamSwitch>("form");
    const double form = value(kForm);
    ASSERT_FALSE(key(selector, plat::kKeyRight));
    EXPECT_EQ(value(kForm), form == 2.0 ? 0.0 : form + 1.0);
    ASSERT_FALSE(key(selector, plat::kKeyLeft));
    EXPECT_EQ(value(kForm), form);

    // The read-out's box with the window's key codes: the value's text comes
    // selected, letters are refused, the caret moves, Enter sets the value.
    auto* r = uiView<CReadOut>("in-value");
    ASSERT_FALSE(input(r, "mouse-press", {{"x", "5"}, {"y", "5"}, {"is-double-click", "true"}}));
    ASSERT_TRUE(r->isEditing());
    EXPECT_EQ(r->edit().selectedText(), r->edit().text());
    for (uint32_t c : {uint32_t('-'), uint32_t('q'), uint32_t('3')}) ASSERT_FALSE(key(r, c));
    EXPECT_EQ(r->editText().utf8(), "-3");
    ASSERT_FALSE(key(r, plat::kKeyHome));
    ASSERT_FALSE(key(r, plat::kKeyDelete));
    ASSERT_FALSE(key(r, plat::kKeyEnd));
    for (uint32_t c : {uint32_t('.'), uint32_t('5')}) ASSERT_FALSE(key(r, c));
    EXPECT_EQ(r->editText().utf8(), "3.5");
    ASSERT_FALSE(key(r, plat::kKeyEnter));
    EXPECT_FALSE(r->isEditing());
    EXPECT_NEAR(value(kInGain), std::pow(10.0, 3.5 / 20.0), 1e-12);
    // Escape leaves the value as it was.
    ASSERT_FALSE(r->openEditBox());
    ASSERT_FALSE(key(r, '1'));
    ASSERT_FALSE(key(r, plat::kKeyEscape));
    EXPECT_FALSE(r->isEditing());
    EXPECT_NEAR(value(kInGain), std::pow(10.0, 3.5 / 20.0), 1e-12);
}

}  // namespace
}  // namespace uitest
