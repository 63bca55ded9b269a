#pragma once

#include <windows.h>

#include <string>

namespace ravolen::test {

// Delivers what is queued for this thread's windows, as the message loop would.
inline void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // a closed main window asks the loop to end
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A key press as the message loop hands it over: first to the dialog manager, as the program's
// loop does, then to the focused control.
inline void PressKey(HWND form, UINT key) {
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG msg{GetFocus(), message, key, message == WM_KEYDOWN ? 1 : 0xC0000001, 0, {}};
        if (!IsDialogMessageW(form, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    PumpMessages();
}

inline void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    PumpMessages();
}

inline RECT ClientRectIn(HWND control, HWND parent) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace ravolen::test
