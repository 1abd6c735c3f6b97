// The version history in a scrollable view: every entry of the shared
// definitions is listed, the bar scrolls by wheel, track, thumb drag and
// events, stops at both ends, and the content moves with it.
#include <cmath>

#include "Tests/UI/ControlsFixture.h"
#include "UI/Scroll/Scroller.h"
#include "UI/Scroll/WhatsNewList.h"

namespace uitest {
namespace {

class UiScroll : public UiInstance {
protected:
    void openHistory(const char* extra = "") {
        openUi(std::string("<ui:view name=\"box\" width=\"220\" height=\"120\" is-scrollable=\"true\" "
                           "scroller-width=\"10\" scroller-height=\"10\" color=\"EditBox\">"
                           "<ui:dynlist-whats-new name=\"list\" width=\"full\" outer-border=\"R12\" "
                           "font-name=\"font.base\"/>"
                           "<ui:scroller-bar name=\"bar\" placement=\"scroller-v\" image-set=\"is.scroller\" "
                           "color=\"Panel\"/>") +
                   extra + "</ui:view>",
               "", 300, 200);
        m_list = uiView<CDynListWhatsNew>("box.list");
        m_bar = uiView<CScrollerBar>("box.bar");
        ASSERT_NE(m_list, nullptr);
        ASSERT_NE(m_bar, nullptr);
        frame();
    }
    void frame() {
        const CError e = renderer().render();
        ASSERT_FALSE(e) << e.text();
    }
    // Where the list's top is drawn, relative to the box, in logical pixels.
    double listTop() const {
        const CView* box = uiView("box");
        return (m_list->area().total.y - box->area().inner.y) / renderer().totalScale();
    }

    CDynListWhatsNew* m_list = nullptr;
    CScrollerBar* m_bar = nullptr;
};

TEST_F(UiScroll, TheHistoryListsEveryEntryAndParagraphOfTheSharedDefinitions) {
    openHistory();
    const CObject* first = m_list->findObject("shared::whatsnew");
    ASSERT_NE(first, nullptr);
    size_t entries = 0, paragraphs = 0;
    for (const auto& e : first->parent()->children()) {
        if (!(e->name() == "whatsnew")) continue;
        ++entries;
        // Each heading names its version and date; each paragraph is shown whole.
        const CView* heading = uiView("box.list.entry" + std::to_string(entries));
        ASSERT_NE(heading, nullptr);
        EXPECT_NE(heading->attr("text").utf8().find(e->attr("version").utf8()), std::string::npos);
        EXPECT_NE(heading->attr("text").utf8().find(e->attr("date").utf8()), std::string::npos);
        size_t n = 0;
        for (const auto& p : e->children()) {
            if (!(p->name() == "p")) continue;
            ++paragraphs;
            const CView* text =
                uiView("box.list.entry" + std::to_string(entries) + "-p" + std::to_string(++n));
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(text->attr("text").utf8(), CDynListWhatsNew::paragraphText(*p).utf8());
            EXPECT_FALSE(CDynListWhatsNew::paragraphText(*p).empty());
        }
    }
    EXPECT_EQ(entries, 10u);
    EXPECT_EQ(m_list->entryCount(), entries);
    EXPECT_EQ(m_list->paragraphCount(), paragraphs);
    // Far more than the box shows: the bar has somewhere to go.
    EXPECT_GT(m_bar->contentExtent(), 3 * m_bar->visibleExtent());
    EXPECT_NEAR(m_bar->maxPosition(), m_bar->contentExtent() - m_bar->visibleExtent(), 1e-9);
}

TEST_F(UiScroll, WheelTrackAndEventsMoveTheContentAndStopAtTheEnds) {
    openHistory();
    const double top = listTop();
    ASSERT_FALSE(input(m_bar, "mouse-wheel", {{"delta", "-1"}}));  // one notch down
    EXPECT_EQ(m_bar->position(), 24);
    frame();
    EXPECT_NEAR(listTop(), top - 24, 1.0);
    // The wheel over the list itself, as the window delivers it.
    const CView* box = uiView("box");
    CEventParams wheel({{"x", CString::number(box->area().inner.x + 20)},
                        {"y", CString::number(box->area().inner.y + 20)},
                        {"delta", "-1"}});
    ASSERT_FALSE(renderer().runEvent("mouse-wheel", wheel));
    EXPECT_EQ(m_bar->position(), 48);
    for (int i = 0; i < 3; ++i) ASSERT_FALSE(input(m_bar, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_EQ(m_bar->position(), 0);  // not above the top

    CEventParams far({{"position", "100000"}});
    ASSERT_FALSE(m_bar->runEvent("scroll-to", far));
    EXPECT_EQ(m_bar->position(), std::round(m_bar->maxPosition()));
    frame();
    // At the end the last paragraph's bottom meets the box's bottom.
    const CView* last = m_list->childViews().back();
    EXPECT_NEAR(last->area().total.bottom() + last->outerBorder().evaluate(1).b, box->area().inner.bottom(), 2.0);

    // A press on the track below the thumb pages down, above it pages up.
    CEventParams home({{"position", "0"}});
    ASSERT_FALSE(m_bar->runEvent("scroll-to", home));
    frame();
    ASSERT_FALSE(input(m_bar, "mouse-press", {{"x", "5"}, {"y", "110"}}));
    ASSERT_FALSE(input(m_bar, "mouse-release", {}));
    EXPECT_EQ(m_bar->position(), m_bar->visibleExtent() - 24);
    ASSERT_FALSE(input(m_bar, "mouse-press", {{"x", "5"}, {"y", "1"}}));
    EXPECT_EQ(m_bar->position(), 0);
}

TEST_F(UiScroll, DraggingTheThumbFollowsThePointerProportionally) {
    openHistory();
    const double track = m_bar->area().inner.h;
    const double thumb = std::max(12.0, track * m_bar->visibleExtent() / m_bar->contentExtent());
    ASSERT_FALSE(input(m_bar, "mouse-press", {{"x", "5"}, {"y", "3"}}));
    // Half the thumb's travel is half the content's.
    ASSERT_FALSE(input(m_bar, "mouse-move", {{"x", "5"}, {"y", std::to_string(3 + (track - thumb) / 2)}}));
    EXPECT_NEAR(m_bar->position(), m_bar->maxPosition() / 2, 1.0);
    ASSERT_FALSE(input(m_bar, "mouse-move", {{"x", "5"}, {"y", "1000"}}));
    EXPECT_EQ(m_bar->position(), std::round(m_bar->maxPosition()));
    ASSERT_FALSE(input(m_bar, "mouse-release", {}));
    ASSERT_FALSE(input(m_bar, "mouse-move", {{"x", "5"}, {"y", "3"}}));  // released: no more dragging
    EXPECT_EQ(m_bar->position(), std::round(m_bar->maxPosition()));
}

TEST_F(UiScroll, ContentThatFitsIsNotScrolledAndThePanMovesBothWays) {
    openUi("<ui:view name=\"box\" width=\"200\" height=\"100\" is-scrollable=\"true\" scroller-width=\"10\" "
           "scroller-height=\"10\">"
           "<ui:view name=\"sheet\" width=\"400\" height=\"300\" color=\"Panel\"/>"
           "<ui:scroller-bar name=\"v\" placement=\"scroller-v\"/>"
           "<ui:scroller-bar name=\"h\" placement=\"scroller-h\"/>"
           "<ui:scroller-pan name=\"pan\" placement=\"scroller-p\"/>"
           "</ui:view>"
           "<ui:view name=\"small\" width=\"100\" height=\"100\" is-scrollable=\"true\" scroller-width=\"10\">"
           "<ui:view name=\"note\" width=\"50\" height=\"40\"/>"
           "<ui:scroller-bar name=\"bar\" placement=\"scroller-v\"/></ui:view>",
           "", 400, 300);
    auto* v = uiView<CScrollerBar>("box.v");
    auto* h = uiView<CScrollerBar>("box.h");
    auto* small = uiView<CScrollerBar>("small.bar");
    ASSERT_TRUE(v && h && small);
    EXPECT_EQ(v->maxPosition(), 300 - 90);  // the horizontal bar takes its strip
    EXPECT_EQ(h->maxPosition(), 400 - 190);
    ASSERT_FALSE(input(small, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(small->position(), 0);
    EXPECT_EQ(small->maxPosition(), 0);

    auto* pan = uiView("box.pan");
    ASSERT_FALSE(input(pan, "mouse-press", {{"x", "50"}, {"y", "50"}}));
    ASSERT_FALSE(input(pan, "mouse-move", {{"x", "20"}, {"y", "10"}}));
    ASSERT_FALSE(input(pan, "mouse-release", {}));
    EXPECT_EQ(h->position(), 30);
    EXPECT_EQ(v->position(), 40);
    EXPECT_EQ(uiView("box.sheet")->attr("offset-x").utf8(), "-30");
}

}  // namespace
}  // namespace uitest
