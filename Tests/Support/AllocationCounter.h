#pragma once
// Counts calls of the global allocation functions, which the test executable
// replaces (AllocationCounter.cpp). Used to check that processing paths never
// allocate.

#include <cstddef>

// Allocations made by this process so far (all threads).
size_t testAllocationCount();

// Allocations made since construction.
class CAllocationProbe {
public:
    CAllocationProbe() : start_(testAllocationCount()) {}
    size_t count() const { return testAllocationCount() - start_; }

private:
    size_t start_;
};
