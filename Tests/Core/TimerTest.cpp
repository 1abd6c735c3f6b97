#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "Core/Notify.h"
#include "Core/Timer.h"
#include "Platform/Thread.h"

namespace {
using Clock = std::chrono::steady_clock;

// Counts "tick" deliveries and the threads they arrive on.
struct TickListener : CObject {
    int ticks = 0;
    std::vector<std::thread::id> threads;
    static const CClassRecord* record() {
        static CClassRecord r("test:tick-listener");
        static bool filled = [] {
            CObject::registerEvents(r);
            r.addEvent("on-tick", [](CObject* self, CEventParams& p) -> CError {
                auto* l = static_cast<TickListener*>(self);
                EXPECT_EQ(p.get("event-name").utf8(), "tick");
                ++l->ticks;
                l->threads.push_back(std::this_thread::get_id());
                return {};
            });
            return true;
        }();
        (void)filled;
        return &r;
    }
};

const CClassRecord* timerRecord() {
    static CClassRecord r("core:timer");
    static bool filled = (CTimerQueued::registerEvents(r), true);
    (void)filled;
    return &r;
}

// root -> timer, root -> listener (listening to the timer's "tick").
struct TimerTree {
    std::unique_ptr<CObject> root = std::make_unique<CObject>();
    CTimerQueued* timer = nullptr;
    TickListener* listener = nullptr;

    TimerTree(const char* interval, const char* fps, bool highPrecision) {
        auto t = std::make_unique<CTimerQueued>();
        t->setClassRecord(timerRecord());
        t->setName("timer");
        (void)t->setAttr("interval", interval);
        (void)t->setAttr("fps", fps);
        (void)t->setAttr("is-high-precision", highPrecision ? "true" : "false");
        timer = t.get();
        root->attachChild(std::move(t));
        auto l = std::make_unique<TickListener>();
        l->setClassRecord(TickListener::record());
        l->setName("listener");
        listener = l.get();
        root->attachChild(std::move(l));
        CObject::listenObject(timer, "tick", listener, "on-tick");
    }
};

int pumpFor(std::chrono::milliseconds span) {
    int ran = 0;
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
        ran += plat::pumpRunLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ran;
}
}  // namespace

TEST(TimerQueued, PeriodFromIntervalOrFps) {
    struct Case {
        const char* interval;
        const char* fps;
        unsigned periodMs;
    } cases[] = {
        {"0", "30", 0},       // explicit zero: no timer, fps not consulted
        {"-0.5", "", 0},      //
        {"", "", 0},          //
        {"", "50", 20},       // fps gives 1/fps
        {"", "30", 33},       //
        {"0.0333", "", 33},   // interval rounds to milliseconds
        {"0.0004", "", 1},    // never a zero period while running
        {"0.25", "1000", 250},  // interval wins over fps
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interval) + " / " + c.fps);
        TimerTree tree(c.interval, c.fps, false);
        ASSERT_FALSE(tree.root->initTree());
        EXPECT_EQ(tree.timer->periodMs(), c.periodMs);
        EXPECT_EQ(tree.timer->isRunning(), c.periodMs != 0);
    }
}

TEST(TimerQueued, AttributeChangesRestartOrStop) {
    TimerTree tree("", "", true);
    ASSERT_FALSE(tree.root->initTree());
    EXPECT_FALSE(tree.timer->isRunning());
    ASSERT_FALSE(tree.timer->setAttr("fps", "100"));
    EXPECT_TRUE(tree.timer->isHighPrecisionActive());
    ASSERT_FALSE(tree.timer->setAttr("is-high-precision", "false"));
    EXPECT_TRUE(tree.timer->isRunning());
    EXPECT_FALSE(tree.timer->isHighPrecisionActive());
    ASSERT_FALSE(tree.timer->setAttr("interval", "0"));
    EXPECT_FALSE(tree.timer->isRunning());
}

// A stalled run loop: the queue lets at most one tick through per 0.75 s,
// and the waiting "sys-tick" is delivered once on pumping. Once the loop
// pumps, ticks arrive at the timer's period, on the thread that started it.
TEST(TimerQueued, HighPrecisionDropsUnconsumedTicks) {
    TimerTree tree("0.01", "", true);
    ASSERT_FALSE(tree.root->initTree());
    ASSERT_TRUE(tree.timer->isHighPrecisionActive());

    const auto stall = std::chrono::milliseconds(900);
    std::this_thread::sleep_for(stall);
    EXPECT_GE(tree.timer->ticksSent(), 1u);
    EXPECT_LE(tree.timer->ticksSent(), 2u);  // 1 + floor(0.9 / 0.75)
    EXPECT_EQ(CNotifyServer::instance().postedCount(tree.timer), 1u);
    EXPECT_EQ(tree.listener->ticks, 0);
    plat::pumpRunLoop();
    EXPECT_EQ(tree.listener->ticks, 1);

    const uint64_t sentBefore = tree.timer->ticksSent();
    pumpFor(std::chrono::milliseconds(400));
    const int delivered = tree.listener->ticks - 1;
    EXPECT_GE(delivered, 15);  // about 40 at 10 ms; a loaded machine loses some
    EXPECT_LE(delivered, 45);
    EXPECT_GE(tree.timer->ticksSent() - sentBefore, uint64_t(delivered));
    for (auto id : tree.listener->threads) EXPECT_EQ(id, std::this_thread::get_id());

    // Destroying the timer with a tick still queued drops that tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    CObject* timer = tree.timer;
    tree.root->releaseChild(timer).reset();
    EXPECT_EQ(CNotifyServer::instance().postedCount(timer), 0u);
    const int before = tree.listener->ticks;
    plat::pumpRunLoop();
    EXPECT_EQ(tree.listener->ticks, before);
}

TEST(TimerQueued, SystemTimerFiresOnlyWhenPumped) {
    TimerTree tree("0.01", "", false);
    ASSERT_FALSE(tree.root->initTree());
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(tree.listener->ticks, 0);
    // Overdue by several periods: one tick, then the next is a period away.
    plat::pumpRunLoop();
    plat::pumpRunLoop();
    EXPECT_EQ(tree.listener->ticks, 1);
    pumpFor(std::chrono::milliseconds(100));
    EXPECT_GE(tree.listener->ticks, 4);
    EXPECT_LE(tree.listener->ticks, 12);
    // A timer stopped by its owner no longer ticks.
    ASSERT_FALSE(tree.timer->setAttr("interval", "0"));
    const int before = tree.listener->ticks;
    pumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(tree.listener->ticks, before);
}

TEST(RunLoop, PostedCallbacksRunOnTheTargetThreadInOrder) {
    const plat::RunLoopId mine = plat::currentRunLoop();
    std::vector<int> order;
    auto push = [](void* ctx) { static_cast<std::vector<int>*>(ctx)->push_back(int(static_cast<std::vector<int>*>(ctx)->size())); };
    std::thread other([&] {
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(plat::postToRunLoop(mine, push, &order));
    });
    other.join();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(plat::runLoopNextDueMs(), 0);
    EXPECT_EQ(plat::pumpRunLoop(), 3);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    // A loop whose thread has ended takes no more posts.
    plat::RunLoopId gone = 0;
    std::thread t([&] { gone = plat::currentRunLoop(); });
    t.join();
    EXPECT_FALSE(plat::postToRunLoop(gone, push, &order));
}
