#pragma once
// Threads of the system's own work.
//
// CThread: a system thread running the virtual threadProc once per
// runThread. CPersistentThread: sleeps on an event and runs doWork each time
// work is signalled, until stopped. CWorkerThread: runs one job and ends.
//
// Lifetime: a thread calls virtual functions of its object, so a derived
// class must stop (or wait for) its thread in its own destructor; the base
// destructors do so only as a last resort.

#include <atomic>
#include <functional>

#include "Core/Error.h"
#include "Platform/Sync.h"
#include "Platform/Thread.h"

KELSTR(CThread_runThread_AlreadyRunning, "Thread is already running.");
KELSTR(CThread_runThread_createThreadError, "Thread creation error %1.");

class CThread {
public:
    CThread();
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts threadProc on a new thread. A thread that has finished is
    // joined first; one that still runs is an error.
    CError runThread();
    // Waits until threadProc has returned (no-op when no thread was started).
    void waitForThread();
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }

protected:
    virtual void threadProc() = 0;

private:
    static void entry(void* self);

    plat::CThreadHandle m_handle;
    std::atomic<bool> m_running{false};
};

class CPersistentThread : public CThread {
public:
    CPersistentThread();
    ~CPersistentThread() override;

    // Starts the thread (it waits for work).
    CError startThread();
    // Asks the thread to end after its current work and waits for it.
    void stopThread();
    // Wakes the thread to run doWork once; signals that arrive before it
    // wakes are served by one run, those during a run by one more. Ignored
    // once the thread has been stopped (until it is started again); kept
    // for the first run when the thread has not been started yet.
    void signalWork();
    // Waits until every signalled work has been done; false on timeout
    // (negative: no timeout).
    bool waitIdle(int timeoutMs = -1);

protected:
    virtual void doWork() = 0;

private:
    void threadProc() final;

    plat::CEvent m_wake{false, false};
    plat::CEvent m_idle{true, true};
    plat::CCritSec m_stateLock{4000};
    uint64_t m_requested = 0;  // guarded by m_stateLock
    uint64_t m_done = 0;
    std::atomic<bool> m_stop{false};
};

class CWorkerThread : public CThread {
public:
    using Job = std::function<void()>;

    CWorkerThread();
    ~CWorkerThread() override;

    // Runs job on a new thread.
    CError runJob(Job job);
    // Waits until the job has finished.
    void wait() { waitForThread(); }

private:
    void threadProc() override;
    Job m_job;
};
