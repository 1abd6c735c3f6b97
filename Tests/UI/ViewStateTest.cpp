// View states, commands driven by input events, and state switches.
#include <gtest/gtest.h>

#include "Tests/UI/UiTestSupport.h"
#include "UI/View/StateSwitch.h"

namespace {

using UiStates = UiFixture;

const char* const kButton = R"(
    <ui:view name="b" width="70" height="24" color="Button" image-set="is.button">
      <ui:view-state state-name="active" state-attrs="color-state image-set-range" color-state="Active"
                     image-set-range="Active"/>
      <ui:view-state state-name="hover" state-attrs="color-state" color-state="Hover"/>
      <ui:view-state state-name="pushed" state-attrs="image-set-range inner-border" image-set-range="Pushed"
                     inner-border="0 *LT1 *RB-1"/>
      <ui:view-state state-name="solo" state-attrs="color-state" color-state="/Error"/>
      <ui:view-command on-event="mouse-press" set-state="pushed"/>
      <ui:view-command on-event="mouse-release" unset-state="pushed" toggle-state="active"/>
      <ui:view-command on-event="mouse-cancel" unset-state="pushed"/>
      <ui:view-command on-event="mouse-release" condition-state-set="shown" set-attr="hint" set-attr-value="seen"/>
    </ui:view>)";

TEST_F(UiStates, StatesCombineInNameOrderAndRestoreWhenCleared) {
    ASSERT_FALSE(load(kButton));
    CView* b = view("b");
    struct Step {
        const char* verb;  // "+" set, "-" clear
        const char* state;
        const char* colorState;
        const char* range;
    };
    const Step steps[] = {
        {"+", "hover", "Hover", ""},
        {"+", "pushed", "Hover", "Pushed"},          // pushed images with the hover colour
        {"-", "hover", "", "Pushed"},                // the images stay, the colour state goes
        {"+", "active", "Active", "Pushed"},         // "pushed" comes after "active": its images win
        {"+", "hover", "Active Hover", "Pushed"},    // colour states join
        {"+", "solo", "Error", "Pushed"},            // "/" replaces the list
        {"-", "solo", "Active Hover", "Pushed"},
        {"-", "pushed", "Active Hover", "Active"},
    };
    for (const Step& s : steps) {
        ASSERT_FALSE(s.verb[0] == '+' ? b->setState(s.state) : b->unsetState(s.state));
        EXPECT_EQ(b->attr("color-state").utf8(), s.colorState) << s.verb << s.state;
        EXPECT_EQ(b->attr("image-set-range").utf8(), s.range) << s.verb << s.state;
    }
    EXPECT_EQ(b->imageGroup(), b->imageSet()->findGroup("Active"));
}

TEST_F(UiStates, InputRunsCommandsThroughTheWindow) {
    ASSERT_FALSE(load(kButton));
    CView* b = view("b");
    CWindowRenderer& r = renderer();
    auto mouse = [&](const char* event, double x, double y, const char* down = nullptr) {
        CEventParams p{{"x", CString::number(x)}, {"y", CString::number(y)}};
        if (down) p.set("button", CString::number(int64_t('L'))), p.set("is-button-down", down);
        ASSERT_FALSE(r.runEvent(event, p));
    };
    mouse("mouse-move", 10, 10);
    EXPECT_TRUE(b->stateSet().isSet("hover"));
    EXPECT_EQ(r.hoveredView(), b);
    mouse("mouse-button", 10, 10, "true");
    EXPECT_TRUE(b->stateSet().isSet("pushed"));
    mouse("mouse-button", 12, 12, "false");
    EXPECT_FALSE(b->stateSet().isSet("pushed"));
    EXPECT_TRUE(b->stateSet().isSet("active"));
    EXPECT_EQ(b->attr("hint").utf8(), "");  // its condition state "shown" is not set
    ASSERT_FALSE(b->setState("shown"));
    // Released elsewhere: cancelled, no toggle.
    mouse("mouse-button", 10, 10, "true");
    mouse("mouse-move", 150, 80);
    EXPECT_FALSE(b->stateSet().isSet("hover"));
    mouse("mouse-button", 150, 80, "false");
    EXPECT_FALSE(b->stateSet().isSet("pushed"));
    EXPECT_TRUE(b->stateSet().isSet("active"));
    mouse("mouse-button", 10, 10, "true");
    mouse("mouse-button", 10, 10, "false");
    EXPECT_FALSE(b->stateSet().isSet("active"));
    EXPECT_EQ(b->attr("hint").utf8(), "seen");
}

TEST_F(UiStates, CommandsRunEventsOnTargetsWithParameters) {
    ASSERT_FALSE(load(R"(
        <ui:view name="src" width="20" height="20">
          <ui:view-command on-event="mouse-press" run-event="set-state" run-event-params="args"
                           run-event-target="ui.main-window.window-renderer.root.dst nowhere"/>
          <ui:view-command on-event="mouse-press" run-event="toggle-state" run-event-forward-params="state"
                           run-event-target="ui.main-window.window-renderer.root.dst" is-run-event-bridged="true"/>
          <ui:view-command on-event="poke" toggle-attr="is-flag" toggle-attr-target="ui.main-window.window-renderer.root.dst"/>
        </ui:view>
        <ui:view name="dst" width="20" height="20"/>)",
                      1.0, "", 200, 100,
                      R"(<core:object name="args"><ui:param-data attr="state" value="lit"/></core:object>)"));
    CView* src = view("src");
    CView* dst = view("dst");
    CEventParams p{{"state", "blink"}};
    ASSERT_FALSE(src->runEvent("mouse-press", p));
    EXPECT_TRUE(dst->stateSet().isSet("lit"));
    EXPECT_TRUE(logged("Target not found: 'nowhere' (command ui.main-window.window-renderer.root.src)"));
    EXPECT_FALSE(dst->stateSet().isSet("blink"));  // bridged: runs after the current event
    ASSERT_FALSE(renderer().render());
    EXPECT_TRUE(dst->stateSet().isSet("blink"));
    ASSERT_FALSE(src->runEvent("poke"));
    EXPECT_EQ(dst->attr("is-flag").utf8(), "true");
    CError e = dst->runEvent("poke");
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unknown event 'poke'.");
}

TEST_F(UiStates, MisplacedOrIncompleteDeclarationsFail) {
    struct Case {
        const char* views;
        const char* message;
    };
    const Case cases[] = {
        {R"(<ui:view name="v"><core:object name="x"><ui:view-state state-name="a" state-attrs="color"/></core:object></ui:view>)",
         "Parent object is not a view."},
        {R"(<ui:view name="v"><core:object name="x"><ui:view-command on-event="a"/></core:object></ui:view>)",
         "Parent object is not a view."},
        {R"(<ui:view name="v"><ui:view-state state-attrs="color"/></ui:view>)", "State name is empty."},
        {R"(<ui:view name="v"><ui:view-state name="s" state-name="a"/></ui:view>)",
         "The state-attrs attribute is empty in ui.main-window.window-renderer.root.v.s"},
        {R"(<ui:view name="v"><ui:view-state name="s" state-name="a" state-attrs="state-name"/></ui:view>)",
         "Reserved attribute name specified in state-attrs in ui.main-window.window-renderer.root.v.s"},
        {R"(<ui:state-switch name="w"><ui:state-data name="d" if="1"/></ui:state-switch>)",
         "Both state-attrs and state-tag are empty in ui.main-window.window-renderer.root.w.d"},
    };
    for (const Case& c : cases) {
        CError e = load(c.views);
        ASSERT_TRUE(e) << c.views;
        EXPECT_EQ(e.message().utf8(), c.message);
    }
}

TEST_F(UiStates, TimedStatesMoveTheOpacityOverTheFrames) {
    ASSERT_FALSE(load(R"(
        <ui:view name="v" width="10" height="10" color="Action" opacity="0.2">
          <ui:view-state state-name="shown" state-attrs="opacity color-state" opacity="100%" color-state="Hover"
                         duration="0.2"/>
          <ui:view-command on-event="state-ready" set-attr="hint" set-attr-value="ready"/>
        </ui:view>)"));
    CView* v = view("v");
    ASSERT_FALSE(v->setState("shown"));
    EXPECT_TRUE(v->inTransition());
    EXPECT_DOUBLE_EQ(v->opacity(), 0.2);             // moves with the frames
    EXPECT_EQ(v->attr("color-state").utf8(), "Hover");  // not a moving attribute: at once
    const double start = kelSecondsSinceStart();
    double last = 0.2;
    while (v->inTransition() && kelSecondsSinceStart() - start < 2.0) {
        ASSERT_FALSE(renderer().render());
        EXPECT_GE(v->opacity(), last);
        last = v->opacity();
    }
    EXPECT_FALSE(v->inTransition());
    EXPECT_DOUBLE_EQ(v->opacity(), 1.0);
    EXPECT_EQ(v->attr("hint").utf8(), "ready");
}

TEST(StateExpression, ParsesAndEvaluatesConditions) {
    struct Case {
        const char* text;
        double value;  // of every bridge
        bool holds;
    };
    const Case cases[] = {
        {"ui.lim-mode-bridge == 0 8 9", 8.4, true},
        {"ui.lim-mode-bridge == 0 8 9", 8.5, true},  // rounds to 9
        {"ui.lim-mode-bridge == 0 8 9", 7.5, true},  // rounds to 8
        {"ui.lim-mode-bridge == 0 8 9", 7.4, false},
        {"ui.lim-mode-bridge == 0 8 9", -0.5, false},  // rounds to -1
        {"ui.a != 5 && ui.a != 6 && ui.a != 7", 6, false},
        {"ui.a != 5 && ui.a != 6 && ui.a != 7", 4, true},
        {"ui.a == 0 ||ui.b == 3", 3, true},
        {"ui.graphmode-bridge=1", 1, true},
        {"ui.a == !1 2", 3, true},
        {"! 3", 3, false},
        {"2 3 |", 3, true},
    };
    auto valueOf = [](double v) {
        return [v](const CString&, double* out) {
            *out = v;
            return true;
        };
    };
    for (const Case& c : cases) {
        CStateExpression e;
        ASSERT_FALSE(kelParseStateExpression(c.text, "ui.default", &e)) << c.text;
        EXPECT_EQ(kelEvaluateStateExpression(e, valueOf(c.value)), c.holds) << c.text << " at " << c.value;
    }
    CStateExpression e;
    ASSERT_FALSE(kelParseStateExpression("ui.x == 1", "", &e));
    EXPECT_FALSE(kelEvaluateStateExpression(e, [](const CString&, double*) { return false; }));

    struct Bad {
        const char* text;
        const char* defaultBridge;
        const char* message;
    };
    const Bad bad[] = {
        {"1 2", "", "Default bridge name is not set."},
        {"ui.a == 1 x", "d", "Invalid integer value 'x'"},
        {"ui.a == 1 !2", "d", "The '!' sign is only allowed before the list of values: 'ui.a == 1 !2'"},
        {"ui.!a == 1", "d", "The '!' sign is only allowed before the list of values: 'ui.!a == 1'"},
        {" | || ", "d", "Condition group list cannot be empty: ' | || '"},
        {"ui.a ==", "d", "Value list cannot be empty: 'ui.a =='"},
        {"== 1", "d", "Invalid 'if' attribute syntax."},
        {"ui.a == 1 = 2", "d", "Invalid 'if' attribute syntax."},
    };
    for (const Bad& b : bad) {
        CError err = kelParseStateExpression(b.text, b.defaultBridge, &e);
        ASSERT_TRUE(err) << b.text;
        EXPECT_EQ(err.message().utf8(), b.message);
    }
}

TEST_F(UiStates, StateSwitchesApplyTheEntriesThatHold) {
    ASSERT_FALSE(load(R"(
        <core:object name="mode" value="2"/>
        <ui:view name="t" width="10" height="10"/>
        <ui:state-switch name="w" bridge="ui.main-window.window-renderer.root.mode"
                         target="ui.main-window.window-renderer.root.t">
          <ui:state-data if="0 1" state-attrs="color" color="Alarm"/>
          <ui:state-data if="2" state-attrs="color" color="Lamp" state-tag="lit"/>
          <ui:state-data state-attrs="color" color="Panel"/>
        </ui:state-switch>)"));
    CObject* mode = shot->root()->findObject("ui.main-window.window-renderer.root.mode");
    CObject* sw = shot->root()->findObject("ui.main-window.window-renderer.root.w");
    struct Step {
        const char* value;
        const char* color;
        bool lit;
    };
    for (const Step& s : {Step{"2", "Lamp", true}, Step{"0.6", "Alarm", false}, Step{"5", "Panel", false}}) {
        ASSERT_FALSE(mode->setAttr("value", s.value));
        ASSERT_FALSE(sw->runEvent("update"));
        EXPECT_EQ(view("t")->attr("color").utf8(), s.color) << s.value;
        EXPECT_EQ(view("t")->stateSet().isSet("lit"), s.lit) << s.value;
    }
}

}  // namespace
