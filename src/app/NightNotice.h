#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace ravolen {

// The morning's notice of a night that ended here: the main window's icon in the notification
// area, its tip the night's summary, told once by a balloon. On Windows 10 and later the balloon
// is a toast gone in seconds, or sent straight to the notification centre while the screen is
// locked or Focus is on, and it leaves there with its icon; so the icon stays until the artist has
// been there: the icon or its balloon clicked (渲染结果 opens) or the window activated. Explorer
// started again has lost every icon: this one comes back, without a second balloon.
class NightNotice {
public:
    NightNotice(Platform& platform, unsigned callbackMessage);
    NightNotice(const NightNotice&) = delete;
    NightNotice& operator=(const NightNotice&) = delete;

    // The window's icon with the night's summary, and its balloon; an earlier night's gives way.
    void show(HWND__* window, const std::wstring& summary);
    // Takes the icon away for good, if it is there (the window goes).
    void remove();

    // The window's messages about it, each handed on as it comes:
    // the icon's callback (its lParam): true when the notice was clicked, and is gone, and
    // 渲染结果 is to open;
    bool clicked(std::intptr_t event);
    // WM_ACTIVATE (its wParam);
    void activated(std::uintptr_t state);
    // any message: true for Explorer's TaskbarCreated, the icon added again while it is due.
    bool taskbarCreated(unsigned message);

    bool shown() const { return window_ != nullptr; }

private:
    void addIcon(const std::wstring& balloon);

    Platform& platform_;
    unsigned callbackMessage_;
    unsigned taskbarCreated_;  // registered: Explorer broadcasts it when the taskbar is made anew
    HWND__* window_ = nullptr;  // while the notice is due
    std::wstring summary_;
};

}  // namespace ravolen
