// The panel classes on their own: frames, control arrays, pictures, the
// event bridge.
#include <gtest/gtest.h>

#include "Tests/UI/UiTestSupport.h"
#include "UI/Panels/ControlArray.h"
#include "UI/Panels/Frame.h"
#include "UI/Panels/UIEventBridge.h"

namespace {

using UiPanels = UiFixture;

const char* const kItem =
    "<template name=\"cell\" base-tag=\"ui:textview\">"
    "<ui:textview width=\"30\" height=\"16\" font-name=\"font.base\" text=\"{^ item-text}\" "
    "element=\"{^ item-element}\" switch-value=\"{^ item-value}\"/></template>";

TEST_F(UiPanels, ControlArrayMakesOneItemPerValueOrPerCount) {
    ASSERT_FALSE(load("<ui:control-array name=\"row\" item-template=\"cell\" values=\"1X|2X| Auto \" "
                      "switch-values=\"1|2|0\" item-width=\"40\" height=\"16\"/>"
                      "<ui:control-array name=\"cells\" item-template=\"cell\" count=\"3\" first-element=\"2\" "
                      "is-new-inline-row=\"true\"/>",
                      1.0, "", 200, 100, kItem));
    ASSERT_FALSE(renderer().render());
    auto* row = dynamic_cast<CControlArray*>(view("row"));
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->itemCount(), 3u);
    const char* texts[] = {"1X", "2X", "Auto"};
    const char* values[] = {"1", "2", "0"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(row->item(i)->attr("text"), texts[i]);
        EXPECT_EQ(row->item(i)->attr("switch-value"), values[i]);
        EXPECT_EQ(row->item(i)->name(), "item" + std::to_string(i));
        EXPECT_EQ(row->item(i)->area().total.w, 40);
    }
    // Items sit side by side.
    EXPECT_EQ(row->item(1)->area().total.x, row->item(0)->area().total.right());
    auto* cells = dynamic_cast<CControlArray*>(view("cells"));
    ASSERT_NE(cells, nullptr);
    ASSERT_EQ(cells->itemCount(), 3u);
    EXPECT_EQ(cells->item(0)->attr("element"), "2");
    EXPECT_EQ(cells->item(2)->attr("element"), "4");
    EXPECT_EQ(cells->item(1)->attr("switch-value"), "1");  // counted from "first-value" 0
}

TEST_F(UiPanels, ControlArrayRefusesAMissingTemplateOrEntries) {
    struct Case {
        const char* views;
        const char* message;
    } cases[] = {
        {"<ui:control-array name=\"a\" values=\"x|y\"/>", "Control array without an item template."},
        {"<ui:control-array name=\"a\" item-template=\"cell\"/>",
         "Control array 'ui.main-window.window-renderer.root.a' has neither values nor a count."},
        {"<ui:control-array name=\"a\" item-template=\"nothing\" count=\"2\"/>",
         "Run-time template 'nothing' does not exist."},
    };
    for (const Case& c : cases) {
        const CError e = load(c.views, 1.0, "", 200, 100, kItem);
        ASSERT_TRUE(e) << c.views;
        EXPECT_EQ(e.message().utf8(), c.message);
        shot = std::make_unique<CUiShot>();
    }
}

TEST_F(UiPanels, FrameDocksItsCaptionAboveEverythingElse) {
    ASSERT_FALSE(load("<ui:frame name=\"f\" width=\"120\" height=\"80\" image-set=\"is.frame\" color=\"Panel\" "
                      "caption=\"[B]Dither[/B]\" caption-height=\"20\">"
                      "<ui:view name=\"body\" placement=\"top\" height=\"30\" color=\"EditBox\"/></ui:frame>"
                      "<ui:frame name=\"plain\" width=\"40\" height=\"40\"/>"
                      "<ui:frame name=\"own\" width=\"60\" height=\"40\" caption=\"x\">"
                      "<ui:caption name=\"caption\" height=\"12\" font-name=\"font.base\" text=\"mine\"/></ui:frame>"));
    ASSERT_FALSE(renderer().render());
    auto* f = dynamic_cast<CFrame*>(view("f"));
    ASSERT_NE(f, nullptr);
    ASSERT_NE(f->caption(), nullptr);
    EXPECT_EQ(f->childViews().front(), f->caption());
    EXPECT_EQ(f->caption()->area().total.y, f->area().total.y);
    EXPECT_EQ(f->caption()->area().total.h, 20);
    EXPECT_EQ(view("f.body")->area().total.y, f->area().total.y + 20);
    // A new caption text reaches the strip.
    ASSERT_FALSE(f->setAttr("caption", "Noise"));
    EXPECT_EQ(f->caption()->attr("text"), "Noise");
    EXPECT_EQ(dynamic_cast<CFrame*>(view("plain"))->caption(), nullptr);
    // A caption the definition gives is kept as it is.
    auto* own = dynamic_cast<CFrame*>(view("own"));
    ASSERT_NE(own->caption(), nullptr);
    EXPECT_EQ(own->caption()->attr("text"), "mine");
    EXPECT_EQ(own->childViews().size(), 1u);
}

TEST_F(UiPanels, PictureTakesItsImageSizeAndTheBridgeCompletesNamesAndCarriesEvents) {
    ASSERT_FALSE(load("<ui:picture name=\"logo\" image-set=\"is.vendorlogo\"/>", 2.0, "", 200, 100,
                      "<ui:ui-event-bridge name=\"bridge\" mod-name=\" plugin.modMain.modTamblor \"/>"));
    ASSERT_FALSE(renderer().render());
    // The logo's own size (about 96 x 24 logical pixels), drawn at twice that.
    double w = 0, h = 0;
    view("logo")->contentSize(2.0, &w, &h);
    EXPECT_NEAR(w, 192, 8);
    EXPECT_NEAR(h, 48, 4);
    EXPECT_EQ(view("logo")->area().total.w, w);
    EXPECT_EQ(view("logo")->area().total.h, h);

    auto* b = dynamic_cast<CUIEventBridge*>(shot->root()->findObject("bridge"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->paramName("release"), "plugin.modMain.modTamblor.release");
    EXPECT_EQ(b->paramName("plugin.modMain.bypass-enable"), "plugin.modMain.bypass-enable");
    CEventParams p{{"target", "ui.main-window.window-renderer.root.logo"}, {"event", "set-state"}, {"state", "hover"}};
    ASSERT_FALSE(b->runEvent("bridge-event", p));
    ASSERT_FALSE(renderer().render());  // the event runs after the one being handled
    EXPECT_TRUE(view("logo")->stateSet().isSet("hover"));
    CEventParams bad{{"target", "ui.nowhere"}, {"event", "set-state"}};
    const CError e = b->runEvent("bridge-event", bad);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Event bridge target 'ui.nowhere' not found.");
}

}  // namespace
