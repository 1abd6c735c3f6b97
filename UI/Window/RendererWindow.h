#pragma once
// CRendererWindow: the system window of a window renderer. It is the
// renderer's output (frames are blitted to it) and turns the window's input
// into the renderer's events.
//
// Which window: the main window ("is-main-window", or any renderer that is
// not a pop-up) is a child of the host's window, the editor root's
// "ParentWindow"; a pop-up ("is-popup-window") is a top-level window, a menu
// (override-redirect, no decoration) when "is-local-popup" is set, else a
// dialog transient for the main window, placed by "window-alignment"
// relative to its "opener" view.
//
// Events sent to the renderer: "paint", "mouse-move", "mouse-button",
// "mouse-xbutton", "mouse-wheel", "mouse-exit"; keys go to the key-focus
// view ("key-press", "key-release", CWindowSharedData::sendKey). A press
// gives the key focus to the view under it (none on the background); when
// that view then edits text the window asks the system for the keyboard
// (XEmbed on X11), and losing the keyboard sends "focus-lost" to the focus
// view. Keys are not taken otherwise, so a host keeps its shortcuts. A double click with
// "is-screenshot-on-double-click" runs "take-screenshot" on the editor's
// screenshot saver; a close request runs "close-window" on the editor's
// window closer for pop-ups and "close-app" on the renderer otherwise.
// A pop-up with "is-close-on-outside-click" is a menu: once shown it holds
// the pointer and asks for the keyboard, and a press outside it closes it;
// a press in any window runs "close-menus" on the window closer. Pop-ups
// are placed "shift-x" and "shift-y" logical pixels from their alignment.
// Event errors are logged and dropped.

#include <memory>

#include "Platform/Window/Window.h"
#include "UI/Render/WindowRenderer.h"

KELSTR(CWindow_createWindow_NoParentWindow, "Unable to locate parent window.");
KELSTR(CWindow_createWindow_CreateError, "Unable to create window (error %1).");
KELSTR(CWindow_createWindow_InvalidWinAlign, "Invalid window alignment '%1'");

class CWindowSharedData;

class CRendererWindow final : public CRendererOutput, public plat::CWindowListener {
public:
    // Opens the window of a renderer; *out stays null for a renderer
    // without window shared data in its tree (a window-less editor).
    static CError open(CWindowRenderer& renderer, std::unique_ptr<CRendererOutput>* out);
    ~CRendererWindow() override;

    bool monitorSize(int* width, int* height) override;
    void sizeChanged(int width, int height) override;
    void present(const CBitmap32& buffer, const CPixelClip& changed) override;
    void onWindowEvent(const plat::WindowEvent& e) override;

    plat::CSystemWindow* window() const { return m_window.get(); }
    CWindowRenderer& renderer() const { return m_renderer; }
    plat::CDisplay& display() const;
    uint64_t framesPresented() const { return m_frames; }

    // Where a pop-up of this size goes for an alignment, given the opener's
    // rectangle on the screen, the cursor and the monitor. False for an
    // unknown alignment.
    static bool place(const CString& alignment, const CRectD& opener, int cursorX, int cursorY, int width, int height,
                      const plat::MonitorInfo& monitor, int* x, int* y);

private:
    CRendererWindow(CWindowRenderer& renderer, CWindowSharedData& shared);
    CError create();
    CError placePopup(int width, int height);
    void send(CObject* target, const char* event, CEventParams& p);

    CWindowRenderer& m_renderer;
    CWindowSharedData& m_shared;
    std::unique_ptr<plat::CSystemWindow> m_window;
    bool m_popup = false;
    bool m_shown = false;
    bool m_menu = false;  // holds the pointer while open
    int m_width = 0, m_height = 0;
    uint64_t m_frames = 0;
};
