#pragma once
// Synchronisation primitives of the platform layer: a critical section with a
// spin count, a lock-free singly linked list (LIFO) and a manual/auto-reset
// event. Each backend (Posix/, Win32/) implements them behind opaque storage,
// so callers never see a system header.

#include <cstddef>
#include <cstdint>

namespace plat {

// Mutual exclusion that spins a little before it blocks. Safe to create during
// static initialisation. Not recursive.
class CCritSec {
public:
    explicit CCritSec(unsigned spinCount = 0);
    ~CCritSec();
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void lock();
    bool tryLock();
    void unlock();

    // BasicLockable spelling, so std::lock_guard / std::unique_lock work.
    void lock_shared() = delete;
    bool try_lock() { return tryLock(); }

private:
    unsigned m_spin;
    alignas(16) unsigned char m_storage[64];
};

// RAII guard for CCritSec.
class CLock {
public:
    explicit CLock(CCritSec& cs) : m_cs(cs) { m_cs.lock(); }
    ~CLock() { m_cs.unlock(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CCritSec& m_cs;
};

// Entry of a lock-free list; embed it at the start of the listed item.
struct SListEntry {
    SListEntry* next;
};

// Lock-free LIFO of SListEntry items (ABA-safe). Items pushed must stay
// readable memory for the life of the list (the allocator never returns its
// chunks, which is what makes this safe).
class CSList {
public:
    CSList();
    CSList(const CSList&) = delete;
    CSList& operator=(const CSList&) = delete;

    void push(SListEntry* e);
    SListEntry* pop();          // nullptr when empty
    SListEntry* flush();        // detaches the whole chain
    bool empty() const;

private:
    alignas(16) unsigned char m_storage[16];
};

// An event that threads can wait on.
class CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initialState = false);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void set();
    void reset();
    // Waits up to timeoutMs (negative: forever). Returns true when signalled.
    bool wait(int timeoutMs = -1);

private:
    alignas(16) unsigned char m_storage[128];
};

}  // namespace plat
