#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace ravolen::win {

// A control's own messages, offered to `handler` before the control sees them, for as long as
// this object lives. The handler answers a message it takes, or nothing to pass it on.
//
// The control's window procedure is replaced, and the handlers found again by the control in a
// table of this process: comctl32's SetWindowSubclass finds them in the control's window
// properties, which Wine asks its server for three times a message (some 50 µs each message
// to a list view, where the list itself answers in one).
class Subclass {
public:
    using Handler = std::function<std::optional<LRESULT>(UINT message, WPARAM wParam, LPARAM lParam)>;

    Subclass() = default;
    Subclass(HWND control, Handler handler) { attach(control, std::move(handler)); }
    ~Subclass() { reset(); }
    Subclass(const Subclass&) = delete;
    Subclass& operator=(const Subclass&) = delete;

    // Offers the control's messages to `handler` from now on, in place of any earlier control.
    // A control may have several: the last attached is offered each message first.
    void attach(HWND control, Handler handler);
    void reset();

    // The control's own answer to a message (or the next handler's), for a handler that adds to
    // it. Only from within the handler.
    static LRESULT Next(HWND control, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    friend struct SubclassChain;

    HWND control_ = nullptr;
    Handler handler_;
};

}  // namespace ravolen::win
