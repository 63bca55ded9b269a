#pragma once

#include <windows.h>

namespace ravolen::win {

// Ties one top-level window to its object. The object outlives its window; destroying the object
// destroys a window that still exists. No exception leaves a message handler.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }

protected:
    Window() = default;

    // Registers the class on first use. False when the window could not be created.
    bool createWindow(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                      const RECT& bounds, HICON icon);

    void destroyWindow();

    // One cracked message; the default passes it to DefWindowProc.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

}  // namespace ravolen::win
