// Placement attributes, border lists, opacity, the layout rules and hit testing.
#include <gtest/gtest.h>

#include "Tests/UI/UiTestSupport.h"
#include "UI/View/BorderList.h"
#include "UI/View/ViewLayout.h"

namespace {

TEST(BorderList, SidesAreSetOrAddedLeftToRightAndScaled) {
    struct Case {
        const char* text;
        double scale;
        CBorderList::EParse result;
        CBorder expected;
    };
    const Case cases[] = {
        {"0 *LT1 *RB-1", 1.0, CBorderList::kOk, {1, 1, -1, -1}},
        {"LR7", 1.5, CBorderList::kOk, {11, 0, 11, 0}},  // 10.5 rounds away from zero
        {"T3 B-5", 2.0, CBorderList::kOk, {0, 6, 0, -10}},
        {"lr2 *t+3", 1.0, CBorderList::kOk, {2, 3, 2, 0}},
        {"4 *1.25", 2.0, CBorderList::kOk, {11, 11, 11, 11}},  // 8 + round(2.5)
        {"T3 LR", 1.0, CBorderList::kNoNumber, {0, 3, 0, 0}},  // stops at the bad token
        {"T3 B5x L2", 1.0, CBorderList::kBadNumber, {0, 3, 0, 0}},
    };
    for (const Case& c : cases) {
        CBorderList b;
        EXPECT_EQ(b.parse(c.text), c.result) << c.text;
        EXPECT_EQ(b.evaluate(c.scale), c.expected) << c.text;
    }
}

TEST(ShareSpace, RatiosShareTheSpaceAndBoundsHold) {
    struct Case {
        std::vector<CGrowEntry> entries;
        double space;
        std::vector<double> expected;
    };
    const double inf = 1e300;
    const Case cases[] = {
        {{{0, 0, inf, 1}, {0, 0, inf, 3}}, 100, {25, 75}},
        {{{0, 60, inf, 1}, {0, 0, inf, 1}}, 100, {60, 40}},    // a floor takes its share first
        {{{0, 0, 10, 1}, {0, 0, inf, 1}}, 100, {10, 90}},      // a ceiling gives the rest away
        {{{30, 30, inf, 1}, {0, 0, inf, 1}}, 100, {65, 35}},   // starting from a compact size
        {{{0, 0, inf, 1}, {0, 0, inf, 1}}, -10, {0, 0}},        // no room: nothing, never negative
    };
    for (const Case& c : cases) {
        const std::vector<double> got = kelShareSpace(c.entries, c.space);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-9) << i;
    }
}

using UiLayout = UiFixture;

TEST_F(UiLayout, DockedFullOverlayAndMatchedViewsAtTwoScales) {
    const std::string doc = R"(
        <ui:view name="top" placement="top" height="10"/>
        <ui:view name="left" placement="left" width="20"/>
        <ui:view name="right" placement="right" width="10%"/>
        <ui:view name="bottom" placement="bottom" height="5" outer-border="T1"/>
        <ui:view name="fill" placement="full"/>
        <ui:view name="over" placement="overlay" width="50%" height="10" alignment-h="center" alignment-v="bottom"/>
        <ui:view name="twin" placement="match" placement-match="ui.main-window.window-renderer.root.left"/>
        <ui:view name="moved" placement="overlay" width="8" height="8" offset-x="3" offset-y="2"/>)";
    struct Case {
        const char* view;
        CRectD rect;  // at scale 1
    };
    const Case cases[] = {{"top", {0, 0, 200, 10}},   {"left", {0, 10, 20, 90}},   {"right", {180, 10, 20, 90}},
                          {"bottom", {20, 95, 160, 5}}, {"fill", {20, 10, 160, 84}}, {"over", {50, 90, 100, 10}},
                          {"twin", {0, 10, 20, 90}},   {"moved", {3, 2, 8, 8}}};
    for (double scale : {1.0, 2.0}) {
        ASSERT_FALSE(load(doc, scale));
        for (const Case& c : cases) {
            const CRectD want{c.rect.x * scale, c.rect.y * scale, c.rect.w * scale, c.rect.h * scale};
            EXPECT_EQ(view(c.view)->area().total, want) << c.view << " at " << scale;
        }
    }
}

TEST_F(UiLayout, InlineRowsAlignAndGrow) {
    const std::string rows = R"(<ui:view name="a" width="40" height="20"/>
                                <ui:view name="b" width="60" height="30" outer-border="5"/>
                                <ui:view name="c" width="full" height="10" is-new-inline-row="true"/>)";
    const std::string columns = R"(<ui:view name="a" width="40" height="20"/>
                                   <ui:view name="b" width="60" height="30" outer-border="5"/>
                                   <ui:view name="c" width="10" height="full" is-new-inline-row="true"/>)";
    struct Case {
        const std::string* doc;
        const char* rootAttrs;
        CRectD a, b, c;
    };
    const Case cases[] = {
        {&rows, "", {0, 0, 40, 20}, {45, 5, 60, 30}, {0, 40, 200, 10}},
        {&rows, "inline-alignment-h=\"right\" inline-alignment-v=\"bottom\"", {90, 50, 40, 20}, {135, 55, 60, 30},
         {0, 90, 200, 10}},
        {&columns, "is-inline-vertical=\"true\"", {0, 0, 40, 20}, {5, 25, 60, 30}, {70, 0, 10, 100}},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(load(*c.doc, 1.0, c.rootAttrs));
        EXPECT_EQ(view("a")->area().total, c.a) << c.rootAttrs;
        EXPECT_EQ(view("b")->area().total, c.b) << c.rootAttrs;
        EXPECT_EQ(view("c")->area().total, c.c) << c.rootAttrs;
    }
}

TEST_F(UiLayout, CompactSizesFollowContentChildrenAndBounds) {
    ASSERT_FALSE(load(R"(
        <ui:view name="box" inner-border="2">
          <ui:view name="l" placement="left" width="10" height="30"/>
          <ui:view name="i1" width="20" height="8"/>
          <ui:view name="i2" width="25" height="6" is-new-inline-row="true"/>
        </ui:view>
        <ui:view name="fixed" compact-width="33" compact-height="auto" min-height="4"/>
        <ui:view name="bounded" width="full" max-width="30" min-height="12" height="5"/>)"));
    // Left dock 10 + rows max(20, 25); height max(30, 8 + 6); plus the inner border on both sides.
    EXPECT_EQ(view("box")->area().compact[0], 39);
    EXPECT_EQ(view("box")->area().compact[1], 34);
    EXPECT_EQ(view("fixed")->area().compact[0], 33);
    EXPECT_FALSE(view("fixed")->area().compactAuto[0]);
    EXPECT_EQ(view("fixed")->area().compact[1], 4);
    EXPECT_EQ(view("bounded")->area().total.w, 30);
    EXPECT_EQ(view("bounded")->area().total.h, 12);
}

TEST_F(UiLayout, BadValuesGiveTheirMessageAndKeepTheOldValue) {
    ASSERT_FALSE(load(R"(<ui:view name="v" placement="left" width="20" alignment-h="left" alignment-v="top"
                                  inline-alignment-h="left" inline-alignment-v="top" opacity="0.5"/>)"));
    CView* v = view("v");
    struct Case {
        const char* attr;
        const char* bad;
        const char* message;
    };
    const Case cases[] = {
        {"placement", "center", "Invalid placement 'center'."},
        {"placement", "match", "Invalid match 'match'."},
        {"placement", "scroller-v", "Invalid placement 11, parent view does not support scrolling"},
        {"alignment-h", "middle", "Invalid alignment-h 'middle'."},
        {"alignment-v", "left", "Invalid alignment-v 'left'."},
        {"inline-alignment-h", "top", "Invalid inline-alignment-h 'top'."},
        {"inline-alignment-v", "right", "Invalid inline-alignment-v 'right'."},
        {"width", "wide", "Invalid value 'wide' of attribute 'width'."},
        {"opacity", "half", "Invalid value 'half' of attribute 'opacity'."},
        {"image-set", "is.nothing", "Image set 'is.nothing' not found."},
    };
    for (const Case& c : cases) {
        const CString before = v->attr(c.attr);
        CError e = v->setAttr(c.attr, c.bad);
        ASSERT_TRUE(e) << c.attr << "=" << c.bad;
        EXPECT_EQ(e.message().utf8(), c.message);
        EXPECT_EQ(v->attr(c.attr), before) << c.attr;
    }
    EXPECT_EQ(v->placement(), EPlacement::Left);
    EXPECT_EQ(v->alignment(0), EAlign::Start);
    EXPECT_DOUBLE_EQ(v->opacity(), 0.5);
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(v->area().total.w, 20);

    // A bad border token is logged with the view's name; the tokens before it stay.
    ASSERT_FALSE(v->setAttr("inner-border", "T3 Bx"));
    EXPECT_TRUE(logged("Invalid border syntax: 'Bx' (2) // ui.main-window.window-renderer.root.v"));
    EXPECT_EQ(v->innerBorder().evaluate(1.0), (CBorder{0, 3, 0, 0}));
    ASSERT_FALSE(v->setAttr("outer-border", "LR"));
    EXPECT_TRUE(logged("Invalid border syntax: 'LR' (1)"));
}

TEST_F(UiLayout, OpacityIsClampedAndMultipliedDownTheTree) {
    ASSERT_FALSE(load(R"(<ui:view name="p" opacity="0.5"><ui:view name="c" opacity="50%"/></ui:view>
                         <ui:view name="over" opacity="150%" draw-opacity="-2"/>)"));
    EXPECT_DOUBLE_EQ(view("p.c")->effectiveOpacity(), 0.25);
    EXPECT_DOUBLE_EQ(view("over")->opacity(), 1.0);
    EXPECT_DOUBLE_EQ(view("over")->effectiveOpacity(), 0.0);
    ASSERT_FALSE(view("p")->setAttr("opacity", "1"));
    EXPECT_DOUBLE_EQ(view("p.c")->effectiveOpacity(), 0.5);
}

TEST_F(UiLayout, HitTestsFindTheTopmostViewThatTakesTheMouse) {
    ASSERT_FALSE(load(R"(
        <ui:view name="panel" placement="full">
          <ui:view name="under" placement="overlay" width="100" height="50"/>
          <ui:view name="glass" placement="overlay" width="100" height="50" is-click-through="true"/>
          <ui:view name="gone" placement="overlay" width="100" height="50" is-hidden="true"/>
        </ui:view>
        <ui:view name="group" placement="overlay" width="40" height="40" alignment-h="right" is-intercepting="true">
          <ui:view name="member" placement="full"/>
        </ui:view>)"));
    EXPECT_EQ(renderer().viewAt(10, 10), view("panel.under"));
    EXPECT_EQ(renderer().viewAt(150, 80), view("panel"));
    EXPECT_EQ(renderer().viewAt(180, 10), view("group"));  // it intercepts its member's events
    EXPECT_EQ(renderer().viewAt(500, 10), nullptr);
    ASSERT_FALSE(view("group")->setAttr("is-intercepting-allow-childs", "true"));
    EXPECT_EQ(renderer().viewAt(180, 10), view("group.member"));
}

// A view that takes itself out of the tree from its own press handler and
// then still touches its own members (AddressSanitizer would see a view
// destroyed under its handler).
class CSelfRemover : public CView {
protected:
    CError onViewEvent(const CString& name, CEventParams& p) override {
        KEL_TRY(CView::onViewEvent(name, p));
        if (name != "mouse-press") return {};
        parentView()->releaseChildView(this);
        ++presses;
        return setState("pressed");
    }

public:
    int presses = 0;
};

TEST_F(UiLayout, ChildViewsComeAndGoAtRunTime) {
    ASSERT_FALSE(load(R"(<ui:view name="panel" placement="full" inner-border="10"/>)"));
    CView* panel = view("panel");
    ASSERT_FALSE(renderer().render());
    EXPECT_TRUE(panel->childViews().empty());

    // An added child is laid out, hit and painted with the next frame.
    std::unique_ptr<CObject> made = createObject("ui:view");
    made->setName("added");
    ASSERT_FALSE(made->setAttr("placement", "full", false));
    CView* added = nullptr;
    ASSERT_FALSE(panel->addChildView(std::move(made), &added));
    ASSERT_EQ(panel->childViews().size(), 1u);
    EXPECT_EQ(panel->childViews()[0], added);
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(added->area().total, (CRectD{10, 10, 180, 80}));
    EXPECT_EQ(renderer().viewAt(50, 50), added);
    EXPECT_GT(renderer().sectorsLastFrame(), 0u);

    // A child that fails to initialise does not stay.
    std::unique_ptr<CObject> bad = createObject("ui:view");
    ASSERT_FALSE(bad->setAttr("placement", "center", false));
    EXPECT_TRUE(panel->addChildView(std::move(bad)));
    EXPECT_EQ(panel->childViews().size(), 1u);

    // A plain release (not through the view tree) is followed by the list too.
    panel->releaseChild(added).reset();
    EXPECT_TRUE(panel->childViews().empty());

    // A child that releases itself while the window's press runs in it: the
    // renderer forgets it (hover, capture, hit) and destroys it afterwards.
    auto remover = std::make_unique<CSelfRemover>();
    remover->setName("remover");
    ASSERT_FALSE(remover->setAttr("placement", "full", false));
    CSelfRemover* raw = remover.get();
    ASSERT_FALSE(panel->addChildView(std::move(remover)));
    ASSERT_FALSE(renderer().render());
    auto mouse = [&](const char* event, const char* down) {
        CEventParams p{{"x", "50"}, {"y", "50"}, {"button", "L"}};
        if (down) p.set("is-button-down", down);
        return renderer().runEvent(event, p);
    };
    ASSERT_FALSE(mouse("mouse-move", nullptr));
    EXPECT_EQ(renderer().hoveredView(), raw);
    ASSERT_FALSE(mouse("mouse-button", "true"));
    EXPECT_TRUE(panel->childViews().empty());
    EXPECT_EQ(panel->findChild("remover"), nullptr);
    EXPECT_EQ(renderer().pendingDestroyCount(), 0u) << "destroyed once the press was over";
    EXPECT_NE(renderer().hoveredView(), static_cast<CView*>(raw));
    EXPECT_EQ(renderer().viewAt(50, 50), panel);
    ASSERT_FALSE(mouse("mouse-button", "false"));  // the release finds no captured view
    ASSERT_FALSE(renderer().render());
    EXPECT_GT(renderer().sectorsLastFrame(), 0u) << "its area is drawn again without it";
}

TEST_F(UiLayout, ViewsOutsideAViewTreeFailToLoad) {
    CUiShot::Options o;
    o.assets = false;
    CError e = shot->loadXml(R"(<definitions><ui:window-renderer name="r"><ui:view name="v"/></ui:window-renderer></definitions>)",
                             "t.xml", o);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unable to locate parent view.");
    e = shot->loadXml(R"(<definitions><ui:window-renderer name="r"/></definitions>)", "t.xml", o);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unable to find root view.");
}

}  // namespace
