// The window renderer without a system window: layout, sectors, frames and input.
#include "UI/Render/WindowRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Platform/System.h"
#include "UI/View/View.h"
#include "UI/View/ViewLayout.h"
#include "UI/Window/WindowSharedData.h"

double kelUiScale(const CUiScaleSettings& s) {
    if (s.visualScale > 2.220446049250313e-16) return s.visualScale;
    const CString use = s.useScreenResolution.trimmed();
    const bool screen = !(use == "0" || use == "false");
    double scale = 1.0;
    const CString text = (screen ? s.scale2 : s.scale).trimmed();
    if (!text.toDouble(&scale) || !(scale > 0)) scale = 1.0;
    if (screen && s.monitorWidth > 0 && s.monitorHeight > 0) {
        scale *= std::min(s.monitorWidth, s.monitorHeight) / 1080.0;
        scale = std::round(scale / 0.05) * 0.05;
        scale = std::max(scale, 0.8);
    }
    return scale;
}

namespace {
void forEachPainted(CView* v, const std::function<void(CView*)>& fn) {
    fn(v);
    for (CView* c : v->paintOrder())
        if (c->takesSpace()) forEachPainted(c, fn);
}
}  // namespace

namespace {
CRendererOutputFactory g_outputFactory = nullptr;
}

void CWindowRenderer::setOutputFactory(CRendererOutputFactory factory) { g_outputFactory = factory; }

CWindowRenderer::CWindowRenderer() = default;
// The window goes before the views it shows.
CWindowRenderer::~CWindowRenderer() { m_output.reset(); }

void CWindowRenderer::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("render-timer", [](CObject* o, CEventParams&) -> CError {
        return static_cast<CWindowRenderer*>(o)->render();
    });
    record.addEvent("paint", [](CObject* o, CEventParams& p) -> CError {
        auto* r = static_cast<CWindowRenderer*>(o);
        double x = 0, y = 0, w = 0, h = 0;
        p.get("x").toDouble(&x), p.get("y").toDouble(&y), p.get("width").toDouble(&w), p.get("height").toDouble(&h);
        r->markDirty({x, y, w, h});
        return r->render();
    });
    // A view's area to draw again with the next frame ("x", "y", "width", "height").
    record.addEvent("request-view-area-updates", [](CObject* o, CEventParams& p) -> CError {
        double x = 0, y = 0, w = 0, h = 0;
        p.get("x").toDouble(&x), p.get("y").toDouble(&y), p.get("width").toDouble(&w), p.get("height").toDouble(&h);
        static_cast<CWindowRenderer*>(o)->markDirty({x, y, w, h});
        return {};
    });
    record.addEvent("mouse-move", [](CObject* o, CEventParams& p) -> CError {
        double x = 0, y = 0;
        p.get("x").toDouble(&x), p.get("y").toDouble(&y);
        return static_cast<CWindowRenderer*>(o)->onMouseMove(x, y, p);
    });
    record.addEvent("mouse-button", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowRenderer*>(o)->onMouseButton(p);
    });
    record.addEvent("mouse-wheel", [](CObject* o, CEventParams& p) -> CError {
        auto* r = static_cast<CWindowRenderer*>(o);
        double x = 0, y = 0;
        p.get("x").toDouble(&x), p.get("y").toDouble(&y);
        return r->sendToView(r->viewAt(x, y), "mouse-wheel", p, x, y);
    });
    record.addEvent("mouse-exit", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowRenderer*>(o)->onMouseMove(-1e9, -1e9, p);
    });
    record.addEvent("content-ready", [](CObject*, CEventParams&) -> CError { return {}; });
    record.addEvent("update-window-scale", [](CObject* o, CEventParams& p) -> CError {
        auto* r = static_cast<CWindowRenderer*>(o);
        const CString mode = p.get("mode");
        if (!mode.empty() && !(mode == "refresh") && !(mode == "force"))
            return KEL_ERROR(kelstr_CWindowRenderer_onUpdateWindowScale_InvalidMode);
        const double ui = r->computeUiScale();
        if (ui != r->m_uiScale || mode == "force") r->setScale(ui, r->m_pixelRatio);
        return {};
    });
}

CError CWindowRenderer::init() {
    m_root = nullptr;
    for (const auto& c : children())
        if (auto* v = dynamic_cast<CView*>(c.get()); v && v->attrBool("is-root-view")) {
            m_root = v;
            break;
        }
    if (!m_root) return KEL_ERROR(kelstr_CWindow_init_NoRootView);
    return {};
}

CError CWindowRenderer::initDone() {
    m_openTime = kelSecondsSinceStart();
    if (g_outputFactory) KEL_TRY(g_outputFactory(*this, &m_output));
    m_uiScale = computeUiScale();
    m_pixelRatio = attrBool("is-retina-mode") ? 2.0 : 1.0;
    m_needsLayout = true;
    KEL_TRY(layout());
    const double fraction = attrReal("num-threads", 0.0);
    setWorkerCount(kelRenderWorkerCount(fraction, plat::processorCount(), m_sectors.sectorCount()));
    return CObject::initDone();
}

double CWindowRenderer::computeUiScale() const {
    CUiScaleSettings s;
    s.visualScale = root()->attrReal("VisualScale", 0.0);
    s.scale = attr("ui-scale");
    s.scale2 = hasAttr("ui-scale2") ? attr("ui-scale2") : CString("1.0");
    s.useScreenResolution = attr("ui-scale-usesr");
    // Without a monitor (no window) the settings' scale stands as it is.
    if (!m_output || !m_output->monitorSize(&s.monitorWidth, &s.monitorHeight)) s.useScreenResolution = "false";
    return kelUiScale(s);
}

void CWindowRenderer::setScale(double uiScale, double pixelRatio) {
    m_uiScale = uiScale;
    m_pixelRatio = pixelRatio;
    m_needsLayout = true;
    m_sectors.markAllDirty();
}

void CWindowRenderer::setWorkerCount(int workers) {
    m_workers.reset();
    if (workers > 0) m_workers = std::make_unique<CRenderWorkers>(workers);
}

void CWindowRenderer::markDirty(const CRectD& area) {
    if (area.w < 1e-5 || area.h < 1e-5) return;
    m_sectors.markDirty(area);
}

void CWindowRenderer::invalidateAll() { m_sectors.markAllDirty(); }

// --- Layout ----------------------------------------------------------------------------------

CError CWindowRenderer::layout() {
    m_needsLayout = false;
    const double scale = totalScale();
    double size[2];
    for (int axis = 0; axis < 2; ++axis) {
        const CSizeRule& r = m_root->sizeRule(axis);
        size[axis] = r.kind == CSizeRule::Fixed ? r.value * scale : -1;
    }
    if (size[0] < 0 || size[1] < 0) {
        kelLayoutViews(*m_root, {0, 0, 0, 0}, scale);  // for the compact size
        for (int axis = 0; axis < 2; ++axis)
            if (size[axis] < 0) size[axis] = m_root->area().compact[axis];
    }
    if (!(size[0] >= 0 && size[0] <= kMaxSide && size[1] >= 0 && size[1] <= kMaxSide))
        return KEL_ERROR(kelstr_CWindowRenderer_layout_TooLarge, CString::number(size[0], 1), CString::number(size[1], 1));
    const int w = int(std::lround(size[0])), h = int(std::lround(size[1]));
    std::vector<std::pair<CView*, CRectD>> before;
    forEachPainted(m_root, [&](CView* v) { before.emplace_back(v, v->area().clip); });
    if (w != m_sectors.width() || h != m_sectors.height()) {
        m_buffer.resize(w, h);
        m_sectors.resize(w, h);
        m_sectors.markAllDirty();
        if (m_output) m_output->sizeChanged(w, h);
    }
    m_root->updateEffectiveOpacity();
    kelLayoutViews(*m_root, {0, 0, double(w), double(h)}, scale);
    m_sectors.clearViews();
    size_t i = 0;
    forEachPainted(m_root, [&](CView* v) {
        const CRectD& clip = v->area().clip;
        if (v->isShown() && !clip.empty()) m_sectors.addView(v, clip);
        // A view whose area moved is drawn again where it was and where it is.
        if (i < before.size() && before[i].first == v) {
            if (!(before[i].second == clip)) markDirty(before[i].second), markDirty(clip);
        } else {
            markDirty(clip);
        }
        ++i;
    });
    return {};
}

// --- Frames -------------------------------------------------------------------------------------

void CWindowRenderer::renderSector(int index, const CPixelClip& sector) {
    CBitmap32& bits = m_buffer.bits();
    for (int y = sector.y0; y < sector.y1; ++y)
        std::fill_n(bits.pixels.data() + size_t(y) * size_t(bits.width) + size_t(sector.x0),
                    size_t(sector.x1 - sector.x0), 0xFF000000u);
    const double scale = totalScale();
    for (CView* v : m_sectors.views(index)) {
        if (!v->isShown()) continue;
        CPainter p(bits, kelIntersect(sector, v->area().clip.pixels()), scale);
        if (p.clipEmpty()) continue;
        v->paint(p);
        if (v != m_ringed) continue;
        const CRectD& r = v->area().total;
        const double t = std::max(1.0, std::round(scale));
        const CDynamicColorData* c = v->paletteColor("Selection");
        const CRgb color = c && !c->tables.empty() ? c->tables.front().table[224] : CRgb{80, 170, 190};
        for (const CRectD& edge : {CRectD{r.x, r.y, r.w, t}, CRectD{r.x, r.y + r.h - t, r.w, t},
                                   CRectD{r.x, r.y, t, r.h}, CRectD{r.x + r.w - t, r.y, t, r.h}})
            p.fillRect(edge, color, 1.0);
    }
}

void CWindowRenderer::addTransition(CView* view) {
    if (std::find(m_transitions.begin(), m_transitions.end(), view) == m_transitions.end()) m_transitions.push_back(view);
}

CError CWindowRenderer::render() {
    KEL_TRY(runPostedEvents());
    collectReleased();
    if (!m_transitions.empty()) {
        const double now = kelSecondsSinceStart();
        std::vector<CView*> running;
        for (CView* v : m_transitions)
            if (v->advanceTransition(now)) running.push_back(v);
        m_transitions = std::move(running);
    }
    if (m_needsLayout) KEL_TRY(layout());
    const std::vector<CSectorMap::Dirty> dirty = m_sectors.takeDirty();
    m_sectorsLastFrame = dirty.size();
    // The control the keyboard operates wears a ring (an edit box shows its
    // caret instead); found once a frame, before the sectors are drawn.
    CObject* top = root();
    const auto* shared = top ? dynamic_cast<const CWindowSharedData*>(top->findObject("ui.window-shared-data")) : nullptr;
    m_ringed = shared ? shared->keyTaker() : nullptr;
    if (m_ringed && m_ringed->stateSet().isSet("editing")) m_ringed = nullptr;
    if (m_workers && dirty.size() > 1) {
        m_workers->run(dirty.size(), [&](size_t i) { renderSector(dirty[i].index, dirty[i].pixels); });
    } else {
        for (const CSectorMap::Dirty& d : dirty) renderSector(d.index, d.pixels);
    }
    if (m_output && !dirty.empty()) {
        CPixelClip changed = dirty.front().pixels;
        for (const CSectorMap::Dirty& d : dirty) {
            const CPixelClip& c = d.pixels;
            changed.x0 = std::min(changed.x0, c.x0), changed.y0 = std::min(changed.y0, c.y0);
            changed.x1 = std::max(changed.x1, c.x1), changed.y1 = std::max(changed.y1, c.y1);
        }
        m_output->present(m_buffer.bits(), changed);
    }
    if (!m_firstRenderDone) {
        m_firstRenderDone = true;
        const double now = kelSecondsSinceStart();
        m_firstRenderSeconds = now - m_openTime;
        kelLogf("First render time: %.4f s @ %.4f s // %s", now - m_openTime, now, fullName().utf8().c_str());
    }
    return {};
}

// --- Input ------------------------------------------------------------------------------------------

CView* CWindowRenderer::viewAt(double x, double y) const {
    const int s = m_sectors.sectorAt(x, y);
    if (s < 0) return nullptr;
    const std::vector<CView*>& list = m_sectors.views(s);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        CView* v = *it;
        if (!v->isShown() || v->isClickThrough() || !v->area().clip.contains(x, y)) continue;
        const CString redirect = v->attr("redirect-get-view-at").trimmed();
        if (!redirect.empty())
            if (auto* r = dynamic_cast<CView*>(v->findObject(redirect))) v = r;
        // An intercepting ancestor takes the events of its subtree.
        CView* target = v;
        for (CView* a = v->parentView(); a; a = a->parentView())
            if (a->attrBool("is-intercepting") && !a->attrBool("is-intercepting-allow-childs")) target = a;
        return target;
    }
    return nullptr;
}

bool CWindowRenderer::isAttached(const CView* v) const {
    for (const CObject* o = v; o; o = o->parent())
        if (o == m_root) return true;
    return false;
}

CError CWindowRenderer::sendToView(CView* v, const CString& name, const CEventParams& base, double x, double y) {
    // A view taken out by an earlier handler of the same input hears no more.
    if (!v || v->isBlocked() || !isAttached(v)) return {};
    CEventParams p = base;
    p.set("x", CString::number(x - v->area().total.x));
    p.set("y", CString::number(y - v->area().total.y));
    ++m_eventDepth;
    CError err = v->runEvent(name, p);
    if (!err) err = runPostedEvents();
    --m_eventDepth;
    collectReleased();
    return err;
}

void CWindowRenderer::collectReleased() {
    if (m_eventDepth > 0) return;
    // Destroying may release more (a box's owner going with it): take the list first.
    while (!m_released.empty()) {
        std::vector<std::unique_ptr<CObject>> batch = std::move(m_released);
        m_released.clear();
        batch.clear();
    }
}

void CWindowRenderer::destroyLater(std::unique_ptr<CObject> object) {
    if (object) m_released.push_back(std::move(object));
}

void CWindowRenderer::forgetViews(CView* top) {
    if (!top) return;
    auto inside = [top](const CObject* o) {
        for (; o; o = o->parent())
            if (o == top) return true;
        return false;
    };
    auto gone = [&](CView* v) { return inside(v); };
    m_hovered.erase(std::remove_if(m_hovered.begin(), m_hovered.end(), gone), m_hovered.end());
    if (m_captured && inside(m_captured)) m_captured = nullptr;
    m_transitions.erase(std::remove_if(m_transitions.begin(), m_transitions.end(), gone), m_transitions.end());
    m_pressWatchers.erase(std::remove_if(m_pressWatchers.begin(), m_pressWatchers.end(), gone), m_pressWatchers.end());
    m_posted.erase(std::remove_if(m_posted.begin(), m_posted.end(), [&](const Posted& e) { return inside(e.target); }),
                   m_posted.end());
    m_sectors.removeViews([&](const CView* v) { return inside(v); });
    m_needsLayout = true;
    CObject* r = root();
    if (auto* shared = r ? dynamic_cast<CWindowSharedData*>(r->findObject("ui.window-shared-data")) : nullptr)
        if (shared->keyFocus() && inside(shared->keyFocus()))
            if (CError e = shared->changeKeyFocus(nullptr, false)) kelLogError(e);
}

void CWindowRenderer::watchPressOutside(CView* view, bool on) {
    auto it = std::find(m_pressWatchers.begin(), m_pressWatchers.end(), view);
    if (on && it == m_pressWatchers.end()) m_pressWatchers.push_back(view);
    if (!on && it != m_pressWatchers.end()) m_pressWatchers.erase(it);
}

CError CWindowRenderer::pressFocus(CView* pressed) {
    ++m_eventDepth;
    CError err;
    // Watchers first: an open box commits (or cancels) before the focus moves.
    const std::vector<CView*> watchers = m_pressWatchers;
    for (CView* w : watchers) {
        if (err) break;
        if (std::find(m_pressWatchers.begin(), m_pressWatchers.end(), w) == m_pressWatchers.end()) continue;
        bool within = false;
        for (const CView* v = pressed; v && !within; v = v->parentView()) within = v == w;
        if (!within) err = w->onPressOutside();
    }
    if (!err) {
        CObject* r = root();
        if (auto* shared = r ? dynamic_cast<CWindowSharedData*>(r->findObject("ui.window-shared-data")) : nullptr) {
            CView* f = pressed && isAttached(pressed) ? pressed : nullptr;
            while (f && !f->takesFocus()) f = f->parentView();
            if (f != shared->keyFocus()) err = shared->changeKeyFocus(f, false);
        }
    }
    --m_eventDepth;
    return err;
}

CError CWindowRenderer::onMouseMove(double x, double y, CEventParams& p) {
    m_mouseX = x, m_mouseY = y;
    std::vector<CView*> chain;
    for (CView* v = viewAt(x, y); v; v = v->parentView()) chain.push_back(v);
    CView* oldTop = m_hovered.empty() ? nullptr : m_hovered.front();
    CView* newTop = chain.empty() ? nullptr : chain.front();
    const std::vector<CView*> old = m_hovered;
    m_hovered = chain;
    if (oldTop != newTop && oldTop) KEL_TRY(sendToView(oldTop, "mouse-exit-top", p, x, y));
    for (CView* v : old)
        if (std::find(chain.begin(), chain.end(), v) == chain.end()) KEL_TRY(sendToView(v, "mouse-exit", p, x, y));
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (std::find(old.begin(), old.end(), *it) == old.end()) KEL_TRY(sendToView(*it, "mouse-enter", p, x, y));
    if (oldTop != newTop && newTop) KEL_TRY(sendToView(newTop, "mouse-enter-top", p, x, y));
    CView* target = m_captured ? m_captured : newTop;
    if (target) KEL_TRY(sendToView(target, "mouse-move", p, x, y));
    return {};
}

CError CWindowRenderer::onMouseButton(CEventParams& p) {
    double x = 0, y = 0;
    p.get("x").toDouble(&x), p.get("y").toDouble(&y);
    const CString button = p.get("button");
    const bool down = p.get("is-button-down") == "true" || p.get("is-button-down") == "1";
    const bool right = button == CString::number(int64_t('R')) || button == "R";
    const CString suffix = right ? CString("-r") : CString();
    if (down) {
        CView* v = viewAt(x, y);
        KEL_TRY(pressFocus(v));
        if (v && !isAttached(v)) v = viewAt(x, y);  // the press closed what it landed on
        m_captured = v;
        m_captureButton = button;
        return sendToView(v, CString("mouse-press") + suffix, p, x, y);
    }
    CView* v = m_captured;
    m_captured = nullptr;
    if (!v) return {};
    bool over = false;
    for (CView* h = viewAt(x, y); h && !over; h = h->parentView()) over = h == v;
    return sendToView(v, CString(over ? "mouse-release" : "mouse-cancel") + suffix, p, x, y);
}

void CWindowRenderer::postEvent(CObject* target, const CString& eventName, const CEventParams& params) {
    m_posted.push_back({target, eventName, params});
}

CError CWindowRenderer::runPostedEvents() {
    while (!m_posted.empty()) {
        Posted e = std::move(m_posted.front());
        m_posted.erase(m_posted.begin());
        KEL_TRY(e.target->runEvent(e.name, e.params));
    }
    return {};
}
