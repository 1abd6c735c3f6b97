#pragma once
// Whole pages of memory straight from the system, for large sample buffers.

#include <cstddef>

namespace plat {

// Zero-filled memory in whole pages that the system maps in only when a page
// is first written: pages that are never written cost no resident memory.
// Null on failure; pageFree takes the size that was asked for.
void* pageAlloc(size_t size);
void pageFree(void* p, size_t size);

}  // namespace plat
