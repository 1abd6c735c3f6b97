#pragma once
// User resizing of a window.
//
// CWindowResizer (tag "ui:window-resizer", a child of a window renderer):
// keeps the window's size (its root view's "width" and "height", logical
// pixels) within "min-window-width", "min-window-height",
// "max-window-width" and "max-window-height" (a missing or non-positive
// bound is no bound). A size request (requestSize, or the event
// "resize-window" with "width" and "height") is clamped, stored in the UI
// parameter "ui-param" (default ".ui-param-winsize": elements width and
// height of its bridge's group) and applied on the resizer's next update
// timer tick ("update-timer", default ".update-timer", made when missing):
// the root view takes the size and the renderer lays out again, so the
// window follows with the next frame. A stored size comes back when the
// parameter is ready. The resizer notifies "window-resized" ("width",
// "height", "is-winsize" true) after applying a size.
//
// CWinResizeHandle (tag "ui:win-resize-handle"): a view that drags the size
// of its window through the resizer named by "window-resizer" (default: the
// renderer's child "window-resizer"). A left press starts; moves add the
// pointer's travel on the screen (divided by the window's scale) to the
// size at the press; the release or a cancel ends the drag.
//
// UI thread only.

#include "UI/View/View.h"

class CWindowRenderer;

class CWindowResizer : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    CWindowRenderer* renderer() const;
    // The size now, logical pixels (the root view's fixed width and height).
    bool currentSize(double* width, double* height) const;
    // Clamps a size into the bounds.
    void constrain(double* width, double* height) const;
    bool hasMinimum() const;
    // Clamps, stores and schedules a size (applied on the next tick).
    CError requestSize(double width, double height);
    bool isPending() const { return m_pending; }
    // Applies a scheduled size now.
    CError applyPending();

private:
    CError storeSize(double width, double height);
    CError restoreStoredSize();

    bool m_pending = false;
    bool m_restored = false;
    double m_width = 0, m_height = 0;
};

class CWinResizeHandle : public CView {
public:
    static constexpr const char* kHint =
        "Resizing handle. [B]Resizing may not work in this host application! Reload host if stuck.[/B]";

    static void registerEvents(CClassRecord& record);
    CError initDone() override;
    bool isDragging() const { return m_dragging; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CWindowResizer* resizer() const;

    bool m_dragging = false;
    double m_startScreenX = 0, m_startScreenY = 0;
    double m_startWidth = 0, m_startHeight = 0;
};
