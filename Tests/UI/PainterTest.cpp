// Drawing inside clips: fills, boxes at fractional scales, text styles, workers.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "Tests/UI/UiTestSupport.h"
#include "UI/Render/Painter.h"
#include "UI/Render/RenderWorkers.h"
#include "UI/Resources/ResourceObjects.h"

namespace {

TEST(Painter, FillsStayInsideTheClipAndBlendWithTheirOpacity) {
    CBitmap32 t(20, 10, 0xFF000000u);
    const CPainter p(t, {5, 0, 15, 10}, 1.0);
    p.fillRect({0, 2, 20, 3}, {200, 100, 50}, 1.0);
    p.fillRect({0, 6, 20, 2}, {200, 100, 50}, 0.5);
    EXPECT_EQ(t.at(4, 3), 0xFF000000u);   // left of the clip
    EXPECT_EQ(t.at(5, 3), 0xFFC86432u);
    EXPECT_EQ(t.at(14, 4), 0xFFC86432u);
    EXPECT_EQ(t.at(15, 3), 0xFF000000u);  // right of the clip
    EXPECT_EQ(t.at(5, 5), 0xFF000000u);   // below the first fill
    EXPECT_EQ(t.at(8, 6) & 0xFFFFFFu, 0x643219u);  // half of the colour over black
    const CPainter narrow = p.clipped({0, 0, 8, 1});
    narrow.fillRect({0, 0, 20, 10}, {255, 255, 255}, 1.0);
    EXPECT_EQ(t.at(7, 0), 0xFFFFFFFFu);
    EXPECT_EQ(t.at(8, 0), 0xFF000000u);
    EXPECT_EQ(t.at(4, 0), 0xFF000000u);
}

TEST(RenderWorkers, EveryTaskRunsOnceWhateverTheWorkerCount) {
    for (int workers : {0, 1, 3, 7}) {
        CRenderWorkers pool(workers);
        EXPECT_EQ(pool.count(), workers);
        for (size_t n : {size_t(0), size_t(1), size_t(5), size_t(64)}) {
            std::vector<std::atomic<int>> runs(n);
            pool.run(n, [&](size_t i) { runs[i].fetch_add(1); });
            for (size_t i = 0; i < n; ++i) EXPECT_EQ(runs[i].load(), 1) << workers << " workers, task " << i;
        }
    }
}

using UiPainter = UiFixture;

// Boxes are stretched from eight pieces; at scales where a piece is not a
// whole number of pixels no seam may show inside the box.
TEST_F(UiPainter, BoxesHaveNoSeamsAtAnyScale) {
    for (double scale : {1.0, 1.25, 1.5, 2.0}) {
        ASSERT_FALSE(load(R"(<ui:view name="b" width="90" height="40" color="Button" image-set="is.button"/>)", scale));
        ASSERT_FALSE(renderer().render());
        const CBitmap32& bits = renderer().backBuffer();
        const CPixelClip box = view("b")->area().total.pixels();
        const int midY = (box.y0 + box.y1) / 2, midX = (box.x0 + box.x1) / 2;
        const int edge = int(std::ceil(6 * scale));  // past the corner radius and the border
        const uint32_t inside = bits.at(midX, midY);
        for (int x = box.x0 + edge; x < box.x1 - edge; ++x) EXPECT_EQ(bits.at(x, midY), inside) << scale << " x " << x;
        for (int y = box.y0 + edge; y < box.y1 - edge; ++y) EXPECT_EQ(bits.at(midX, y), inside) << scale << " y " << y;
        // The border row is one colour along the straight part of the edge.
        for (int x = box.x0 + edge; x < box.x1 - edge; ++x) EXPECT_EQ(bits.at(x, box.y0), bits.at(midX, box.y0)) << scale;
    }
}

TEST_F(UiPainter, TextStylesDrawDifferentlyAndStayInTheirClip) {
    ASSERT_FALSE(load(""));
    auto* fontObject = dynamic_cast<CFontObject*>(shot->root()->findObject("font.base"));
    ASSERT_NE(fontObject, nullptr);
    const CFont& font = *fontObject->font();
    CDrawColors colors;
    const CColor white = CColor::solid({255, 255, 255});
    colors.slots[0] = &white;
    auto draw = [&](double slant, const CPixelClip& clip) {
        CBitmap32 t(60, 20, 0xFF000000u);
        CPainter(t, clip, 1.0).drawText(font, 4, 15, "Ilk", 1.0, colors, slant);
        return t;
    };
    auto inked = [](const CBitmap32& t, int x0, int x1) {
        int n = 0;
        for (int y = 0; y < t.height; ++y)
            for (int x = x0; x < x1; ++x) n += (t.at(x, y) & 0xFF) > 64;
        return n;
    };
    const CBitmap32 upright = draw(0.0, {0, 0, 60, 20});
    const CBitmap32 leaning = draw(0.2, {0, 0, 60, 20});
    EXPECT_GT(inked(upright, 0, 60), 20);
    EXPECT_NE(upright.pixels, leaning.pixels);
    // Leaning right: the top rows move right of where they stood.
    int row = 0;
    while (row < 15 && inked(upright, 0, 60) && [&] {
        for (int x = 0; x < 60; ++x)
            if ((upright.at(x, row) & 0xFF) > 64) return false;
        return true;
    }())
        ++row;
    ASSERT_LT(row, 10);
    int uprightTop = 60, leaningTop = 60;
    for (int x = 0; x < 60; ++x) {
        if ((upright.at(x, row) & 0xFF) > 64) uprightTop = std::min(uprightTop, x);
        if ((leaning.at(x, row) & 0xFF) > 64) leaningTop = std::min(leaningTop, x);
    }
    EXPECT_GT(leaningTop, uprightTop);
    const CBitmap32 half = draw(0.2, {0, 0, 10, 20});
    EXPECT_EQ(inked(half, 10, 60), 0);
}

TEST_F(UiPainter, HidingTakesAViewOutOfTheLayoutUnlessItIsAWeakHide) {
    ASSERT_FALSE(load(R"(<ui:view name="a" width="30" height="10" color="Action"/>
                         <ui:view name="b" width="30" height="10" color="Alarm"/>
                         <ui:view name="c" width="30" height="10" color="Lamp" z-index="-1"/>)"));
    EXPECT_EQ(view("b")->area().total.x, 30);
    ASSERT_FALSE(view("a")->setAttr("is-hidden", "true"));
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(view("b")->area().total.x, 0);
    EXPECT_EQ(renderer().viewAt(5, 5), view("b"));
    ASSERT_FALSE(view("a")->setAttr("is-weak-hide", "true"));
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(view("b")->area().total.x, 30);
    EXPECT_EQ(renderer().viewAt(5, 5), shot->renderer()->rootView());  // not drawn, not hit
    ASSERT_FALSE(view("a")->setAttr("is-visible", "true"));
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(renderer().viewAt(5, 5), view("a"));
    // A lower z-index paints first: the last sibling is first in the painting order.
    const std::vector<CView*> order = shot->renderer()->rootView()->paintOrder();
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order.front(), view("c"));
}

TEST_F(UiPainter, EnterAndExitFollowTheHoveredChain) {
    ASSERT_FALSE(load(R"(
        <ui:view name="outer" width="100" height="60" inner-border="10">
          <ui:view-command on-event="mouse-enter" set-attr="trace" set-attr-value="outer-in"/>
          <ui:view-command on-event="mouse-exit" set-attr="trace" set-attr-value="outer-out"/>
          <ui:view name="inner" width="20" height="20">
            <ui:view-command on-event="mouse-enter-top" set-attr="trace" set-attr-value="top"/>
            <ui:view-command on-event="mouse-exit-top" set-attr="trace" set-attr-value="untop"/>
          </ui:view>
        </ui:view>)"));
    CWindowRenderer& r = renderer();
    auto move = [&](double x, double y) {
        CEventParams p{{"x", CString::number(x)}, {"y", CString::number(y)}};
        ASSERT_FALSE(r.runEvent("mouse-move", p));
    };
    move(5, 5);
    EXPECT_EQ(view("outer")->attr("trace").utf8(), "outer-in");
    EXPECT_TRUE(view("outer")->stateSet().isSet("hover"));
    move(15, 15);
    EXPECT_EQ(view("outer.inner")->attr("trace").utf8(), "top");
    EXPECT_TRUE(view("outer")->stateSet().isSet("hover"));  // still inside it
    move(5, 5);
    EXPECT_EQ(view("outer.inner")->attr("trace").utf8(), "untop");
    EXPECT_FALSE(view("outer.inner")->stateSet().isSet("hover"));
    ASSERT_FALSE(r.runEvent("mouse-exit"));
    EXPECT_EQ(view("outer")->attr("trace").utf8(), "outer-out");
    EXPECT_EQ(r.hoveredView(), nullptr);
}

}  // namespace
