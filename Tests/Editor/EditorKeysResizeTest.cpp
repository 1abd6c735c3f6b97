// Keys and sizes of the editor in a host window under Xvfb, on the test
// definition: the shipped editor (whose knob read-outs edit on a click) with
// a window resizer (300 x 180 to 900 x 600) and its handle at the bottom
// right.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Tests/Editor/EditorTestSupport.h"

namespace {
// The In Gain read-out (52 x 16 at (285, 390), under its knob) and the
// handle (12 x 26 in the bottom right corner) of the 590 x 444 editor.
constexpr int kReadOutX = 311, kReadOutY = 398;
constexpr int kHandleX = 584, kHandleY = 431;
// In Gain runs from -3 to +24 dB; the plug-in reports it normalised.
constexpr double kInGain6dB = 9.0 / 27.0, kInGain1dB = 4.0 / 27.0;

EditorRun runTestEditor(const std::string& script) {
    return runEditor({"--frames", "3", "--script", script}, {std::string("TAMBLOR_EDITOR_DEFINITION=") +
                                                             TAMBLOR_EDITOR_TEST_DEFINITION_FILE});
}

// A click on the read-out opens its edit box with the value's text ("0.00",
// selected); the scripts' four BackSpaces clear it with or without the
// selection.
std::string clickReadOut() {
    return "click " + std::to_string(kReadOutX) + " " + std::to_string(kReadOutY) + "\nawait-focus\n";
}

// The In Gain the plug-in holds after the run, as the tool's "param" shows it
// (normalised), or -1.
double inGain(const EditorRun& r) {
    double v = -1;
    const std::string s = r.value("param");
    return std::sscanf(s.c_str(), "InGain %lf", &v) == 1 ? v : -1;
}
}  // namespace

// Keys reach the editor the way a DAW hands them on: a click on the read-out
// opens its edit box and asks the embedder for the keyboard (XEmbed); the
// embedder then forwards the keys that reach its own window. Without the
// request the keys reach nobody. A host's focus-out leaves the box as any
// other way out does (a text that means a value is kept), and keys after it
// reach no box.
TEST(Keys, TypingIntoTheReadOutThroughXEmbed) {
    // The pointer leaves the host window (at the screen's origin) before
    // typing: keys go to the focused host window, not to the window under
    // the pointer.
    const std::string clear = "move 600 400\nwait 50\nkey BackSpace\nkey BackSpace\nkey BackSpace\nkey BackSpace\n";
    const std::string typed = clear + "key 6\nkey Return\n";
    const std::string edited = "await-edits 1\nparam InGain\n", unchanged = "wait 200\nparam InGain\n";
    // After the focus-out a Return and a further digit must change nothing.
    const std::string focusOut = "unfocus\nwait 100\nkey Return\nkey 1\nkey Return\nwait 150\nparam InGain\n";
    struct Case {
        const char* what;
        std::string script;
        bool edited;
        bool focusRequested;
    } cases[] = {
        {"typed", clickReadOut() + typed + edited, true, true},
        {"no click", typed + unchanged, false, false},
        {"host focus-out before Return", clickReadOut() + clear + "key 6\n" + focusOut, true, true},
    };
    double untouched = -1;
    for (const Case& c : cases) {
        const std::string script = writeScript(c.script);
        const EditorRun r = runTestEditor(script);
        ASSERT_EQ(r.status, 0) << c.what << r.errors;
        EXPECT_EQ(r.number("focus-requests") > 0, c.focusRequested) << c.what;
        if (c.edited) {
            EXPECT_GE(r.number("keys-forwarded"), 2) << c.what;
            EXPECT_EQ(r.linesWith("perform ").size(), 1u) << c.what << ": one edit";
            EXPECT_NEAR(inGain(r), kInGain6dB, 1e-4) << c.what;
        } else {
            EXPECT_TRUE(r.linesWith("perform ").empty()) << c.what;
            if (untouched < 0) untouched = inGain(r);
            EXPECT_EQ(inGain(r), untouched) << c.what;
        }
        std::remove(script.c_str());
    }
}

// The host's own key path (onKeyDown / onKeyUp): keys are taken only while
// the edit box is open, so the host keeps its shortcuts otherwise.
TEST(Keys, HostKeysReachOnlyAnOpenEditBox) {
    std::string body = "host-key 5\n" + clickReadOut();
    for (int i = 0; i < 4; ++i) body += "host-key BackSpace\n";
    const std::string script = writeScript(body + "host-key 1\nhost-key 2\nhost-key BackSpace\nhost-key Return\n"
                                                  "await-edits 1\nhost-key 7\nparam InGain\n");
    const EditorRun r = runTestEditor(script);
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::string> keys = r.values("host-key");
    ASSERT_EQ(keys.size(), 10u) << r.errors;
    EXPECT_EQ(keys[0], "5 0") << "no edit box: the host keeps the key";
    EXPECT_EQ(keys[5], "1 1");
    EXPECT_EQ(keys[7], "BackSpace 1");
    EXPECT_EQ(keys[8], "Return 1");
    EXPECT_EQ(keys[9], "7 0") << "the Return closed the box";
    // "12", BackSpace, Return: one edit, to 1 dB.
    ASSERT_EQ(r.linesWith("perform ").size(), 1u);
    EXPECT_NEAR(inGain(r), kInGain1dB, 1e-4);
    std::remove(script.c_str());
}

// A drag on the handle resizes the editor through the host (resizeView,
// then the host's onSize), within the resizer's bounds.
TEST(Resize, DragOnTheHandleResizesThroughTheHost) {
    struct Case {
        int dx, dy;
        int width, height;
    } cases[] = {
        {100, 50, 690, 494},
        {-400, -300, 300, 180},  // below the minimum: the minimum (the maximum: WindowResizer unit test)
    };
    for (const Case& c : cases) {
        const std::string png = tempPath(".png");
        const std::string script = writeScript("drag " + std::to_string(kHandleX) + " " + std::to_string(kHandleY) + " " +
                                               std::to_string(kHandleX + c.dx) + " " + std::to_string(kHandleY + c.dy) +
                                               "\nwait 150\nscreenshot " + png + "\n");
        const EditorRun r = runTestEditor(script);
        ASSERT_EQ(r.status, 0) << c.dx << r.errors;
        const std::vector<std::string> sizes = r.values("resize");
        ASSERT_FALSE(sizes.empty()) << c.dx << ": the host was asked";
        EXPECT_EQ(sizes.back(), std::to_string(c.width) + " " + std::to_string(c.height)) << c.dx;
        PngImage img;
        ASSERT_TRUE(readPng(png, &img)) << c.dx;
        EXPECT_EQ(img.width, c.width) << c.dx;
        EXPECT_EQ(img.height, c.height) << c.dx;
        // The editor fills the new size: its background reaches the far corner.
        EXPECT_NE(img.at(c.width - 30, c.height - 3), 0u) << c.dx;
        std::remove(png.c_str());
        std::remove(script.c_str());
    }
}
