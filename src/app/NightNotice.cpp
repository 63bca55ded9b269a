#include "app/NightNotice.h"

#include <windows.h>
#include <shellapi.h>

namespace ravolen {

NightNotice::NightNotice(Platform& platform, unsigned callbackMessage)
    : platform_(platform),
      callbackMessage_(callbackMessage),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {}

void NightNotice::show(HWND__* window, const std::wstring& summary) {
    window_ = window;
    summary_ = summary;
    // A copy running as administrator hears Explorer, which runs as the user, only when it asks.
    ChangeWindowMessageFilterEx(window, taskbarCreated_, MSGFLT_ALLOW, nullptr);
    addIcon(summary);
}

void NightNotice::remove() {
    if (!window_) return;
    platform_.removeNotification(window_);
    window_ = nullptr;
}

void NightNotice::addIcon(const std::wstring& balloon) {
    // Where the shell takes none (Explorer not running yet), the notice stays due: TaskbarCreated
    // adds it once Explorer is there.
    platform_.showNotification(window_, callbackMessage_, summary_, balloon);
}

bool NightNotice::clicked(std::intptr_t event) {
    if (!window_) return false;  // what is left of a click that took it away already
    switch (LOWORD(event)) {
        case NIN_BALLOONUSERCLICK:
        case NIN_SELECT:     // clicked or double-clicked
        case NIN_KEYSELECT:  // Enter or the space bar
        case WM_CONTEXTMENU:  // right-clicked, or the context menu key
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
            remove();
            return true;
        // NIN_BALLOONTIMEOUT among them: the toast has gone, the icon is what the morning finds.
        default: return false;
    }
}

void NightNotice::activated(std::uintptr_t state) {
    if (LOWORD(state) != WA_INACTIVE) remove();
}

bool NightNotice::taskbarCreated(unsigned message) {
    if (message != taskbarCreated_ || taskbarCreated_ == 0) return false;
    if (window_) addIcon({});
    return true;
}

}  // namespace ravolen
