// The system window of a window renderer.
#include "UI/Window/RendererWindow.h"

#include <algorithm>
#include <cmath>

#include "Core/Application.h"
#include "Core/Log.h"
#include "UI/View/View.h"
#include "UI/Window/UpdateTimer.h"
#include "UI/Window/WindowSharedData.h"

CRendererWindow::CRendererWindow(CWindowRenderer& renderer, CWindowSharedData& shared)
    : m_renderer(renderer), m_shared(shared) {}

CRendererWindow::~CRendererWindow() {
    m_shared.removeWindow(&m_renderer);
    m_window.reset();
}

CError CRendererWindow::open(CWindowRenderer& renderer, std::unique_ptr<CRendererOutput>* out) {
    auto* shared = dynamic_cast<CWindowSharedData*>(renderer.root()->findObject("ui.window-shared-data"));
    if (!shared || !shared->display()) return {};
    std::unique_ptr<CRendererWindow> w(new CRendererWindow(renderer, *shared));
    KEL_TRY(w->create());
    // Frames come with the render timer: one is made when the definition has none.
    if (!renderer.findChild("render-timer")) {
        std::unique_ptr<CObject> t = createObject("ui:update-timer");
        if (t) {
            t->setName("render-timer");
            KEL_TRY(t->setAttr("order-asc", "1000", false));
            if (renderer.hasAttr("fps")) KEL_TRY(t->setAttr("fps", renderer.attr("fps"), false));
            CObject* timer = t.get();
            KEL_TRY(renderer.addChild(std::move(t)));
            KEL_TRY(timer->initTree());
        }
    }
    shared->addWindow(&renderer);
    *out = std::move(w);
    return {};
}

CError CRendererWindow::create() {
    plat::WindowOptions o;
    m_popup = m_renderer.attrBool("is-popup-window");
    o.title = m_renderer.attr("title").utf8();
    o.taskbar = m_renderer.attrBool("is-taskbar");
    if (!m_popup) {
        o.kind = plat::WindowKind::Embedded;
        if (!kelParsePointerText(m_renderer.root()->attr("ParentWindow"), &o.parent))
            return KEL_ERROR(kelstr_CWindow_createWindow_NoParentWindow);
    } else {
        o.kind = m_renderer.attrBool("is-local-popup") ? plat::WindowKind::Menu : plat::WindowKind::Dialog;
        if (CWindowRenderer* main = m_shared.mainWindow())
            if (auto* mw = dynamic_cast<CRendererWindow*>(main->output())) o.owner = mw->m_window->handle();
    }
    std::string error;
    m_window = m_shared.display()->createWindow(o, this, &error);
    if (!m_window) {
        if (error == "Unable to locate parent window.") return KEL_ERROR(kelstr_CWindow_createWindow_NoParentWindow);
        return KEL_ERROR(kelstr_CWindow_createWindow_CreateError, CString(error));
    }
    kelLogf("Open window on: %.4f s", kelSecondsSinceStart());
    return {};
}

plat::CDisplay& CRendererWindow::display() const { return *m_shared.display(); }

bool CRendererWindow::monitorSize(int* width, int* height) {
    int x = 0, y = 0;
    m_window->screenPosition(&x, &y);
    const plat::MonitorInfo m = m_shared.display()->monitorAt(x, y);
    *width = m.width, *height = m.height;
    return m.width > 0 && m.height > 0;
}

bool CRendererWindow::place(const CString& alignment, const CRectD& op, int cursorX, int cursorY, int w, int h,
                            const plat::MonitorInfo& m, int* x, int* y) {
    double px = 0, py = 0;
    if (alignment == "bottom") px = op.x, py = op.bottom();
    else if (alignment == "bottom-center" || alignment == "bottom-local-center") px = op.x + (op.w - w) / 2, py = op.bottom();
    else if (alignment.empty() || alignment == "center" || alignment == "center-overlay")
        px = op.x + (op.w - w) / 2, py = op.y + (op.h - h) / 2;
    else if (alignment == "left") px = op.x - w, py = op.y;
    else if (alignment == "right") px = op.right(), py = op.y;
    else if (alignment == "cursor") px = cursorX, py = cursorY;
    else return false;
    // Kept on the monitor.
    px = std::clamp(px, double(m.x), double(std::max(m.x, m.x + m.width - w)));
    py = std::clamp(py, double(m.y), double(std::max(m.y, m.y + m.height - h)));
    *x = int(std::lround(px)), *y = int(std::lround(py));
    return true;
}

CError CRendererWindow::placePopup(int width, int height) {
    CRectD opener{0, 0, 0, 0};
    int originX = 0, originY = 0;
    CWindowRenderer* main = m_shared.mainWindow();
    if (auto* mw = main ? dynamic_cast<CRendererWindow*>(main->output()) : nullptr)
        if (mw != this) mw->m_window->screenPosition(&originX, &originY);
    CString openerPath = m_renderer.attr("opener").trimmed();
    if (openerPath.empty())
        if (CObject* o = m_renderer.root()->findObject("ui.window-shared-data.window-opener")) openerPath = o->attr("opener");
    if (auto* v = dynamic_cast<CView*>(m_renderer.findObject(openerPath))) opener = v->area().total;
    else if (main && main->rootView()) opener = main->rootView()->area().total;
    opener.x += originX, opener.y += originY;
    const plat::MonitorInfo m = m_shared.display()->monitorAt(int(opener.x), int(opener.y));
    int x = 0, y = 0;
    const CString alignment = m_renderer.attr("window-alignment").trimmed();
    // "shift-x", "shift-y": logical pixels from the aligned place.
    const double scale = m_renderer.totalScale() > 0 ? m_renderer.totalScale() : 1.0;
    opener.x += m_renderer.attrReal("shift-x", 0.0) * scale;
    opener.y += m_renderer.attrReal("shift-y", 0.0) * scale;
    if (!place(alignment, opener, int(opener.x), int(opener.y), width, height, m, &x, &y))
        return KEL_ERROR(kelstr_CWindow_createWindow_InvalidWinAlign, alignment);
    m_window->move(x, y);
    return {};
}

void CRendererWindow::sizeChanged(int width, int height) {
    m_window->setSize(width, height);
    m_width = width, m_height = height;
    if (m_popup) {
        if (CError e = placePopup(width, height)) kelLogError(e);
    }
    if (!m_shown && width > 0 && height > 0) {
        m_shown = true;
        m_window->show(true);
        // A menu takes the pointer and the keys while it is open: presses
        // outside every window of the editor come to it and close it.
        if (m_popup && m_renderer.attrBool("is-close-on-outside-click")) {
            m_menu = true;
            m_window->captureMouse(true);
            m_window->takeKeyFocus();
        }
    }
}

void CRendererWindow::present(const CBitmap32& buffer, const CPixelClip& c) {
    if (!m_shown || buffer.pixels.empty()) return;
    m_window->blit(buffer.pixels.data(), buffer.width, buffer.height, c.x0, c.y0, c.x1 - c.x0, c.y1 - c.y0);
    ++m_frames;
}

void CRendererWindow::send(CObject* target, const char* event, CEventParams& p) {
    // Views take their view events ("focus-lost", ...) without registering them.
    if (!target || (!target->hasEvent(event) && !dynamic_cast<CView*>(target))) return;
    if (CError e = target->runEvent(event, p)) kelLogError(e);
}

void CRendererWindow::onWindowEvent(const plat::WindowEvent& e) {
    using K = plat::WindowEvent::Kind;
    auto flag = [](bool b) { return CString(b ? "true" : "false"); };
    CEventParams p;
    auto position = [&] {
        p.set("x", CString::number(int64_t(e.x)));
        p.set("y", CString::number(int64_t(e.y)));
        p.set("screen-x", CString::number(int64_t(e.screenX)));
        p.set("screen-y", CString::number(int64_t(e.screenY)));
        p.set("is-alt", flag(e.alt));
        p.set("is-ctrl", flag(e.ctrl));
        p.set("is-shift", flag(e.shift));
        p.set("is-button-l", flag(e.buttonL));
        p.set("is-button-r", flag(e.buttonR));
    };
    switch (e.kind) {
        case K::Expose:
            p.set("x", CString::number(int64_t(e.x)));
            p.set("y", CString::number(int64_t(e.y)));
            p.set("width", CString::number(int64_t(e.width)));
            p.set("height", CString::number(int64_t(e.height)));
            send(&m_renderer, "paint", p);
            break;
        case K::MouseMove:
            position();
            send(&m_renderer, "mouse-move", p);
            break;
        case K::MouseButton:
            position();
            p.set("button", CString::number(int64_t(e.button)));
            p.set("is-button-down", flag(e.down));
            p.set("is-double-click", flag(e.doubleClick));
            if (e.button == 'X') {
                p.set("is-xbutton1", flag(e.xbutton == 1));
                p.set("is-xbutton2", flag(e.xbutton == 2));
                p.set("xbutton", CString::number(int64_t(e.xbutton == 1 ? 2 : 1)));
                send(&m_renderer, "mouse-xbutton", p);
                break;
            }
            if (e.down && m_menu && (e.x < 0 || e.y < 0 || e.x >= m_width || e.y >= m_height)) {
                // Outside the menu (it holds the pointer): it closes.
                CEventParams c{{"window", m_renderer.fullName()}};
                send(m_renderer.root()->findObject("ui.window-shared-data.window-closer"), "close-window", c);
                break;
            }
            if (e.down) {
                // A press in another window closes the menus open elsewhere.
                CView* at = m_renderer.viewAt(e.x, e.y);
                CEventParams c{{"window", m_renderer.fullName()}, {"view", at ? at->fullName() : CString()}};
                send(m_renderer.root()->findObject("ui.window-shared-data.window-closer"), "close-menus", c);
            }
            if (e.down) m_window->captureMouse(true);
            else if (!m_menu) m_window->captureMouse(false);
            // Key focus goes to the clicked view (none on the background)
            // before the press, so that a view that loses it finishes first.
            if (e.down) {
                CView* hit = m_renderer.viewAt(e.x, e.y);
                if (hit == m_renderer.rootView()) hit = nullptr;
                if (CError err = m_shared.changeKeyFocus(hit, false)) kelLogError(err);
            }
            send(&m_renderer, "mouse-button", p);
            // A view that now edits text needs the keyboard from the system.
            if (e.down && m_shared.keyTaker()) m_window->takeKeyFocus();
            // A double click on the window's background (no view of its own takes it).
            if (e.doubleClick && m_renderer.attrBool("is-screenshot-on-double-click") &&
                m_renderer.viewAt(e.x, e.y) == m_renderer.rootView()) {
                CEventParams s{{"window", m_renderer.fullName()}};
                send(m_renderer.root()->findObject("ui.window-shared-data.screenshot-saver"), "take-screenshot", s);
            }
            break;
        case K::MouseWheel:
            position();
            p.set("delta", CString::number(int64_t(e.delta)));
            send(&m_renderer, "mouse-wheel", p);
            break;
        case K::MouseExit:
            send(&m_renderer, "mouse-exit", p);
            break;
        case K::Key:
            if (CError err = m_shared.sendKey(e.down, e.keycode, e.alt, e.ctrl, e.shift)) kelLogError(err);
            break;
        case K::KeyFocus:
            // The keyboard went elsewhere: an edit in progress ends.
            if (!e.down) send(m_shared.keyFocus(), "focus-lost", p);
            break;
        case K::Activate:
            send(&m_renderer, e.down ? "activate-window" : "deactivate-window", p);
            break;
        case K::Close:
            if (m_popup) {
                CEventParams c{{"window", m_renderer.fullName()}};
                send(m_renderer.root()->findObject("ui.window-shared-data.window-closer"), "close-window", c);
            } else {
                send(&m_renderer, "close-app", p);
            }
            break;
        case K::Moved:
            if (CError err = m_renderer.setAttr("actual-x", CString::number(int64_t(e.screenX)), false)) kelLogError(err);
            if (CError err = m_renderer.setAttr("actual-y", CString::number(int64_t(e.screenY)), false)) kelLogError(err);
            break;
    }
}
