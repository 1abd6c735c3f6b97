#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "Core/MemAllocator.h"

TEST(MemAllocator, SizeClassesAndBlockHeaders) {
    struct Case {
        size_t size;
        int cls;
    } cases[] = {{0, 0}, {1, 0}, {16, 0}, {17, 1}, {32, 1}, {33, 2}, {4064, 253}, {4065, 254}, {4080, 254}, {4081, -1}};
    for (const auto& tc : cases) {
        EXPECT_EQ(CKelMemAllocator::sizeClass(tc.size), tc.cls) << tc.size;
        void* p = CKelMemAllocator::alloc(tc.size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << tc.size;
        EXPECT_EQ(CKelMemAllocator::blockClass(p), tc.cls < 0 ? 255 : tc.cls) << tc.size;
        if (tc.cls >= 0) {
            EXPECT_EQ(CKelMemAllocator::capacity(p), size_t(tc.cls + 1) * 16);
        } else {
            EXPECT_EQ(CKelMemAllocator::capacity(p), tc.size);
        }
        std::memset(p, 0xAB, tc.size);  // the whole request is usable
        CKelMemAllocator::free(p);
    }
}

TEST(MemAllocator, RefillsDoubleUpToTheClassLimit) {
    // A class no other test touches: 1000 bytes (class 62, below 2048: limit 128),
    // and 3000 bytes (class 187, limit 64).
    for (auto [size, limit] : {std::pair<size_t, uint32_t>{1000, 128}, {3000, 64}}) {
        int cls = CKelMemAllocator::sizeClass(size);
        auto before = CKelMemAllocator::classStats(cls);
        std::vector<void*> blocks;
        uint32_t expectedNext = before.nextRefill;
        uint32_t taken = 0;
        // Take enough blocks for several refills.
        for (int r = 0; r < 9; ++r) {
            taken += expectedNext;
            expectedNext = std::min(expectedNext * 2, limit);
        }
        for (uint32_t i = 0; i < taken; ++i) blocks.push_back(CKelMemAllocator::alloc(size));
        auto after = CKelMemAllocator::classStats(cls);
        EXPECT_EQ(after.refills - before.refills, 9u) << size;
        EXPECT_EQ(after.nextRefill, limit) << size;
        std::set<void*> distinct(blocks.begin(), blocks.end());
        EXPECT_EQ(distinct.size(), blocks.size());
        for (void* p : blocks) CKelMemAllocator::free(p);
        // Freed blocks are reused before any new refill.
        for (uint32_t i = 0; i < taken; ++i) blocks[i] = CKelMemAllocator::alloc(size);
        EXPECT_EQ(CKelMemAllocator::classStats(cls).refills, after.refills);
        for (void* p : blocks) CKelMemAllocator::free(p);
    }
}

TEST(MemAllocator, ReallocKeepsContentAcrossSmallAndLarge) {
    auto* p = static_cast<unsigned char*>(CKelMemAllocator::alloc(20));
    for (int i = 0; i < 20; ++i) p[i] = uint8_t(i);
    p = static_cast<unsigned char*>(CKelMemAllocator::realloc(p, 5000));
    EXPECT_EQ(CKelMemAllocator::blockClass(p), 255);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(p[i], i);
    p = static_cast<unsigned char*>(CKelMemAllocator::realloc(p, 8));
    EXPECT_EQ(CKelMemAllocator::blockClass(p), 0);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(p[i], i);
    CKelMemAllocator::free(p);
}

TEST(MemAllocator, ConcurrentAllocFreeKeepsBlocksDistinct) {
    // Four threads hammer one class; each block is stamped with its owner and
    // checked before it is freed, so a block handed out twice is caught.
    constexpr int kThreads = 4, kRounds = 20000;
    std::atomic<int> errors{0};
    auto worker = [&](int id) {
        std::vector<uint32_t*> held;
        for (int r = 0; r < kRounds; ++r) {
            auto* p = static_cast<uint32_t*>(CKelMemAllocator::alloc(48));
            p[0] = uint32_t(id);
            p[1] = uint32_t(r);
            held.push_back(p);
            if (held.size() > 16 || (r & 7) == 0) {
                uint32_t* q = held.front();
                held.erase(held.begin());
                if (q[0] != uint32_t(id)) errors++;
                CKelMemAllocator::free(q);
            }
        }
        for (auto* q : held) {
            if (q[0] != uint32_t(id)) errors++;
            CKelMemAllocator::free(q);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(errors.load(), 0);
}
