// User resizing of windows: the resizer and its handle.
#include "UI/Window/WindowResizer.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/UIParam.h"
#include "UI/Render/WindowRenderer.h"

namespace {
double number(const CEventParams& p, const char* name) {
    double v = 0;
    return p.get(name).toDouble(&v) ? v : 0;
}

CString lengthText(double v) { return CString::number(int64_t(std::lround(v))); }
}  // namespace

// --- Resizer ---------------------------------------------------------------------------------------

void CWindowResizer::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("update-timer", [](CObject* o, CEventParams&) -> CError {
        auto* r = static_cast<CWindowResizer*>(o);
        if (!r->m_restored) KEL_TRY(r->restoreStoredSize());
        return r->applyPending();
    });
    record.addEvent("resize-window", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowResizer*>(o)->requestSize(number(p, "width"), number(p, "height"));
    });
}

CError CWindowResizer::initDone() {
    const CString timerPath = hasAttr("update-timer") ? attr("update-timer") : CString(".update-timer");
    if (!findObject(timerPath)) {
        std::unique_ptr<CObject> t = createObject("ui:update-timer");
        if (t) {
            t->setName("update-timer");
            CObject* timer = t.get();
            KEL_TRY(addChild(std::move(t)));
            KEL_TRY(timer->initTree());
        }
    }
    return CObject::initDone();
}

CWindowRenderer* CWindowResizer::renderer() const { return dynamic_cast<CWindowRenderer*>(parent()); }

bool CWindowResizer::currentSize(double* width, double* height) const {
    CView* root = nullptr;
    if (hasAttr("root-view")) root = dynamic_cast<CView*>(findObject(attr("root-view")));
    if (!root && renderer()) root = renderer()->rootView();
    if (!root) return false;
    const CSizeRule& w = root->sizeRule(0);
    const CSizeRule& h = root->sizeRule(1);
    *width = w.kind == CSizeRule::Fixed ? w.value : root->area().total.w / std::max(1e-9, renderer() ? renderer()->totalScale() : 1.0);
    *height = h.kind == CSizeRule::Fixed ? h.value : root->area().total.h / std::max(1e-9, renderer() ? renderer()->totalScale() : 1.0);
    return true;
}

bool CWindowResizer::hasMinimum() const {
    return attrReal("min-window-width", 0) > 0 || attrReal("min-window-height", 0) > 0;
}

void CWindowResizer::constrain(double* width, double* height) const {
    auto clamp = [this](double v, const char* minName, const char* maxName) {
        const double lo = attrReal(minName, 0), hi = attrReal(maxName, 0);
        if (hi > 0) v = std::min(v, hi);
        if (lo > 0) v = std::max(v, lo);
        // Never beyond what a renderer draws, never empty.
        return std::clamp(v, 1.0, double(CWindowRenderer::kMaxSide));
    };
    *width = clamp(*width, "min-window-width", "max-window-width");
    *height = clamp(*height, "min-window-height", "max-window-height");
}

CError CWindowResizer::requestSize(double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height)) return {};
    constrain(&width, &height);
    width = std::round(width), height = std::round(height);
    double nowW = 0, nowH = 0;
    if (currentSize(&nowW, &nowH) && nowW == width && nowH == height && !m_pending) return {};
    m_width = width, m_height = height;
    m_pending = true;
    return storeSize(width, height);
}

CError CWindowResizer::applyPending() {
    if (!m_pending) return {};
    m_pending = false;
    CView* root = nullptr;
    if (hasAttr("root-view")) root = dynamic_cast<CView*>(findObject(attr("root-view")));
    if (!root && renderer()) root = renderer()->rootView();
    if (!root) return {};
    KEL_TRY(root->setAttr("width", lengthText(m_width), false));
    KEL_TRY(root->setAttr("height", lengthText(m_height), false));
    if (CWindowRenderer* r = renderer()) {
        r->requestLayout();
        KEL_TRY(r->render());
    }
    CEventParams p{{"width", lengthText(m_width)}, {"height", lengthText(m_height)}, {"is-winsize", "true"}};
    return notify("window-resized", p);
}

CError CWindowResizer::storeSize(double width, double height) {
    auto* param = dynamic_cast<CUIParam*>(findObject(hasAttr("ui-param") ? attr("ui-param") : CString(".ui-param-winsize")));
    CParamBridge* bridge = param ? param->binding().bridge() : nullptr;
    if (!bridge || !bridge->isReady()) return {};
    const uint32_t g = param->binding().group(), e = param->binding().element();
    KEL_TRY(bridge->setValue(g, e, width));
    return bridge->setValue(g, e + 1, height);
}

// The size the parameter keeps (the user's last one) comes back once.
CError CWindowResizer::restoreStoredSize() {
    auto* param = dynamic_cast<CUIParam*>(findObject(hasAttr("ui-param") ? attr("ui-param") : CString(".ui-param-winsize")));
    CParamBridge* bridge = param ? param->binding().bridge() : nullptr;
    if (!param) {
        m_restored = true;
        return {};
    }
    if (!bridge || !bridge->isReady()) return {};
    m_restored = true;
    const uint32_t g = param->binding().group(), e = param->binding().element();
    if (bridge->elementCount(g) < e + 2) return {};
    return requestSize(bridge->value(g, e), bridge->value(g, e + 1));
}

// --- Handle -------------------------------------------------------------------------------------------

void CWinResizeHandle::registerEvents(CClassRecord& record) { CView::registerEvents(record); }

CError CWinResizeHandle::initDone() {
    if (!hasAttr("hint")) KEL_TRY(setAttr("hint", kHint, false));
    return CView::initDone();
}

CWindowResizer* CWinResizeHandle::resizer() const {
    if (hasAttr("window-resizer")) return dynamic_cast<CWindowResizer*>(findObject(attr("window-resizer")));
    for (CObject* o = parent(); o; o = o->parent())
        if (auto* r = dynamic_cast<CWindowRenderer*>(o)) return dynamic_cast<CWindowResizer*>(r->findChild("window-resizer"));
    return nullptr;
}

CError CWinResizeHandle::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-press") {
        CWindowResizer* r = resizer();
        if (!r || !r->currentSize(&m_startWidth, &m_startHeight)) return {};
        m_dragging = true;
        m_startScreenX = number(p, "screen-x"), m_startScreenY = number(p, "screen-y");
        return {};
    }
    if (name == "mouse-move" && m_dragging) {
        CWindowResizer* r = resizer();
        CWindowRenderer* w = r ? r->renderer() : nullptr;
        if (!w) return {};
        const double scale = std::max(1e-9, w->totalScale());
        return r->requestSize(m_startWidth + (number(p, "screen-x") - m_startScreenX) / scale,
                              m_startHeight + (number(p, "screen-y") - m_startScreenY) / scale);
    }
    if (name == "mouse-release" || name == "mouse-cancel") m_dragging = false;
    return CView::onViewEvent(name, p);
}
