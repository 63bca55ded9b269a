#include "win/Controls.h"

namespace ravolen::win {

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void SetText(HWND hwnd, std::wstring_view text) {
    SetWindowTextW(hwnd, std::wstring(text).c_str());
}

void UpdateText(HWND hwnd, std::wstring_view text) {
    if (WindowText(hwnd) != text) SetText(hwnd, text);
}

bool IsChecked(HWND checkBox) {
    return SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND checkBox, bool checked) {
    SendMessageW(checkBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DisableControl(HWND control) {
    if (GetFocus() == control) {
        const HWND parent = GetParent(control);
        const HWND next = GetNextDlgTabItem(parent, control, FALSE);
        SetFocus(next && next != control ? next : parent);
    }
    EnableWindow(control, FALSE);
}

UINT MenuCommand(HMENU menu, std::wstring_view caption) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        std::wstring plain;
        for (const wchar_t* c = text; *c && *c != L'\t'; ++c) {
            if (*c != L'&') plain += *c;
        }
        if (const HMENU sub = GetSubMenu(menu, i)) {
            if (const UINT found = MenuCommand(sub, caption)) return found;
        } else if (plain == caption) {
            return GetMenuItemID(menu, i);
        }
    }
    return 0;
}

}  // namespace ravolen::win
