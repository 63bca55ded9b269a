#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/MainWindow.h"
#include "platform/Win32Platform.h"
#include "win/MessageLoop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell's dialogs need a single-threaded apartment on the thread that shows them.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    int exitCode = 0;
    {
        ravolen::Win32Platform platform;
        ravolen::MainWindow form(platform);
        int count = 0;
        if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
            for (int i = 1; i < count; ++i) {
                if (ravolen::RestartArgument == arguments[i]) form.startedByRestart = true;
            }
            LocalFree(arguments);
        }
        switch (form.create()) {
            case ravolen::MainWindow::Startup::Ready:
                ShowWindow(form.hwnd(), showCommand);
                exitCode = ravolen::win::RunMessageLoop();
                break;
            case ravolen::MainWindow::Startup::AlreadyRunning: break;
            case ravolen::MainWindow::Startup::Failed:
                platform.showMessage(L"无法创建主窗口，程序将退出。", ravolen::MessageIcon::None);
                exitCode = 1;
                break;
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
