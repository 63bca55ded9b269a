#include "win/Subclass.h"

#include <commctrl.h>

#include "base/LiveObjects.h"
#include "win/Window.h"

namespace ravolen::win {

void Subclass::attach(HWND control, Handler handler) {
    reset();
    handler_ = std::move(handler);
    // Each object its own id: a control may have several (the job table's editor and its tips).
    if (control && SetWindowSubclass(control, &Procedure, reinterpret_cast<UINT_PTR>(this),
                                     reinterpret_cast<DWORD_PTR>(this))) {
        control_ = control;
        LiveObjects::Made(LiveKind::Subclass);
    }
}

void Subclass::reset() {
    if (!control_) return;
    if (IsWindow(control_)) RemoveWindowSubclass(control_, &Procedure, reinterpret_cast<UINT_PTR>(this));
    control_ = nullptr;
    LiveObjects::Released(LiveKind::Subclass);
}

LRESULT CALLBACK Subclass::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR data) {
    auto* self = reinterpret_cast<Subclass*>(data);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &Procedure, id);
        if (self->control_) LiveObjects::Released(LiveKind::Subclass);
        self->control_ = nullptr;
    } else if (self->handler_) {
        try {
            if (const auto answer = self->handler_(message, wParam, lParam)) return *answer;
        } catch (...) {
            // Unwinding through the system's frames is undefined; the control handles it.
            Window::ReportCurrentException();
        }
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace ravolen::win
