// The pop-up windows of the real bundle's editor under Xvfb, opened by
// clicks on their buttons (in the main window and in the settings window),
// against the golden images the windowless tests draw of the same templates
// (Tests/UI/data/golden): what the user sees on the screen is what the
// golden images show.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Tests/Editor/EditorTestSupport.h"

namespace {

// Compares the pixels of a window with its golden image: the same size, and
// at most 1% of the pixels differ by more than 2 of 255 in a channel (the
// pointer left over a control of the new window lights it; nothing else may
// differ). The window manager adds no frame: the window's own pixels.
void expectLooksLikeGolden(const std::string& shot, const std::string& golden) {
    PngImage got, want;
    ASSERT_TRUE(readPng(shot, &got)) << shot;
    ASSERT_TRUE(readPng(std::string(TAMBLOR_UI_GOLDEN) + "/" + golden, &want)) << golden;
    ASSERT_EQ(got.width, want.width) << golden;
    ASSERT_EQ(got.height, want.height) << golden;
    size_t differing = 0;
    for (size_t i = 0; i < got.pixels.size(); ++i)
        for (int shift : {0, 8, 16}) {
            const int d = std::abs(int(got.pixels[i] >> shift & 255) - int(want.pixels[i] >> shift & 255));
            if (d > 2) {
                ++differing;
                break;
            }
        }
    EXPECT_LT(double(differing) / double(got.pixels.size()), 0.01) << golden << ": " << differing << " pixels differ";
}

struct Shot {
    const char* window;  // the window's title
    const char* golden;  // its golden image without "@SCALE.png"
};

}  // namespace

TEST(Popups, PopUpsOpenedByTheirButtonsMatchTheirGoldenImages) {
    // With stores of their own, the settings are their defaults.
    const std::filesystem::path data = std::filesystem::path(tempPath("-data"));
    std::filesystem::create_directories(data);
    // Window pixels at scale 1.0: in the main window's button row Routing and
    // the settings button; in the 380 x 320 settings window What's New,
    // Global... and Edit. Each pop-up opened from the settings window is
    // closed by its OK before the next opens (they open over it).
    const Shot shots[] = {{"Tamblor Settings", "settings-window"}, {"What's New", "whats-new"},
                          {"Global Settings", "global-settings"},  {"UI Color Editor", "color-editor"},
                          {"Channel Routing", "channel-routing"}};
    std::vector<std::string> files;
    for (size_t i = 0; i < std::size(shots); ++i) files.push_back(tempPath(".png"));
    const std::string script = writeScript(
        "click 572 52\n"
        "await-windows 1 Tamblor Settings\n"
        "wait 100\n"
        "screenshot-window " + files[0] + " Tamblor Settings\n"
        "click-window 130 298 Tamblor Settings\n"
        "await-windows 1 What's New\n"
        "wait 100\n"
        "screenshot-window " + files[1] + " What's New\n"
        "click-window WHATSNEW_OK What's New\n"
        "click-window 234 298 Tamblor Settings\n"
        "await-windows 1 Global Settings\n"
        "wait 100\n"
        "screenshot-window " + files[2] + " Global Settings\n"
        "click-window GLOBAL_OK Global Settings\n"
        "click-window 289 180 Tamblor Settings\n"
        "await-windows 1 UI Color Editor\n"
        "wait 100\n"
        "screenshot-window " + files[3] + " UI Color Editor\n"
        "click-window COLOR_OK UI Color Editor\n"
        "click 374 52\n"
        "await-windows 1 Channel Routing\n"
        "wait 100\n"
        "screenshot-window " + files[4] + " Channel Routing\n");
    const EditorRun r = runEditor({"--frames", "2", "--script", script}, {"XDG_DATA_HOME=" + data.string()});
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::string> counts = r.values("windows");
    ASSERT_EQ(counts.size(), std::size(shots));
    for (size_t i = 0; i < std::size(shots); ++i) {
        SCOPED_TRACE(shots[i].window);
        EXPECT_EQ(counts[i], std::string(shots[i].window) + " 1");
        expectLooksLikeGolden(files[i], std::string(shots[i].golden) + "@1.0.png");
    }
    for (const std::string& f : files) std::remove(f.c_str());
    std::remove(script.c_str());
    std::filesystem::remove_all(data);
}
