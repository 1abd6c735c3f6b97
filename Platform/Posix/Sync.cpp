// POSIX backend of the synchronisation primitives.
#include "Platform/Sync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace plat {

namespace {
std::mutex& mtx(unsigned char* storage) { return *std::launder(reinterpret_cast<std::mutex*>(storage)); }

// Tagged top-of-list word: low 48 bits pointer, high 16 bits a change counter
// that defeats ABA on x86_64 and AArch64 user-space addresses.
constexpr uint64_t kPtrMask = (uint64_t(1) << 48) - 1;
std::atomic<uint64_t>& head(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::atomic<uint64_t>*>(storage));
}
const std::atomic<uint64_t>& head(const unsigned char* storage) {
    return *std::launder(reinterpret_cast<const std::atomic<uint64_t>*>(storage));
}
SListEntry* entryOf(uint64_t word) { return reinterpret_cast<SListEntry*>(word & kPtrMask); }
uint64_t wordOf(SListEntry* e, uint64_t oldWord) {
    return (reinterpret_cast<uint64_t>(e) & kPtrMask) | ((oldWord & ~kPtrMask) + (kPtrMask + 1));
}

struct EventState {
    std::mutex m;
    std::condition_variable cv;
    bool signalled;
    bool manual;
};
EventState& ev(unsigned char* storage) { return *std::launder(reinterpret_cast<EventState*>(storage)); }
}  // namespace

static_assert(sizeof(std::mutex) <= 64);
static_assert(sizeof(EventState) <= 128);
static_assert(std::atomic<uint64_t>::is_always_lock_free);

CCritSec::CCritSec(unsigned spinCount) : m_spin(spinCount) { new (m_storage) std::mutex(); }
CCritSec::~CCritSec() { mtx(m_storage).~mutex(); }

void CCritSec::lock() {
    for (unsigned i = 0; i < m_spin; ++i) {
        if (mtx(m_storage).try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    mtx(m_storage).lock();
}
bool CCritSec::tryLock() { return mtx(m_storage).try_lock(); }
void CCritSec::unlock() { mtx(m_storage).unlock(); }

CSList::CSList() { new (m_storage) std::atomic<uint64_t>(0); }

void CSList::push(SListEntry* e) {
    auto& h = head(m_storage);
    uint64_t old = h.load(std::memory_order_relaxed);
    do {
        e->next = entryOf(old);
    } while (!h.compare_exchange_weak(old, wordOf(e, old), std::memory_order_release,
                                      std::memory_order_relaxed));
}

namespace {
// The speculative read of pop: the entry may have been popped and reused by
// another thread meanwhile, so its memory may be written while this reads
// it; the value is then discarded because the tagged exchange fails. The
// read alone is kept out of ThreadSanitizer's view (the exchange is not), as
// it is the one access of the algorithm that is meant to overlap.
__attribute__((noinline, no_sanitize_thread)) SListEntry* speculativeNext(SListEntry* top) {
    return __atomic_load_n(&top->next, __ATOMIC_RELAXED);
}
}  // namespace

SListEntry* CSList::pop() {
    auto& h = head(m_storage);
    uint64_t old = h.load(std::memory_order_acquire);
    for (;;) {
        SListEntry* top = entryOf(old);
        if (!top) return nullptr;
        // The entry's memory stays mapped even when another thread popped it
        // meanwhile; the counter in the tag makes the exchange fail then.
        SListEntry* next = speculativeNext(top);
        if (h.compare_exchange_weak(old, wordOf(next, old), std::memory_order_acquire,
                                    std::memory_order_acquire))
            return top;
    }
}

SListEntry* CSList::flush() {
    auto& h = head(m_storage);
    uint64_t old = h.load(std::memory_order_acquire);
    while (!h.compare_exchange_weak(old, wordOf(nullptr, old), std::memory_order_acquire,
                                    std::memory_order_acquire)) {
    }
    return entryOf(old);
}

bool CSList::empty() const { return entryOf(head(m_storage).load(std::memory_order_acquire)) == nullptr; }

CEvent::CEvent(bool manualReset, bool initialState) {
    auto* s = new (m_storage) EventState();
    s->signalled = initialState;
    s->manual = manualReset;
}
CEvent::~CEvent() { ev(m_storage).~EventState(); }

void CEvent::set() {
    auto& s = ev(m_storage);
    {
        std::lock_guard g(s.m);
        s.signalled = true;
    }
    if (s.manual)
        s.cv.notify_all();
    else
        s.cv.notify_one();
}

void CEvent::reset() {
    auto& s = ev(m_storage);
    std::lock_guard g(s.m);
    s.signalled = false;
}

bool CEvent::wait(int timeoutMs) {
    auto& s = ev(m_storage);
    std::unique_lock g(s.m);
    auto ready = [&] { return s.signalled; };
    if (timeoutMs < 0)
        s.cv.wait(g, ready);
    else if (!s.cv.wait_for(g, std::chrono::milliseconds(timeoutMs), ready))
        return false;
    if (!s.manual) s.signalled = false;
    return true;
}

}  // namespace plat
