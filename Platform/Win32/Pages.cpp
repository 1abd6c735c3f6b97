// Win32 backend of the page allocation: committed pages are zero and take
// physical memory only when first touched.
#include "Platform/Pages.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace plat {

void* pageAlloc(size_t size) { return VirtualAlloc(nullptr, size ? size : 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void pageFree(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace plat
