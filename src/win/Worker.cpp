#include "win/Worker.h"

#include <utility>

namespace ravolen::win {

void Worker::start(HWND window, UINT message, std::function<void()> work) {
    stop(StopBound);
    over_ = std::make_shared<std::atomic<bool>>(false);
    thread_ = std::thread([work = std::move(work), over = over_, window, message] {
        work();
        *over = true;
        PostMessageW(window, message, 0, 0);
    });
}

void Worker::finish() {
    if (thread_.joinable()) thread_.join();
}

bool Worker::stop(std::chrono::milliseconds bound) {
    if (!thread_.joinable()) return true;
    const auto limit = std::chrono::steady_clock::now() + bound;
    while (!*over_ && std::chrono::steady_clock::now() < limit) Sleep(10);
    if (*over_) {
        thread_.join();
        return true;
    }
    thread_.detach();
    return false;
}

}  // namespace ravolen::win
