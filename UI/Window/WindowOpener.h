#pragma once
// Opening and closing the editor's pop-up windows.
//
// CWindowOpener (tag "ui:window-opener", one per editor under
// "ui.window-shared-data"): "open-window" with "window-tag" (a run-time
// template whose body holds a window renderer) and "opener" (the path of
// the view it opens from) creates the pop-up under the editor's "ui" object,
// named after the template. The new renderer is marked "is-popup-window"
// (and "is-local-popup" when the event says so) and placed relative to the
// opener. A pop-up of that name that is already open is closed instead
// (the opener's button toggles it). Notifies "popup-created" and
// "popup-changed".
//
// CWindowCloser (tag "ui:window-closer"): "close-window" with "window" (the
// full name of a pop-up's renderer or of its holder) runs "pre-close-window"
// on the renderer, then, on the UI thread after the current event,
// "perform-close-window" and destroys the pop-up. "close-menus" closes the
// open pop-ups whose renderer has "is-close-on-outside-click" when a press
// lands elsewhere: "window" is the renderer pressed in (its own menu stays)
// and "view" the view pressed (a menu's opener toggles its menu itself).

#include "Core/Object.h"

KELSTR(CWindowOpener_open_NoTemplate, "No window template given.");
KELSTR(CWindowOpener_open_NoUi, "The editor has no 'ui' object.");
KELSTR(CWindowOpener_open_NoRenderer, "Template '%1' holds no window renderer.");

class CWindowRenderer;

class CWindowOpener : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError openWindow(const CString& templateName, const CString& openerPath, bool localPopup);
    // The pop-up's holder under "ui" when it is open.
    CObject* findPopup(const CString& templateName) const;
};

class CWindowCloser : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError closeWindow(const CString& windowName);
    CError closeMenus(const CString& pressedWindow, const CString& pressedView);
    // Destroys a pop-up at once (the holder under "ui").
    static void destroyPopup(CObject* holder);
};

// The renderer inside a pop-up's holder (the holder itself or its first
// renderer descendant).
CWindowRenderer* kelFindRenderer(CObject* holder);
