// Every pop-up window of the product's editor document as drawn on a real
// instance, against its golden image at 1.0 and 2.0 (NAME@SCALE.png), with
// nothing in it overlapping or cut; and no window template of the document
// goes without a golden image.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Core/AppData.h"
#include "Tests/UI/EditorDocumentFixture.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"
#include "UI/Window/WindowOpener.h"

namespace {

// A pop-up template and the base name of its golden images.
struct PopupPicture {
    const char* tmpl;
    const char* picture;
};

// The pop-ups drawn here. Those drawn by the tests of their own features:
// the settings window (MainWindowTest), the mode editor and graphs
// (ModeGraphWindowsTest), the routing windows (RoutingTest) and the
// drop-down list (PopupListTest).
constexpr PopupPicture kPopups[] = {
    {"ui:win-preset-manager", "presets-window"},
    {"ui:win-whatsnew", "whats-new"},
    {"ui:win-global-settings", "global-settings"},
    {"ui:uicolor-editor", "color-editor"},
    {"ui:win-message", "message"},
    {"ui:win-error-message", "error-message"},
    {"ui:win-confirmation", "confirmation"},
    {"ui:virtual-keyboard", "keyboard"},
    {"ui:virtual-keyboard-digital", "keyboard-digital"},
    {"ui:virtual-keyboard-freq", "keyboard-freq"},
};
constexpr const char* kDrawnElsewhere[] = {
    "ui:win-settings",         "ui:win-mode-editor",        "ui:win-graphs",
    "ui:win-channel-routing",  "ui:win-preset-manager-routing", "ui:win-channel-label-setup",
    "ui:win-group-name-setup", "ui:window-app-popup-list",
};

// With the application data stores in a folder of their own, so that the
// preset manager lists the factory banks only and the stored settings are
// their defaults.
class PopupWindows : public uitest::EditorDocument {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("tamblor-popups-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        if (const char* old = std::getenv("XDG_DATA_HOME")) m_oldDataHome = old;
        ::setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
        CAppData::resetAllPaths();
        EditorDocument::SetUp();
    }
    void TearDown() override {
        EditorDocument::TearDown();
        m_oldDataHome ? (void)::setenv("XDG_DATA_HOME", m_oldDataHome->c_str(), 1) : (void)::unsetenv("XDG_DATA_HOME");
        CAppData::resetAllPaths();
        std::filesystem::remove_all(m_dir);
    }

    std::filesystem::path m_dir;
    std::optional<std::string> m_oldDataHome;
};

TEST_F(PopupWindows, EveryWindowTemplateHasAGoldenImage) {
    std::set<std::string> known(std::begin(kDrawnElsewhere), std::end(kDrawnElsewhere));
    for (const PopupPicture& p : kPopups) known.insert(p.tmpl);
    const std::vector<std::string> windows = uitest::windowTemplates(documentText());
    EXPECT_EQ(windows.size(), known.size()) << "a window template went away: update the tables above";
    for (const std::string& w : windows) EXPECT_TRUE(known.count(w)) << w << " has no golden image";
}

TEST_F(PopupWindows, MatchTheirGoldenImagesAndNothingOverlaps) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    for (const char* scale : {"1.0", "2.0"}) {
        const CError e = open(std::stod(scale));
        ASSERT_FALSE(e) << e.text();
        for (const PopupPicture& p : kPopups) {
            SCOPED_TRACE(p.tmpl);
            ASSERT_FALSE(opener()->openWindow(p.tmpl, CString(uitest::kMainRoot) + "window-title", false));
            pumpUi();
            CObject* popup = opener()->findPopup(p.tmpl);
            ASSERT_NE(popup, nullptr);
            CWindowRenderer* r = kelFindRenderer(popup);
            ASSERT_NE(r, nullptr);
            const CError drawn = r->render();
            ASSERT_FALSE(drawn) << drawn.text();
            const auto* root = dynamic_cast<CView*>(r->findObject(".root"));
            ASSERT_NE(root, nullptr);
            int checked = 0;
            uitest::expectNothingOverlapsOrIsCut(root, std::stod(scale), &checked);
            EXPECT_GT(checked, 3);
            uitest::expectMatchesGolden(r->backBuffer(), std::string(p.picture) + "@" + scale + ".png");
            // Closed again, so that the next one opens alone.
            ASSERT_FALSE(opener()->openWindow(p.tmpl, CString(uitest::kMainRoot) + "window-title", false));
        }
        m_ui.reset();
    }
}

}  // namespace
