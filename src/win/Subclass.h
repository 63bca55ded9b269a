#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>

namespace ravolen::win {

// A control's own messages, offered to `handler` before the control sees them, for as long as
// this object lives. The handler answers a message it takes, or nothing to pass it on.
class Subclass {
public:
    using Handler = std::function<std::optional<LRESULT>(UINT message, WPARAM wParam, LPARAM lParam)>;

    Subclass() = default;
    Subclass(HWND control, Handler handler) { attach(control, std::move(handler)); }
    ~Subclass() { reset(); }
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    // Offers the control's messages to `handler` from now on, in place of any earlier control.
    void attach(HWND control, Handler handler);
    void reset();

    // The control's own answer to a message, for a handler that adds to it. Only from within the
    // handler.
    static LRESULT Next(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
        return DefSubclassProc(control, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);

    HWND control_ = nullptr;
    Handler handler_;
};

}  // namespace ravolen::win
