// The X11 backend's input rules: double clicks from timing, key codes.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include "Platform/Window/Posix/InputX11.h"
#include "Platform/Window/Window.h"

using plat::x11::isDoubleClick;
using plat::x11::PressRecord;

TEST(X11DoubleClick, TimeDistanceButtonAndWindow) {
    const PressRecord first{7, 1000, 1, 50, 50, false};
    struct Case {
        const char* what;
        PressRecord second;
        bool expected;
    } cases[] = {
        {"quick, same place", {7, 1200, 1, 50, 50, false}, true},
        {"at the time limit", {7, 1400, 1, 50, 50, false}, true},
        {"just too slow", {7, 1401, 1, 50, 50, false}, false},
        {"moved 4 pixels", {7, 1100, 1, 54, 46, false}, true},
        {"moved 5 pixels", {7, 1100, 1, 55, 50, false}, false},
        {"other button", {7, 1100, 3, 50, 50, false}, false},
        {"other window", {8, 1100, 1, 50, 50, false}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(isDoubleClick(first, c.second), c.expected) << c.what;
}

TEST(X11DoubleClick, ClockWrapsAndTripleClicks) {
    // The server's millisecond clock wraps after 49 days.
    EXPECT_TRUE(isDoubleClick({1, 0xFFFFFF00u, 1, 0, 0, false}, {1, 0x40u, 1, 0, 0, false}));
    // No press before: nothing to pair with.
    EXPECT_FALSE(isDoubleClick(PressRecord{}, {1, 100, 1, 0, 0, false}));
    // A press that completed a double click does not pair again.
    EXPECT_FALSE(isDoubleClick({1, 1000, 1, 0, 0, true}, {1, 1100, 1, 0, 0, false}));
}

TEST(X11Keys, NamedKeysCharactersAndControl) {
    struct Case {
        uint32_t sym, utf32;
        bool control;
        uint32_t expected;
    } cases[] = {
        {XKB_KEY_Return, 13, false, plat::kKeyEnter},
        {XKB_KEY_KP_Enter, 13, false, plat::kKeyEnter},
        {XKB_KEY_Escape, 27, false, plat::kKeyEscape},
        {XKB_KEY_BackSpace, 8, false, plat::kKeyBackspace},
        {XKB_KEY_ISO_Left_Tab, 9, false, plat::kKeyTab},
        {XKB_KEY_KP_Left, 0, false, plat::kKeyLeft},
        {XKB_KEY_Next, 0, false, plat::kKeyPageDown},
        {XKB_KEY_Control_R, 0, true, plat::kKeyControl},
        {XKB_KEY_a, 'a', false, 'a'},
        {XKB_KEY_c, 3, true, 'C'},         // Control+C arrives as 'C'
        {XKB_KEY_z, 26, true, 'Z'},
        {XKB_KEY_adiaeresis, 0xE4, false, 0xE4},
        {XKB_KEY_bracketleft, 27, true, 0},  // Control+[ is no key of ours
        {XKB_KEY_F5, 0, false, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(plat::x11::keyCodeOf(c.sym, c.utf32, c.control), c.expected) << std::hex << c.sym;
}
