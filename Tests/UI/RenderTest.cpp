// Sectors, worker threads, scale, repaints and the golden images.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "Tests/UI/UiTestSupport.h"
#include "Tools/UiShot/PngFile.h"

namespace {

TEST(SectorMap, RectanglesMapToTheSectorsTheyTouch) {
    CSectorMap map;
    map.resize(590, 444);  // 3 columns, 4 rows
    ASSERT_EQ(map.columns(), 3);
    ASSERT_EQ(map.rows(), 4);
    struct Case {
        CRectD rect;
        CSectorRange range;
    };
    const Case cases[] = {
        {{250, 0, 10, 10}, {0, 1, 0, 0}},        // 250 >> 8 = 0, 259 >> 8 = 1
        {{255.6, 0, 0.5, 10}, {1, 0, 0, 0}},     // first column 1, last 0: nothing
        {{-40, -40, 50, 50}, {0, 0, 0, 0}},
        {{500, 400, 900, 900}, {1, 2, 3, 3}},    // clamped to the map
        {{0, 127, 1, 2}, {0, 0, 0, 1}},
        {{10, 10, 0, 5}, {0, -1, 0, -1}},        // empty rectangle
    };
    for (const Case& c : cases) EXPECT_EQ(map.range(c.rect), c.range) << c.rect.x << "," << c.rect.y;
    EXPECT_TRUE(map.range({250, 0, 0.5, 10}).empty() == false);
    CSectorMap none;
    EXPECT_TRUE(none.range({0, 0, 10, 10}).empty());
}

TEST(RenderWorkers, CountFollowsTheProcessorsAndTheSectors) {
    struct Case {
        double fraction;
        unsigned processors;
        int sectors;
        int workers;
    };
    for (const Case& c : {Case{0.5, 4, 12, 1}, Case{0.5, 32, 12, 7}, Case{1.0, 8, 3, 2}, Case{0.0, 8, 12, 0},
                          Case{1.0, 1, 12, 0}, Case{0.3, 10, 12, 2}})
        EXPECT_EQ(kelRenderWorkerCount(c.fraction, c.processors, c.sectors), c.workers)
            << c.fraction << " x " << c.processors;
}

TEST(UiScale, HostScaleElseSettingsAndMonitor) {
    struct Case {
        CUiScaleSettings s;
        double scale;
    };
    const Case cases[] = {
        {{1.25, "", "", "", 0, 0}, 1.25},
        {{0, "false", "abc", "", 0, 0}, 1.0},
        {{0, "0", "1.5", "", 2560, 1440}, 1.5},          // the switch is off: no monitor factor
        {{0, "true", "", "1.0", 2560, 1440}, 1.35},      // 1.333 to a multiple of 0.05
        {{0, "", "", "1.0", 1280, 800}, 0.8},            // 0.74 raised to 0.8
        {{0, "", "", "1.0", 1920, 1080}, 1.0},
    };
    for (const Case& c : cases) EXPECT_NEAR(kelUiScale(c.s), c.scale, 1e-9) << c.s.monitorWidth;
}

using UiRender = UiFixture;

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

CBitmap32 renderDocument(const std::string& name, double scale, int workers) {
    CUiShot shot;
    CUiShot::Options o;
    o.scale = scale;
    o.workers = workers;
    CError e = shot.loadXml(readFile(uiTestData(name)), name, o);
    if (!e) e = shot.applyDocumentActions();
    if (!e) e = shot.render();
    EXPECT_FALSE(e) << name << ": " << e.text();
    return e ? CBitmap32() : shot.image();
}

TEST_F(UiRender, OneWorkerAndSevenDrawTheSamePixels) {
    for (const char* doc : {"markup.xml", "layout-sizes.xml"}) {
        const CBitmap32 one = renderDocument(doc, 2.0, 0);
        const CBitmap32 seven = renderDocument(doc, 2.0, 7);
        ASSERT_GT(one.pixels.size(), 0u);
        EXPECT_TRUE(one.pixels == seven.pixels) << doc;
    }
}

TEST_F(UiRender, APartialRepaintEqualsAFullOne) {
    const std::string doc = readFile(uiTestData("layout-inline.xml"));
    CUiShot::Options o;
    o.scale = 1.5;
    o.workers = 3;
    ASSERT_FALSE(shot->loadXml(doc, "inline", o));
    ASSERT_FALSE(shot->render());
    const size_t all = shot->renderer()->sectorsLastFrame();
    EXPECT_EQ(int(all), shot->renderer()->sectorMap().sectorCount());
    ASSERT_FALSE(shot->render());
    EXPECT_EQ(shot->renderer()->sectorsLastFrame(), 0u);  // nothing changed
    // One view changes colour, another moves: only their sectors are drawn again.
    ASSERT_FALSE(shot->apply("attr ui.main-window.window-renderer.root.right-aligned.j color Alarm"));
    ASSERT_FALSE(shot->apply("attr ui.main-window.window-renderer.root.rows.c width 44"));
    ASSERT_FALSE(shot->render());
    EXPECT_GT(shot->renderer()->sectorsLastFrame(), 0u);
    EXPECT_LT(shot->renderer()->sectorsLastFrame(), all);
    CUiShot fresh;
    ASSERT_FALSE(fresh.loadXml(doc, "inline", o));
    ASSERT_FALSE(fresh.apply("attr ui.main-window.window-renderer.root.right-aligned.j color Alarm"));
    ASSERT_FALSE(fresh.apply("attr ui.main-window.window-renderer.root.rows.c width 44"));
    ASSERT_FALSE(fresh.render());
    EXPECT_TRUE(fresh.image().pixels == shot->image().pixels);
}

// Only the dirty part of a sector is drawn again: knobs, scaled images and
// meters drawn through a small clip, and the place a hidden view leaves,
// give the pixels of a whole frame.
TEST_F(UiRender, ADirtyCornerOfASectorEqualsAFullFrame) {
    const std::string doc = readFile(uiTestData("controls.xml"));
    const char* const changes[] = {"attr ui.main-window.window-renderer.root.k-mid simple-def-value 0.8",
                                   "attr ui.main-window.window-renderer.root.k-layered color Alarm",
                                   "attr ui.main-window.window-renderer.root.m-gr zone-red 9",
                                   "attr ui.main-window.window-renderer.root.k-high is-hidden true"};
    for (double scale : {1.0, 1.5}) {
        CUiShot::Options o;
        o.scale = scale;
        ASSERT_FALSE(shot->loadXml(doc, "controls", o));
        ASSERT_FALSE(shot->render());
        const std::vector<uint32_t> before = shot->image().pixels;
        for (const char* c : changes) ASSERT_FALSE(shot->apply(c)) << c;
        ASSERT_FALSE(shot->render());
        EXPECT_LT(shot->renderer()->sectorsLastFrame(), size_t(shot->renderer()->sectorMap().sectorCount()));
        EXPECT_FALSE(before == shot->image().pixels) << "the changes show";
        CUiShot fresh;
        ASSERT_FALSE(fresh.loadXml(doc, "controls", o));
        for (const char* c : changes) ASSERT_FALSE(fresh.apply(c)) << c;
        ASSERT_FALSE(fresh.render());
        EXPECT_TRUE(fresh.image().pixels == shot->image().pixels) << scale;
    }
}

TEST_F(UiRender, TheFirstFrameIsLoggedAndScaleEventsAreChecked) {
    ASSERT_FALSE(load(R"(<ui:view name="v" width="10" height="10" color="Action"/>)", 1.5));
    EXPECT_EQ(renderer().backBuffer().width, 300);
    EXPECT_EQ(renderer().backBuffer().height, 150);
    ASSERT_FALSE(renderer().render());
    ASSERT_FALSE(renderer().render());
    int lines = 0;
    for (const std::string& l : log)
        if (l.rfind("First render time: ", 0) == 0 && l.find(" s @ ") != std::string::npos &&
            l.ends_with(" // ui.main-window.window-renderer"))
            ++lines;
    EXPECT_EQ(lines, 1);
    CEventParams p{{"mode", "sideways"}};
    CError e = renderer().runEvent("update-window-scale", p);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid mode.");
    ASSERT_FALSE(shot->root()->setAttr("VisualScale", "2"));
    CEventParams refresh;
    ASSERT_FALSE(renderer().runEvent("update-window-scale", refresh));
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(renderer().backBuffer().width, 400);
    EXPECT_EQ(view("v")->area().total.w, 20);
}

// The golden images: every test document at three scales. They are
// regenerated by scripts/ui-golden.sh; a channel may differ by at most 2 of
// 255, which no eye sees.
TEST_F(UiRender, TestDocumentsMatchTheirGoldenImages) {
    for (const char* doc : {"controls", "editbox", "layout-dock", "layout-inline", "layout-sizes", "markup",
                            "popup-list", "preset-manager", "states"}) {
        for (const char* scale : {"1.0", "1.5", "2.0"}) {
            const CBitmap32 got = renderDocument(std::string(doc) + ".xml", std::stod(scale), 0);
            const std::string golden = uiTestData(std::string("golden/") + doc + "@" + scale + ".png");
            CBitmap32 want;
            std::string err;
            ASSERT_TRUE(kelReadPng(golden, &want, &err)) << err << " (scripts/ui-golden.sh writes it)";
            ASSERT_EQ(got.width, want.width) << golden;
            ASSERT_EQ(got.height, want.height) << golden;
            int worst = 0;
            for (size_t i = 0; i < got.pixels.size(); ++i)
                for (int shift : {0, 8, 16}) {
                    const int a = int(got.pixels[i] >> shift & 255), b = int(want.pixels[i] >> shift & 255);
                    worst = std::max(worst, std::abs(a - b));
                }
            EXPECT_LE(worst, 2) << golden;
        }
    }
}

}  // namespace
