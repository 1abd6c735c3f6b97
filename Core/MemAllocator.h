#pragma once
// CKelMemAllocator: the process-wide block allocator for the small
// allocations of the object tree (objects, their names, attributes and child
// lists). Requests up to 4080 bytes are served from 255 size classes of 16-byte
// steps with lock-free free lists; larger ones come from the system heap with
// a small header. Every block is 16-byte aligned and preceded by a byte that
// names its class (255 = large block).
//
// Thread safety: alloc/free/realloc may be called from any thread. The fast
// path is one lock-free pop or push; a class refill takes that class's lock.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

class CKelMemAllocator {
public:
    static constexpr int kClassCount = 255;
    static constexpr size_t kMaxSmall = 4080;  // largest request served by a size class
    static constexpr uint8_t kLargeMark = 255;

    static void* alloc(size_t size);
    static void free(void* p);
    static void* realloc(void* p, size_t size);

    // Size class of a request: ceil(n / 16) - 1, class 0 for 0 bytes; -1 when
    // the request is served as a large block.
    static int sizeClass(size_t size) {
        if (size > kMaxSmall) return -1;
        return size == 0 ? 0 : int((size + 15) / 16) - 1;
    }
    static size_t classBlockSize(int cls) { return size_t(cls + 1) * 16; }

    // The class byte of a block returned by alloc (kLargeMark for large ones).
    static uint8_t blockClass(const void* p) { return static_cast<const uint8_t*>(p)[-1]; }
    // Usable capacity of a block returned by alloc.
    static size_t capacity(const void* p);

    // Introspection for tests and benchmarks.
    struct ClassStats {
        uint32_t refills;     // chunks taken from the system heap
        uint32_t nextRefill;  // blocks the next refill will take
    };
    static ClassStats classStats(int cls);
};

// Standard-library allocator over CKelMemAllocator, for containers and
// strings of the object tree.
template <class T>
struct CKelStdAllocator {
    using value_type = T;
    CKelStdAllocator() noexcept = default;
    template <class U>
    CKelStdAllocator(const CKelStdAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        void* p = CKelMemAllocator::alloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { CKelMemAllocator::free(p); }

    template <class U>
    bool operator==(const CKelStdAllocator<U>&) const noexcept { return true; }
};

// Mix-in that routes a class's own new/delete through the block allocator.
struct CKelAllocated {
    static void* operator new(size_t size) {
        void* p = CKelMemAllocator::alloc(size);
        if (!p) throw std::bad_alloc();
        return p;
    }
    static void operator delete(void* p) noexcept { CKelMemAllocator::free(p); }
};
