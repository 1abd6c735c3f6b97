#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

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
    std::atomic<int> latest{0}, seen{0}, runs{0};
    ~Follower() override { stopThread(); }
    void doWork() override {
        ++runs;
        seen.store(latest.load());
    }
};

// A reusable barrier for n threads. (std::barrier of the MinGW-w64 GCC 12
// runtime can miss a wake-up and hang: its atomic waits have no futex.)
class CycleBarrier {
public:
    explicit CycleBarrier(int n) : m_n(n) {}
    void arrive_and_wait() {
        std::unique_lock g(m_mutex);
        const unsigned cycle = m_cycle;
        if (++m_arrived == m_n) {
            m_arrived = 0;
            ++m_cycle;
            m_cv.notify_all();
        } else {
            m_cv.wait(g, [&] { return m_cycle != cycle; });
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    const int m_n;
    int m_arrived = 0;
    unsigned m_cycle = 0;
};

struct CountingListener : CUpdateListener {
    static constexpr uint32_t kAlive = 0xA11FE;
    std::atomic<int>* destroyed;
    uint32_t magic = kAlive;
    explicit CountingListener(std::atomic<int>* d) : destroyed(d) {}
    ~CountingListener() override {
        magic = 0;
        ++*destroyed;
    }
    void onUpdate(const void*) override {
        EXPECT_EQ(magic, kAlive);
        std::this_thread::yield();
        EXPECT_EQ(magic, kAlive);  // not deleted while being called
    }
};
}  // namespace

TEST(Thread, RunsOnceAtATime) {
    GatedThread t;
    ASSERT_FALSE(t.runThread());
    EXPECT_TRUE(t.isRunning());
    EXPECT_EQ(t.runThread().message().utf8(), "Thread is already running.");
    t.gate.set();
    t.waitForThread();
    EXPECT_FALSE(t.isRunning());
    ASSERT_FALSE(t.runThread());  // a finished thread can run again
    t.waitForThread();
    EXPECT_EQ(t.runs.load(), 2);
}

TEST(Thread, PersistentThreadServesEverySignal) {
    Follower f;
    ASSERT_FALSE(f.startThread());
    for (int i = 1; i <= 300; ++i) {
        f.latest.store(i);
        f.signalWork();
        if (i % 7 == 0 || i == 300) {
            ASSERT_TRUE(f.waitIdle(2000));
            EXPECT_EQ(f.seen.load(), i);  // no signal lost
        }
    }
    EXPECT_LE(f.runs.load(), 300);
    f.stopThread();
    const int runs = f.runs.load();
    f.signalWork();
    EXPECT_TRUE(f.waitIdle(0));  // stopped: nothing pending, nothing runs
    EXPECT_EQ(f.runs.load(), runs);
}

TEST(PointerLocks, IndexOfAddress) {
    struct Case {
        uintptr_t p;
        size_t index;
    } cases[] = {
        {0x0, 0},         {0x1F, 1},         // the low 4 bits do not count
        {0x10, 1},        {0x3F0, 63},       //
        {0x400, 0},       {0x1000, 1},       // bit 12 folds onto bit 0
        {0x12345670, 0},  {0xFFFFFFF0, 48},  //
        {uintptr_t(0x7ffd5a3c1e80ull), 31},
    };
    for (const auto& c : cases) EXPECT_EQ(PointerLocks::lockIndex(c.p), c.index) << std::hex << c.p;
}

// Both sides tear down at once: the listener's side detaches it, the owner's
// side detaches everything, a third thread keeps calling update. Exactly one
// side gets each listener, and none is deleted while it is being called.
TEST(PointerLocks, DetachRaceFromTwoThreads) {
    constexpr int kRounds = 500;
    int owner = 0;
    std::atomic<int> destroyed{0}, detached{0};
    std::atomic<bool> done{false};
    CUpdateListener* current = nullptr;
    CycleBarrier sync(3);
    std::thread updater([&] {
        while (!done.load()) {
            PointerLocks::update(&owner);
            std::this_thread::yield();
        }
    });
    auto side = [&](bool ownerSide) {
        for (int i = 0; i < kRounds; ++i) {
            sync.arrive_and_wait();
            if (ownerSide)
                detached += int(PointerLocks::detachAll(&owner).size());
            else if (PointerLocks::detach(&owner, current))
                ++detached;
            sync.arrive_and_wait();
        }
    };
    std::thread a(side, false), b(side, true);
    for (int i = 0; i < kRounds; ++i) {
        auto l = std::make_unique<CountingListener>(&destroyed);
        current = l.get();
        PointerLocks::attach(&owner, std::move(l));
        sync.arrive_and_wait();
        sync.arrive_and_wait();
    }
    a.join();
    b.join();
    done = true;
    updater.join();
    EXPECT_EQ(detached.load(), kRounds);
    EXPECT_EQ(destroyed.load(), kRounds);
    EXPECT_EQ(PointerLocks::listenerCount(&owner), 0u);
}
