// The main window and the pop-up windows of the real bundle's editor under
// Xvfb (the pop-ups opened by clicks on their buttons in the main window, the
// settings window and the routing window) against the golden images the
// windowless tests draw of the same templates (Tests/UI/data/golden): what
// the user sees on the screen is what the golden images show.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Tests/Editor/EditorTestSupport.h"

namespace {

// Compares the pixels of a window with its golden image: the same size, and
// at most 0.5% of the pixels differ by more than 2 of 255 in a channel (room
// for a pointer left over an edge of the new window; a lit button or a moved
// label is more). The pixels are the window's own, without a frame.
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
    EXPECT_LT(double(differing) / double(got.pixels.size()), 0.005) << golden << ": " << differing << " pixels differ";
}

struct Shot {
    const char* window;  // the window's title
    const char* golden;  // its golden image without "@SCALE.png"
};

}  // namespace

TEST(Popups, PopUpsOpenedByTheirButtonsMatchTheirGoldenImagesAtBothScales) {
    // With stores of their own, the settings are their defaults.
    const std::filesystem::path data = std::filesystem::path(tempPath("-data"));
    std::filesystem::create_directories(data);
    const Shot shots[] = {{"Tamblor Settings", "settings-window"}, {"What's New", "whats-new"},
                          {"Global Settings", "global-settings"},  {"UI Color Editor", "color-editor"},
                          {"Channel Routing", "channel-routing"},  {"Channel Labels", "channel-labels"},
                          {"Group Names", "group-names"},          {"Mode Editor", "mode-editor"},
                          {"Presets", "presets-window"}};
    for (int scale : {1, 2}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        std::vector<std::string> files;
        for (size_t i = 0; i < std::size(shots); ++i) files.push_back(tempPath(".png"));
        // Window pixels at scale 1.0 (times the scale): in the main window's
        // button row the settings button, Routing and Presets, and the mode
        // options button; in the 380 x 320 settings window What's New,
        // Global..., Edit and OK; in the channel routing window Labels...,
        // Groups... and OK. Each pop-up opened from another opens over it and
        // is closed by its OK before the next one opens; the routing window
        // closes before the preset manager takes its place under the main
        // window.
        auto at = [scale](int x, int y) { return std::to_string(x * scale) + " " + std::to_string(y * scale) + " "; };
        auto shoot = [&](size_t i) {
            return "await-windows 1 " + std::string(shots[i].window) + "\nwait 100\nscreenshot-window " + files[i] +
                   " " + shots[i].window + "\n";
        };
        const std::string script = writeScript(
            "click " + at(572, 52) + "\n" + shoot(0) +
            "click-window " + at(130, 298) + "Tamblor Settings\n" + shoot(1) +
            "click-window " + at(347, 298) + "What's New\n"
            "click-window " + at(234, 298) + "Tamblor Settings\n" + shoot(2) +
            "click-window " + at(327, 228) + "Global Settings\n"
            "click-window " + at(289, 180) + "Tamblor Settings\n" + shoot(3) +
            "click-window " + at(367, 288) + "UI Color Editor\n"
            "click-window " + at(327, 297) + "Tamblor Settings\n"
            "click " + at(374, 52) + "\n" + shoot(4) +
            "click-window " + at(180, 287) + "Channel Routing\n" + shoot(5) +
            "click-window " + at(168, 253) + "Channel Labels\n"
            "click-window " + at(267, 287) + "Channel Routing\n" + shoot(6) +
            "click-window " + at(168, 253) + "Group Names\n"
            "click-window " + at(360, 287) + "Channel Routing\n"
            "click " + at(469, 108) + "\n" + shoot(7) +
            "click " + at(137, 52) + "\n" + shoot(8));
        std::vector<std::string> args = {"--frames", "2", "--script", script};
        if (scale != 1) args.insert(args.end(), {"--scale", std::to_string(scale)});
        const EditorRun r = runEditor(args, {"XDG_DATA_HOME=" + data.string()});
        ASSERT_EQ(r.status, 0) << r.errors;
        const std::vector<std::string> counts = r.values("windows");
        ASSERT_EQ(counts.size(), std::size(shots));
        for (size_t i = 0; i < std::size(shots); ++i) {
            SCOPED_TRACE(shots[i].window);
            EXPECT_EQ(counts[i], std::string(shots[i].window) + " 1");
            expectLooksLikeGolden(files[i], std::string(shots[i].golden) + "@" + std::to_string(scale) + ".0.png");
        }
        for (const std::string& f : files) std::remove(f.c_str());
        std::remove(script.c_str());
    }
    std::filesystem::remove_all(data);
}

// The main window as the host shows it, stopped (no audio: the meters are
// unfed, as in the windowless drawing), with the settings of its golden
// image clicked in (4X, the DC filter and dithering on) and the pointer
// moved away: the same pixels at both scales.
TEST(Popups, MainWindowMatchesItsGoldenImageAtBothScales) {
    const std::filesystem::path data = std::filesystem::path(tempPath("-data"));
    std::filesystem::create_directories(data);
    for (int scale : {1, 2}) {
        SCOPED_TRACE("scale " + std::to_string(scale));
        auto at = [scale](int x, int y) { return std::to_string(x * scale) + " " + std::to_string(y * scale) + "\n"; };
        const std::string shot = tempPath(".png");
        const std::string script = writeScript("click " + at(137, 20) + "click " + at(32, 108) + "click " +
                                               at(151, 108) + "move 1500 1000\nwait 300\nscreenshot " + shot + "\n");
        std::vector<std::string> args = {"--no-audio", "--frames", "2", "--script", script};
        if (scale != 1) args.insert(args.end(), {"--scale", std::to_string(scale)});
        const EditorRun r = runEditor(args, {"XDG_DATA_HOME=" + data.string()});
        ASSERT_EQ(r.status, 0) << r.errors;
        expectLooksLikeGolden(shot, "main-window@" + std::to_string(scale) + ".0.png");
        std::remove(shot.c_str());
        std::remove(script.c_str());
    }
    std::filesystem::remove_all(data);
}
