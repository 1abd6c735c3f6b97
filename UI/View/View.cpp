// Views: attributes, states, events and drawing.
#include "UI/View/View.h"

#include <algorithm>
#include <cmath>

#include "Core/Application.h"
#include "Core/Log.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/Window/TabGroup.h"

namespace {
// The events every view receives from the window (default handling: its
// commands; "mouse-enter" and "mouse-exit" also set and clear "hover").
const char* const kViewEvents[] = {
    "mouse-enter", "mouse-exit",         "mouse-enter-top",     "mouse-exit-top", "mouse-top-exit",
    "mouse-move",  "mouse-press",        "mouse-release",       "mouse-cancel",   "mouse-press-r",
    "mouse-release-r", "mouse-cancel-r", "mouse-xbutton-press", "mouse-xbutton-release", "mouse-wheel",
    "key-press",   "key-release",        "focus",               "blur",           "focus-lost",
    "auto-click"};

bool isViewEvent(const CString& name) {
    for (const char* e : kViewEvents)
        if (name == e) return true;
    return false;
}

// Attributes that change how the view draws.
bool isVisualAttr(const CString& name) {
    for (const char* a : {"color", "color-slots", "color-state", "palette", "image-set", "image-set-range",
                          "image-set-index", "disabled-color"})
        if (name == a) return true;
    return false;
}

CString* findValue(std::vector<std::pair<CString, CString>>& list, const CString& name) {
    for (auto& [n, v] : list)
        if (n == name) return &v;
    return nullptr;
}
}  // namespace

CView::CView() = default;
CView::~CView() = default;

void CView::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    // State services: "state" names the state.
    record.addEvent("set-state", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CView*>(self)->setState(p.get("state"));
    });
    record.addEvent("unset-state", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CView*>(self)->unsetState(p.get("state"));
    });
    record.addEvent("toggle-state", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CView*>(self)->toggleState(p.get("state"));
    });
    // A bridged child view leaves through the view tree (forgotten by the
    // renderer, destroyed after the event); other children as plain objects.
    record.addEvent("release-child-bridged", [](CObject* self, CEventParams& p) -> CError {
        CObject* c = self->findChild(p.get("child"));
        if (auto* v = dynamic_cast<CView*>(c)) static_cast<CView*>(self)->releaseChildView(v);
        else if (c) self->releaseChild(c).reset();
        return {};
    });
}

// --- Initialisation -----------------------------------------------------------------

CError CView::init() {
    m_parentView = dynamic_cast<CView*>(parent());
    if (!m_parentView && !attrBool("is-root-view")) return KEL_ERROR(kelstr_CViewBasePlacement_init_NoParentView);
    m_rootView = nullptr;
    // Children initialise before their parents: walk the objects, not the parent views.
    for (CObject* o = this; o; o = o->parent()) {
        auto* v = dynamic_cast<CView*>(o);
        if (!v) break;
        if (v->attrBool("is-root-view")) {
            m_rootView = v;
            break;
        }
    }
    if (!m_rootView) return KEL_ERROR(kelstr_CViewBasePlacement_init_NoRootView);
    m_childViews.clear();
    for (const auto& c : children())
        if (auto* v = dynamic_cast<CView*>(c.get())) m_childViews.push_back(v);
    for (const Slot& s : slots()) {
        if (!hasAttr(s.name)) continue;
        KEL_TRY((this->*s.apply)(attr(s.name)));
        m_applied.emplace_back(s.name, attr(s.name));
    }
    m_weakHide = attrBool("is-weak-hide");
    m_zIndex = 0;
    if (hasAttr("z-index")) {
        const std::vector<CString> z = splitBlanks(attr("z-index"));
        double v = 0;
        if (!z.empty() && z[0].toDouble(&v)) m_zIndex = v;
    }
    return {};
}

CError CView::initLinks() {
    m_renderer = nullptr;
    for (CObject* o = parent(); o; o = o->parent())
        if (auto* r = dynamic_cast<CWindowRenderer*>(o)) {
            m_renderer = r;
            break;
        }
    KEL_TRY(resolveVisuals());
    // Attributes of derived views, in the order the definition gives them.
    for (const CAttribute& a : attributes()) {
        bool handled = false;
        KEL_TRY(applyViewAttr(a.name, &handled));
        if (handled) m_applied.emplace_back(a.name, a.value);
    }
    return {};
}

void CView::collectChildViews() {
    m_childViews.clear();
    for (const auto& c : children())
        if (auto* v = dynamic_cast<CView*>(c.get())) m_childViews.push_back(v);
    requestLayout();
}

CError CView::initDone() {
    if (!m_parentView) updateEffectiveOpacity();
    return CObject::initDone();
}

// --- Attributes -------------------------------------------------------------------------

bool CView::placementMatchExists() const {
    const CString path = attr("placement-match").trimmed();
    return !path.empty() && dynamic_cast<CView*>(findObject(path)) != nullptr;
}

bool CView::parentIsScrollable() const {
    return parent() && parent()->attrBool("is-scrollable");
}

void CView::logBorderError(const CString& token, int kind) const {
    kelLogf("Invalid border syntax: '%s' (%d) // %s", token.utf8().c_str(), kind, fullName().utf8().c_str());
}

CError CView::applyViewAttr(const CString& name, bool* handled) {
    *handled = false;
    if (name == "is-weak-hide") {
        m_weakHide = attrBool(name);
        *handled = true;
    } else if (name == "z-index") {
        const std::vector<CString> z = splitBlanks(attr(name));
        double v = 0;
        if (!z.empty()) z[0].toDouble(&v);
        m_zIndex = v;
        *handled = true;
    }
    return {};
}

CError CView::applyAttrNow(const CString& name) {
    const CString value = attr(name);
    if (const Slot* s = findSlot(name)) {
        // Where the view is now is drawn again too (a view hidden or moved
        // leaves its old place to what lies under it).
        requestRepaint();
        KEL_TRY((this->*s->apply)(value));
        if (name == "opacity" || name == "draw-opacity") {
            updateEffectiveOpacity();
            requestRepaint();
        } else {
            requestLayout();
            // Enabling or disabling changes the colours, not the area.
            if (name == "is-disabled") requestRepaint();
        }
        return {};
    }
    if (isVisualAttr(name)) {
        KEL_TRY(resolveVisuals());
        requestRepaint();
        return {};
    }
    bool handled = false;
    KEL_TRY(applyViewAttr(name, &handled));
    if (handled) requestLayout();
    return {};
}

CError CView::onAttrChanged(const CString& attrName) {
    if (m_restoring || initState() < 3) return {};
    if (CError e = applyAttrNow(attrName)) {
        // The attribute keeps its previous value.
        const CString* old = findValue(m_applied, attrName);
        m_restoring = true;
        (void)setAttr(attrName, old ? *old : CString(), false);
        m_restoring = false;
        if (isVisualAttr(attrName)) (void)resolveVisuals();
        return KEL_PASS(e);
    }
    if (CString* v = findValue(m_applied, attrName)) *v = attr(attrName);
    else m_applied.emplace_back(attrName, attr(attrName));
    return CObject::onAttrChanged(attrName);
}

const CDynamicColorData* CView::paletteColor(const CString& name) const {
    if (!m_palette || name.empty()) return nullptr;
    const std::string n = name.utf8();
    if (!m_palette->palette().find(n)) return nullptr;
    return m_palette->colorData(n);
}

CError CView::resolveVisuals() {
    // The palette: the nearest "palette" attribute up the tree.
    m_palette = nullptr;
    for (const CObject* o = this; o && !m_palette; o = o->parent()) {
        const CString path = o->attr("palette").trimmed();
        if (!path.empty()) m_palette = dynamic_cast<const CDynamicPalette*>(findObject(path));
    }
    const CString color = attr("color").trimmed();
    m_colors[0] = m_palette && !color.empty() ? m_palette->colorData(color.utf8()) : nullptr;
    const std::vector<CString> slots = splitBlanks(attr("color-slots"));
    for (int i = 1; i < 3; ++i)
        m_colors[i] = size_t(i) <= slots.size() && m_palette ? m_palette->colorData(slots[size_t(i - 1)].utf8())
                                                             : nullptr;
    m_disabledColor = paletteColor(attr("disabled-color").trimmed());
    m_stateColor = nullptr;
    m_hoverColor = false;
    for (const CString& s : splitBlanks(attr("color-state"))) {
        if (s == "Hover") m_hoverColor = true;
        else if (const CDynamicColorData* c = paletteColor(color + s)) m_stateColor = c;
    }

    m_imageSet = nullptr;
    m_group = nullptr;
    const CString setPath = attr("image-set").trimmed();
    if (!setPath.empty()) {
        auto* set = dynamic_cast<CImageSetObject*>(findObject(setPath));
        if (!set || !set->imageSet()) return KEL_ERROR(kelstr_CImageSetObject_resolveImage_NoSet, setPath);
        m_imageSet = set->imageSet();
        m_group = m_imageSet->findGroup(attr("image-set-range").trimmed().utf8());
    }
    m_imageIndex = hasAttr("image-set-index") && !attr("image-set-index").trimmed().empty()
                       ? int(attrInt("image-set-index", 0))
                       : -1;
    return {};
}

// --- Tree, visibility, opacity -------------------------------------------------------------

std::span<CView* const> CView::childViews() const {
    // The cached list stands while it still names the view children in order.
    size_t k = 0;
    bool same = true;
    for (const auto& c : children()) {
        auto* v = dynamic_cast<CView*>(c.get());
        if (!v) continue;
        if (k >= m_childViews.size() || m_childViews[k] != v) {
            same = false;
            break;
        }
        ++k;
    }
    if (!same || k != m_childViews.size()) {
        m_childViews.clear();
        for (const auto& c : children())
            if (auto* v = dynamic_cast<CView*>(c.get())) m_childViews.push_back(v);
    }
    return m_childViews;
}

void CView::onChildAdded(CObject* child) {
    CObject::onChildAdded(child);
    if (dynamic_cast<CView*>(child) && initState() >= 3) requestLayout();
}

CError CView::addChildView(std::unique_ptr<CObject> child, CView** out) {
    if (out) *out = nullptr;
    CObject* raw = child.get();
    KEL_TRY(addChild(std::move(child)));
    auto* v = dynamic_cast<CView*>(raw);
    CError err = raw->initTree();
    if (err) {
        if (v) releaseChildView(v);
        else releaseChild(raw).reset();
        return KEL_PASS(err);
    }
    if (v) v->updateEffectiveOpacity();
    requestLayout();
    if (out) *out = v;
    return {};
}

void CView::releaseChildView(CView* child) {
    if (!child || child->parent() != this) return;
    const CRectD old = child->area().clip;
    if (m_renderer) m_renderer->forgetViews(child);
    std::unique_ptr<CObject> owned = releaseChild(child);
    if (!m_renderer) return;  // destroyed here
    m_renderer->markDirty(old);
    m_renderer->requestLayout();
    m_renderer->destroyLater(std::move(owned));
}

std::vector<CView*> CView::paintOrder() const {
    const std::span<CView* const> kids = childViews();
    std::vector<CView*> out(kids.begin(), kids.end());
    std::stable_sort(out.begin(), out.end(), [](CView* a, CView* b) { return a->m_zIndex < b->m_zIndex; });
    return out;
}

bool CView::isShown() const {
    for (const CView* v = this; v; v = v->m_parentView)
        if (v->isHidden()) return false;
    return true;
}

bool CView::isBlocked() const {
    for (const CView* v = this; v; v = v->m_parentView)
        if (v->isDisabled()) return true;
    return false;
}

void CView::updateEffectiveOpacity() {
    const double parentOpacity = m_parentView ? m_parentView->m_effOpacity : 1.0;
    const double e = opacity() * drawOpacity() * parentOpacity;
    const bool changed = std::fabs(e - m_effOpacity) > 2.220446049250313e-16;
    m_effOpacity = e;
    for (CView* c : childViews()) c->updateEffectiveOpacity();
    if (changed) requestRepaint();
}

// --- States ----------------------------------------------------------------------------------

namespace {
// An opacity value as its attribute gives it (number or "N%"), 1 when empty.
double opacityValue(const CString& text) {
    const CString t = text.trimmed();
    double v = 1.0;
    if (t.length() > 1 && t.at(t.length() - 1) == u'%' && t.substr(0, t.length() - 1).toDouble(&v)) v /= 100.0;
    else if (!t.toDouble(&v)) v = 1.0;
    return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 1.0;
}
}  // namespace

CError CView::applyStates() {
    const CViewStateSet::Combined combined = m_states.combine();
    const bool timed = combined.duration > 0 && m_renderer;
    std::vector<Transition> moves;
    // Sets a value, or starts moving it when the change is timed.
    auto change = [&](const CString& name, const CString& value) -> CError {
        if (timed && (name == "opacity" || name == "draw-opacity")) {
            moves.push_back({name, name == "opacity" ? opacity() : drawOpacity(), opacityValue(value)});
            return {};
        }
        return setAttr(name, value);
    };
    for (const CString& name : m_states.controlledAttrs()) {
        auto it = std::find_if(combined.attrs.begin(), combined.attrs.end(), [&](auto& p) { return p.first == name; });
        auto base = std::find_if(m_stateBase.begin(), m_stateBase.end(), [&](auto& p) { return p.first == name; });
        if (it != combined.attrs.end()) {
            if (base == m_stateBase.end()) m_stateBase.emplace_back(name, attr(name));
            KEL_TRY(change(name, it->second));
        } else if (base != m_stateBase.end()) {
            // No set state names it any more: back to the value it had before.
            const CString restore = base->second;
            m_stateBase.erase(base);
            KEL_TRY(change(name, restore));
        }
    }
    if (!moves.empty()) {
        m_transitions = std::move(moves);
        m_transitionStart = kelSecondsSinceStart();
        m_transitionDuration = combined.duration;
        m_renderer->addTransition(this);
    }
    return {};
}

bool CView::advanceTransition(double now) {
    if (m_transitions.empty()) return false;
    const double t = std::clamp((now - m_transitionStart) / m_transitionDuration, 0.0, 1.0);
    for (const Transition& m : m_transitions) {
        const double v = t >= 1.0 ? m.to : m.from + (m.to - m.from) * t;
        if (CError e = setAttr(m.attr, CString::number(v))) kelLogError(e);
    }
    if (t < 1.0) return true;
    m_transitions.clear();
    CEventParams p;
    if (CError e = runCommands("state-ready", p)) kelLogError(e);
    return false;
}

CError CView::setState(const CString& name) {
    if (name.empty() || !m_states.set(name)) return {};
    return applyStates();
}

CError CView::unsetState(const CString& name) {
    if (!m_states.unset(name)) return {};
    return applyStates();
}

CError CView::toggleState(const CString& name) {
    if (name.empty()) return {};
    m_states.toggle(name);
    return applyStates();
}

// --- Events ------------------------------------------------------------------------------------

CError CView::runCommands(const CString& eventName, CEventParams& params) {
    for (CViewCommand* c : m_commands) {
        if (!(c->attr("on-event").trimmed() == eventName)) continue;
        KEL_TRY(c->run(*this, params));
    }
    return {};
}

CError CView::onViewEvent(const CString&, CEventParams&) { return {}; }

CError CView::dispatchEvent(const CString& eventName, CEventParams& params) {
    // Decided before the view's own handling: an Enter that commits an edit
    // box, or a Tab that leaves it, is the box's alone.
    const bool tabGroupKey = eventName == "key-press" && hasAttr("tab-group") && !m_states.isSet("editing");
    const bool own = hasEvent(eventName);
    if (own) KEL_TRY(CObject::dispatchEvent(eventName, params));
    const bool viewEvent = isViewEvent(eventName);
    if (viewEvent) KEL_TRY(onViewEvent(eventName, params));
    bool commanded = false;
    for (CViewCommand* c : m_commands)
        if (c->attr("on-event").trimmed() == eventName) commanded = true;
    if (!own && !viewEvent && !commanded) return CObject::dispatchEvent(eventName, params);
    KEL_TRY(runCommands(eventName, params));
    if (eventName == "mouse-enter") KEL_TRY(setState("hover"));
    if (eventName == "mouse-exit") KEL_TRY(unsetState("hover"));
    if (tabGroupKey) KEL_TRY(kelTabGroupKey(*this, params));
    return {};
}

void CView::postBridgedEvent(CObject* target, const CString& eventName, const CEventParams& params) {
    if (m_renderer) {
        m_renderer->postEvent(target, eventName, params);
        return;
    }
    CEventParams p = params;
    if (CError e = target->runEvent(eventName, p)) kelLogError(e);
}

// --- Requests ----------------------------------------------------------------------------------

void CView::requestRepaint() {
    if (m_renderer) m_renderer->markDirty(m_area.clip);
}

void CView::requestLayout() {
    if (m_renderer) m_renderer->requestLayout();
}

// --- Drawing -------------------------------------------------------------------------------------

void CView::contentSize(double scale, double* w, double* h) const {
    *w = *h = 0;
    if (!m_imageSet || !m_group || (m_group->last - m_group->first + 1 == 8 && m_imageIndex < 0)) return;
    const CImage* im = m_imageSet->image(size_t(m_group->first + std::max(m_imageIndex, 0)));
    if (!im || im->layerCount() == 0) return;
    const CImageLayerData& d = im->layer(0).data();
    *w = d.width * d.invScale * scale;
    *h = d.height * d.invScale * scale;
}

bool CView::layoutContent(double) { return false; }

CDrawColors CView::drawColors() const {
    CDrawColors c;
    const CDynamicColorData* main = isBlocked() && m_disabledColor ? m_disabledColor
                                    : m_stateColor                 ? m_stateColor
                                                                   : m_colors[0];
    if (main) c.slots[0] = m_hoverColor && main->hover ? &*main->hover : &main->tables.front();
    for (int i = 1; i < 3; ++i)
        if (m_colors[i]) c.slots[i] = &m_colors[i]->tables.front();
    c.opacity = m_effOpacity;
    return c;
}

void CView::paint(const CPainter& p) const {
    const CDrawColors colors = drawColors();
    const CRectD& r = m_area.draw;
    if (m_imageSet && m_group) {
        const int count = m_group->last - m_group->first + 1;
        if (count == 8 && m_imageIndex < 0) {
            p.drawBox(*m_imageSet, m_group->first, r, colors);
            return;
        }
        const CImage* im = m_imageSet->image(size_t(m_group->first + std::clamp(m_imageIndex, 0, std::max(count - 1, 0))));
        if (!im || im->layerCount() == 0) return;
        const CImageLayerData& d = im->layer(0).data();
        const double s = p.scale() * d.invScale;
        const double x = std::round(r.x + (r.w - d.width * s) / 2 - d.originX * s);
        const double y = std::round(r.y + (r.h - d.height * s) / 2 - d.originY * s);
        p.drawImage(*m_imageSet, *im, x, y, colors);
        return;
    }
    if (colors.slots[0]) p.fillRect(r, colors.slots[0]->table[128], colors.opacity * colors.slots[0]->value);
}
