#pragma once

#include <cstddef>
#include <functional>

#include "win/Form.h"

namespace ravolen {

// "60秒后继续渲染剩下的6个任务…  [立即开始] [取消]": counts down once a second and then, or at
// 立即开始, calls `go` once; 取消, Escape or the close box call nothing. It only hides itself, so
// that its owner may destroy it at leisure.
class CountdownWindow final : public win::Form {
public:
    CountdownWindow(std::size_t rows, std::function<void()> go) : rows_(rows), go_(std::move(go)) {}
    ~CountdownWindow() override { destroyWindow(); }

    static constexpr int Seconds = 60;
    static constexpr UINT_PTR IdTimerCountdown = 1;

    bool create(HWND owner);
    // True until it went or was cancelled.
    bool counting() const { return counting_; }

private:
    bool onCommand(int id, int code) override;
    void onTimer(UINT_PTR id) override;
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void onStartNowClicked();
    void onCancelClicked();
    void finish(bool go);

    static const win::CommandRoute<CountdownWindow> Commands[];

    std::size_t rows_;
    std::function<void()> go_;
    int left_ = Seconds;
    bool counting_ = false;
};

}  // namespace ravolen
