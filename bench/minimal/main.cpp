// The floor of start-up and memory: the main window's controls made with straight Win32 calls,
// shown, and a message loop, with Ravolen's manifest.
#include <windows.h>
#include <commctrl.h>

#include "MainWindowFloor.h"
#include "../BareJobEditor.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const HWND window = ravolen::bench::CreateMainWindowFloor(
        instance, [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_DESTROY) PostQuitMessage(0);
            // "+" opens the floor of the job editor, as the program's opens its own.
            if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && lParam) {
                wchar_t caption[4]{};
                GetWindowTextW(reinterpret_cast<HWND>(lParam), caption, 4);
                if (lstrcmpW(caption, L"+") == 0) ravolen::bench::OpenBareJobEditor(hwnd);
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        });
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
