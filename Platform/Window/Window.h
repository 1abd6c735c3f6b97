#pragma once
// System windows of the editor: one display connection per editor, its
// windows (embedded in a host's window, or top-level: pop-ups, menus,
// dialogs), their input as plain records, and blits of 32-bit pixels.
//
// Backends: X11 over xcb (Posix/), Win32 (Win32/). Everything runs on the
// thread that opened the display (the editor's UI thread). On X11 the
// connection has a file descriptor that the host's run loop watches; the
// owner calls dispatch() when it is readable (and from a timer, for hosts
// that never signal it). On Win32 the host's message loop delivers the
// messages to the windows' own procedure; dispatch() does nothing.
//
// Coordinates are pixels; window events carry window-relative and screen
// positions.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace plat {

// Key codes of keys that produce no character (the editor's own codes).
enum : uint32_t {
    kKeyEscape = 0x7F01,
    kKeyInsert = 0x7F02,
    kKeyDelete = 0x7F03,
    kKeyBackspace = 0x7F04,
    kKeyTab = 0x7F05,
    kKeyEnter = 0x7F06,
    kKeyHome = 0x7F07,
    kKeyEnd = 0x7F08,
    kKeyPageUp = 0x7F09,
    kKeyPageDown = 0x7F0A,
    kKeyLeft = 0x7F0B,
    kKeyRight = 0x7F0C,
    kKeyUp = 0x7F0D,
    kKeyDown = 0x7F0E,
    kKeyAlt = 0x7F11,
    kKeyControl = 0x7F12,
    kKeyShift = 0x7F13,
};

struct WindowEvent {
    enum class Kind {
        Expose,       // x, y, width, height: area to draw again
        MouseMove,    // x, y; screenX, screenY
        MouseButton,  // button ('L', 'R', 'M', 'X'), down, doubleClick, xbutton (1 or 2)
        MouseWheel,   // delta +1 (up) or -1 (down)
        MouseExit,
        Key,          // keycode (a character or kKey...), down
        Activate,     // down: gained (true) or lost (false) activation
        KeyFocus,     // down: the window gained (true) or lost (false) the keyboard
        Close,        // the window manager asks the window to close
        Moved,        // screenX, screenY of the window's origin; width, height
    };
    Kind kind = Kind::Expose;
    int x = 0, y = 0, width = 0, height = 0;
    int screenX = 0, screenY = 0;
    int button = 0;
    int xbutton = 0;
    int delta = 0;
    uint32_t keycode = 0;
    bool down = false;
    bool doubleClick = false;
    bool alt = false, ctrl = false, shift = false;
    bool buttonL = false, buttonR = false;
};

class CWindowListener {
public:
    virtual void onWindowEvent(const WindowEvent& e) = 0;

protected:
    ~CWindowListener() = default;
};

enum class WindowKind {
    Embedded,  // a child of the host's window (the editor's main window)
    Dialog,    // top-level, transient for its owner
    Menu,      // top-level without decoration (override-redirect on X11)
};

enum class CursorShape { Arrow, Hand, SizeAll, SizeHorizontal, SizeVertical, Text, Hidden };

struct WindowOptions {
    WindowKind kind = WindowKind::Embedded;
    uintptr_t parent = 0;  // Embedded: the host's window
    uintptr_t owner = 0;   // Dialog: the window it is transient for
    std::string title;
    int x = 0, y = 0;      // Embedded: in the parent; otherwise on the screen
    int width = 1, height = 1;
    bool taskbar = false;
};

struct MonitorInfo {
    int x = 0, y = 0, width = 0, height = 0;
};

class CSystemWindow {
public:
    virtual ~CSystemWindow() = default;
    // The system's handle (X window id or HWND).
    virtual uintptr_t handle() const = 0;
    virtual void show(bool visible) = 0;
    virtual void setSize(int width, int height) = 0;
    // Embedded: position in the parent; otherwise on the screen.
    virtual void move(int x, int y) = 0;
    // The window's origin on the screen.
    virtual void screenPosition(int* x, int* y) = 0;
    virtual void setTitle(std::string_view title) = 0;
    virtual void setCursor(CursorShape shape) = 0;
    // Mouse capture while a button drags.
    virtual void captureMouse(bool on) = 0;
    virtual void moveMouse(int screenX, int screenY) = 0;
    // Asks for the keyboard: an embedded window asks its embedder (XEmbed on
    // X11), which then sends KeyFocus and hands the keys on.
    virtual void takeKeyFocus() = 0;
    // Copies an area of a top-down 32-bit (0xAARRGGBB) image of the
    // window's size to the window.
    virtual void blit(const uint32_t* pixels, int width, int height, int x, int y, int w, int h) = 0;
};

class CDisplay {
public:
    virtual ~CDisplay() = default;
    // Opens a connection (X11: $DISPLAY). Null and *error on failure.
    static std::unique_ptr<CDisplay> open(std::string* error);

    // Creates a window. Null and *error when the system refuses (e.g. a
    // parent that does not exist).
    virtual std::unique_ptr<CSystemWindow> createWindow(const WindowOptions& options, CWindowListener* listener,
                                                        std::string* error) = 0;
    // The connection's descriptor for the run loop (-1: none).
    virtual int fd() const = 0;
    // Reads and delivers every pending event; false when the connection broke.
    virtual bool dispatch() = 0;
    // Sends what is queued to the display.
    virtual void flush() = 0;
    // The monitor that holds a screen point (the primary one when none).
    virtual MonitorInfo monitorAt(int x, int y) = 0;
    virtual MonitorInfo primaryMonitor() = 0;
    // Offers a PNG image as the clipboard's content (the display keeps a copy).
    virtual bool setClipboardPng(std::span<const uint8_t> png) = 0;
    // Offers UTF-8 text as the clipboard's content (X11: the CLIPBOARD
    // selection as UTF8_STRING; Win32: CF_UNICODETEXT). False when refused.
    virtual bool setClipboardText(std::string_view utf8) = 0;
    // The clipboard's text, ours or another program's. False when it holds
    // no text or its owner does not answer within half a second.
    virtual bool clipboardText(std::string* utf8) = 0;
    // Counts of the system resources the connection holds now (windows,
    // shared-memory segments, cursors): the leak tests read them.
    virtual int resourceCount() const = 0;
    // How blits travel ("shm", "put-image", "gdi").
    virtual const char* blitMethod() const = 0;
};

}  // namespace plat
