#include "Core/MemAllocator.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "Platform/Sync.h"
#include "Platform/System.h"

namespace {

// Each small block occupies a slot of 16 + block size bytes: 15 bytes of
// padding, the class byte, then the 16-byte aligned user area.
constexpr size_t kSlotHeader = 16;

struct SizeClass {
    plat::CSList freeList;
    plat::CCritSec refillLock{0};
    uint32_t nextRefill = 1;
    uint32_t refills = 0;
};

// Chunks taken from the heap are linked here and kept for the life of the
// process (the free lists may point into them at any time). The links are
// plain pointers so that leak checkers see every chunk as reachable (the
// free lists' tagged words are not recognisable as pointers).
struct ChunkHeader {
    ChunkHeader* next;
    unsigned char pad[kSlotHeader - sizeof(ChunkHeader*)];
};
static_assert(sizeof(ChunkHeader) == kSlotHeader);

struct AllocatorState {
    SizeClass classes[CKelMemAllocator::kClassCount];
    std::atomic<ChunkHeader*> chunks{nullptr};

    // Runs when the module is unloaded (or the program exits): a host that
    // unloads and reloads the plug-in gets the memory back. Static objects
    // that allocated after the state was built are destroyed before it; the
    // few destroyed after it (built earlier, allocating later) free nothing.
    ~AllocatorState();
};

// Set once the chunks are gone: a late free (from a static object that was
// destroyed after the state) is ignored, a late allocation takes the heap path.
std::atomic<bool> g_released{false};

AllocatorState::~AllocatorState() {
    g_released.store(true);
    for (ChunkHeader* c = chunks.exchange(nullptr); c;) {
        ChunkHeader* next = c->next;
        plat::heapFree(c);
        c = next;
    }
}

AllocatorState& state() {
    // Function-local so that allocations made during static initialisation
    // of other translation units find the allocator ready.
    static AllocatorState s;
    return s;
}

uint32_t refillLimit(size_t blockSize) { return blockSize < 2048 ? 128 : 64; }

void* refill(int cls) {
    SizeClass& sc = state().classes[cls];
    const size_t blockSize = CKelMemAllocator::classBlockSize(cls);
    for (;;) {
        if (sc.refillLock.tryLock()) break;
        // Another thread refills this class: take what it pushes meanwhile.
        if (auto* e = sc.freeList.pop()) return e;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    // The list may have been refilled while we waited for the lock.
    if (auto* e = sc.freeList.pop()) {
        sc.refillLock.unlock();
        return e;
    }
    const uint32_t k = sc.nextRefill;
    const size_t slot = kSlotHeader + blockSize;
    auto* chunk = static_cast<unsigned char*>(plat::heapAlloc(sizeof(ChunkHeader) + 15 + slot * k));
    if (!chunk) {
        sc.refillLock.unlock();
        return nullptr;
    }
    auto* header = reinterpret_cast<ChunkHeader*>(chunk);
    header->next = state().chunks.load(std::memory_order_relaxed);
    while (!state().chunks.compare_exchange_weak(header->next, header, std::memory_order_release,
                                                 std::memory_order_relaxed)) {
    }
    auto base = reinterpret_cast<uintptr_t>(chunk + sizeof(ChunkHeader));
    base = (base + 15) & ~uintptr_t(15);
    auto* first = reinterpret_cast<unsigned char*>(base);
    void* result = nullptr;
    for (uint32_t i = 0; i < k; ++i) {
        unsigned char* user = first + i * slot + kSlotHeader;
        user[-1] = uint8_t(cls);
        if (i == 0)
            result = user;
        else
            sc.freeList.push(reinterpret_cast<plat::SListEntry*>(user));
    }
    sc.refills++;
    sc.nextRefill = std::min(k * 2, refillLimit(blockSize));
    sc.refillLock.unlock();
    return result;
}

// Large blocks: [system block ... | distance | size (4 bytes) | 255 | user]
constexpr size_t kLargeHeader = 6;
constexpr size_t kLargeSlack = 21;  // header plus worst-case alignment

void* allocLarge(size_t size) {
    if (size > UINT32_MAX) return nullptr;
    auto* raw = static_cast<unsigned char*>(plat::heapAlloc(size + kLargeSlack));
    if (!raw) return nullptr;
    auto user = (reinterpret_cast<uintptr_t>(raw) + kLargeHeader + 15) & ~uintptr_t(15);
    auto* u = reinterpret_cast<unsigned char*>(user);
    auto size32 = uint32_t(size);
    u[-1] = CKelMemAllocator::kLargeMark;
    std::memcpy(u - 5, &size32, 4);
    u[-6] = uint8_t(u - raw);
    return u;
}

}  // namespace

void* CKelMemAllocator::alloc(size_t size) {
    int cls = g_released.load(std::memory_order_relaxed) ? -1 : sizeClass(size);
    if (cls < 0) return allocLarge(size);
    if (auto* e = state().classes[cls].freeList.pop()) return e;
    return refill(cls);
}

void CKelMemAllocator::free(void* p) {
    if (!p || g_released.load(std::memory_order_relaxed)) return;
    auto* u = static_cast<unsigned char*>(p);
    uint8_t cls = u[-1];
    if (cls == kLargeMark) {
        plat::heapFree(u - u[-6]);
        return;
    }
    state().classes[cls].freeList.push(static_cast<plat::SListEntry*>(p));
}

size_t CKelMemAllocator::capacity(const void* p) {
    auto* u = static_cast<const unsigned char*>(p);
    uint8_t cls = u[-1];
    if (cls != kLargeMark) return classBlockSize(cls);
    uint32_t size32;
    std::memcpy(&size32, u - 5, 4);
    return size32;
}

void* CKelMemAllocator::realloc(void* p, size_t size) {
    if (!p) return alloc(size);
    void* n = alloc(size);
    if (!n) return nullptr;
    std::memcpy(n, p, std::min(capacity(p), size));
    free(p);
    return n;
}

CKelMemAllocator::ClassStats CKelMemAllocator::classStats(int cls) {
    SizeClass& sc = state().classes[cls];
    plat::CLock g(sc.refillLock);
    return {sc.refills, sc.nextRefill};
}
