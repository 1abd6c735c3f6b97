// The platform layer's lock-free list, events, locks and timers under the
// conditions the allocator and the timer objects put them in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "Platform/Sync.h"
#include "Platform/Thread.h"

namespace {

// Items as the allocator lists them: 16-byte aligned, link first.
struct alignas(16) Item {
    plat::SListEntry entry;
    uint32_t id;
};

}  // namespace

TEST(PlatformSync, ListIsLifoAndLosesNothingUnderContention) {
    plat::CSList list;
    EXPECT_TRUE(list.empty());
    std::vector<Item> items(4000);
    for (uint32_t i = 0; i < 3; ++i) {
        items[i].id = i;
        list.push(&items[i].entry);
    }
    EXPECT_FALSE(list.empty());
    EXPECT_EQ(reinterpret_cast<Item*>(list.pop())->id, 2u);
    plat::SListEntry* chain = list.flush();
    EXPECT_TRUE(list.empty());
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(reinterpret_cast<Item*>(chain)->id, 1u);
    EXPECT_EQ(reinterpret_cast<Item*>(chain->next)->id, 0u);
    EXPECT_EQ(chain->next->next, nullptr);

    // Four threads pop and push back the same items many times; afterwards
    // every item is on the list exactly once.
    for (uint32_t i = 0; i < items.size(); ++i) {
        items[i].id = i;
        list.push(&items[i].entry);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&list] {
            std::vector<plat::SListEntry*> held;
            for (int round = 0; round < 2000; ++round) {
                for (int k = 0; k < 8; ++k)
                    if (plat::SListEntry* e = list.pop()) held.push_back(e);
                for (plat::SListEntry* e : held) list.push(e);
                held.clear();
            }
        });
    for (auto& t : threads) t.join();
    std::set<uint32_t> seen;
    while (plat::SListEntry* e = list.pop()) EXPECT_TRUE(seen.insert(reinterpret_cast<Item*>(e)->id).second);
    EXPECT_EQ(seen.size(), items.size());
}

TEST(PlatformSync, EventsAndLocksAcrossThreads) {
    plat::CEvent autoEvent(false, false), manualEvent(true, true);
    EXPECT_FALSE(autoEvent.wait(10)) << "times out unsignalled";
    autoEvent.set();
    EXPECT_TRUE(autoEvent.wait(0));
    EXPECT_FALSE(autoEvent.wait(0)) << "an auto-reset event releases one wait";
    EXPECT_TRUE(manualEvent.wait(0));
    EXPECT_TRUE(manualEvent.wait(0)) << "a manual-reset event stays signalled";
    manualEvent.reset();
    EXPECT_FALSE(manualEvent.wait(0));

    plat::CCritSec lock(4000);
    lock.lock();
    bool other = true;
    std::thread([&] { other = lock.tryLock(); }).join();
    EXPECT_FALSE(other) << "held by another thread";
    lock.unlock();
    std::thread([&] {
        other = lock.tryLock();
        if (other) lock.unlock();
    }).join();
    EXPECT_TRUE(other);
}

namespace {
struct QueueProbe {
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
    plat::QueueTimer self = nullptr;
    int sleepMs = 0;
};
}  // namespace

TEST(PlatformTimerQueue, DeletingWaitsForTheCallbackOrEndsItFromWithin) {
    // Deleted from another thread while its callback runs: the delete
    // returns only after the callback has.
    QueueProbe slow;
    slow.sleepMs = 80;
    uint32_t err = 0;
    plat::QueueTimer t = plat::createQueueTimer(0, 1000, [](void* c) {
        auto* p = static_cast<QueueProbe*>(c);
        p->inside = true;
        plat::sleepMs(unsigned(p->sleepMs));
        ++p->calls;
        p->inside = false;
    }, &slow, &err);
    ASSERT_NE(t, nullptr) << err;
    while (!slow.inside) plat::sleepMs(1);
    plat::deleteQueueTimer(t);
    EXPECT_FALSE(slow.inside);
    EXPECT_EQ(slow.calls, 1);

    // Deleted by its own callback: no deadlock, and no further calls.
    // (Its first call is due after once.self is set.)
    QueueProbe once;
    once.self = plat::createQueueTimer(20, 5, [](void* c) {
        auto* p = static_cast<QueueProbe*>(c);
        if (++p->calls == 1) plat::deleteQueueTimer(p->self);
    }, &once, &err);
    ASSERT_NE(once.self, nullptr) << err;
    plat::sleepMs(150);
    EXPECT_EQ(once.calls, 1);
}

TEST(PlatformRunLoop, TimersRunOnTheOwnerAndMayKillThemselves) {
    struct Probe {
        int calls = 0;
        plat::RunLoopTimerId id = 0;
        uint64_t thread = 0;
    } probe;
    uint32_t err = 0;
    probe.id = plat::setRunLoopTimer(10, [](void* c) {
        auto* p = static_cast<Probe*>(c);
        p->thread = plat::currentThreadId();
        if (++p->calls == 2) plat::killRunLoopTimer(p->id);
    }, &probe, &err);
    ASSERT_NE(probe.id, 0u) << err;
    const int due = plat::runLoopNextDueMs();
    EXPECT_GE(due, 0);
    EXPECT_LE(due, 10);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (probe.calls < 2 && std::chrono::steady_clock::now() < end) {
        plat::pumpRunLoop();
        plat::sleepMs(2);
    }
    EXPECT_EQ(probe.calls, 2);
    EXPECT_EQ(probe.thread, plat::currentThreadId());
    plat::sleepMs(30);
    plat::pumpRunLoop();
    EXPECT_EQ(probe.calls, 2) << "killed from its own callback";
}
