#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "win/Worker.h"

namespace ravolen::win {
namespace {

constexpr UINT Done = WM_APP + 7;

// A window that only receives messages, for the worker to tell.
struct MessageWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr);
    ~MessageWindow() { DestroyWindow(hwnd); }
    bool told(std::chrono::milliseconds bound) const {
        const auto limit = std::chrono::steady_clock::now() + bound;
        MSG message;
        while (std::chrono::steady_clock::now() < limit) {
            if (PeekMessageW(&message, hwnd, Done, Done, PM_REMOVE)) return true;
            Sleep(1);
        }
        return false;
    }
};

TEST(Worker, TheWorkRunsOnItsOwnThreadAndTheWindowIsToldWhenItIsOver) {
    MessageWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    Worker worker;
    auto ranOn = std::make_shared<DWORD>(0);
    worker.start(window.hwnd, Done, [ranOn] { *ranOn = GetCurrentThreadId(); });
    EXPECT_TRUE(worker.busy());
    ASSERT_TRUE(window.told(std::chrono::seconds(10)));
    worker.finish();
    EXPECT_FALSE(worker.busy());
    EXPECT_NE(*ranOn, 0u);
    EXPECT_NE(*ranOn, GetCurrentThreadId());
}

TEST(Worker, StoppingReturnsAtItsBoundAndLeavesAWorkThatHangsBehind) {
    MessageWindow window;
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        Worker worker;
        worker.start(window.hwnd, Done, [release, finished] {
            while (!*release) Sleep(5);
            *finished = true;
        });
        // The work cannot end before it is released: stopping returns without it.
        EXPECT_FALSE(worker.stop(std::chrono::milliseconds(50)));
        EXPECT_FALSE(worker.busy()) << "the thread left behind is no longer the worker's";
    }  // the worker goes while its work still runs
    *release = true;  // the work left behind ends on its own and still says so
    EXPECT_TRUE(window.told(std::chrono::seconds(10)));
    EXPECT_TRUE(*finished);
}

}  // namespace
}  // namespace ravolen::win
