// The run-loop waker on Linux: epoll over the loop's eventfd and a timerfd.
#include "Platform/Window/LoopWaker.h"

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plat {

namespace {
class CLinuxLoopWaker final : public CLoopWaker {
public:
    ~CLinuxLoopWaker() override {
        if (m_timer >= 0) close(m_timer);
        if (m_epoll >= 0) close(m_epoll);
    }

    bool open(int loopWakeFd, std::string* error) {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_epoll < 0 || m_timer < 0) return fail(error);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = m_timer;
        if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_timer, &ev) != 0) return fail(error);
        if (loopWakeFd >= 0) {
            ev.data.fd = loopWakeFd;
            if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, loopWakeFd, &ev) != 0) return fail(error);
        }
        return true;
    }

    int fd() const override { return m_epoll; }

    void arm(int ms) override {
        itimerspec t{};
        if (ms >= 0) {
            // Zero would disarm: "at once" is the smallest step instead.
            const long ns = ms > 0 ? long(ms % 1000) * 1000000L : 1L;
            t.it_value.tv_sec = ms / 1000;
            t.it_value.tv_nsec = ns;
        }
        timerfd_settime(m_timer, 0, &t, nullptr);
        m_armed = ms >= 0;
    }

    void clear() override {
        uint64_t expirations = 0;
        if (read(m_timer, &expirations, sizeof expirations) == sizeof expirations) m_armed = false;
    }

    bool armed() const override { return m_armed; }

private:
    bool fail(std::string* error) {
        if (error) *error = std::string("Unable to make the run loop's waker: ") + std::strerror(errno);
        return false;
    }

    int m_epoll = -1;
    int m_timer = -1;
    bool m_armed = false;
};
}  // namespace

std::unique_ptr<CLoopWaker> CLoopWaker::create(int loopWakeFd, std::string* error) {
    auto w = std::make_unique<CLinuxLoopWaker>();
    if (!w->open(loopWakeFd, error)) return nullptr;
    return w;
}

}  // namespace plat
