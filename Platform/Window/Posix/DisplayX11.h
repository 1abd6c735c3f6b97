#pragma once
// The X11 backend of the editor's windows: one xcb connection per display
// object. Blits go through a shared-memory segment per window (MIT-SHM) and
// fall back to plain put-image requests when the server refuses shared
// memory (a remote display). Keys are mapped with xkbcommon; double clicks
// are made here from the timing of presses (X sends none); monitors come
// from RANDR. No process-wide Xlib handler is installed: errors are read
// from checked requests.

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Window/Posix/InputX11.h"
#include "Platform/Window/Window.h"

struct xcb_connection_t;
struct xcb_screen_t;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace plat {

// An xcb reply, freed with free() as xcb wants.
template <typename T>
struct FreeReply {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply<T>>;

class CX11Window;

class CX11Display final : public CDisplay {
public:
    CX11Display() = default;
    ~CX11Display() override;
    bool connect(std::string* error);

    std::unique_ptr<CSystemWindow> createWindow(const WindowOptions& options, CWindowListener* listener,
                                                std::string* error) override;
    int fd() const override;
    bool dispatch() override;
    void flush() override;
    MonitorInfo monitorAt(int x, int y) override;
    MonitorInfo primaryMonitor() override;
    bool setClipboardPng(std::span<const uint8_t> png) override;
    bool setClipboardText(std::string_view utf8) override;
    bool clipboardText(std::string* utf8) override;
    int resourceCount() const override;
    const char* blitMethod() const override { return m_shm ? "shm" : "put-image"; }

    // For the windows of this display.
    xcb_connection_t* connection() const { return m_conn; }
    xcb_screen_t* screen() const { return m_screen; }
    uint32_t atom(int which) const { return m_atoms[which]; }
    bool shmUsable() const { return m_shm; }
    void shmFailed() { m_shm = false; }
    uint32_t cursor(CursorShape shape);
    void forget(CX11Window* w);
    void countResource(int delta) { m_resources += delta; }
    uint32_t maxRequestBytes() const { return m_maxRequestBytes; }

    enum Atom {
        WmProtocols, WmDeleteWindow, XEmbedInfo, XEmbed, NetWmName, Utf8String, NetWmWindowType,
        NetWmWindowTypeDialog, NetWmWindowTypePopupMenu, WmTransientFor, Clipboard, Targets, ImagePng,
        AtomCount
    };

private:
    void handle(void* event);
    CX11Window* find(uint32_t window) const;
    uint32_t translateKey(uint8_t keycode, uint16_t state);
    void answerSelection(const void* request);
    // ClipboardX11.cpp: the window that owns our selections, answers to
    // requests for our text (true when answered), and the wait for another
    // client's answer (events that arrive meanwhile wait for dispatch()).
    uint32_t clipboardWindow();
    bool answerTextSelection(const void* request, uint32_t property);
    void dispatchDeferred();
    void forgetClipboard();

    xcb_connection_t* m_conn = nullptr;
    xcb_screen_t* m_screen = nullptr;
    uint32_t m_atoms[AtomCount] = {};
    bool m_shm = false;
    uint32_t m_maxRequestBytes = 0;
    std::map<uint32_t, CX11Window*> m_windows;
    std::map<int, uint32_t> m_cursors;
    uint32_t m_cursorFont = 0;
    int m_resources = 0;

    xkb_context* m_xkbContext = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_keyState = nullptr;

    // The last press, for double clicks.
    x11::PressRecord m_lastPress;

    // The clipboard's content and the window that owns the selection.
    uint32_t m_clipboardWindow = 0;
    std::vector<uint8_t> m_clipboardPng;
    std::string m_clipboardText;
    std::vector<void*> m_deferred;
};

}  // namespace plat
