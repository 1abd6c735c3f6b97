// CSampleBuffer and the buffers built on it: zeros from the start, resident
// memory only where written, zeroing that touches nothing unwritten, copies
// that keep the contents; the port storage and the alignment delay leave the
// channels they never run untouched.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "Audio/Graph/DelayCompensation.h"
#include "Audio/Graph/ProcessBase.h"
#include "Audio/Graph/SampleBuffer.h"

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#ifdef __linux__
// How many pages of [p, p + bytes) are resident, or -1 when the system
// cannot tell.
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
// Resident pages of this process.
long residentProcessPages() {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident;
}
#endif

bool allZero(const CSampleBuffer& b) {
    for (size_t i = 0; i < b.size(); ++i)
        if (b[i] != 0.0) return false;
    return true;
}

constexpr size_t kBig = 1 << 20;  // 8 MB of samples

}  // namespace

TEST(SampleBuffer, StartsAsZerosAndZeroingClearsWhatWasWritten) {
    for (size_t n : {size_t(3), size_t(1000), kBig}) {
        CSampleBuffer b(n);
        ASSERT_EQ(b.size(), n);
        EXPECT_FALSE(b.written());
        EXPECT_TRUE(allZero(b));
        b.data()[0] = 1.0;
        b.data()[n - 1] = -2.0;
        EXPECT_TRUE(b.written());
        b.zero();
        EXPECT_FALSE(b.written());
        EXPECT_TRUE(allZero(b));
        // A reallocation starts from zeros again.
        b.data()[n / 2] = 3.0;
        b.allocate(n);
        EXPECT_TRUE(allZero(b));
    }
}

TEST(SampleBuffer, CopiesKeepTheContentsAndMovesLeaveTheSourceEmpty) {
    CSampleBuffer a(kBig);
    a.data()[5] = 1.5;
    a.data()[kBig - 1] = -0.25;
    CSampleBuffer b(kBig);
    b.data()[7] = 9.0;
    b = a;  // same size: copied in place
    EXPECT_EQ(b[5], 1.5);
    EXPECT_EQ(b[7], 0.0);
    EXPECT_EQ(b[kBig - 1], -0.25);
    CSampleBuffer untouched(kBig);
    b = untouched;  // an unwritten source gives zeros
    EXPECT_TRUE(allZero(b));
    CSampleBuffer c(a);
    EXPECT_EQ(c[5], 1.5);
    CSampleBuffer d(std::move(c));
    EXPECT_EQ(d[kBig - 1], -0.25);
    EXPECT_TRUE(c.empty());
}

#ifdef __linux__
TEST(SampleBuffer, OnlyWrittenPagesBecomeResident) {
    CSampleBuffer b(kBig);
    const size_t bytes = kBig * sizeof(double);
    ASSERT_EQ(residentPages(std::as_const(b).data(), bytes), 0);
    b.zero();  // nothing written: touches nothing
    EXPECT_EQ(residentPages(std::as_const(b).data(), bytes), 0);
    const long perPage = long(sysconf(_SC_PAGESIZE)) / long(sizeof(double));
    for (long i = 0; i < 3 * perPage; ++i) b.data()[i] = 1.0;
    EXPECT_EQ(residentPages(std::as_const(b).data(), bytes), 3);
}

// A process's outputs for 16 channels at the largest block, of which two
// are written, and an alignment delay for 16 channels that runs two: the
// other channels never take memory, and resetting the delay touches nothing
// it did not write.
TEST(SampleBuffer, PortsAndDelaysTakeMemoryOnlyForTheChannelsThatRun) {
    constexpr int kChannels = 16, kFrames = 4096, kDelay = 20000;
    CPortStorage ports;
    ports.allocate(2, kChannels, kFrames);
    const size_t channelBytes = size_t(kFrames) * sizeof(double);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < kFrames; ++i) ports.channel(0, ch)[i] = 0.5;
    long resident = 0;
    for (int p = 0; p < 2; ++p)
        for (int ch = 0; ch < kChannels; ++ch)
            resident += residentPages(std::as_const(ports).channel(p, ch), channelBytes);
    const long page = long(sysconf(_SC_PAGESIZE));
    EXPECT_LE(resident, 2 * (long(channelBytes) / page + 2));

    std::vector<double> in(kFrames, 1.0), out(kFrames);
    const long before = residentProcessPages();
    CAlignDelay delay;
    delay.prepare(kChannels, kDelay, 64);
    delay.setDelay(kDelay);
    for (int block = 0; block < 8; ++block) {
        for (int ch = 0; ch < 2; ++ch) delay.process(ch, in.data(), out.data(), kFrames);
        delay.endBlock(kFrames);
    }
    delay.reset();
    // Two rings of kDelay + 1 samples (about 160 kB each) and slack for the
    // heap, the shared fade table and a sanitizer's shadow memory, against
    // 2.5 MB when every channel's ring is touched.
    EXPECT_LT((residentProcessPages() - before) * page, 3L << 19);
}
#endif
