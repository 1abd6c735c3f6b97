// POSIX backend of threads, the timer queue and run loops.
#include "Platform/Thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plat {

// ---------------------------------------------------------------------------
// Threads

CThreadHandle::~CThreadHandle() { join(); }

uint32_t CThreadHandle::start(ThreadProc proc, void* context) {
    if (m_impl) return EBUSY;
    try {
        m_impl = new std::thread(proc, context);
    } catch (const std::system_error& e) {
        return uint32_t(e.code().value());
    }
    return 0;
}

void CThreadHandle::join() {
    auto* t = static_cast<std::thread*>(m_impl);
    if (!t) return;
    if (t->joinable()) {
        if (t->get_id() == std::this_thread::get_id())
            t->detach();
        else
            t->join();
    }
    delete t;
    m_impl = nullptr;
}

uint64_t currentThreadId() {
    static std::atomic<uint64_t> next{1};
    thread_local uint64_t id = next.fetch_add(1);
    return id;
}

void sleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---------------------------------------------------------------------------
// Timer queue: one worker thread serves every queue timer of the process.

namespace {
using Clock = std::chrono::steady_clock;

struct QueueTimerRec {
    Clock::time_point due;
    std::chrono::milliseconds period;
    TimerProc proc;
    void* context;
    bool deleted = false;
};

class TimerQueue {
public:
    static TimerQueue& instance() {
        static TimerQueue q;
        return q;
    }

    uint32_t start() {
        std::unique_lock g(m_mutex);
        return startLocked();
    }

    QueueTimerRec* add(unsigned dueMs, unsigned periodMs, TimerProc proc, void* ctx, uint32_t* error) {
        std::unique_lock g(m_mutex);
        if (uint32_t e = startLocked()) {
            if (error) *error = e;
            return nullptr;
        }
        auto* t = new QueueTimerRec{Clock::now() + std::chrono::milliseconds(dueMs),
                                    std::chrono::milliseconds(periodMs), proc, ctx};
        m_timers.push_back(t);
        m_cv.notify_all();
        return t;
    }

    void remove(QueueTimerRec* t) {
        std::unique_lock g(m_mutex);
        auto it = std::find(m_timers.begin(), m_timers.end(), t);
        if (it == m_timers.end()) return;
        m_timers.erase(it);
        t->deleted = true;
        // Wait until a running callback of this timer has returned, unless the
        // callback itself deletes its timer.
        if (std::this_thread::get_id() != m_thread.get_id())
            m_idle.wait(g, [&] { return m_running != t; });
        if (m_running != t) delete t;
        else m_deleteAfterRun = true;
        m_cv.notify_all();
    }

    ~TimerQueue() {
        {
            std::lock_guard g(m_mutex);
            m_stop = true;
            m_cv.notify_all();
        }
        if (m_thread.joinable()) m_thread.join();
        for (auto* t : m_timers) delete t;
    }

private:
    uint32_t startLocked() {
        if (m_thread.joinable()) return 0;
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error& e) {
            return uint32_t(e.code().value());
        }
        return 0;
    }

    void run() {
        std::unique_lock g(m_mutex);
        while (!m_stop) {
            if (m_timers.empty()) {
                m_cv.wait(g);
                continue;
            }
            auto next = std::min_element(m_timers.begin(), m_timers.end(),
                                         [](auto* a, auto* b) { return a->due < b->due; });
            QueueTimerRec* t = *next;
            if (Clock::now() < t->due) {
                // A copy: the timer may be deleted while this thread waits.
                const Clock::time_point due = t->due;
                m_cv.wait_until(g, due);
                continue;
            }
            t->due += std::max(t->period, std::chrono::milliseconds(1));
            if (t->due < Clock::now()) t->due = Clock::now() + t->period;
            m_running = t;
            g.unlock();
            t->proc(t->context);
            g.lock();
            m_running = nullptr;
            if (m_deleteAfterRun) {
                delete t;
                m_deleteAfterRun = false;
            }
            m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv, m_idle;
    std::vector<QueueTimerRec*> m_timers;
    QueueTimerRec* m_running = nullptr;
    bool m_deleteAfterRun = false;
    bool m_stop = false;
    std::thread m_thread;
};
}  // namespace

uint32_t startTimerQueue() { return TimerQueue::instance().start(); }

QueueTimer createQueueTimer(unsigned dueMs, unsigned periodMs, TimerProc proc, void* context,
                            uint32_t* error) {
    return TimerQueue::instance().add(dueMs, periodMs, proc, context, error);
}

void deleteQueueTimer(QueueTimer timer) {
    if (timer) TimerQueue::instance().remove(static_cast<QueueTimerRec*>(timer));
}

// ---------------------------------------------------------------------------
// Run loops

namespace {
struct LoopTimer {
    RunLoopTimerId id;
    Clock::time_point due;
    std::chrono::milliseconds period;
    TimerProc proc;
    void* context;
};
std::atomic<RunLoopTimerId> g_nextLoopTimer{1};
thread_local std::list<LoopTimer> t_loopTimers;

// Callbacks posted to a loop from any thread.
struct PostQueue {
    std::mutex mutex;
    std::deque<std::pair<TimerProc, void*>> items;
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ~PostQueue() {
        if (wakeFd >= 0) close(wakeFd);
    }
    void wake() const {
        const uint64_t one = 1;
        if (wakeFd >= 0 && write(wakeFd, &one, sizeof one) < 0) {
            // The counter is full: the loop is woken already.
        }
    }
    void drain() const {
        uint64_t count = 0;
        if (wakeFd >= 0 && read(wakeFd, &count, sizeof count) < 0) {
            // Nothing was posted.
        }
    }
};

// Loops by id. Never destroyed, so that threads ending during process exit
// can still unregister.
struct LoopRegistry {
    std::mutex mutex;
    std::unordered_map<RunLoopId, std::shared_ptr<PostQueue>> loops;
};
LoopRegistry& loopRegistry() {
    static LoopRegistry* r = new LoopRegistry();
    return *r;
}

// The calling thread's registration; unregisters the loop when the thread
// ends (callbacks still queued are dropped).
struct LoopRegistration {
    RunLoopId id = 0;
    std::shared_ptr<PostQueue> queue;
    ~LoopRegistration() {
        if (!id) return;
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        r.loops.erase(id);
    }
};
thread_local LoopRegistration t_loop;

PostQueue* ownQueue() {
    if (!t_loop.id) {
        t_loop.id = currentThreadId();
        t_loop.queue = std::make_shared<PostQueue>();
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        r.loops[t_loop.id] = t_loop.queue;
    }
    return t_loop.queue.get();
}
}  // namespace

RunLoopId currentRunLoop() {
    ownQueue();
    return t_loop.id;
}

bool postToRunLoop(RunLoopId loop, TimerProc proc, void* context) {
    if (!proc) return false;
    std::shared_ptr<PostQueue> q;
    {
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        auto it = r.loops.find(loop);
        if (it == r.loops.end()) return false;
        q = it->second;
    }
    {
        std::lock_guard g(q->mutex);
        q->items.emplace_back(proc, context);
    }
    q->wake();
    return true;
}

int runLoopWakeFd() { return ownQueue()->wakeFd; }

RunLoopTimerId setRunLoopTimer(unsigned periodMs, TimerProc proc, void* context, uint32_t* error) {
    if (!proc) {
        if (error) *error = EINVAL;
        return 0;
    }
    RunLoopTimerId id = g_nextLoopTimer.fetch_add(1);
    auto period = std::chrono::milliseconds(std::max(1u, periodMs));
    t_loopTimers.push_back({id, Clock::now() + period, period, proc, context});
    return id;
}

void killRunLoopTimer(RunLoopTimerId id) {
    t_loopTimers.remove_if([id](const LoopTimer& t) { return t.id == id; });
}

int pumpRunLoop() {
    int ran = 0;
    if (t_loop.id) {
        // Posted callbacks first; those posted meanwhile wait for the next pump.
        std::deque<std::pair<TimerProc, void*>> posted;
        {
            std::lock_guard g(t_loop.queue->mutex);
            t_loop.queue->drain();
            posted.swap(t_loop.queue->items);
        }
        for (auto& [proc, ctx] : posted) {
            proc(ctx);
            ++ran;
        }
    }
    auto now = Clock::now();
    std::vector<RunLoopTimerId> due;
    for (auto& t : t_loopTimers)
        if (t.due <= now) due.push_back(t.id);
    for (RunLoopTimerId id : due) {
        // A callback may kill timers (itself included): look each up again.
        auto it = std::find_if(t_loopTimers.begin(), t_loopTimers.end(),
                               [id](const LoopTimer& t) { return t.id == id; });
        if (it == t_loopTimers.end()) continue;
        // An overdue timer fires once, then waits a full period.
        it->due += it->period;
        if (it->due <= now) it->due = now + it->period;
        TimerProc proc = it->proc;
        void* ctx = it->context;
        proc(ctx);
        ++ran;
    }
    return ran;
}

int runLoopNextDueMs() {
    if (t_loop.id) {
        std::lock_guard g(t_loop.queue->mutex);
        if (!t_loop.queue->items.empty()) return 0;
    }
    if (t_loopTimers.empty()) return -1;
    auto now = Clock::now();
    auto next = std::min_element(t_loopTimers.begin(), t_loopTimers.end(),
                                 [](auto& a, auto& b) { return a.due < b.due; })->due;
    if (next <= now) return 0;
    // Rounded up: whoever sleeps that long finds the timer due.
    return int(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
}

// Loops hold no system resources here, and a shared object stays mapped while
// a thread still owns objects it registered for thread exit.
void releaseRunLoops() {}

}  // namespace plat
