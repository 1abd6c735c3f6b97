#pragma once
// Threads, the process-wide timer queue and per-thread run loops.

#include <cstdint>

namespace plat {

using ThreadProc = void (*)(void* context);

// A joinable system thread.
class CThreadHandle {
public:
    CThreadHandle() = default;
    ~CThreadHandle();
    CThreadHandle(const CThreadHandle&) = delete;
    CThreadHandle& operator=(const CThreadHandle&) = delete;

    // Returns 0 on success or the system error code.
    uint32_t start(ThreadProc proc, void* context);
    void join();
    bool joinable() const { return m_impl != nullptr; }

private:
    void* m_impl = nullptr;
};

// Identifier of the calling thread (stable for its life).
uint64_t currentThreadId();
void sleepMs(unsigned ms);

// ---------------------------------------------------------------------------
// Timer queue: periodic callbacks on a system timer thread.
using TimerProc = void (*)(void* context);
using QueueTimer = void*;

// Starts the process-wide queue (its timer thread) if it is not running yet.
// Returns 0 or the system error code. createQueueTimer starts it as well.
uint32_t startTimerQueue();
// Creates a periodic timer on the process-wide queue; due time and period in
// milliseconds. Returns nullptr and sets *error on failure.
QueueTimer createQueueTimer(unsigned dueMs, unsigned periodMs, TimerProc proc, void* context,
                            uint32_t* error);
// Deletes the timer and waits until no callback of it runs any more.
void deleteQueueTimer(QueueTimer timer);

// ---------------------------------------------------------------------------
// Run loop: the "system timer" that calls back on the thread that created it.
// The owning thread pumps its loop explicitly (the editor does so from its
// window's event handling; tests call pump()).
using RunLoopTimerId = uint32_t;

// Creates a timer for the calling thread's run loop; 0 and *error on failure.
RunLoopTimerId setRunLoopTimer(unsigned periodMs, TimerProc proc, void* context, uint32_t* error);
// Removes a timer of the calling thread's run loop.
void killRunLoopTimer(RunLoopTimerId id);
// Runs the callbacks posted to the calling thread's loop, then every due
// timer of it once; returns how many callbacks ran.
int pumpRunLoop();
// Milliseconds until the next timer of the calling thread is due, 0 when
// posted callbacks wait (-1: nothing to do).
int runLoopNextDueMs();

// Posting work to another thread's run loop. A loop is identified by its
// thread; it exists from the thread's first currentRunLoop() call until the
// thread ends. pumpRunLoop() runs the posted callbacks (in posting order)
// before the due timers; callbacks posted while pumping run on the next pump.
using RunLoopId = uint64_t;
// The calling thread's loop (registered on first use).
RunLoopId currentRunLoop();
// Queues proc(context) on a loop; safe from any thread. False when the loop
// does not exist (never registered, or its thread has ended).
bool postToRunLoop(RunLoopId loop, TimerProc proc, void* context);
// A descriptor of the calling thread's loop that becomes readable when a
// callback is posted to it (an eventfd), for a host's run loop to watch;
// pumpRunLoop() clears it. -1 where loops are woken by window messages.
int runLoopWakeFd();

// Module unload: ends the calling thread's loop and detaches every other
// loop from the module's code (their pending callbacks and timers are
// dropped), so that nothing calls into an unloaded module afterwards.
void releaseRunLoops();

}  // namespace plat
