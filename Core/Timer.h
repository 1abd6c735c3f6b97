#pragma once
// CTimerQueued (tag core:timer): periodic "tick" events for the object's
// listeners.
//
// Attributes: "interval" (period in seconds), "fps" (frames per second; the
// period is 1/fps when "interval" is empty), "is-high-precision" (boolean,
// true when absent). A period of 0 or less means no timer and is no error.
// The timer starts when the object is initialised and restarts whenever one
// of the three attributes changes (events of those names).
//
// High-precision mode: a timer on the process-wide timer queue (period
// round(interval * 1000) ms, due at once). Its callback runs on the queue's
// thread, looks only at the timer's own state under the timer's lock and
// posts "sys-tick" to the run loop of the thread that started the timer. A
// tick is dropped, never queued, while the previous one has not been consumed
// and less than 0.75 s have passed since it was sent; a "sys-tick" that still
// waits in the loop stands for later ticks too.
//
// System-timer mode: a timer of the starting thread's run loop; its callback
// finds the timer by id in a process-wide map and ticks it right there.
//
// Threads: in both modes "sys-tick" and the "tick" listeners run on the
// thread that started the timer, and only while that thread pumps its run
// loop (the editor's UI thread does). A timer must be started, restarted and
// destroyed on that thread; destruction stops it and waits for a callback
// that is running on the queue's thread.

#include <cstdint>

#include "Core/Object.h"
#include "Platform/Sync.h"
#include "Platform/Thread.h"

KELSTR(CTimerQueued_initTimer_createTimerQueue, "Timer queue creation error.");
KELSTR(CTimerQueued_initTimer_createTimer, "Timer creation error %1.");
KELSTR(CTimerQueued_initTimer_createTimerHWND, "Timer creation error %1.");

class CTimerQueued : public CObject {
public:
    // A tick that has not been consumed holds back the next ones this long.
    static constexpr double kStallSeconds = 0.75;

    CTimerQueued();
    ~CTimerQueued() override;

    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    // (Re)starts the timer from the current attributes; stops it when the
    // period is 0 or less.
    CError initTimer();
    void stopTimer();

    // Period the attributes give, in milliseconds (0: no timer).
    unsigned periodMs() const;
    bool isRunning() const;
    bool isHighPrecisionActive() const;
    // Ticks the queue callback has let through since the timer was created
    // (dropped ones not counted; a tick folded into a waiting one counted).
    uint64_t ticksSent() const;

private:
    static void queueCallback(void* context);
    static void runLoopCallback(void* context);
    // The "sys-tick" handler: marks the tick consumed and notifies "tick".
    CError consumeTick();

    mutable plat::CCritSec m_lock{4000};
    // Guarded by m_lock (the queue callback reads and writes them).
    bool m_active = false;
    bool m_tickConsumed = true;
    bool m_tickPosted = false;
    int64_t m_lastTick = 0;
    uint64_t m_ticksSent = 0;
    // Set while stopped, read by the queue callback while running.
    plat::RunLoopId m_loop = 0;
    CString m_timerName;
    // Owner thread only.
    plat::QueueTimer m_queueTimer = nullptr;
    plat::RunLoopTimerId m_loopTimer = 0;
    uint32_t m_loopTimerKey = 0;
};
