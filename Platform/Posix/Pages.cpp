// POSIX backend of the page allocation: private anonymous mappings.
#include "Platform/Pages.h"

#include <sys/mman.h>

namespace plat {

void* pageAlloc(size_t size) {
    void* p = mmap(nullptr, size ? size : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void pageFree(void* p, size_t size) {
    if (p) munmap(p, size ? size : 1);
}

}  // namespace plat
