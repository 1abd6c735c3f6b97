#include "Core/Timer.h"

#include <cmath>
#include <limits>
#include <map>

#include "Core/Log.h"
#include "Core/Notify.h"
#include "Platform/System.h"

namespace {
// System-mode timers by key: the run loop's callback carries only the key,
// so a timer that is gone is simply not found.
struct LoopTimerMap {
    plat::CCritSec lock{4000};
    std::map<uint32_t, CTimerQueued*> timers;
    uint32_t nextKey = 1;
};
LoopTimerMap& loopTimers() {
    static LoopTimerMap m;
    return m;
}
}  // namespace

CTimerQueued::CTimerQueued() = default;

CTimerQueued::~CTimerQueued() { stopTimer(); }

void CTimerQueued::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    auto restart = [](CObject* self, CEventParams&) -> CError {
        auto* t = static_cast<CTimerQueued*>(self);
        if (t->initState() < 3) return {};
        KEL_TRY(t->initTimer());
        return {};
    };
    record.addEvent("fps", restart);
    record.addEvent("interval", restart);
    record.addEvent("is-high-precision", restart);
    record.addEvent("sys-tick", [](CObject* self, CEventParams&) -> CError {
        KEL_TRY(static_cast<CTimerQueued*>(self)->consumeTick());
        return {};
    });
}

CError CTimerQueued::initDone() {
    KEL_TRY(CObject::initDone());
    KEL_TRY(initTimer());
    return {};
}

unsigned CTimerQueued::periodMs() const {
    double interval = 0;
    if (!attr("interval").trimmed().empty()) {
        interval = attrReal("interval");
    } else {
        const double fps = attrReal("fps");
        if (fps > 0) interval = 1.0 / fps;
    }
    if (!(interval > 0)) return 0;
    const double ms = std::round(interval * 1000.0);
    if (ms < 1) return 1;
    if (ms > double(std::numeric_limits<unsigned>::max())) return std::numeric_limits<unsigned>::max();
    return unsigned(ms);
}

bool CTimerQueued::isRunning() const { return m_queueTimer || m_loopTimer; }
bool CTimerQueued::isHighPrecisionActive() const { return m_queueTimer != nullptr; }

uint64_t CTimerQueued::ticksSent() const {
    plat::CLock g(m_lock);
    return m_ticksSent;
}

CError CTimerQueued::initTimer() {
    stopTimer();
    const unsigned period = periodMs();
    if (period == 0) return {};
    // Posted "sys-tick" events are dropped with the object only when the
    // server knows it.
    setNotifyRegistered();
    m_loop = plat::currentRunLoop();
    m_timerName = fullName();
    {
        plat::CLock g(m_lock);
        m_active = true;
        m_tickConsumed = true;
        m_tickPosted = false;
        m_lastTick = 0;
    }
    if (attrBool("is-high-precision", true)) {
        if (plat::startTimerQueue() != 0) {
            stopTimer();
            return KEL_ERROR(kelstr_CTimerQueued_initTimer_createTimerQueue);
        }
        uint32_t err = 0;
        m_queueTimer = plat::createQueueTimer(0, period, &CTimerQueued::queueCallback, this, &err);
        if (!m_queueTimer) {
            stopTimer();
            return KEL_ERROR(kelstr_CTimerQueued_initTimer_createTimer, CString::number(int64_t(err)));
        }
        return {};
    }
    auto& map = loopTimers();
    {
        plat::CLock g(map.lock);
        m_loopTimerKey = map.nextKey++;
        if (m_loopTimerKey == 0) m_loopTimerKey = map.nextKey++;
        map.timers[m_loopTimerKey] = this;
    }
    uint32_t err = 0;
    m_loopTimer = plat::setRunLoopTimer(period, &CTimerQueued::runLoopCallback,
                                        reinterpret_cast<void*>(uintptr_t(m_loopTimerKey)), &err);
    if (!m_loopTimer) {
        stopTimer();
        return KEL_ERROR(kelstr_CTimerQueued_initTimer_createTimerHWND, CString::number(int64_t(err)));
    }
    return {};
}

void CTimerQueued::stopTimer() {
    {
        plat::CLock g(m_lock);
        m_active = false;
    }
    if (m_queueTimer) {
        // Waits for a callback that is running on the queue's thread.
        plat::deleteQueueTimer(m_queueTimer);
        m_queueTimer = nullptr;
        // A "sys-tick" of this run that still waits must not tick the next one.
        CNotifyServer::instance().cancelPosted(this);
    }
    if (m_loopTimerKey) {
        auto& map = loopTimers();
        plat::CLock g(map.lock);
        map.timers.erase(m_loopTimerKey);
        m_loopTimerKey = 0;
    }
    if (m_loopTimer) {
        plat::killRunLoopTimer(m_loopTimer);
        m_loopTimer = 0;
    }
}

void CTimerQueued::queueCallback(void* context) {
    auto* t = static_cast<CTimerQueued*>(context);
    const int64_t now = plat::perfCounter();
    plat::RunLoopId loop;
    CEventParams params;
    {
        plat::CLock g(t->m_lock);
        if (!t->m_active) return;
        if (!t->m_tickConsumed && plat::perfSeconds(t->m_lastTick, now) < kStallSeconds) return;
        t->m_tickConsumed = false;
        t->m_lastTick = now;
        ++t->m_ticksSent;
        // A "sys-tick" still waiting in the loop stands for this tick too.
        if (t->m_tickPosted) return;
        t->m_tickPosted = true;
        loop = t->m_loop;
        params.set("timer", t->m_timerName);
    }
    if (!CNotifyServer::instance().postEvent(t, "sys-tick", params, loop)) {
        // The loop is gone; try again after the stall time.
        plat::CLock g(t->m_lock);
        t->m_tickPosted = false;
    }
}

void CTimerQueued::runLoopCallback(void* context) {
    const uint32_t key = uint32_t(uintptr_t(context));
    CTimerQueued* t = nullptr;
    {
        auto& map = loopTimers();
        plat::CLock g(map.lock);
        auto it = map.timers.find(key);
        if (it != map.timers.end()) t = it->second;
    }
    // System-mode timers live on this thread: t cannot vanish meanwhile.
    if (!t) return;
    if (CError e = t->consumeTick()) {
        kelLogf("Timer tick failed. // %s", t->fullName().utf8().c_str());
        kelLogError(e);
    }
}

CError CTimerQueued::consumeTick() {
    {
        plat::CLock g(m_lock);
        m_tickPosted = false;
        if (!m_active) return {};
        m_tickConsumed = true;
    }
    CEventParams p{{"timer", m_timerName}};
    KEL_TRY(notify("tick", p));
    return {};
}
