// Channel routing in the editor of the real bundle under Xvfb: the Routing
// button opens the channel routing window, its Presets... the routing
// presets, and choosing "5.1 Surround (Multi)" there routes inputs and
// outputs 3 to 6 (their cells in the routing window light up) and moves the
// host's "Routing" list to that entry.
#include <gtest/gtest.h>

#include <cstdio>

#include "Tests/Editor/EditorTestSupport.h"

namespace {
// Mean brightness (0..255) of a rectangle of a picture.
double brightness(const PngImage& img, int x0, int y0, int x1, int y1) {
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1 && y < img.height; ++y)
        for (int x = x0; x < x1 && x < img.width; ++x, ++n) {
            const uint32_t p = img.at(x, y);
            sum += ((p >> 16 & 255) + (p >> 8 & 255) + (p & 255)) / 3.0;
        }
    return n ? sum / n : 0;
}
}  // namespace

TEST(Interaction, RoutingOpensTheRoutingWindowWhosePresetsChooseFiveOne) {
    // Window pixels at scale 1.0: Routing in the button row; Presets... at the
    // bottom left of the 412 x 310 routing window; in the 470 x 326 routing
    // presets, the third row of the list (the system list, 16-pixel rows from
    // y 57) and Activate under it.
    const std::string before = tempPath(".png"), after = tempPath(".png");
    const std::string script = writeScript(
        "param Routing\n"
        "click 374 52\n"
        "await-windows 1 Channel Routing\n"
        "screenshot-window " + before + " Channel Routing\n"
        "click-window 98 288 Channel Routing\n"
        "await-windows 1 Routing Presets\n"
        "click-window 230 96 Routing Presets\n"
        "click-window 203 274 Routing Presets\n"
        "wait 100\n"
        "screenshot-window " + after + " Channel Routing\n"
        "param Routing\n");
    const EditorRun r = runEditor({"--frames", "2", "--script", script});
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::string> counts = r.values("windows");
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], "Channel Routing 1");
    EXPECT_EQ(counts[1], "Routing Presets 1");
    // The host's list: the 12 routing presets and "Custom", 5.1 the third.
    const std::vector<std::string> routing = r.values("param");
    ASSERT_EQ(routing.size(), 2u);
    EXPECT_EQ(routing[0], "Routing 0.000000") << "the stereo default first";
    EXPECT_EQ(routing[1], "Routing 0.166667");
    PngImage a, b;
    ASSERT_TRUE(readPng(before, &a));
    ASSERT_TRUE(readPng(after, &b));
    ASSERT_EQ(a.width, 412);
    ASSERT_EQ(a.height, 310);
    // Rows are 22 pixels apart from y 54. Inputs 3 to 6 and outputs 3 to 6
    // light up (2.1 would light neither input 4 nor output 3); the first
    // input stays lit and the seventh off.
    auto cell = [](const PngImage& img, int x0, int x1, int row) {
        return brightness(img, x0, 58 + 22 * row, x1, 70 + 22 * row);
    };
    for (int row : {2, 3, 5}) {
        EXPECT_GT(cell(b, 70, 157, row), cell(a, 70, 157, row) + 20) << "input of row " << row + 1;
        EXPECT_GT(cell(b, 338, 394, row), cell(a, 338, 394, row) + 20) << "output of row " << row + 1;
    }
    EXPECT_NEAR(cell(b, 70, 157, 0), cell(a, 70, 157, 0), 2);
    EXPECT_NEAR(cell(b, 70, 157, 6), cell(a, 70, 157, 6), 2);
    for (const std::string& f : {before, after, script}) std::remove(f.c_str());
}
