#pragma once
// CAudioWrapperVST3Editor: the editor's VST3 view. Attaching builds the
// editor's own object tree from "UserInterface.xml" (its main window is a
// child of the host's window), removing destroys it.
//
// Linux: the parent is an X window ("X11EmbedWindowID"); the host's run
// loop (IRunLoop from the plug frame) watches the editor's display
// connection and the UI thread's wake-up descriptor, and a timer of it
// services both as well, for hosts that never signal a descriptor (it
// slows down once a descriptor was signalled). Without
// a run loop the attach fails. Windows builds take an "HWND" and need no run
// loop (the host's message loop drives the windows).
//
// Size: the editor's resizer (a "ui:window-resizer" of the main window)
// holds the bounds that checkSizeConstraint answers with; a size the editor
// takes by itself (a drag on its resize handle) is announced with
// resizeView, and a size the host gives in onSize goes to the resizer.
// canResize follows the product's "use-window-resizing".
//
// Scale: the host's content scale (which may come before attaching) is the
// editor's visual scale; a new one while attached resizes the editor and is
// announced with resizeView. onSize stores the host's rectangle and never
// resizes back; resizeView's nested onSize is taken as it comes.
//
// Keys: the editor's windows get their keys from the system (XEmbed focus);
// keys the host hands over (onKeyDown / onKeyUp) go to the view with key
// focus while it edits text, and are left to the host otherwise.
//
// All calls on the host's UI thread.

#include <memory>

#include "Core/Object.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/common/pluginview.h"

class CAudioWrapperVST3;
class CRootObject;
class CWindowRenderer;
class CWindowResizer;
class CWindowSharedData;

class CAudioWrapperVST3Editor : public Steinberg::CPluginView, public Steinberg::IPlugViewContentScaleSupport {
public:
    // The host's run-loop timer period (ms); once the host has signalled a
    // descriptor the timer only polls now and then.
    static constexpr int kServiceTimerMs = 16;
    static constexpr int kSafetyTimerMs = 200;

    CAudioWrapperVST3Editor(CAudioWrapperVST3* instance, const Steinberg::ViewRect& rect, double scale);
    ~CAudioWrapperVST3Editor() override;

    // --- IPlugView ---------------------------------------------------------------------
    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API removed() override;
    Steinberg::tresult PLUGIN_API onWheel(float distance) override;
    Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                            Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
    Steinberg::tresult PLUGIN_API canResize() override;
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

    // --- IPlugViewContentScaleSupport --------------------------------------------------------
    Steinberg::tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

    // --- For tests and tools --------------------------------------------------------------
    CObject* editorRoot() const;
    CWindowRenderer* renderer() const { return m_renderer; }
    CWindowSharedData* sharedData() const { return m_shared; }
    double scale() const { return m_scale; }
    // Services the editor as the run loop's handlers do.
    void service();

    OBJ_METHODS(CAudioWrapperVST3Editor, Steinberg::CPluginView)
    DEFINE_INTERFACES
        DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
    END_DEFINE_INTERFACES(Steinberg::CPluginView)
    REFCOUNT_METHODS(Steinberg::CPluginView)

private:
    struct RunLoopLink;
    Steinberg::tresult fail(const CError& err);
    void closeEditor();
    CWindowResizer* resizer() const;
    void followEditorSize();
    // The rectangle of the editor's window now (the host's while detached).
    Steinberg::ViewRect currentRect() const;
    Steinberg::tresult keyEvent(bool down, Steinberg::char16 key, Steinberg::int16 keyCode, Steinberg::int16 modifiers);

    CAudioWrapperVST3* m_instance;
    double m_scale;
    int m_baseWidth, m_baseHeight;  // the editor's size at scale 1
    std::unique_ptr<CRootObject> m_root;
    CWindowRenderer* m_renderer = nullptr;
    CWindowSharedData* m_shared = nullptr;
    std::unique_ptr<RunLoopLink> m_runLoop;
    bool m_inOnSize = false;
    bool m_inResize = false;
};
