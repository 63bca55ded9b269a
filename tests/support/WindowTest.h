#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/Handles.h"
#include "win/MessageLoop.h"

namespace ravolen::test {

inline std::string Utf8(std::wstring_view text) {
    std::string bytes(text.size() * 3, '\0');
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                           nullptr);
    bytes.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return bytes;
}

// Delivers what is queued for this thread's windows, as the program's message loop would.
inline void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // a closed main window asks the loop to end
        win::DispatchLoopMessage(message);
    }
}

// Runs the message loop for a while, so that timers fire.
inline void PumpMessagesFor(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        PumpMessages();
        Sleep(5);
    }
    PumpMessages();
}

// A key press as the message loop hands it over.
inline void PressKey(UINT key) {
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        MSG msg{GetFocus(), message, key, message == WM_KEYDOWN ? 1 : static_cast<LPARAM>(0xC0000001),
                0, {}};
        win::DispatchLoopMessage(msg);
    }
    PumpMessages();
}

// Types into a text box as the keyboard does, at the end of its text; '\b' is Backspace.
inline void Type(HWND edit, std::wstring_view text) {
    SetFocus(edit);
    const auto length = static_cast<WPARAM>(GetWindowTextLengthW(edit));
    SendMessageW(edit, EM_SETSEL, length, static_cast<LPARAM>(length));
    for (wchar_t c : text) {
        MSG msg{edit, WM_CHAR, c, 1, 0, {}};
        win::DispatchLoopMessage(msg);
    }
    PumpMessages();
}

inline void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    PumpMessages();
}

// The control's rectangle in its parent's client coordinates.
inline RECT ClientRectIn(HWND control, HWND parent) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline void ExpectNear(const RECT& actual, const RECT& expected, const std::string& name) {
    SCOPED_TRACE(name);
    // Rounding twips to pixels may differ by one between a control's edges.
    EXPECT_NEAR(actual.left, expected.left, 1);
    EXPECT_NEAR(actual.top, expected.top, 1);
    EXPECT_NEAR(actual.right, expected.right, 1);
    EXPECT_NEAR(actual.bottom, expected.bottom, 1);
}

inline LOGFONTW FontOf(HWND control) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (handle) GetObjectW(handle, sizeof font, &font);
    return font;
}

// The text colour the window sets for a control when the control paints itself.
inline COLORREF TextColourOf(HWND control) {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

// The hint a tooltip of the thread shows for a control of `owner`, or empty.
inline std::wstring TooltipText(HWND owner, HWND control) {
    struct Search {
        HWND owner;
        HWND control;
        std::wstring text;
    } search{owner, control, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM context) {
            auto& s = *reinterpret_cast<Search*>(context);
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0) return TRUE;
            wchar_t text[256] = {};
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = s.owner;
            tool.uId = reinterpret_cast<UINT_PTR>(s.control);
            tool.lpszText = text;
            SendMessageW(hwnd, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
            s.text = text;
            return s.text.empty() ? TRUE : FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.text;
}

// Position among its siblings from the top of the z-order, or -1.
inline int ZOrderOf(HWND control) {
    int position = 0;
    for (HWND sibling = GetWindow(control, GW_HWNDFIRST); sibling;
         sibling = GetWindow(sibling, GW_HWNDNEXT), ++position) {
        if (sibling == control) return position;
    }
    return -1;
}

// What a window paints into its client area, captured through WM_PRINTCLIENT.
class PaintedClient {
public:
    explicit PaintedClient(HWND hwnd) {
        RECT client{};
        GetClientRect(hwnd, &client);
        width_ = client.right;
        height_ = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_.reset(CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<const DWORD*>(bits);
        const HGDIOBJ old = SelectObject(dc_, bitmap_.get());
        const BrushHandle magenta(CreateSolidBrush(RGB(255, 0, 255)));
        FillRect(dc_, &client, magenta.get());
        SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_),
                     PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
        GdiFlush();
        SelectObject(dc_, old);
    }
    ~PaintedClient() { DeleteDC(dc_); }
    PaintedClient(const PaintedClient&) = delete;
    PaintedClient& operator=(const PaintedClient&) = delete;

    COLORREF at(int x, int y) const {
        if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const DWORD pixel = bits_[y * width_ + x];
        return RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
    }

private:
    HDC dc_ = nullptr;
    BitmapHandle bitmap_;
    const DWORD* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Refuses the creation of every window of one class on this thread while it lives.
class RefuseWindowClass {
public:
    explicit RefuseWindowClass(std::wstring className) {
        className_ = std::move(className);
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~RefuseWindowClass() {
        UnhookWindowsHookEx(hook_);
        className_.clear();
    }
    RefuseWindowClass(const RefuseWindowClass&) = delete;
    RefuseWindowClass& operator=(const RefuseWindowClass&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            wchar_t name[64] = {};
            GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
            if (_wcsicmp(name, className_.c_str()) == 0) return 1;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline std::wstring className_;
    HHOOK hook_ = nullptr;
};

// Another program's window in front: this thread then has no active window, as when the artist
// works in 3ds Max while a message arrives.
class ForeignForeground {
public:
    ForeignForeground() {
        thread_ = std::thread([this] {
            const HWND window = CreateWindowExW(0, L"STATIC", L"3ds Max", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
            SetForegroundWindow(window);
            SetActiveWindow(window);
            ready_ = true;
            while (!done_) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                Sleep(5);
            }
            DestroyWindow(window);
        });
        while (!ready_) Sleep(5);
    }
    ~ForeignForeground() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> ready_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace ravolen::test
