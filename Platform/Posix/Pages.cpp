// POSIX backend of the page allocation: private anonymous mappings.
#include "Platform/Pages.h"

#include <sys/mman.h>

namespace plat {

void* pageAlloc(size_t size) {
    void* p = mmap(nullptr, size ? size : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
#ifdef MADV_NOHUGEPAGE
    // Where the system backs memory with huge pages unasked, the first write
    // would make 2 MB resident at once: these pages stay small.
    madvise(p, size ? size : 1, MADV_NOHUGEPAGE);
#endif
    return p;
}

void pageFree(void* p, size_t size) {
    if (p) munmap(p, size ? size : 1);
}

}  // namespace plat
