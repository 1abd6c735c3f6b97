#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "Core/PointerLocks.h"
#include "Core/Thread.h"
#include "Platform/Sync.h"

namespace {
struct GatedThread : CThread {
    plat::CEvent gate{true, false};
    std::atomic<int> runs{0};
    ~GatedThread() override {
        gate.set();
        waitForThread();
    }
    void threadProc() override {
        gate.wait();
        ++runs;
    }
};

// Records the latest request it has seen; work arrives faster than it runs.
struct Follower : CPersistentThread {
    std::atomic<int> latest{0};
    std::atomic<int> seen{0};
    std::atomic<int> runs{0};
    ~Follower() override { stopThread(); }
    void doWork() override {
        ++runs;
        seen.store(latest.load());
    }
};
}  // namespace

TEST(Thread, RunsOnceAtATime) {
    GatedThread t;
    ASSERT_FALSE(t.runThread());
    EXPECT_TRUE(t.isRunning());
    CError again = t.runThread();
    ASSERT_TRUE(again);
    EXPECT_EQ(again.message().utf8(), "Thread is already running.");
    t.gate.set();
    t.waitForThread();
    EXPECT_FALSE(t.isRunning());
    // A finished thread can run again.
    ASSERT_FALSE(t.runThread());
    t.waitForThread();
    EXPECT_EQ(t.runs.load(), 2);
}

TEST(Thread, PersistentThreadServesEverySignal) {
    Follower f;
    ASSERT_FALSE(f.startThread());
    for (int i = 1; i <= 300; ++i) {
        f.latest.store(i);
        f.signalWork();
        if (i % 7 == 0) {
            ASSERT_TRUE(f.waitIdle(2000));
            EXPECT_EQ(f.seen.load(), i);  // no signal lost
        }
    }
    ASSERT_TRUE(f.waitIdle(2000));
    EXPECT_EQ(f.seen.load(), 300);
    EXPECT_LE(f.runs.load(), 300);
    f.stopThread();
    EXPECT_FALSE(f.isRunning());
    const int runs = f.runs.load();
    f.signalWork();
    EXPECT_TRUE(f.waitIdle(0));  // stopped: nothing pending, nothing runs
    EXPECT_EQ(f.runs.load(), runs);
}

TEST(Thread, WorkerRunsItsJob) {
    CWorkerThread w;
    std::atomic<int> value{0};
    ASSERT_FALSE(w.runJob([&] { value = 42; }));
    w.wait();
    EXPECT_EQ(value.load(), 42);
    ASSERT_FALSE(w.runJob([&] { value = 7; }));
    w.wait();
    EXPECT_EQ(value.load(), 7);
}

// --- Pointer-keyed locks --------------------------------------------------------------

TEST(PointerLocks, IndexOfAddress) {
    struct Case {
        uintptr_t p;
        size_t index;
    } cases[] = {
        {0x0, 0},         {0x1F, 1},        // the low 4 bits do not count
        {0x10, 1},        {0x3F0, 63},      //
        {0x400, 0},       {0x1000, 1},      // bit 12 folds onto bit 0
        {0x12345670, 0},  {0xFFFFFFF0, 48},  //
        {uintptr_t(0x7ffd5a3c1e80ull), 31},
    };
    for (const auto& c : cases) EXPECT_EQ(PointerLocks::lockIndex(c.p), c.index) << std::hex << c.p;
    static_assert(PointerLocks::lockIndex(uintptr_t(0x10)) == 1);
}

namespace {
struct CountingListener : CUpdateListener {
    static constexpr uint32_t kAlive = 0xA11FE;
    std::atomic<int>* destroyed;
    uint32_t magic = kAlive;
    std::atomic<int> updates{0};
    explicit CountingListener(std::atomic<int>* d) : destroyed(d) {}
    ~CountingListener() override {
        magic = 0;
        ++*destroyed;
    }
    void onUpdate(const void*) override {
        EXPECT_EQ(magic, kAlive);
        ++updates;
        std::this_thread::yield();
        EXPECT_EQ(magic, kAlive);
    }
};
}  // namespace

// Both sides tear down at once: the listener's side detaches it, the owner's
// side detaches everything, a third thread keeps calling update. Exactly one
// side gets each listener, and none is deleted while it is being called.
TEST(PointerLocks, DetachRaceFromTwoThreads) {
    constexpr int kRounds = 500;
    int owner = 0;
    std::atomic<int> destroyed{0}, byListenerSide{0}, byOwnerSide{0};
    std::atomic<bool> done{false};
    CUpdateListener* current = nullptr;
    // Each round: the main thread attaches, then both sides detach at once.
    std::barrier sync(3);
    std::thread updater([&] {
        while (!done.load()) {
            PointerLocks::update(&owner);
            std::this_thread::yield();
        }
    });
    std::thread listenerSide([&] {
        for (int i = 0; i < kRounds; ++i) {
            sync.arrive_and_wait();
            if (PointerLocks::detach(&owner, current)) ++byListenerSide;
            sync.arrive_and_wait();
        }
    });
    std::thread ownerSide([&] {
        for (int i = 0; i < kRounds; ++i) {
            sync.arrive_and_wait();
            byOwnerSide += int(PointerLocks::detachAll(&owner).size());
            sync.arrive_and_wait();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        auto l = std::make_unique<CountingListener>(&destroyed);
        current = l.get();
        PointerLocks::attach(&owner, std::move(l));
        sync.arrive_and_wait();
        sync.arrive_and_wait();
    }
    listenerSide.join();
    ownerSide.join();
    done = true;
    updater.join();
    EXPECT_EQ(byListenerSide.load() + byOwnerSide.load(), kRounds);
    EXPECT_EQ(destroyed.load(), kRounds);
    EXPECT_EQ(PointerLocks::listenerCount(&owner), 0u);
}
