// Replaces the global allocation functions of the test executable with ones
// that count calls per thread (every form, aligned ones included), so tests
// can prove that processing paths never allocate.
#include "Tests/Support/AllocationCounter.h"

#include <cstdlib>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace {
thread_local uint64_t t_allocations = 0;

#ifdef _WIN32
// The C runtime has no aligned_alloc whose blocks free() takes back: every
// block comes from the aligned heap functions there.
void* allocate(std::size_t size, std::size_t align) {
    ++t_allocations;
    return _aligned_malloc(size ? size : 1, align < 16 ? 16 : align);
}
void release(void* p) { _aligned_free(p); }
#else
void* allocate(std::size_t size, std::size_t align) {
    ++t_allocations;
    if (size == 0) size = 1;
    if (align <= alignof(std::max_align_t)) return std::malloc(size);
    return std::aligned_alloc(align, (size + align - 1) / align * align);
}
void release(void* p) { std::free(p); }
#endif

void* allocateOrThrow(std::size_t size, std::size_t align) {
    if (void* p = allocate(size, align)) return p;
    throw std::bad_alloc();
}
}  // namespace

uint64_t alloc_counter::count() { return t_allocations; }

// The replacements pair the allocation with its release function on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) { return allocateOrThrow(n, 0); }
void* operator new[](std::size_t n) { return allocateOrThrow(n, 0); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocateOrThrow(n, std::size_t(a)); }
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, std::size_t(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocate(n, std::size_t(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
#pragma GCC diagnostic pop
