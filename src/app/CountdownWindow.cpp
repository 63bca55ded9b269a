#include "app/CountdownWindow.h"

#include <array>

#include "render/NightPlan.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using win::ControlKind;

enum : int { IdText = 5201, IdStartNow, IdCancel };

const std::array<win::ControlSpec, 3> Layout{{
    {.kind = ControlKind::Label, .id = IdText, .name = L"Text", .left = 240, .top = 240,
     .width = 5520, .height = 255, .tabIndex = 0},
    {.kind = ControlKind::Button, .id = IdStartNow, .name = L"StartNow", .left = 2940, .top = 720,
     .width = 1300, .height = 420, .tabIndex = 1, .caption = L"立即开始", .defaultButton = true},
    {.kind = ControlKind::Button, .id = IdCancel, .name = L"Cancel", .left = 4440, .top = 720,
     .width = 1300, .height = 420, .tabIndex = 2, .caption = L"取消"},
}};

}  // namespace

const win::CommandRoute<CountdownWindow> CountdownWindow::Commands[] = {
    {IdStartNow, BN_CLICKED, &CountdownWindow::onStartNowClicked},
    {IdCancel, BN_CLICKED, &CountdownWindow::onCancelClicked},
    {IDCANCEL, BN_CLICKED, &CountdownWindow::onCancelClicked},  // Escape
};

bool CountdownWindow::create(HWND owner) {
    if (!createForm(L"RavolenCountdown", L"Ravolen", 6000, 1380, 10.5, nullptr, owner) ||
        !createControls(Layout)) {
        destroyWindow();
        return false;
    }
    win::SetText(item(IdText), CountdownText(left_, rows_));
    counting_ = SetTimer(hwnd(), IdTimerCountdown, 1000, nullptr) != 0;
    if (!counting_) {
        destroyWindow();
        return false;
    }
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    return true;
}

bool CountdownWindow::onCommand(int id, int code) {
    return win::RouteCommand<CountdownWindow>(*this, Commands, id, code);
}

LRESULT CountdownWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        onCancelClicked();
        return 0;
    }
    return Form::onMessage(message, wParam, lParam);
}

void CountdownWindow::onTimer(UINT_PTR id) {
    if (id != IdTimerCountdown || !counting_) return;
    if (--left_ <= 0) {
        finish(true);
        return;
    }
    win::UpdateText(item(IdText), CountdownText(left_, rows_));
}

void CountdownWindow::onStartNowClicked() { finish(true); }

void CountdownWindow::onCancelClicked() { finish(false); }

void CountdownWindow::finish(bool go) {
    // A click queued behind the last beat (or the other way round) finds it done.
    if (!counting_) return;
    counting_ = false;
    KillTimer(hwnd(), IdTimerCountdown);
    ShowWindow(hwnd(), SW_HIDE);
    if (go && go_) go_();
}

}  // namespace ravolen
