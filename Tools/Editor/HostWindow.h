#pragma once
// The top-level X window tamblor-editor embeds the editor in, as a DAW's
// plug-in window does, plus what the tests need from the display: input
// sent with XTEST, the window's pixels, and the count of windows inside it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct xcb_connection_t;
struct xkb_context;
struct xkb_keymap;

namespace editorhost {

class CHostWindow {
public:
    ~CHostWindow();
    bool open(int width, int height, const std::string& title, std::string* error);
    uint32_t id() const { return m_window; }
    int fd() const;
    void resize(int width, int height);
    // Reads the events of the host's own connection. The window is an XEmbed
    // embedder for keys: a client's focus request takes the keyboard to the
    // host window (XEMBED_FOCUS_IN to the client), and keys that reach the
    // host window go on to the client, as a DAW's plug-in window does.
    void drain();
    // The keyboard goes elsewhere in the host (XEMBED_FOCUS_OUT to the client).
    void releaseKeyFocus();
    int focusRequests() const { return m_focusRequests; }
    int keysForwarded() const { return m_keysForwarded; }
    // The window's pixels (0xAARRGGBB, rows top-down); empty on failure.
    std::vector<uint32_t> capture(int* width, int* height);
    // The same of another window (e.g. a pop-up found by name).
    std::vector<uint32_t> captureWindow(uint32_t window, int* width, int* height);
    // Windows inside ours (the plug-in's and theirs).
    int childWindowCount();
    // Top-level windows of the screen with this name (WM_NAME).
    int topLevelWindowsNamed(const std::string& name);
    uint32_t findTopLevel(const std::string& name);
    // A window's origin on the screen; false when it does not exist.
    bool windowPosition(uint32_t window, int* x, int* y);

    // XTEST input, positions relative to the host window.
    void moveMouse(int x, int y);
    void moveMouseOnScreen(int x, int y);
    // Into a top-level window found by name; false when there is none.
    bool moveMouseInto(const std::string& name, int x, int y);
    void button(int button, bool down);
    // A key by its X keysym name ("Return", "a", "Control_L").
    bool key(const std::string& keysymName, bool down);
    void sync();

private:
    void forTopLevel(const std::string& name, const std::function<void(uint32_t)>& fn);
    uint32_t embeddedWindow();
    void sendXEmbed(uint32_t message);
    uint32_t m_xembed = 0;
    bool m_keyFocusGiven = false;
    int m_focusRequests = 0, m_keysForwarded = 0;
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_window = 0, m_root = 0;
    int m_width = 0, m_height = 0;
    xkb_context* m_xkb = nullptr;
    xkb_keymap* m_keymap = nullptr;
};

// Writes 0xAARRGGBB pixels as an RGB PNG; false with a message on failure.
bool writePng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height, std::string* error);

}  // namespace editorhost
