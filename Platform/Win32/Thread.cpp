// Win32 backend of threads, the timer queue and run loops.
//
// Queue timers live on one process-wide system timer queue and call back on
// its timer thread. A run loop is a message-only window of its thread: its
// timers are window timers, and callbacks posted from other threads wake it
// with a window message, so that the thread's own message loop (the host's,
// on the UI thread) delivers both without help; pumpRunLoop() delivers them
// where no message loop runs.
#include "Platform/Thread.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <windows.h>

#include "Platform/System.h"

namespace plat {

// ---------------------------------------------------------------------------
// Threads

namespace {
struct ThreadStart {
    ThreadProc proc;
    void* context;
};

unsigned __stdcall threadEntry(void* p) {
    const ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    start.proc(start.context);
    return 0;
}

HMODULE ownModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &m);
    return m;
}
}  // namespace

CThreadHandle::~CThreadHandle() { join(); }

uint32_t CThreadHandle::start(ThreadProc proc, void* context) {
    if (m_impl) return ERROR_BUSY;
    auto* s = new ThreadStart{proc, context};
    const uintptr_t h = _beginthreadex(nullptr, 0, &threadEntry, s, 0, nullptr);
    if (!h) {
        const DWORD e = GetLastError();
        delete s;
        return e ? uint32_t(e) : uint32_t(ERROR_NOT_ENOUGH_MEMORY);
    }
    m_impl = reinterpret_cast<void*>(h);
    return 0;
}

void CThreadHandle::join() {
    HANDLE h = static_cast<HANDLE>(m_impl);
    if (!h) return;
    // A thread that joins itself only lets go of its handle.
    if (GetThreadId(h) != GetCurrentThreadId()) WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    m_impl = nullptr;
}

uint64_t currentThreadId() {
    // System thread ids are reused once a thread ends; these are not.
    static std::atomic<uint64_t> next{1};
    thread_local uint64_t id = next.fetch_add(1);
    return id;
}

void sleepMs(unsigned ms) { Sleep(ms); }

// ---------------------------------------------------------------------------
// Timer queue

namespace {
struct QueueTimerRec {
    HANDLE handle = nullptr;
    TimerProc proc;
    void* context;
};

std::mutex g_queueLock;
HANDLE g_queue = nullptr;
// The timer whose callback runs on this thread (the timer thread).
thread_local QueueTimerRec* t_runningTimer = nullptr;

VOID CALLBACK queueTimerProc(PVOID param, BOOLEAN) {
    auto* t = static_cast<QueueTimerRec*>(param);
    t_runningTimer = t;
    t->proc(t->context);  // may delete t: it is not touched afterwards
    t_runningTimer = nullptr;
}
}  // namespace

uint32_t startTimerQueue() {
    std::lock_guard g(g_queueLock);
    if (g_queue) return 0;
    g_queue = CreateTimerQueue();
    return g_queue ? 0 : uint32_t(GetLastError());
}

QueueTimer createQueueTimer(unsigned dueMs, unsigned periodMs, TimerProc proc, void* context, uint32_t* error) {
    if (uint32_t e = startTimerQueue()) {
        if (error) *error = e;
        return nullptr;
    }
    auto* t = new QueueTimerRec{nullptr, proc, context};
    HANDLE h = nullptr;
    // Short callbacks, run by the timer thread itself.
    if (!CreateTimerQueueTimer(&h, g_queue, &queueTimerProc, t, dueMs, periodMs, WT_EXECUTEINTIMERTHREAD)) {
        if (error) *error = uint32_t(GetLastError());
        delete t;
        return nullptr;
    }
    t->handle = h;
    return t;
}

void deleteQueueTimer(QueueTimer timer) {
    auto* t = static_cast<QueueTimerRec*>(timer);
    if (!t) return;
    if (t_runningTimer == t) {
        // From its own callback: waiting would never end; the timer thread
        // runs no further callback of it once it is marked.
        DeleteTimerQueueTimer(g_queue, t->handle, nullptr);
    } else {
        // Waits until a running callback of the timer has returned.
        DeleteTimerQueueTimer(g_queue, t->handle, INVALID_HANDLE_VALUE);
    }
    delete t;
}

// ---------------------------------------------------------------------------
// Run loops

namespace {
constexpr UINT kWakeMessage = WM_APP + 0x2A1;
const wchar_t kLoopClass[] = L"Kelvane RunLoop";

// Milliseconds of the performance counter.
double nowMs() { return double(perfCounter()) * 1000.0 / double(perfFrequency()); }
// How much earlier than our own bookkeeping the system may deliver a tick
// (its clock against ours).
constexpr double kEarlyMs = 2.0;

struct LoopTimer {
    TimerProc proc;
    void* context;
    unsigned periodMs;
    double due;  // nowMs() of the next tick
};

// Callbacks posted to a loop, and its window. Shared between the registry
// and the owning thread.
struct LoopState {
    std::mutex mutex;
    std::deque<std::pair<TimerProc, void*>> posted;
    HWND window = nullptr;
};

struct LoopRegistry {
    std::mutex mutex;
    std::map<RunLoopId, std::shared_ptr<LoopState>> loops;
};
LoopRegistry& loopRegistry() {
    static LoopRegistry* r = new LoopRegistry();  // never destroyed: threads may end during exit
    return *r;
}

std::atomic<RunLoopTimerId> g_nextLoopTimer{1};

int runPosted(LoopState& s);
bool runTimer(UINT_PTR id);

LRESULT CALLBACK loopWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        runTimer(wp);
        return 0;
    }
    if (msg == kWakeMessage) {
        if (auto* s = reinterpret_cast<LoopState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) runPosted(*s);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool registerLoopClass() {
    static const bool ok = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &loopWindowProc;
        wc.hInstance = ownModule();
        wc.lpszClassName = kLoopClass;
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return ok;
}

// The calling thread's loop: its registration, window and timers. It ends
// with the thread through a fiber-local storage callback: MinGW's runtime
// frees a thread's storage before it runs the destructors of thread_local
// objects, so the pointer below must stay trivially destructible.
struct ThreadLoop {
    RunLoopId id = 0;
    std::shared_ptr<LoopState> state;
    std::map<RunLoopTimerId, LoopTimer> timers;
};
thread_local ThreadLoop* t_loop = nullptr;

// Ends a loop: its registration, its window (destroyed by its own thread,
// otherwise handed to the default window procedure and closed) and what
// was still queued.
void endLoop(ThreadLoop* l) {
    {
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        r.loops.erase(l->id);
    }
    HWND w;
    {
        std::lock_guard g(l->state->mutex);
        w = l->state->window;
        l->state->window = nullptr;
        l->state->posted.clear();
    }
    if (w) {
        if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId()) {
            DestroyWindow(w);
        } else {
            SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
            PostMessageW(w, WM_CLOSE, 0, 0);
        }
    }
    delete l;
}

VOID WINAPI loopThreadEnded(PVOID loop) {
    if (loop) endLoop(static_cast<ThreadLoop*>(loop));
}

std::mutex g_flsLock;
DWORD g_flsIndex = FLS_OUT_OF_INDEXES;

DWORD loopStorage() {
    std::lock_guard g(g_flsLock);
    if (g_flsIndex == FLS_OUT_OF_INDEXES) g_flsIndex = FlsAlloc(&loopThreadEnded);
    return g_flsIndex;
}

// The calling thread's loop, created on first use; null when the system
// refuses the window.
ThreadLoop* ownLoop(uint32_t* error = nullptr) {
    if (t_loop) return t_loop;
    const DWORD fls = loopStorage();
    if (fls == FLS_OUT_OF_INDEXES || !registerLoopClass()) {
        if (error) *error = uint32_t(GetLastError());
        return nullptr;
    }
    HWND w = CreateWindowExW(0, kLoopClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ownModule(), nullptr);
    if (!w) {
        if (error) *error = uint32_t(GetLastError());
        return nullptr;
    }
    auto* l = new ThreadLoop;
    l->id = currentThreadId();
    l->state = std::make_shared<LoopState>();
    l->state->window = w;
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(l->state.get()));
    FlsSetValue(fls, l);
    t_loop = l;
    auto& r = loopRegistry();
    std::lock_guard g(r.mutex);
    r.loops[l->id] = l->state;
    return l;
}

int runPosted(LoopState& s) {
    std::deque<std::pair<TimerProc, void*>> batch;
    {
        std::lock_guard g(s.mutex);
        batch.swap(s.posted);
    }
    for (auto& [proc, ctx] : batch) proc(ctx);
    return int(batch.size());
}

// Runs a timer's callback for its window message. Ticks keep to the
// timer's period grid; an overdue timer ticks once, then waits a full
// period, and a message that comes before the next tick is due (the system
// catching up on missed periods) is dropped. Returns whether it ran.
bool runTimer(UINT_PTR id) {
    if (!t_loop) return false;
    auto it = t_loop->timers.find(RunLoopTimerId(id));
    if (it == t_loop->timers.end()) return false;
    LoopTimer& t = it->second;
    const double now = nowMs();
    if (now < t.due - kEarlyMs) return false;
    t.due += t.periodMs;
    if (t.due <= now) t.due = now + t.periodMs;
    const TimerProc proc = t.proc;
    void* ctx = t.context;
    proc(ctx);  // may kill timers, itself included
    return true;
}
}  // namespace

int runLoopWakeFd() { return -1; }  // woken by a window message

RunLoopId currentRunLoop() {
    ThreadLoop* l = ownLoop();
    return l ? l->id : 0;
}

bool postToRunLoop(RunLoopId loop, TimerProc proc, void* context) {
    if (!proc) return false;
    std::shared_ptr<LoopState> s;
    {
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        auto it = r.loops.find(loop);
        if (it == r.loops.end()) return false;
        s = it->second;
    }
    std::lock_guard g(s->mutex);
    if (!s->window) return false;
    const bool wake = s->posted.empty();
    s->posted.emplace_back(proc, context);
    // One wake message stands for everything queued until it is handled.
    if (wake) PostMessageW(s->window, kWakeMessage, 0, 0);
    return true;
}

RunLoopTimerId setRunLoopTimer(unsigned periodMs, TimerProc proc, void* context, uint32_t* error) {
    if (!proc) {
        if (error) *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    ThreadLoop* l = ownLoop(error);
    if (!l) return 0;
    const RunLoopTimerId id = g_nextLoopTimer.fetch_add(1);
    const unsigned period = std::max(1u, periodMs);
    if (!SetTimer(l->state->window, UINT_PTR(id), period, nullptr)) {
        if (error) *error = uint32_t(GetLastError());
        return 0;
    }
    l->timers[id] = LoopTimer{proc, context, period, nowMs() + period};
    return id;
}

void killRunLoopTimer(RunLoopTimerId id) {
    if (!t_loop) return;
    if (t_loop->timers.erase(id)) KillTimer(t_loop->state->window, UINT_PTR(id));
}

// Every message call is a round trip to the window system, so an idle pump
// makes none: wake messages are taken out only while callbacks wait, and
// timer messages only once a timer is due by its own bookkeeping.
int pumpRunLoop() {
    if (!t_loop) return 0;
    const HWND w = t_loop->state->window;
    MSG msg;
    bool waiting;
    {
        std::lock_guard g(t_loop->state->mutex);
        waiting = !t_loop->state->posted.empty();
    }
    int ran = 0;
    if (waiting) {
        // The wake messages stand for the callbacks run right here.
        while (PeekMessageW(&msg, w, kWakeMessage, kWakeMessage, PM_REMOVE)) {
        }
        ran += runPosted(*t_loop->state);
    }
    const double now = nowMs();
    bool anyDue = false;
    for (const auto& [id, t] : t_loop->timers) anyDue = anyDue || now >= t.due - kEarlyMs;
    if (!anyDue) return ran;
    // One message per due timer.
    std::vector<UINT_PTR> due;
    while (PeekMessageW(&msg, w, WM_TIMER, WM_TIMER, PM_REMOVE)) due.push_back(msg.wParam);
    for (UINT_PTR id : due)
        if (runTimer(id)) ++ran;
    return ran;
}

int runLoopNextDueMs() {
    if (!t_loop) return -1;
    {
        std::lock_guard g(t_loop->state->mutex);
        if (!t_loop->state->posted.empty()) return 0;
    }
    if (t_loop->timers.empty()) return -1;
    double next = HUGE_VAL;
    for (const auto& [id, t] : t_loop->timers) next = std::min(next, t.due);
    const double wait = std::ceil(next - nowMs());
    return wait <= 0 ? 0 : int(std::min(wait, 2147483647.0));
}

void releaseRunLoops() {
    // The calling thread's loop ends here; loops of other threads lose their
    // windows' link to this module (their windows close on their threads).
    if (t_loop) {
        ThreadLoop* own = t_loop;
        t_loop = nullptr;
        FlsSetValue(g_flsIndex, nullptr);
        endLoop(own);
    }
    {
        auto& r = loopRegistry();
        std::lock_guard g(r.mutex);
        for (auto& [id, s] : r.loops) {
            std::lock_guard gs(s->mutex);
            if (s->window) {
                SetWindowLongPtrW(s->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
                PostMessageW(s->window, WM_CLOSE, 0, 0);
                s->window = nullptr;
            }
            s->posted.clear();
        }
        r.loops.clear();
    }
    // No callback of this module may run at a later thread end.
    {
        std::lock_guard g(g_flsLock);
        if (g_flsIndex != FLS_OUT_OF_INDEXES) FlsFree(g_flsIndex);
        g_flsIndex = FLS_OUT_OF_INDEXES;
    }
    UnregisterClassW(kLoopClass, ownModule());
}

}  // namespace plat
