// The window layer's pieces that need no display: pop-up placement, the
// pointer values of the editor root, the order of update timers and the
// resizer's bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UI/Render/WindowRenderer.h"
#include "UI/Window/RendererWindow.h"
#include "UI/Window/UpdateTimer.h"
#include "UI/Window/WindowResizer.h"
#include "UI/Window/WindowSharedData.h"

TEST(PopupPlacement, AlignmentsAroundTheOpener) {
    const CRectD opener{100, 100, 50, 20};  // right 150, bottom 120
    const plat::MonitorInfo monitor{0, 0, 1920, 1080};
    struct Case {
        const char* alignment;
        int x, y;
    } cases[] = {
        {"bottom", 100, 120},        {"bottom-center", 85, 120}, {"bottom-local-center", 85, 120},
        {"center-overlay", 85, 90},  {"center", 85, 90},         {"", 85, 90},
        {"left", 20, 100},           {"right", 150, 100},        {"cursor", 500, 600},
    };
    for (const Case& c : cases) {
        int x = -1, y = -1;
        ASSERT_TRUE(CRendererWindow::place(c.alignment, opener, 500, 600, 80, 40, monitor, &x, &y)) << c.alignment;
        EXPECT_EQ(x, c.x) << c.alignment;
        EXPECT_EQ(y, c.y) << c.alignment;
    }
    int x = 0, y = 0;
    EXPECT_FALSE(CRendererWindow::place("diagonal", opener, 0, 0, 80, 40, monitor, &x, &y));
}

TEST(PopupPlacement, KeptOnTheMonitor) {
    const plat::MonitorInfo monitor{1920, 0, 1280, 1024};  // a second monitor to the right
    int x = 0, y = 0;
    // Right of an opener at the monitor's right edge: pushed back inside.
    ASSERT_TRUE(CRendererWindow::place("right", {3150, 500, 40, 20}, 0, 0, 200, 100, monitor, &x, &y));
    EXPECT_EQ(x, 1920 + 1280 - 200);
    // Below an opener at the bottom edge, left of the monitor's start.
    ASSERT_TRUE(CRendererWindow::place("bottom", {1900, 1010, 40, 20}, 0, 0, 200, 100, monitor, &x, &y));
    EXPECT_EQ(x, 1920);
    EXPECT_EQ(y, 1024 - 100);
    // A pop-up larger than the monitor starts at its corner.
    ASSERT_TRUE(CRendererWindow::place("center", {2000, 100, 10, 10}, 0, 0, 2000, 2000, monitor, &x, &y));
    EXPECT_EQ(x, 1920);
    EXPECT_EQ(y, 0);
}

TEST(PointerText, ParsesHostHandles) {
    struct Case {
        const char* text;
        bool ok;
        uintptr_t value;
    } cases[] = {
        {"0x1a2b", true, 0x1a2b}, {"0X1A2B", true, 0x1a2b}, {"ff", true, 0xff}, {" 0x400003 ", true, 0x400003},
        {"", false, 0},           {"0x", false, 0},         {"0", false, 0},    {"12g", false, 0},
        {"-5", false, 0},
    };
    for (const Case& c : cases) {
        uintptr_t v = 0;
        EXPECT_EQ(kelParsePointerText(c.text, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

namespace {
// Records the order in which timers of a group run.
class CRecordingTimer : public CUpdateTimer {
public:
    CRecordingTimer(std::vector<std::string>* log, std::string id) : m_log(log), m_id(std::move(id)) {}

protected:
    CError onTick() override {
        m_log->push_back(m_id);
        return {};
    }

private:
    std::vector<std::string>* m_log;
    std::string m_id;
};
}  // namespace

TEST(UpdateTimerGroup, DueTimersRunInAscendingOrder) {
    CUpdateTimerGroup group;  // ticked by hand: no system timer
    std::vector<std::string> log;
    CRecordingTimer render(&log, "render"), meter(&log, "meter"), slow(&log, "slow");
    ASSERT_FALSE(render.setAttr("order-asc", "1000", false));
    ASSERT_FALSE(render.setAttr("fps", "30", false));
    ASSERT_FALSE(meter.setAttr("fps", "30", false));
    ASSERT_FALSE(slow.setAttr("interval", "0.1", false));
    render.join(&group, 0.0);  // joins first, runs last
    meter.join(&group, 0.0);
    slow.join(&group, 0.0);
    const double groupPeriod = group.period();
    for (int i = 0; i < 200; ++i) {
        ASSERT_FALSE(group.tick(i * groupPeriod));
        log.push_back("|");  // the end of a group tick
    }
    // Within a tick the render timer (order 1000) comes after all others.
    for (size_t i = 0; i + 1 < log.size(); ++i)
        if (log[i] == "render") {
            EXPECT_EQ(log[i + 1], "|") << "at " << i;
        }
    // Rates: 30 per second and 10 per second over 3 seconds (no catching up, no double runs).
    const double seconds = 199 * groupPeriod;
    EXPECT_NEAR(double(render.fireCount()), seconds * 30, 4);
    EXPECT_NEAR(double(slow.fireCount()), seconds * 10, 2);
}

TEST(UpdateTimerGroup, TimerThatFellBehindFiresOnceThenKeepsItsRhythm) {
    CUpdateTimerGroup group;
    std::vector<std::string> log;
    CRecordingTimer t(&log, "t");
    ASSERT_FALSE(t.setAttr("interval", "0.1", false));
    t.join(&group, 0.0);
    ASSERT_FALSE(group.tick(0.0));
    ASSERT_FALSE(group.tick(5.0));  // the UI thread was blocked for five seconds
    EXPECT_EQ(t.fireCount(), 2u);
    EXPECT_NEAR(t.nextDue(), 5.1, 1e-9);
    ASSERT_FALSE(group.tick(5.05));
    EXPECT_EQ(t.fireCount(), 2u);
}

TEST(UpdateTimerGroup, TimerLeavingDuringATickIsNotRun) {
    CUpdateTimerGroup group;
    std::vector<std::string> log;
    auto* second = new CRecordingTimer(&log, "second");
    // The first timer destroys the second one while the group ticks.
    class CKiller : public CUpdateTimer {
    public:
        CUpdateTimer** victim = nullptr;
        CError onTick() override {
            delete *victim;
            *victim = nullptr;
            return {};
        }
    } first;
    CUpdateTimer* victim = second;
    first.victim = &victim;
    first.join(&group, 0.0);
    second->join(&group, 0.0);
    ASSERT_FALSE(group.tick(0.0));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(group.timerCount(), 1u);
}

#include <png.h>

#include "UI/Window/ScreenshotSaver.h"

TEST(ScreenshotPng, DecodesToTheSamePixels) {
    CBitmap32 image(37, 5, 0xFF000000u);  // odd width: no row padding assumed
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels[size_t(y) * 37 + size_t(x)] = 0xFF000000u | uint32_t(x * 7) << 16 | uint32_t(y * 50) << 8 | 0x5A;
    const std::vector<uint8_t> png = kelEncodePng(image);
    png_image decoded{};
    decoded.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&decoded, png.data(), png.size()));
    ASSERT_EQ(decoded.width, 37u);
    ASSERT_EQ(decoded.height, 5u);
    decoded.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(37 * 5 * 3);
    ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, rgb.data(), 0, nullptr));
    for (size_t i = 0; i < 37 * 5; ++i) {
        const uint32_t p = image.pixels[i];
        ASSERT_EQ(rgb[i * 3], uint8_t(p >> 16)) << i;
        ASSERT_EQ(rgb[i * 3 + 1], uint8_t(p >> 8)) << i;
        ASSERT_EQ(rgb[i * 3 + 2], uint8_t(p)) << i;
    }
    EXPECT_TRUE(kelEncodePng(CBitmap32()).empty());
}

TEST(WindowResizer, SizesStayWithinTheBounds) {
    CWindowResizer r;
    EXPECT_FALSE(r.hasMinimum());
    double w = 5000, h = 0.2;
    r.constrain(&w, &h);
    EXPECT_EQ(w, 5000) << "no bounds: any size a renderer draws";
    EXPECT_EQ(h, 1) << "never empty";
    ASSERT_FALSE(r.setAttr("min-window-width", "300", false));
    ASSERT_FALSE(r.setAttr("min-window-height", "180", false));
    ASSERT_FALSE(r.setAttr("max-window-width", "900", false));
    ASSERT_FALSE(r.setAttr("max-window-height", "0", false));  // no bound
    EXPECT_TRUE(r.hasMinimum());
    struct Case {
        double w, h, expectW, expectH;
    } cases[] = {
        {100, 100, 300, 180},   // below the minimum: the minimum
        {500, 400, 500, 400},   // inside
        {2000, 2000, 900, 2000},
        {1e9, 1e9, 900, CWindowRenderer::kMaxSide},
    };
    for (const Case& c : cases) {
        double cw = c.w, ch = c.h;
        r.constrain(&cw, &ch);
        EXPECT_EQ(cw, c.expectW) << c.w;
        EXPECT_EQ(ch, c.expectH) << c.h;
    }
}
