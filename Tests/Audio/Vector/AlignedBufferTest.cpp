// CAlignedBuffer: zeros on a 64-byte boundary from the start, large arrays
// resident only where written (so a convolver's state for a channel that
// never runs costs nothing), clearing that zeroes whatever was written, even
// through a pointer taken before an earlier clear.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "Audio/Vector/AlignedBuffer.h"
#include "Audio/Vector/FIRConvolver.h"

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

bool allZero(const CAlignedBuffer& b) {
    for (size_t i = 0; i < b.size(); ++i)
        if (b[i] != 0.0) return false;
    return true;
}

#ifdef __linux__
long residentPages(const void* p, size_t bytes) {
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(p) / page * page;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes + page - 1) / page * page;
    std::vector<unsigned char> in((end - first) / page);
    if (mincore(reinterpret_cast<void*>(first), end - first, in.data()) != 0) return -1;
    long n = 0;
    for (unsigned char c : in) n += c & 1;
    return n;
}
#endif

}  // namespace

TEST(AlignedBuffer, ZerosAlignedAndClearedWhateverTheSize) {
    // Below, at and above the size from which the array takes its own pages.
    const size_t pageCount = CAlignedBuffer::kPageBytes / sizeof(double);
    for (size_t n : {size_t(1), size_t(100), pageCount - 1, pageCount, size_t(1) << 20}) {
        SCOPED_TRACE(n);
        CAlignedBuffer b;
        ASSERT_TRUE(b.allocate(n));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % CAlignedBuffer::kAlign, 0u);
        EXPECT_TRUE(allZero(b));
        double* p = b.data();
        p[0] = 1.0;
        p[n - 1] = -1.0;
        b.clear();
        EXPECT_TRUE(allZero(b));
        // A pointer from before the clear still writes; the next clear
        // must still zero it.
        p[n / 2] = 2.0;
        b.clear();
        EXPECT_TRUE(allZero(b));
        // Moves carry the contents; reallocation starts from zeros.
        b[n - 1] = 4.0;
        CAlignedBuffer m(std::move(b));
        EXPECT_TRUE(b.empty());
        ASSERT_EQ(m.size(), n);
        EXPECT_EQ(std::as_const(m)[n - 1], 4.0);
        ASSERT_TRUE(m.allocate(n));
        EXPECT_TRUE(allZero(m));
    }
}

#ifdef __linux__
TEST(AlignedBuffer, LargeArraysAreResidentOnlyWhereWritten) {
    const size_t n = size_t(1) << 20;  // 8 MB
    CAlignedBuffer b;
    ASSERT_TRUE(b.allocate(n));
    const double* p = std::as_const(b).data();
    if (residentPages(p, n * sizeof(double)) < 0) GTEST_SKIP() << "mincore unavailable";
    EXPECT_EQ(residentPages(p, n * sizeof(double)), 0);
    b.clear();  // never written: touches nothing
    EXPECT_EQ(residentPages(p, n * sizeof(double)), 0);
    b[0] = 1.0;
    EXPECT_LE(residentPages(p, n * sizeof(double)), 16);
}

TEST(AlignedBuffer, AConvolverThatNeverRunsLeavesItsSignalStateUnmapped) {
    // A long kernel: the ring of input spectra is about as large as the
    // kernel's spectra. Preparing, setting the kernel and resetting must
    // leave the ring untouched, so the process grows by about the kernel's
    // spectra only, not by both.
    const size_t taps = size_t(1) << 17;
    std::vector<double> kernel(taps, 0.0);
    kernel[0] = 1.0;
    const long page = sysconf(_SC_PAGESIZE);
    auto resident = [] {
        long size = 0, pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld %ld", &size, &pages) != 2) pages = 0;
            std::fclose(f);
        }
        return pages;
    };
    const long before = resident();
    CFIRConvolver conv;
    ASSERT_FALSE(conv.prepare(taps, 7));
    ASSERT_TRUE(conv.setKernel(kernel));
    conv.reset();
    const double grownMB = double(resident() - before) * double(page) / 1048576.0;
    // Kernel spectra: 2 x taps doubles, 2 MB; the ring would add as much.
    EXPECT_LT(grownMB, 3.0);
}
#endif
