#include "Core/Thread.h"

// --- CThread ------------------------------------------------------------------------

CThread::CThread() = default;

CThread::~CThread() { waitForThread(); }

void CThread::entry(void* self) {
    auto* t = static_cast<CThread*>(self);
    t->threadProc();
    t->m_running.store(false, std::memory_order_release);
}

CError CThread::runThread() {
    if (m_running.load(std::memory_order_acquire)) return KEL_ERROR(kelstr_CThread_runThread_AlreadyRunning);
    m_handle.join();  // a finished run
    m_running.store(true, std::memory_order_release);
    if (uint32_t err = m_handle.start(&CThread::entry, this)) {
        m_running.store(false, std::memory_order_release);
        return KEL_ERROR(kelstr_CThread_runThread_createThreadError, CString::number(int64_t(err)));
    }
    return {};
}

void CThread::waitForThread() { m_handle.join(); }

// --- CPersistentThread ----------------------------------------------------------------

CPersistentThread::CPersistentThread() = default;

CPersistentThread::~CPersistentThread() { stopThread(); }

CError CPersistentThread::startThread() {
    m_stop.store(false);
    KEL_TRY(runThread());
    return {};
}

void CPersistentThread::stopThread() {
    {
        plat::CLock g(m_stateLock);
        m_stop.store(true);
    }
    m_wake.set();
    waitForThread();
    // Work that was signalled but will not run any more.
    plat::CLock g(m_stateLock);
    m_done = m_requested;
    m_idle.set();
}

void CPersistentThread::signalWork() {
    {
        plat::CLock g(m_stateLock);
        if (m_stop.load()) return;  // stopped: nothing would serve it
        ++m_requested;
        m_idle.reset();
    }
    m_wake.set();
}

bool CPersistentThread::waitIdle(int timeoutMs) { return m_idle.wait(timeoutMs); }

void CPersistentThread::threadProc() {
    for (;;) {
        m_wake.wait();
        if (m_stop.load()) break;
        uint64_t target;
        {
            plat::CLock g(m_stateLock);
            target = m_requested;
        }
        if (target == m_done) continue;
        doWork();
        plat::CLock g(m_stateLock);
        m_done = target;
        if (m_done == m_requested) m_idle.set();
    }
}

// --- CWorkerThread ----------------------------------------------------------------------

CWorkerThread::CWorkerThread() = default;

CWorkerThread::~CWorkerThread() { waitForThread(); }

CError CWorkerThread::runJob(Job job) {
    if (isRunning()) return KEL_ERROR(kelstr_CThread_runThread_AlreadyRunning);
    waitForThread();
    m_job = std::move(job);
    KEL_TRY(runThread());
    return {};
}

void CWorkerThread::threadProc() {
    if (m_job) m_job();
}
