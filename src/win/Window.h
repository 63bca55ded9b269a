#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace ravolen::win {

// Ties one top-level window to its object. A window never outlives its object: destroying the
// object first detaches it from its window, so no message reaches a half-destroyed object, and
// then destroys the window. No exception leaves a message handler: it is reported (see
// SetFailureReport) and the program goes on. An object is never destroyed while one of its own
// handlers runs (a message box pumps messages, so another command can arrive meanwhile): see
// Dispose.
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

    // How many window objects live on this thread: leaks and early deletions show here.
    static int LiveCount();

    // True while a handler of this window runs.
    bool handling() const { return running_ > 0; }

    // Destroys the object and its window now or, while a handler of its own runs, as soon as the
    // last of them returns.
    static void Dispose(std::unique_ptr<Window> window);
    template <typename Derived>
    static void Dispose(std::unique_ptr<Derived>& window) {
        Dispose(std::unique_ptr<Window>(window.release()));
    }

    // What the program does with an exception that reached a window procedure, given its
    // description; for this thread. Without one, the failure is only written to the debugger.
    static void SetFailureReport(std::function<void(const std::wstring& what)> report);
    // Reports the exception being handled; called from a catch block.
    static void ReportCurrentException();

protected:
    Window();

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
    int running_ = 0;          // handlers of this window on the stack
    bool disposed_ = false;    // to be deleted once the last of them returns
};

}  // namespace ravolen::win
