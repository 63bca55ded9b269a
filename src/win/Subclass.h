#pragma once

#include <windows.h>

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

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR data);

    HWND control_ = nullptr;
    Handler handler_;
};

}  // namespace ravolen::win
