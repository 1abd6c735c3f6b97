// Windows: the host's message loop wakes the UI thread for posted calls and
// timers (the run loop's own message window), so there is no waker.
#include "Platform/Window/LoopWaker.h"

namespace plat {

std::unique_ptr<CLoopWaker> CLoopWaker::create(int, std::string* error) {
    if (error) *error = "The message loop wakes the thread.";
    return nullptr;
}

}  // namespace plat
