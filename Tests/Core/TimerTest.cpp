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
using std::chrono::milliseconds;

// Counts "tick" deliveries and the threads they arrive on.
struct TickListener : CObject {
    int ticks = 0;
    std::vector<std::thread::id> threads;
};

// root -> { timer, listener of the timer's "tick" }
struct TimerTree {
    std::unique_ptr<CObject> root = std::make_unique<CObject>();
    CTimerQueued* timer;
    TickListener* listener;

    TimerTree(const char* interval, const char* fps, bool highPrecision) {
        static CClassRecord timerRec("core:timer"), listenerRec("test:tick-listener");
        if (!timerRec.eventCount()) {
            CTimerQueued::registerEvents(timerRec);
            listenerRec.addEvent("on-tick", [](CObject* self, CEventParams&) -> CError {
                auto* l = static_cast<TickListener*>(self);
                ++l->ticks;
                l->threads.push_back(std::this_thread::get_id());
                return {};
            });
        }
        auto t = std::make_unique<CTimerQueued>();
        t->setClassRecord(&timerRec);
        (void)t->setAttr("interval", interval);
        (void)t->setAttr("fps", fps);
        (void)t->setAttr("is-high-precision", highPrecision ? "true" : "false");
        timer = t.get();
        root->attachChild(std::move(t));
        auto l = std::make_unique<TickListener>();
        l->setClassRecord(&listenerRec);
        listener = l.get();
        root->attachChild(std::move(l));
        CObject::listenObject(timer, "tick", listener, "on-tick");
    }
};

void pumpFor(milliseconds span) {
    for (const auto end = Clock::now() + span; Clock::now() < end;) {
        plat::pumpRunLoop();
        std::this_thread::sleep_for(milliseconds(1));
    }
}
}  // namespace

TEST(TimerQueued, PeriodFromIntervalOrFps) {
    struct Case {
        const char* interval;
        const char* fps;
        unsigned periodMs;
    } cases[] = {
        {"0", "30", 0},         // explicit zero: no timer (and no error), fps not consulted
        {"-0.5", "", 0},        //
        {"", "", 0},            //
        {"", "50", 20},         // without an interval, 1/fps
        {"", "30", 33},         //
        {"0.0333", "", 33},     // rounded to milliseconds
        {"0.0004", "", 1},      // never a zero period while running
        {"0.25", "1000", 250},  // the interval wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interval) + " / " + c.fps);
        TimerTree tree(c.interval, c.fps, false);
        ASSERT_FALSE(tree.root->initTree());
        EXPECT_EQ(tree.timer->periodMs(), c.periodMs);
        EXPECT_EQ(tree.timer->isRunning(), c.periodMs != 0);
    }
    // Changes of the three attributes restart the timer.
    TimerTree tree("", "", false);
    ASSERT_FALSE(tree.root->initTree());
    ASSERT_FALSE(tree.timer->setAttr("fps", "100"));
    EXPECT_TRUE(tree.timer->isRunning());
    ASSERT_FALSE(tree.timer->setAttr("is-high-precision", "true"));
    EXPECT_TRUE(tree.timer->isHighPrecisionActive());
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
    std::this_thread::sleep_for(milliseconds(900));
    EXPECT_GE(tree.timer->ticksSent(), 1u);
    EXPECT_LE(tree.timer->ticksSent(), 2u);  // 1 + floor(0.9 / 0.75)
    EXPECT_EQ(CNotifyServer::instance().postedCount(tree.timer), 1u);
    EXPECT_EQ(tree.listener->ticks, 0);
    plat::pumpRunLoop();
    EXPECT_EQ(tree.listener->ticks, 1);

    pumpFor(milliseconds(400));
    const int delivered = tree.listener->ticks - 1;
    EXPECT_GE(delivered, 15);  // about 40 at 10 ms; a loaded machine loses some
    EXPECT_LE(delivered, 45);
    for (auto id : tree.listener->threads) EXPECT_EQ(id, std::this_thread::get_id());

    // Destroying the timer with a tick still queued drops that tick.
    std::this_thread::sleep_for(milliseconds(30));
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
    std::this_thread::sleep_for(milliseconds(60));
    EXPECT_EQ(tree.listener->ticks, 0);
    // Overdue by several periods: one tick, then the next is a period away.
    plat::pumpRunLoop();
    plat::pumpRunLoop();
    EXPECT_EQ(tree.listener->ticks, 1);
    pumpFor(milliseconds(100));
    EXPECT_GE(tree.listener->ticks, 4);
    EXPECT_LE(tree.listener->ticks, 12);
    ASSERT_FALSE(tree.timer->setAttr("interval", "0"));
    const int before = tree.listener->ticks;
    pumpFor(milliseconds(30));
    EXPECT_EQ(tree.listener->ticks, before);
}

TEST(RunLoop, PostedCallbacksRunOnTheTargetThreadInOrder) {
    const plat::RunLoopId mine = plat::currentRunLoop();
    std::vector<int> order;
    auto push = [](void* ctx) {
        auto* v = static_cast<std::vector<int>*>(ctx);
        v->push_back(int(v->size()));
    };
    std::thread([&] {
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(plat::postToRunLoop(mine, push, &order));
    }).join();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(plat::runLoopNextDueMs(), 0);
    EXPECT_EQ(plat::pumpRunLoop(), 3);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    // A loop whose thread has ended takes no more posts.
    plat::RunLoopId gone = 0;
    std::thread([&] { gone = plat::currentRunLoop(); }).join();
    EXPECT_FALSE(plat::postToRunLoop(gone, push, &order));
}
