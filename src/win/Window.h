#pragma once

#include <windows.h>

namespace ravolen::win {

// Ties one top-level window to its object. A window never outlives its object: destroying the
// object first detaches it from its window, so no message reaches a half-destroyed object, and
// then destroys the window. No exception leaves a message handler.
class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }

    // The object of a window that a Window created, or null.
    static Window* FromHandle(HWND hwnd);

    // The window's keyboard shortcuts, which the message loop translates first; null for none.
    virtual HACCEL accelerators() const { return nullptr; }

protected:
    Window() = default;

    // Registers the class on first use. False when the window could not be created. An owned
    // window stays in front of its owner and goes with it.
    bool createWindow(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                      const RECT& bounds, HICON icon, HMENU menu = nullptr, HWND owner = nullptr);

    // Detaches this object from its window, then destroys the window. A derived class calls it
    // from its destructor while its members still exist.
    void destroyWindow();

    // One cracked message; the default passes it to DefWindowProc.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

}  // namespace ravolen::win
