// Moving top-level windows by their background.
#include "UI/Window/WindowDrag.h"

#include <algorithm>

#include "UI/Render/WindowRenderer.h"
#include "UI/Window/RendererWindow.h"
#include "UI/Window/WindowSharedData.h"

namespace {
CRendererWindow* windowOf(const CObject* o) {
    for (; o; o = o->parent())
        if (auto* r = dynamic_cast<const CWindowRenderer*>(o)) {
            auto* w = dynamic_cast<CRendererWindow*>(r->output());
            return w && r->attrBool("is-popup-window") ? w : nullptr;
        }
    return nullptr;
}

int number(const CEventParams& p, const char* name) {
    int64_t v = 0;
    return p.get(name).toInt(&v) ? int(v) : 0;
}
}  // namespace

void CWinDrag::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("mouse-press", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWinDrag*>(o)->press(p);
    });
    record.addEvent("mouse-move", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWinDrag*>(o)->move(p);
    });
    record.addEvent("mouse-release", [](CObject* o, CEventParams&) -> CError {
        return static_cast<CWinDrag*>(o)->release();
    });
    record.addEvent("mouse-cancel", [](CObject* o, CEventParams&) -> CError {
        return static_cast<CWinDrag*>(o)->release();
    });
    record.addEvent("constrain-window", [](CObject* o, CEventParams&) -> CError {
        CRendererWindow* w = windowOf(o);
        if (!w) return {};
        int x = 0, y = 0;
        w->window()->screenPosition(&x, &y);
        const CBitmap32& b = w->renderer().backBuffer();
        const plat::MonitorInfo m = w->display().monitorAt(x + b.width / 2, y + b.height / 2);
        const int cx = std::clamp(x, m.x, std::max(m.x, m.x + m.width - b.width));
        const int cy = std::clamp(y, m.y, std::max(m.y, m.y + m.height - b.height));
        if (cx != x || cy != y) w->window()->move(cx, cy);
        return {};
    });
}

CError CWinDrag::press(const CEventParams& p) {
    CRendererWindow* w = windowOf(this);
    if (!w || !(hasAttr("is-window-draggable") ? attrBool("is-window-draggable") : true)) return {};
    m_dragging = true;
    m_startScreenX = number(p, "screen-x"), m_startScreenY = number(p, "screen-y");
    w->window()->screenPosition(&m_startWindowX, &m_startWindowY);
    return {};
}

CError CWinDrag::move(const CEventParams& p) {
    if (!m_dragging) return {};
    CRendererWindow* w = windowOf(this);
    if (!w) return {};
    const int x = m_startWindowX + number(p, "screen-x") - m_startScreenX;
    const int y = m_startWindowY + number(p, "screen-y") - m_startScreenY;
    w->window()->move(x, y);
    KEL_TRY(w->renderer().setAttr("actual-x", CString::number(int64_t(x)), false));
    return w->renderer().setAttr("actual-y", CString::number(int64_t(y)), false);
}

CError CWinDrag::release() {
    if (!m_dragging) return {};
    m_dragging = false;
    return runEvent("constrain-window");
}
