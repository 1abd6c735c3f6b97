// Replaces the global operator new/delete with versions that count calls per
// thread. The array and nothrow forms of the standard library route through
// these; over-aligned allocations are not counted.
#include "Tests/Support/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local uint64_t t_allocations = 0;
}

uint64_t alloc_counter::count() { return t_allocations; }

void* operator new(std::size_t size) {
    ++t_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
