#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace ravolen::win {

// Runs one piece of work at a time on a thread of its own and tells a window when it is over, so
// that the window keeps painting and hearing its buttons meanwhile. The work keeps what it needs
// alive itself (captured by value or shared): a thread that does not come back within the bound
// of stop() is left behind rather than waited for.
class Worker {
public:
    Worker() = default;
    ~Worker() { stop(StopBound); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    static constexpr std::chrono::milliseconds StopBound{2000};

    // Runs `work` on the thread; once it has returned, posts `message` to `window`. A work under
    // way is stopped first (see stop).
    void start(HWND window, UINT message, std::function<void()> work);
    // True while a work has been started and not yet collected.
    bool busy() const { return thread_.joinable(); }
    // Collects the thread of a work that has returned (on its posted message).
    void finish();
    // Waits at most `bound` for a work under way; true when it came back in time. One that did
    // not is left to finish on its own, and its message may still arrive.
    bool stop(std::chrono::milliseconds bound);

private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> over_;
};

}  // namespace ravolen::win
