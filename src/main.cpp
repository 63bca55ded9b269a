#include <windows.h>
#include <commctrl.h>

#include "mainwindow/Form1.h"
#include "platform/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    ravolen::Win32Platform platform;
    ravolen::Form1 form(platform);
    if (!form.create()) {
        platform.showMessage(L"无法创建主窗口，程序将退出。", ravolen::MessageIcon::None);
        return 1;
    }
    ShowWindow(form.hwnd(), showCommand);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Shift+Tab, Enter and the arrow keys move between the controls as in a dialog.
        if (form.hwnd() && IsDialogMessageW(form.hwnd(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
