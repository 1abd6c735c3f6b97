// The editor's shared window data: display, windows, focus, timers, bridge.
#include "UI/Window/WindowSharedData.h"

#include <algorithm>
#include <charconv>
#include <mutex>

#include "Core/Application.h"
#include "Core/Log.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"
#include "UI/Window/UpdateTimer.h"

namespace {
// The names edit views know the keys without a character by.
const char* keyName(uint32_t code) {
    switch (code) {
        case plat::kKeyEnter: return "Return";
        case plat::kKeyEscape: return "Escape";
        case plat::kKeyBackspace: return "BackSpace";
        case plat::kKeyTab: return "Tab";
        case plat::kKeyInsert: return "Insert";
        case plat::kKeyDelete: return "Delete";
        case plat::kKeyHome: return "Home";
        case plat::kKeyEnd: return "End";
        case plat::kKeyPageUp: return "Prior";
        case plat::kKeyPageDown: return "Next";
        case plat::kKeyLeft: return "Left";
        case plat::kKeyRight: return "Right";
        case plat::kKeyUp: return "Up";
        case plat::kKeyDown: return "Down";
        case plat::kKeyAlt: return "Alt_L";
        case plat::kKeyControl: return "Control_L";
        case plat::kKeyShift: return "Shift_L";
        default: return nullptr;
    }
}
}  // namespace

bool kelParsePointerText(const CString& text, uintptr_t* out) {
    std::string s = text.trimmed().utf8();
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.erase(0, 2);
    uint64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || v == 0) return false;
    *out = uintptr_t(v);
    return true;
}

struct CWindowSharedData::Pending {
    std::mutex mutex;
    std::vector<std::function<CError()>> calls;
    bool posted = false;
    CWindowSharedData* owner = nullptr;  // null once the shared data is gone (UI thread only)
};

CWindowSharedData::CWindowSharedData() : m_pending(std::make_shared<Pending>()) { m_pending->owner = this; }

CWindowSharedData::~CWindowSharedData() {
    // The windows close while the display is still open.
    while (!m_windows.empty()) {
        CWindowRenderer* r = m_windows.back();
        r->closeOutput();
        removeWindow(r);
    }
    m_pending->owner = nullptr;
    std::lock_guard g(m_pending->mutex);
    m_pending->calls.clear();
}

void CWindowSharedData::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("change-key-focus", [](CObject* o, CEventParams& p) -> CError {
        auto* self = static_cast<CWindowSharedData*>(o);
        auto* view = dynamic_cast<CView*>(self->findObject(p.get("view")));
        return self->changeKeyFocus(view, p.get("is-tab") == "true");
    });
}

// In the last phase, before the windows of the document open (they follow
// the shared data in the tree), so that the children made here are
// initialised by this object alone.
CError CWindowSharedData::initDone() {
    std::string error;
    m_display = plat::CDisplay::open(&error);
    if (!m_display) return KEL_ERROR(kelstr_CWindowSharedData_init_NoDisplay, CString(error));
    m_loop = plat::currentRunLoop();
    m_wakeFd = plat::runLoopWakeFd();
    std::string wakerError;
    m_waker = plat::CLoopWaker::create(m_wakeFd, &wakerError);
    const CString tag = hasAttr("update-timer-group-tag") ? attr("update-timer-group-tag") : CString("ui:update-timer-group");
    std::unique_ptr<CObject> group = createObject(tag);
    auto* g = dynamic_cast<CUpdateTimerGroup*>(group.get());
    if (!g) return KEL_ERROR(kelstr_CWindowSharedData_init_NoTimerGroup, tag);
    if (!group->hasAttr("interval")) KEL_TRY(group->setAttr("interval", hasAttr("interval") ? attr("interval") : CString("0.033333"), false));
    // Ticks from the UI thread's run loop, which the waker (or the host's
    // message loop) wakes when they are due.
    if (!group->hasAttr("is-high-precision")) KEL_TRY(group->setAttr("is-high-precision", "false", false));
    group->setName("update-timer-group");
    KEL_TRY(addChild(std::move(group)));
    KEL_TRY(g->initTree());
    m_timerGroup = g;
    // Update timers of objects made before the group (the editor's
    // parameter connector comes first in the document) join it now.
    const double now = kelSecondsSinceStart();
    std::vector<CObject*> pending{root()};
    while (!pending.empty()) {
        CObject* o = pending.back();
        pending.pop_back();
        if (auto* t = dynamic_cast<CUpdateTimer*>(o); t && !t->hasGroup()) t->join(g, now);
        for (const auto& c : o->children()) pending.push_back(c.get());
    }
    return CObject::initDone();
}

int CWindowSharedData::wakeFd() const { return m_waker ? m_waker->fd() : m_wakeFd; }

bool CWindowSharedData::service() {
    const bool ok = m_display ? m_display->dispatch() : true;
    if (m_waker) m_waker->clear();
    plat::pumpRunLoop();
    if (m_display) m_display->flush();
    if (m_waker) {
        // Calls posted meanwhile keep the loop's own descriptor readable.
        m_nextWakeMs = plat::runLoopNextDueMs();
        m_waker->arm(m_nextWakeMs);
    }
    return ok;
}

void CWindowSharedData::runPending(void* context) {
    auto* holder = static_cast<std::shared_ptr<Pending>*>(context);
    std::shared_ptr<Pending> pending = std::move(*holder);
    delete holder;
    if (pending->owner) pending->owner->runBridged();
}

void CWindowSharedData::runBridged() {
    std::vector<std::function<CError()>> calls;
    {
        std::lock_guard g(m_pending->mutex);
        calls.swap(m_pending->calls);
        m_pending->posted = false;
    }
    std::shared_ptr<Pending> keep = m_pending;
    for (auto& fn : calls) {
        if (!keep->owner) return;  // a call closed the editor
        if (CError e = fn()) kelLogError(e);
    }
}

void CWindowSharedData::bridge(std::function<CError()> fn) {
    bool post = false;
    {
        std::lock_guard g(m_pending->mutex);
        m_pending->calls.push_back(std::move(fn));
        post = !m_pending->posted;
        m_pending->posted = true;
    }
    if (!post) return;
    auto* holder = new std::shared_ptr<Pending>(m_pending);
    if (!plat::postToRunLoop(m_loop, &runPending, holder)) {
        delete holder;
        std::lock_guard g(m_pending->mutex);
        m_pending->posted = false;
    }
}

void CWindowSharedData::postEvent(CObject* target, const CString& eventName, const CEventParams& params) {
    // The target may go before the call runs: it is looked up again by name.
    const CString path = target->fullName();
    CObject* top = root();
    bridge([top, path, eventName, params]() -> CError {
        CObject* t = top->findObject(path);
        if (!t) return {};
        CEventParams p = params;
        return t->runEvent(eventName, p);
    });
}

void CWindowSharedData::addWindow(CWindowRenderer* r) {
    if (std::find(m_windows.begin(), m_windows.end(), r) == m_windows.end()) m_windows.push_back(r);
}

void CWindowSharedData::removeWindow(CWindowRenderer* r) {
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), r), m_windows.end());
    if (m_keyFocus && m_keyFocus->root() && r->rootView()) {
        for (CObject* o = m_keyFocus; o; o = o->parent())
            if (o == r) {
                m_keyFocus = nullptr;
                break;
            }
    }
}

CError CWindowSharedData::changeKeyFocus(CView* view, bool isTab) {
    if (m_changingFocus || view == m_keyFocus) return {};
    m_changingFocus = true;
    CError err;
    // The focus ring moves with the focus (the renderers draw it).
    if (m_keyFocus) m_keyFocus->requestRepaint();
    if (view) view->requestRepaint();
    // Views take "blur" and "focus" as view events (unregistered).
    if (m_keyFocus && !m_keyFocus->isBlocked()) err = m_keyFocus->runEvent("blur");
    if (!err) {
        m_keyFocus = nullptr;
        if (view && !view->isBlocked()) {
            m_keyFocus = view;
            CEventParams p{{"is-tab", isTab ? "true" : "false"}};
            err = view->runEvent("focus", p);
        }
    }
    m_changingFocus = false;
    return err;
}

CView* CWindowSharedData::keyTaker() const {
    if (!m_keyFocus || m_keyFocus->isBlocked()) return nullptr;
    return m_keyFocus->stateSet().isSet("editing") || m_keyFocus->hasAttr("tab-group") ? m_keyFocus : nullptr;
}

CError CWindowSharedData::sendKey(bool down, uint32_t keycode, bool alt, bool ctrl, bool shift, bool* taken) {
    CView* view = m_keyFocus;
    if (taken) *taken = false;
    const char* event = down ? "key-press" : "key-release";
    // Without a focus view a Tab is the keyboard's way in: the first member
    // of a tab group of the main window takes the focus.
    if (!view && down && keycode == plat::kKeyTab && mainWindow() && mainWindow()->rootView()) {
        std::vector<CView*> stack{mainWindow()->rootView()};
        while (!stack.empty()) {
            CView* v = stack.back();
            stack.pop_back();
            if (v->hasAttr("tab-group") && v->isShown() && !v->isBlocked()) {
                if (taken) *taken = true;
                return changeKeyFocus(v, true);
            }
            const auto kids = v->childViews();
            for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
        }
        return {};
    }
    if (!view || view->isBlocked() || keycode == 0) return {};
    CEventParams p{{"keycode", CString::number(int64_t(keycode))},
                   {"is-alt", alt ? "true" : "false"},
                   {"is-ctrl", ctrl ? "true" : "false"},
                   {"is-shift", shift ? "true" : "false"}};
    if (const char* name = keyName(keycode)) {
        p.set("key", name);
    } else if (keycode >= 0x20 && keycode != 0x7F && !ctrl && !alt) {
        std::u16string text;
        if (keycode < 0x10000) {
            text += char16_t(keycode);
        } else {
            text += char16_t(0xD800 + ((keycode - 0x10000) >> 10));
            text += char16_t(0xDC00 + ((keycode - 0x10000) & 0x3FF));
        }
        p.set("char", CString::fromUtf16(text));
    }
    CError err = view->runEvent(event, p);
    if (taken) *taken = p.get("is-handled") == "true" || m_keyFocus != view;
    return err;
}
