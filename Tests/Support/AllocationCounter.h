#pragma once
// Counts the global operator new calls of the current thread, so a test can
// check that a piece of code does not allocate. The replacement operators live
// in AllocationCounter.cpp and are part of the test executable only.

#include <cstddef>
#include <cstdint>

namespace alloc_counter {

// Allocations made by this thread so far.
uint64_t count();

// Counts the allocations made by this thread during its lifetime.
class Scope {
public:
    Scope() : m_start(count()) {}
    uint64_t allocations() const { return count() - m_start; }

private:
    uint64_t m_start;
};

}  // namespace alloc_counter

// The same count in the probe form some tests use.
inline size_t testAllocationCount() { return size_t(alloc_counter::count()); }

class CAllocationProbe {
public:
    CAllocationProbe() : start_(testAllocationCount()) {}
    size_t count() const { return testAllocationCount() - start_; }

private:
    size_t start_;
};
