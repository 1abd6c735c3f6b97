// The settings pop-ups' selectors and buttons on a real instance: the
// chosen scale and frame rate reach the stored editor settings, clicks step
// through the choices without wrapping, and bad values change nothing.
#include <fstream>
#include <sstream>

#include "Core/SharedAttribute.h"
#include "Tests/UI/SettingsFixture.h"
#include "Tests/UI/UiTestSupport.h"
#include "UI/Buttons/Button.h"
#include "UI/Controls/GlobalSettings.h"
#include "UI/Settings/SettingSelector.h"

namespace uitest {
namespace {

class UiSettings : public UiDataInstance {
protected:
    static std::string settingsData(const char* usesr) {
        return std::string("<core:object name=\"local-data\">"
                           "<core:shared-attribute name=\"ui-scale\" storage-type=\"local\" data-name=\"ui-scale\" "
                           "attribute=\"value\" def-value=\"1.0\"/>"
                           "<core:shared-attribute name=\"ui-scale2\" storage-type=\"local\" data-name=\"ui-scale2\" "
                           "attribute=\"value\" def-value=\"1.0\"/>"
                           "<core:object name=\"ui-scale-usesr\" value=\"") +
               usesr +
               "\"/></core:object>"
               "<core:object name=\"global-data\">"
               "<core:shared-attribute name=\"frames-per-second\" storage-type=\"global\" "
               "data-name=\"frames-per-second\" attribute=\"value\" def-value=\"30\"/></core:object>"
               "<ui:global-settings name=\"global-settings\"/>"
               "<core:object name=\"scheme\" value=\"Military\"/>";
    }

    static constexpr const char* kSelectors =
        "<ui:selector-scale name=\"scale\" width=\"60\" height=\"20\" font-name=\"font.base\"/>"
        "<ui:selector-fps name=\"fps\" width=\"60\" height=\"20\" font-name=\"font.base\"/>"
        "<ui:selector-shared-attr name=\"scheme\" width=\"80\" height=\"20\" font-name=\"font.base\" "
        "shared-attribute=\"ui.scheme\" choices=\"Military Gray Night\" titles=\"Olive||Dark\"/>";

};

TEST_F(UiSettings, ChoosingAScaleStoresItAsTheEditorsScaleSetting) {
    openUi(kSelectors, settingsData("true"));
    auto* scale = uiView<CSelectorScale>("scale");
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->attr("text").utf8(), "100%");
    ASSERT_EQ(scale->choiceCount(), 8u);

    CEventParams pick({{"value", "1.5"}});
    ASSERT_FALSE(scale->runEvent("select", pick));
    EXPECT_EQ(scale->attr("text").utf8(), "150%");
    EXPECT_EQ(uiObject<CSharedAttribute>("ui.local-data.ui-scale2")->value().utf8(), "1.5");
    // What the plug-in reads when it opens the next editor.
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale2", "none").utf8(), "1.5");
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale", "none").utf8(), "none");

    // A value that is not a choice is refused and changes nothing.
    CEventParams bad({{"value", "1.3"}});
    EXPECT_TRUE(scale->runEvent("select", bad));
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale2", "none").utf8(), "1.5");
}

// The templates of the settings pop-ups (the part of their test document
// before the history and the document's own "ui").
std::string popupTemplates() {
    std::ifstream in(uiTestData("settings.xml"));
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    const size_t from = text.find("<template ");
    const size_t to = text.find("<core:object name=\"whatsnew\"");
    return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
}

TEST_F(UiSettings, ScaleChosenInTheSettingsWindowBecomesTheEditorsScale) {
    m_prelude = popupTemplates();
    ASSERT_FALSE(m_prelude.empty());
    std::string bridges;
    for (const char* b :
         {"globmeter-rmstime-bridge=meter-rmstime", "globmeter-releasetime-bridge=meter-releasetime",
          "globmeter-peaktime-bridge=meter-peaktime", "uicolor-modename-bridge=uicolor-params.mode-name"}) {
        const std::string pair(b), name = pair.substr(0, pair.find('=')), param = pair.substr(pair.find('=') + 1);
        bridges += "<ui:param-bridge name=\"" + name + "\" param=\"plugin.modMain." + param + "\"/>";
    }
    openUi("<ui:win-settings-body name=\"settings\"/>", settingsData("true") + bridges, 400, 320);
    auto* scale = uiView<CSelectorScale>("settings.scale");
    ASSERT_NE(scale, nullptr);
    // 100% -> 110% -> 125% -> 150%, one click each.
    for (int i = 0; i < 3; ++i) ASSERT_FALSE(input(scale, "mouse-release", {}));
    EXPECT_EQ(scale->attr("text").utf8(), "150%");
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale2", "none").utf8(), "1.5");
    // The metering times show the instance's values.
    pumpUi();
    EXPECT_FALSE(uiView("settings.rms")->attr("text").empty());
    // Every caption and control fits its row at the largest scale.
    renderer().setScale(2.0, 1.0);
    ASSERT_FALSE(renderer().render());
    const CView* body = uiView("settings");
    for (const CView* v : body->childViews()) {
        const CRectD& r = v->area().total;
        EXPECT_LE(r.right(), body->area().inner.right() + 0.5) << v->name().utf8();
        EXPECT_LE(r.bottom(), body->area().inner.bottom() + 0.5) << v->name().utf8();
    }
}

TEST_F(UiSettings, WithoutScreenResolutionTheScaleGoesToTheAbsoluteSetting) {
    openUi(kSelectors, settingsData("false"));
    auto* scale = uiView<CSelectorScale>("scale");
    ASSERT_NE(scale, nullptr);
    // Without a scale from the host the window follows the choice at once.
    ASSERT_FALSE(m_ui->root->setAttr("VisualScale", "0", false));
    ASSERT_FALSE(input(scale, "mouse-release", {}));
    EXPECT_DOUBLE_EQ(renderer().uiScale(), 1.1);
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale", "none").utf8(), "1.1");
    EXPECT_EQ(CAppData::local().readStringOr("ui-scale2", "none").utf8(), "none");
}

TEST_F(UiSettings, ClicksAndWheelStepWithoutWrappingAndFollowOtherWriters) {
    openUi(kSelectors, settingsData("true"));
    auto* fps = uiView<CSelectorFps>("fps");
    ASSERT_NE(fps, nullptr);
    EXPECT_EQ(fps->attr("text").utf8(), "30 fps");
    ASSERT_FALSE(input(fps, "mouse-release", {}));
    EXPECT_EQ(fps->attr("text").utf8(), "40 fps");
    EXPECT_EQ(CAppData::global().readStringOr("frames-per-second", "none").utf8(), "40");
    // The settings object takes the new rate at once.
    EXPECT_DOUBLE_EQ(uiObject<CGlobalSettings>("ui.global-settings")->framesPerSecond(), 40.0);
    ASSERT_FALSE(input(fps, "mouse-release", {{"is-shift", "true"}}));
    ASSERT_FALSE(input(fps, "mouse-release-r", {}));
    EXPECT_EQ(fps->attr("text").utf8(), "25 fps");
    for (int i = 0; i < 10; ++i) ASSERT_FALSE(input(fps, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_EQ(fps->attr("text").utf8(), "60 fps");
    for (int i = 0; i < 10; ++i) ASSERT_FALSE(input(fps, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(fps->attr("text").utf8(), "15 fps");

    // Another editor writes the store: the selector shows its value; one
    // that is no choice shows the nearest.
    ASSERT_FALSE(CAppData::global().writeString("frames-per-second", "50"));
    EXPECT_EQ(fps->attr("text").utf8(), "50 fps");
    ASSERT_FALSE(CAppData::global().writeString("frames-per-second", "58"));
    EXPECT_EQ(fps->attr("text").utf8(), "60 fps");
    EXPECT_EQ(fps->index(), 6);
}

TEST_F(UiSettings, PlainSelectorShowsTitlesAndBlockedSelectorChangesNothing) {
    openUi(kSelectors, settingsData("true"));
    auto* scheme = uiView<CSelectorSharedAttr>("scheme");
    ASSERT_NE(scheme, nullptr);
    EXPECT_EQ(scheme->attr("text").utf8(), "Olive");
    ASSERT_FALSE(input(scheme, "mouse-release", {}));
    EXPECT_EQ(scheme->attr("text").utf8(), "Gray");  // an empty title shows the value
    EXPECT_EQ(uiObject("ui.scheme")->attr("value").utf8(), "Gray");
    CEventParams badIndex({{"index", "3"}});
    EXPECT_TRUE(scheme->runEvent("select", badIndex));
    ASSERT_FALSE(scheme->setAttr("is-disabled", "true", false));
    ASSERT_FALSE(input(scheme, "mouse-release", {}));
    EXPECT_EQ(uiObject("ui.scheme")->attr("value").utf8(), "Gray");
}

TEST_F(UiSettings, ASelectorWithoutChoicesOrSettingFailsToLoad) {
    m_ui.reset();
    std::vector<uint8_t> compiled;
    std::string err;
    for (const char* view : {"<ui:selector-shared-attr name=\"s\" shared-attribute=\"ui.scheme\" choices=\" \"/>",
                             "<ui:selector-shared-attr name=\"s\" shared-attribute=\"ui.nowhere\" choices=\"a b\"/>"}) {
        const std::string doc = std::string("<definitions><core:object name=\"ui\">"
                                            "<core:object name=\"scheme\" value=\"a\"/>"
                                            "<core:object name=\"main-window\"><ui:window-renderer name=\"r\">"
                                            "<ui:view name=\"root\" is-root-view=\"true\" width=\"100\" "
                                            "height=\"50\">") +
                                view + "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
        ASSERT_TRUE(CDefCompiler::compileXml(doc, "settings-bad.xml", &compiled, &err)) << err;
        CObject root;
        EXPECT_TRUE(kelLoadCompiledDefinition(&root, compiled)) << view;
    }
}

TEST_F(UiSettings, ButtonClicksOnReleaseOverItAndTheOkButtonRunsItsEvent) {
    openUi("<ui:button-base name=\"b\" width=\"40\" height=\"20\" font-name=\"font.base\" text=\"Go\" "
           "run-event=\"select\" run-event-target=\"ui.main-window.window-renderer.root.scheme\"/>" +
               std::string(kSelectors),
           settingsData("true"));
    auto* b = uiView<CButtonBase>("b");
    ASSERT_NE(b, nullptr);
    // The event reaches its target with the opener's name; "select" without
    // a value or index is refused, which shows it ran.
    ASSERT_FALSE(input(b, "mouse-press", {}));
    EXPECT_TRUE(b->isPushed());
    EXPECT_TRUE(input(b, "mouse-release", {}));
    EXPECT_FALSE(b->isPushed());
    // A press that leaves the button does not click.
    ASSERT_FALSE(input(b, "mouse-press", {}));
    ASSERT_FALSE(input(b, "mouse-exit", {}));
    EXPECT_FALSE(input(b, "mouse-release", {}));
}

}  // namespace
}  // namespace uitest
