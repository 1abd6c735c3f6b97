#pragma once
// CWinDrag (tag "ui:window-drag"): a view whose background moves its
// top-level window (the base of message and settings windows). With
// "is-window-draggable" (default true) a left press on the view itself
// starts the move; moves follow the pointer on the screen; the release
// ends it with "constrain-window": the window is kept on the monitor that
// holds it. The window's position is kept in the renderer's "actual-x" and
// "actual-y". Embedded windows (the host's) are never moved.

#include "UI/View/View.h"

class CWinDrag : public CView {
public:
    static void registerEvents(CClassRecord& record);
    bool isDragging() const { return m_dragging; }

private:
    CError press(const CEventParams& p);
    CError move(const CEventParams& p);
    CError release();

    bool m_dragging = false;
    int m_startScreenX = 0, m_startScreenY = 0;
    int m_startWindowX = 0, m_startWindowY = 0;
};
