#pragma once
// The input rules of the X11 backend that need no connection: double
// clicks made from the timing of presses, and key symbols turned into the
// editor's key codes.

#include <cstdint>

namespace plat::x11 {

// Two presses of one button within this time and distance make a double click.
constexpr uint32_t kDoubleClickMs = 400;
constexpr int kDoubleClickPixels = 4;

struct PressRecord {
    uint32_t window = 0;
    uint32_t timeMs = 0;  // the server's time stamp (wraps around)
    int button = 0;
    int x = 0, y = 0;
    bool wasDouble = false;  // this press completed a double click
};

// Whether a press completes a double click after the last one. A press
// that completed one starts afresh: a third quick press is a single click.
bool isDoubleClick(const PressRecord& last, const PressRecord& now);

// The editor's key code of a key symbol (X keysym) and the character it
// types (0: none): the named keys map to their codes, characters pass, and
// with Control held the control characters 1..26 come back as 'A'..'Z'.
// 0 when the key means nothing to the editor.
uint32_t keyCodeOf(uint32_t keysym, uint32_t utf32, bool control);

}  // namespace plat::x11
