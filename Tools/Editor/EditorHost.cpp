// The plug frame and poll()-based run loop of tamblor-editor.
#include "Tools/Editor/EditorHost.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

using namespace Steinberg;

namespace editorhost {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

tresult PLUGIN_API CEditorFrame::queryInterface(const TUID iid, void** obj) {
    if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *obj = static_cast<IPlugFrame*>(this);
        return kResultOk;
    }
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid) && !answerWithoutRunLoop) {
        *obj = static_cast<Linux::IRunLoop*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult PLUGIN_API CEditorFrame::resizeView(IPlugView* v, ViewRect* r) {
    if (!v || !r) return kInvalidArgument;
    ++m_resizeRequests;
    // As hosts do: the new size is given back inside this call.
    if (onResize) onResize(r->getWidth(), r->getHeight());
    v->onSize(r);
    return kResultOk;
}

tresult PLUGIN_API CEditorFrame::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) {
    if (!handler || fd < 0) return kInvalidArgument;
    if (m_quirks.refuseSecondHandlerOnFd)
        for (const Handler& h : m_handlers)
            if (h.fd == fd) return kResultFalse;
    handler->addRef();
    m_handlers.push_back({handler, fd});
    return kResultOk;
}

tresult PLUGIN_API CEditorFrame::unregisterEventHandler(Linux::IEventHandler* handler) {
    auto it = std::remove_if(m_handlers.begin(), m_handlers.end(), [&](const Handler& h) { return h.handler == handler; });
    if (it == m_handlers.end()) return kResultFalse;
    for (auto i = it; i != m_handlers.end(); ++i) i->handler->release();
    m_handlers.erase(it, m_handlers.end());
    return kResultOk;
}

tresult PLUGIN_API CEditorFrame::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) {
    if (!handler) return kInvalidArgument;
    if (ms == 0 && m_quirks.refuseZeroTimers) return kResultFalse;
    const int period = std::max<int>(int(ms), m_quirks.timerFloorMs);
    handler->addRef();
    m_timers.push_back({handler, std::max(1, period), nowMs() + period});
    return kResultOk;
}

tresult PLUGIN_API CEditorFrame::unregisterTimer(Linux::ITimerHandler* handler) {
    auto it = std::remove_if(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.handler == handler; });
    if (it == m_timers.end()) return kResultFalse;
    for (auto i = it; i != m_timers.end(); ++i) i->handler->release();
    m_timers.erase(it, m_timers.end());
    return kResultOk;
}

void CEditorFrame::runOnce(int timeoutMs) {
    double wait = timeoutMs;
    const double now = nowMs();
    for (const Timer& t : m_timers) wait = std::min(wait, std::max(0.0, t.due - now));
    std::vector<pollfd> fds;
    if (!m_quirks.fdNeverSignalled)
        for (const Handler& h : m_handlers) fds.push_back({h.fd, POLLIN, 0});
    poll(fds.data(), fds.size(), int(wait + 0.999));
    // Handlers and timers may unregister themselves or others: work on copies
    // and check each is still registered.
    for (const pollfd& p : fds) {
        if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
        for (const Handler& h : std::vector<Handler>(m_handlers))
            if (h.fd == p.fd &&
                std::any_of(m_handlers.begin(), m_handlers.end(), [&](const Handler& x) { return x.handler == h.handler; }))
                h.handler->onFDIsSet(h.fd);
    }
    const double after = nowMs();
    std::vector<Linux::ITimerHandler*> due;
    for (Timer& t : m_timers)
        if (t.due <= after) {
            due.push_back(t.handler);
            t.due = std::max(t.due + t.periodMs, after);
        }
    for (Linux::ITimerHandler* h : due)
        if (std::any_of(m_timers.begin(), m_timers.end(), [&](const Timer& t) { return t.handler == h; })) h->onTimer();
}

}  // namespace editorhost
