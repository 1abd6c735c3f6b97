// Shadows: drawn past the edges of the panel they belong to, taking no
// room from its content, and gone while the style hides shadows.
#include "Tests/UI/ControlsFixture.h"
#include "UI/Decor/Shadow.h"

namespace uitest {
namespace {

class UiShadow : public UiInstance {
protected:
    uint32_t pixel(int x, int y) {
        renderer().invalidateAll();
        const CError e = renderer().render();
        EXPECT_FALSE(e) << e.text();
        return renderer().backBuffer().at(x, y) & 0xFFFFFFu;
    }
};

TEST_F(UiShadow, DrawsPastThePanelTakesNoRoomAndFollowsTheStyle) {
    openUi("<ui:view name=\"panel\" width=\"100\" height=\"60\" color=\"Panel\" outer-border=\"30\">"
           "<ui:shadow name=\"shadow\"/>"
           "<ui:view name=\"content\" width=\"full\" height=\"full\" color=\"Panel\"/></ui:view>",
           "", 200, 150);
    auto* shadow = uiView<CShadow>("panel.shadow");
    ASSERT_NE(shadow, nullptr);
    const CView* panel = uiView("panel");
    const CView* content = uiView("panel.content");
    EXPECT_EQ(content->area().total, panel->area().inner);  // the shadow takes no room
    const CPixelClip box = panel->area().total.pixels();
    const int x = (box.x0 + box.x1) / 2, below = box.y1 + 2, far = box.y1 + 25;
    const uint32_t background = pixel(x, far);
    EXPECT_NE(pixel(x, below), background);
    ASSERT_FALSE(uiObject("ui.main-window.window-renderer")->setAttr("is-shadow-hidden", "true", false));
    EXPECT_TRUE(shadow->isStyleHidden());
    EXPECT_EQ(pixel(x, below), background);
}

}  // namespace
}  // namespace uitest
