// The run loop's waker: one descriptor that becomes readable for posted
// calls and at the armed time, and stays quiet otherwise.
#include <gtest/gtest.h>
#include <poll.h>

#include "Platform/Thread.h"
#include "Platform/Window/LoopWaker.h"

namespace {
bool readableWithin(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
}
}  // namespace

TEST(LoopWaker, WakesAtTheArmedTimeOnly) {
    std::string error;
    auto waker = plat::CLoopWaker::create(plat::runLoopWakeFd(), &error);
    ASSERT_TRUE(waker) << error;
    plat::pumpRunLoop();
    EXPECT_FALSE(readableWithin(waker->fd(), 0)) << "quiet while nothing is due";
    waker->arm(15);
    EXPECT_FALSE(readableWithin(waker->fd(), 0));
    EXPECT_TRUE(readableWithin(waker->fd(), 1000));
    waker->clear();
    EXPECT_FALSE(readableWithin(waker->fd(), 0)) << "the wake-up was taken back";
    EXPECT_FALSE(waker->armed());
    // "At once" is a wake-up, not a disarmed timer.
    waker->arm(0);
    EXPECT_TRUE(readableWithin(waker->fd(), 200));
    waker->clear();
    // A new time replaces the old; a negative one disarms.
    waker->arm(10);
    waker->arm(-1);
    EXPECT_FALSE(readableWithin(waker->fd(), 60));
}

TEST(LoopWaker, PostedCallsWakeUntilTheLoopRuns) {
    std::string error;
    auto waker = plat::CLoopWaker::create(plat::runLoopWakeFd(), &error);
    ASSERT_TRUE(waker) << error;
    plat::pumpRunLoop();
    int ran = 0;
    ASSERT_TRUE(plat::postToRunLoop(plat::currentRunLoop(), [](void* c) { ++*static_cast<int*>(c); }, &ran));
    EXPECT_TRUE(readableWithin(waker->fd(), 0));
    EXPECT_EQ(plat::pumpRunLoop(), 1);
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(readableWithin(waker->fd(), 0));
}
