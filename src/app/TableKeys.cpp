#include "app/TableKeys.h"

#include <commctrl.h>

#include <utility>

#include "win/Subclass.h"

namespace ravolen {

std::optional<LRESULT> TableKeys::message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            LRESULT code = win::Subclass::Next(list_, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // Shift+F10 and the menu key open the menu here, and their release goes nowhere: left
            // to the system, F10's would then open the menu bar.
            if (message == WM_SYSKEYDOWN || (message == WM_KEYUP && wParam == VK_APPS)) {
                if ((wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0) || wParam == VK_APPS) {
                    if (menu_) contextMenuAt(-1);
                    menuKeyUp_ = static_cast<UINT>(wParam);
                    return 0;
                }
            }
            if (message != WM_SYSKEYDOWN) {
                if (wParam == std::exchange(menuKeyUp_, 0)) return 0;
                return std::nullopt;
            }
            [[fallthrough]];
        case WM_KEYDOWN:
            keyTaken_ = listKey(static_cast<UINT>(wParam));
            if (keyTaken_) return 0;
            return std::nullopt;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (std::exchange(keyTaken_, false)) return 0;
            return std::nullopt;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != list_ || !menu_) return std::nullopt;
            contextMenuAt(lParam);
            return 0;
        default: return std::nullopt;
    }
}

bool TableKeys::listKey(UINT key) {
    if (key == VK_SPACE || key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) return false;
    return key_ && key_(key);
}

void TableKeys::contextMenuAt(LPARAM where) {
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {  // from the keyboard: below the keyboard's row, or the list's corner
        RECT client{};
        GetClientRect(list_, &client);
        at = {client.left + 8, client.top + 8};
        if (const std::optional<std::size_t> row = selection_.current()) {
            ListView_EnsureVisible(list_, static_cast<int>(*row), FALSE);
            RECT bounds{LVIR_LABEL, 0, 0, 0};
            if (SendMessageW(list_, LVM_GETITEMRECT, *row, reinterpret_cast<LPARAM>(&bounds))) {
                at = {bounds.left + 8, bounds.bottom};
            }
        }
        ClientToScreen(list_, &at);
    }
    menu_(at);
}

}  // namespace ravolen
