// The editor's VST3 view.
#include "Audio/VST/AudioWrapperVST3Editor.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Core/AppErrorWindow.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"
#include "UI/Window/RendererWindow.h"
#include "UI/Window/WindowResizer.h"
#include "UI/Window/WindowSharedData.h"

using Steinberg::char16;
using Steinberg::FIDString;
using Steinberg::FUnknown;
using Steinberg::int16;
using Steinberg::int32;
using Steinberg::kInvalidArgument;
using Steinberg::kNoInterface;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;
using Steinberg::TUID;
using Steinberg::uint32;
using Steinberg::ViewRect;
namespace FUnknownPrivate = Steinberg::FUnknownPrivate;
#if SMTG_OS_LINUX
namespace Linux = Steinberg::Linux;
#endif

KELSTR(CAudioWrapperVST3Editor_attached_NoRunLoop, "The host offers no run loop for the editor.");
KELSTR(CAudioWrapperVST3Editor_attached_NoRenderer, "The editor definition has no main window renderer.");
KELSTR(CAudioWrapperVST3Editor_attached_NoApplication, "The application is not running.");

namespace {
// The editor's compiled definition: the embedded document, unless the
// environment names a compiled file in its place (how the editor's tests feed
// the view a damaged document).
CString editorDefinitionName() {
    const char* file = std::getenv("TAMBLOR_EDITOR_DEFINITION");
    return file && *file ? CString(file) : CString("UserInterface.xml");
}

constexpr const char* kPlatformType =
#if SMTG_OS_WINDOWS
    "HWND";
#else
    "X11EmbedWindowID";
#endif

// The few virtual key codes of the VST3 key messages that we map (the SDK's
// key-code header is not in our subset).
uint32_t mapVirtualKey(int16 code) {
    switch (code) {
        case 1: return plat::kKeyBackspace;
        case 2: return plat::kKeyTab;
        case 4: case 19: return plat::kKeyEnter;
        case 6: return plat::kKeyEscape;
        case 7: return ' ';
        case 8: return plat::kKeyPageDown;  // "next"
        case 9: return plat::kKeyEnd;
        case 10: return plat::kKeyHome;
        case 11: return plat::kKeyLeft;
        case 12: return plat::kKeyUp;
        case 13: return plat::kKeyRight;
        case 14: return plat::kKeyDown;
        case 15: return plat::kKeyPageUp;
        case 16: return plat::kKeyPageDown;
        case 21: return plat::kKeyInsert;
        case 22: return plat::kKeyDelete;
        default: return 0;
    }
}

CString pointerText(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
    return CString(buf);
}
}  // namespace

// --- The run loop's handlers ------------------------------------------------------------------

#if SMTG_OS_LINUX
// One object for both handler interfaces; the host keeps references while
// it is registered. The editor clears its back pointer before letting go.
struct CAudioWrapperVST3Editor::RunLoopLink : public Linux::IEventHandler, public Linux::ITimerHandler {
    CAudioWrapperVST3Editor* editor = nullptr;
    Linux::IRunLoop* loop = nullptr;
    bool displayRegistered = false, wakeRegistered = false, timerRegistered = false, timerSlowed = false;
    std::atomic<int32> refs{1};
    virtual ~RunLoopLink() = default;

    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {
        if (!editor) return;
        // The host signals descriptors: the timer need only be a safety net.
        if (timerRegistered && !timerSlowed) {
            timerSlowed = true;
            Linux::ITimerHandler* timer = this;
            loop->unregisterTimer(timer);
            timerRegistered = loop->registerTimer(timer, kSafetyTimerMs) == kResultOk;
        }
        editor->service();
    }
    void PLUGIN_API onTimer() override {
        if (editor) editor->service();
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (FUnknownPrivate::iidEqual(iid, Linux::IEventHandler::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
            *obj = static_cast<Linux::IEventHandler*>(this);
        } else if (FUnknownPrivate::iidEqual(iid, Linux::ITimerHandler::iid)) {
            *obj = static_cast<Linux::ITimerHandler*>(this);
        } else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return uint32(++refs); }
    uint32 PLUGIN_API release() override {
        const int32 left = --refs;
        if (left == 0) delete this;
        return uint32(left);
    }

    // Registers the handlers; false without any way to be called.
    bool link(CWindowSharedData& shared) {
        const int displayFd = shared.displayFd(), wakeFd = shared.wakeFd();
        Linux::IEventHandler* events = this;
        Linux::ITimerHandler* timer = this;
        if (displayFd >= 0) displayRegistered = loop->registerEventHandler(events, displayFd) == kResultOk;
        // A host may refuse a second handler; the timer services the loop then.
        if (wakeFd >= 0 && wakeFd != displayFd) wakeRegistered = loop->registerEventHandler(events, wakeFd) == kResultOk;
        timerRegistered = loop->registerTimer(timer, kServiceTimerMs) == kResultOk;
        if (!timerRegistered) kelLog("The host refused the editor's timer; the editor runs on its descriptors only.");
        return timerRegistered || displayRegistered;
    }
    void unlink() {
        editor = nullptr;
        if (!loop) return;
        if (displayRegistered || wakeRegistered) loop->unregisterEventHandler(this);
        if (timerRegistered) loop->unregisterTimer(this);
        displayRegistered = wakeRegistered = timerRegistered = false;
        loop->release();
        loop = nullptr;
    }
};
#else
struct CAudioWrapperVST3Editor::RunLoopLink {};
#endif

// --- View -----------------------------------------------------------------------------------------------

CAudioWrapperVST3Editor::CAudioWrapperVST3Editor(CAudioWrapperVST3* instance, const ViewRect& r, double scale)
    : CPluginView(&r), m_instance(instance), m_scale(scale > 0 ? scale : 1.0) {
    m_baseWidth = int((r.right - r.left) / m_scale + 0.5);
    m_baseHeight = int((r.bottom - r.top) / m_scale + 0.5);
    if (m_instance) m_instance->addRef();
}

CAudioWrapperVST3Editor::~CAudioWrapperVST3Editor() {
    closeEditor();
    if (m_instance) m_instance->release();
}

CObject* CAudioWrapperVST3Editor::editorRoot() const { return m_root.get(); }

tresult PLUGIN_API CAudioWrapperVST3Editor::isPlatformTypeSupported(FIDString type) {
    return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult CAudioWrapperVST3Editor::fail(const CError& err) {
    kelLogError(err);
    CAppErrorWindow::show(err);
    closeEditor();
    return kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::attached(void* parent, FIDString type) {
    if (m_root) return kResultFalse;
    if (isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    if (!parent) return fail(KEL_ERROR(kelstr_CWindow_createWindow_NoParentWindow));
    CApplication* app = CApplication::instance();
    if (!app) return fail(KEL_ERROR(kelstr_CAudioWrapperVST3Editor_attached_NoApplication));
#if SMTG_OS_LINUX
    Linux::IRunLoop* loop = nullptr;
    if (!plugFrame || plugFrame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) != kResultOk ||
        !loop)
        return fail(KEL_ERROR(kelstr_CAudioWrapperVST3Editor_attached_NoRunLoop));
    m_runLoop = std::make_unique<RunLoopLink>();
    m_runLoop->loop = loop;
#endif
    const double started = kelSecondsSinceStart();
    std::unique_ptr<CRootObject> root;
    if (CError e = app->initRootObject(CString(), &root)) return fail(e);
    CObject* connector = nullptr;
    if (m_instance && m_instance->instanceRoot()) {
        connector = m_instance->instanceRoot()->findObject("plugin.interface-base-connector");
        if (!connector) connector = m_instance->instanceRoot();
    }
    const std::pair<const char*, CString> attrs[] = {
        {"IsVST3", "true"},
        {"BaseConnectorRootPtr", connector ? pointerText(connector) : CString()},
        {"ParentWindow", pointerText(parent)},
        {"VisualScale", CString::number(m_scale)},
        {"plugin-tech", "VST3 PlugIn Technology by Steinberg"},
    };
    for (const auto& [name, value] : attrs)
        if (CError e = root->setAttr(name, value, false)) kelLogError(e);
    m_root = std::move(root);
    if (CError e = m_root->loadXMLData(editorDefinitionName())) return fail(e);
    m_renderer = dynamic_cast<CWindowRenderer*>(m_root->findObject("ui.main-window.window-renderer"));
    if (!m_renderer) return fail(KEL_ERROR(kelstr_CAudioWrapperVST3Editor_attached_NoRenderer));
    m_shared = dynamic_cast<CWindowSharedData*>(m_root->findObject("ui.window-shared-data"));
#if SMTG_OS_LINUX
    m_runLoop->editor = this;
    if (!m_shared || !m_runLoop->link(*m_shared)) return fail(KEL_ERROR(kelstr_CAudioWrapperVST3Editor_attached_NoRunLoop));
#endif
    CPluginView::attached(parent, type);
    const ViewRect now = currentRect();
    if (now.getWidth() != rect.getWidth() || now.getHeight() != rect.getHeight()) {
        ViewRect r = now;
        rect = now;
        if (plugFrame && !m_inResize) {
            m_inResize = true;
            plugFrame->resizeView(this, &r);
            m_inResize = false;
        }
    }
    kelLogf("Editor attached in %.4f s", kelSecondsSinceStart() - started);
    service();
    return kResultOk;
}

void CAudioWrapperVST3Editor::closeEditor() {
#if SMTG_OS_LINUX
    if (m_runLoop) {
        m_runLoop->unlink();
        m_runLoop.release()->release();
    }
#endif
    m_renderer = nullptr;
    m_shared = nullptr;
    m_root.reset();
}

tresult PLUGIN_API CAudioWrapperVST3Editor::removed() {
    closeEditor();
    return CPluginView::removed();
}

void CAudioWrapperVST3Editor::service() {
    if (m_shared && !m_shared->service()) {
        kelLog("The editor's display connection broke; the editor closes.");
        m_renderer = nullptr;
        m_shared = nullptr;
#if SMTG_OS_LINUX
        if (m_runLoop) m_runLoop->unlink();
#endif
        return;
    }
    followEditorSize();
}

CWindowResizer* CAudioWrapperVST3Editor::resizer() const {
    return m_renderer ? dynamic_cast<CWindowResizer*>(m_renderer->findChild("window-resizer")) : nullptr;
}

// The editor changed its own size (its resizer, a handle drag): the host
// is asked to follow; its onSize comes back inside resizeView.
void CAudioWrapperVST3Editor::followEditorSize() {
    if (!m_renderer || !plugFrame || m_inResize || m_inOnSize) return;
    const ViewRect now = currentRect();
    if (now.getWidth() == rect.getWidth() && now.getHeight() == rect.getHeight()) return;
    ViewRect r = now;
    rect = now;
    m_inResize = true;
    plugFrame->resizeView(this, &r);
    m_inResize = false;
}

ViewRect CAudioWrapperVST3Editor::currentRect() const {
    if (m_renderer && m_renderer->backBuffer().width > 0)
        return ViewRect(0, 0, m_renderer->backBuffer().width, m_renderer->backBuffer().height);
    return ViewRect(0, 0, int32(m_baseWidth * m_scale + 0.5), int32(m_baseHeight * m_scale + 0.5));
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onWheel(float distance) {
    if (!m_renderer) return kResultTrue;
    CEventParams p{{"delta", distance < 0 ? "-1" : "1"},
                   {"x", CString::number(m_renderer->mouseX())},
                   {"y", CString::number(m_renderer->mouseY())}};
    if (CError e = m_renderer->runEvent("mouse-wheel", p)) kelLogError(e);
    return kResultTrue;
}

tresult CAudioWrapperVST3Editor::keyEvent(bool down, char16 key, int16 keyCode, int16 modifiers) {
    // Only a view that edits text, or a focused control, takes the host's
    // keys, and of those only the ones it uses; the others stay the host's
    // (its shortcuts keep working while the editor is open).
    if (!m_shared || !m_shared->keyTaker()) return kResultFalse;
    uint32_t code = mapVirtualKey(keyCode);
    if (!code) code = key == 8 ? plat::kKeyBackspace : key == 9 ? plat::kKeyTab : key == 13 ? plat::kKeyEnter
                    : key == 27 ? plat::kKeyEscape : uint32_t(key);
    if (!code) return kResultFalse;
    const bool ctrl = modifiers & (4 | 8);
    if (ctrl && code >= 'a' && code <= 'z') code -= 32;
    bool taken = false;
    if (CError e = m_shared->sendKey(down, code, modifiers & 2, ctrl, modifiers & 1, &taken)) kelLogError(e);
    return taken ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onKeyDown(char16 key, int16 keyCode, int16 modifiers) {
    return keyEvent(true, key, keyCode, modifiers);
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onKeyUp(char16 key, int16 keyCode, int16 modifiers) {
    return keyEvent(false, key, keyCode, modifiers);
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onSize(ViewRect* newSize) {
    if (!newSize) return kInvalidArgument;
    if (m_inOnSize) return kResultTrue;  // re-entered from our own resize request
    m_inOnSize = true;
    CPluginView::onSize(newSize);
    // A size the host chose (its frame resized by the user) goes to the
    // editor's resizer, within its bounds; the answer to our own request
    // is the size the editor has already.
    const ViewRect now = currentRect();
    if (CWindowResizer* r = resizer();
        r && !m_inResize && (newSize->getWidth() != now.getWidth() || newSize->getHeight() != now.getHeight())) {
        if (CError e = r->requestSize(newSize->getWidth() / m_scale, newSize->getHeight() / m_scale)) kelLogError(e);
        if (CError e = r->applyPending()) kelLogError(e);
    }
    m_inOnSize = false;
    return kResultTrue;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::canResize() {
    return m_instance && m_instance->useWindowResizing() ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::checkSizeConstraint(ViewRect* r) {
    CWindowResizer* resizer = this->resizer();
    if (!r || !resizer || !resizer->hasMinimum()) return kResultFalse;
    double w = r->getWidth() / m_scale, h = r->getHeight() / m_scale;
    resizer->constrain(&w, &h);
    r->right = r->left + int32(std::lround(w * m_scale));
    r->bottom = r->top + int32(std::lround(h * m_scale));
    return kResultTrue;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::setContentScaleFactor(ScaleFactor factor) {
    if (!(factor > 0.1f && factor < 16.f)) return kResultFalse;
    if (double(factor) == m_scale) return kResultOk;
    m_scale = factor;
    if (m_root && m_renderer) {
        if (CError e = m_root->setAttr("VisualScale", CString::number(m_scale), false)) kelLogError(e);
        CEventParams p{{"mode", "refresh"}};
        if (CError e = m_renderer->runEvent("update-window-scale", p)) kelLogError(e);
        if (CError e = m_renderer->render()) kelLogError(e);
    }
    ViewRect r = currentRect();
    rect = r;
    if (isAttached() && plugFrame && !m_inResize) {
        m_inResize = true;
        plugFrame->resizeView(this, &r);
        m_inResize = false;
    }
    return kResultOk;
}
