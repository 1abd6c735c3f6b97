#pragma once
// The host side of tamblor-editor: the plug frame the view is attached
// with, and a poll()-based run loop (the Linux IRunLoop the frame offers).
//
// Imitated host behaviours (CHostQuirks): descriptors that are never
// signalled (handlers never called), timers no faster than a floor (e.g.
// 25 ms), a second handler on one descriptor refused, 0 ms timers refused.

#include <functional>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"

namespace editorhost {

struct CHostQuirks {
    bool fdNeverSignalled = false;
    int timerFloorMs = 0;
    bool refuseSecondHandlerOnFd = false;
    bool refuseZeroTimers = false;
};

class CEditorFrame final : public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop {
public:
    explicit CEditorFrame(const CHostQuirks& quirks) : m_quirks(quirks) {}

    // Runs the loop for up to timeoutMs: waits on the descriptors and the
    // next timer, then calls what is due. Returns after one round.
    void runOnce(int timeoutMs);
    // Called when the view asks for a new size (after onSize).
    std::function<void(int width, int height)> onResize;
    Steinberg::IPlugView* view = nullptr;
    bool answerWithoutRunLoop = false;  // the frame offers no run loop
    size_t handlerCount() const { return m_handlers.size(); }
    size_t timerCount() const { return m_timers.size(); }
    int resizeRequests() const { return m_resizeRequests; }

    // IPlugFrame
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;
    // IRunLoop
    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) override;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;
    // FUnknown (the frame lives as long as the host's window: not counted)
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
    struct Handler {
        Steinberg::Linux::IEventHandler* handler;
        int fd;
    };
    struct Timer {
        Steinberg::Linux::ITimerHandler* handler;
        int periodMs;
        double due;
    };
    CHostQuirks m_quirks;
    std::vector<Handler> m_handlers;
    std::vector<Timer> m_timers;
    int m_resizeRequests = 0;
};

double nowMs();

}  // namespace editorhost
