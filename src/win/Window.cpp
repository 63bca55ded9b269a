#include "win/Window.h"

#include "base/LiveObjects.h"

namespace ravolen::win {

Window::~Window() { destroyWindow(); }

void Window::destroyWindow() {
    const HWND hwnd = hwnd_;
    if (!hwnd) return;
    // Focus changes and notifications sent while the window goes down must not reach an object
    // whose derived parts may already be gone.
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
}

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd || reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) != &Procedure) {
        return nullptr;
    }
    return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool Window::createWindow(const wchar_t* className, const wchar_t* title, DWORD style,
                          DWORD exStyle, const RECT& bounds, HICON icon, HMENU menu, HWND owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(instance, className, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Window::Procedure;
        windowClass.hInstance = instance;
        windowClass.hIcon = icon;
        windowClass.hIconSm = icon;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        if (!RegisterClassExW(&windowClass)) return false;
    }
    return CreateWindowExW(exStyle, className, title, style, bounds.left, bounds.top,
                           bounds.right - bounds.left, bounds.bottom - bounds.top, owner, menu,
                           instance, this) != nullptr;
}

LRESULT Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Every window of this procedure, from its first message to its last, whether its object
    // still answers or was detached.
    if (message == WM_NCCREATE) LiveObjects::Made(LiveKind::Window);
    if (message == WM_NCDESTROY) LiveObjects::Released(LiveKind::Window);
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        return self->onMessage(message, wParam, lParam);
    } catch (...) {
        // Unwinding through the system's frames is undefined; the message is dropped instead.
        OutputDebugStringW(L"Ravolen: a message handler failed\n");
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace ravolen::win
