#include "win/Window.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "base/BoxOwner.h"
#include "base/LiveObjects.h"

namespace ravolen::win {
namespace {

thread_local std::function<void(const std::wstring&)> FailureReport;

std::wstring Wide(const char* text, UINT codePage) {
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, wide.data(), length);
    wide.pop_back();  // the terminator
    return wide;
}

// What the artist is told of the exception in flight.
std::wstring Description() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return L"内存不足";
    } catch (const std::exception& failure) {
        std::wstring what = Wide(failure.what(), CP_UTF8);
        if (what.empty()) what = Wide(failure.what(), CP_ACP);
        return what.empty() ? L"未知错误" : what;
    } catch (...) {
        return L"未知错误";
    }
}

void Report(const std::wstring& what) {
    OutputDebugStringW((L"Ravolen: a message handler failed: " + what + L"\n").c_str());
    if (!FailureReport) return;
    try {
        FailureReport(what);
    } catch (...) {
        // Nothing more can be told.
    }
}

}  // namespace

void Window::SetFailureReport(std::function<void(const std::wstring& what)> report) {
    FailureReport = std::move(report);
}

void Window::ReportCurrentException() { Report(Description()); }

void Window::Dispose(std::unique_ptr<Window> window) {
    if (!window) return;
    if (window->running_ > 0) {
        window->disposed_ = true;
        window.release();  // the window procedure deletes it once its last handler returns
    }
}

Window::Window() { LiveObjects::Made(LiveKind::WindowObject); }

Window::~Window() {
    destroyWindow();
    LiveObjects::Released(LiveKind::WindowObject);
}

int Window::LiveCount() { return LiveObjects::Count(LiveKind::WindowObject); }

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
    LRESULT result = 0;
    ++self->running_;
    try {
        const BoxOwnerScope owner(hwnd);
        result = self->onMessage(message, wParam, lParam);
    } catch (...) {
        // Unwinding through the system's frames is undefined; the message is dropped instead,
        // and the artist learns that the action did not happen.
        ReportCurrentException();
        result = DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (--self->running_ == 0 && self->disposed_) delete self;
    return result;
}

}  // namespace ravolen::win
