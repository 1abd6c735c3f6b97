// Double clicks and key codes of the X11 backend.
#include "Platform/Window/Posix/InputX11.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <cstdlib>

#include "Platform/Window/Window.h"

namespace plat::x11 {

bool isDoubleClick(const PressRecord& last, const PressRecord& now) {
    if (last.button == 0 || last.wasDouble || last.window != now.window || last.button != now.button) return false;
    const uint32_t elapsed = now.timeMs - last.timeMs;  // modulo 2^32, as the server's clock wraps
    return elapsed <= kDoubleClickMs && std::abs(now.x - last.x) <= kDoubleClickPixels &&
           std::abs(now.y - last.y) <= kDoubleClickPixels;
}

uint32_t keyCodeOf(uint32_t sym, uint32_t ch, bool control) {
    switch (sym) {
        case XKB_KEY_Escape: return kKeyEscape;
        case XKB_KEY_Insert: case XKB_KEY_KP_Insert: return kKeyInsert;
        case XKB_KEY_Delete: case XKB_KEY_KP_Delete: return kKeyDelete;
        case XKB_KEY_BackSpace: return kKeyBackspace;
        case XKB_KEY_Tab: case XKB_KEY_ISO_Left_Tab: return kKeyTab;
        case XKB_KEY_Return: case XKB_KEY_KP_Enter: return kKeyEnter;
        case XKB_KEY_Home: case XKB_KEY_KP_Home: return kKeyHome;
        case XKB_KEY_End: case XKB_KEY_KP_End: return kKeyEnd;
        case XKB_KEY_Prior: case XKB_KEY_KP_Prior: return kKeyPageUp;
        case XKB_KEY_Next: case XKB_KEY_KP_Next: return kKeyPageDown;
        case XKB_KEY_Left: case XKB_KEY_KP_Left: return kKeyLeft;
        case XKB_KEY_Right: case XKB_KEY_KP_Right: return kKeyRight;
        case XKB_KEY_Up: case XKB_KEY_KP_Up: return kKeyUp;
        case XKB_KEY_Down: case XKB_KEY_KP_Down: return kKeyDown;
        case XKB_KEY_Alt_L: case XKB_KEY_Alt_R: return kKeyAlt;
        case XKB_KEY_Control_L: case XKB_KEY_Control_R: return kKeyControl;
        case XKB_KEY_Shift_L: case XKB_KEY_Shift_R: return kKeyShift;
        default: break;
    }
    if (ch >= 1 && ch <= 26 && control) return ch + 64;  // Control+A arrives as 'A'
    if (ch < 32 || ch == 127) return 0;                  // other control characters mean nothing
    return ch;
}

}  // namespace plat::x11
