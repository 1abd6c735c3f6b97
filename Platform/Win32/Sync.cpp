// Win32 backend of the synchronisation primitives: critical sections with a
// spin count, the system's interlocked singly linked list and events.
#include "Platform/Sync.h"

#include <cstddef>
#include <new>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace plat {

namespace {
CRITICAL_SECTION* cs(unsigned char* storage) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }

PSLIST_HEADER head(unsigned char* storage) { return std::launder(reinterpret_cast<PSLIST_HEADER>(storage)); }
const SLIST_HEADER* head(const unsigned char* storage) {
    return std::launder(reinterpret_cast<const SLIST_HEADER*>(storage));
}

HANDLE& eventHandle(unsigned char* storage) { return *std::launder(reinterpret_cast<HANDLE*>(storage)); }
}  // namespace

// The opaque storage of the interface holds the system's structures on both
// word sizes: the list header is 8 bytes (8-aligned) on 32-bit and 16 bytes
// (16-aligned) on 64-bit Windows, and an entry's link is its first word.
static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= 16);
static_assert(sizeof(SLIST_HEADER) <= 16 && alignof(SLIST_HEADER) <= 16);
static_assert(sizeof(SLIST_HEADER) == 2 * sizeof(void*));
static_assert(offsetof(SLIST_ENTRY, Next) == 0 && offsetof(SListEntry, next) == 0);
static_assert(sizeof(SListEntry) == sizeof(void*));
// Entries must sit on the system's allocation alignment (16 bytes on 64-bit,
// 8 on 32-bit); the block allocator's blocks are 16-byte aligned.
static_assert(MEMORY_ALLOCATION_ALIGNMENT == 2 * sizeof(void*));
static_assert(MEMORY_ALLOCATION_ALIGNMENT <= 16);

CCritSec::CCritSec(unsigned spinCount) : m_spin(spinCount) {
    InitializeCriticalSectionAndSpinCount(cs(m_storage), DWORD(spinCount));
}
CCritSec::~CCritSec() { DeleteCriticalSection(cs(m_storage)); }
void CCritSec::lock() { EnterCriticalSection(cs(m_storage)); }
bool CCritSec::tryLock() { return TryEnterCriticalSection(cs(m_storage)) != FALSE; }
void CCritSec::unlock() { LeaveCriticalSection(cs(m_storage)); }

CSList::CSList() { InitializeSListHead(new (m_storage) SLIST_HEADER); }

void CSList::push(SListEntry* e) { InterlockedPushEntrySList(head(m_storage), reinterpret_cast<PSLIST_ENTRY>(e)); }

SListEntry* CSList::pop() { return reinterpret_cast<SListEntry*>(InterlockedPopEntrySList(head(m_storage))); }

SListEntry* CSList::flush() { return reinterpret_cast<SListEntry*>(InterlockedFlushSList(head(m_storage))); }

// The depth field of the header is 16 bits wide and wraps; the first entry
// tells emptiness reliably.
bool CSList::empty() const { return RtlFirstEntrySList(head(m_storage)) == nullptr; }

CEvent::CEvent(bool manualReset, bool initialState) {
    new (m_storage) HANDLE(CreateEventW(nullptr, manualReset, initialState, nullptr));
}
CEvent::~CEvent() {
    if (HANDLE h = eventHandle(m_storage)) CloseHandle(h);
}
void CEvent::set() { SetEvent(eventHandle(m_storage)); }
void CEvent::reset() { ResetEvent(eventHandle(m_storage)); }
bool CEvent::wait(int timeoutMs) {
    const DWORD ms = timeoutMs < 0 ? INFINITE : DWORD(timeoutMs);
    return WaitForSingleObject(eventHandle(m_storage), ms) == WAIT_OBJECT_0;
}

}  // namespace plat
