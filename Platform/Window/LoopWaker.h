#pragma once
// CLoopWaker: the one descriptor a host's run loop watches for the editor's
// UI thread besides the display connection. It becomes readable when a call
// is posted to the thread's run loop (the loop's own wake descriptor) or
// when the time given to arm() has come, so that the host calls back exactly
// when there is something to do and sleeps otherwise: no timer thread and no
// periodic wake-ups while nothing is due.
//
// Linux: an epoll set of the loop's eventfd and a timerfd. Where the
// system's message loop wakes the thread (Win32) there is none: create()
// returns null and the owner keeps to the loop's own means.
//
// UI thread only.

#include <memory>
#include <string>

namespace plat {

class CLoopWaker {
public:
    virtual ~CLoopWaker() = default;
    // A waker over the loop's wake descriptor; null (and *error) when the
    // system offers none or refuses one.
    static std::unique_ptr<CLoopWaker> create(int loopWakeFd, std::string* error);

    virtual int fd() const = 0;
    // Becomes readable in ms milliseconds (0: at once); a negative time
    // disarms. Replaces the previous arming.
    virtual void arm(int ms) = 0;
    // Takes back a readiness that came from the time (after a wake-up).
    virtual void clear() = 0;
    // Whether a time is armed now (tests).
    virtual bool armed() const = 0;
};

}  // namespace plat
