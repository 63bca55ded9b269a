#include "win/Subclass.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/LiveObjects.h"
#include "win/Window.h"

namespace ravolen::win {

// A control's handlers, the newest last (one attached while a message is handled is not offered
// it, and moves none of the others), and the procedure it had before the first.
struct SubclassChain {
    WNDPROC original = nullptr;
    std::vector<Subclass*> handlers;  // null where one went while a message was being handled
    std::size_t next = 0;             // Next goes on from the handler below this one
    int depth = 0;                    // messages being handled, nested
    bool gone = false;                // its control had its last message while one was handled

    LRESULT dispatch(std::size_t below, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        for (std::size_t k = std::min(below, handlers.size()); k-- > 0;) {
            Subclass* const subclass = handlers[k];
            if (!subclass || !subclass->handler_) continue;
            const std::size_t saved = std::exchange(next, k);
            std::optional<LRESULT> answer;
            try {
                answer = subclass->handler_(message, wParam, lParam);
            } catch (...) {
                // Unwinding through the system's frames is undefined; the control handles it.
                Window::ReportCurrentException();
            }
            next = saved;
            if (answer) return *answer;
            // A handler that went with its control leaves the rest unoffered: the chain is gone.
            if (handlers.empty()) break;
        }
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    void compact() {
        if (depth == 0) std::erase(handlers, nullptr);
    }
};

namespace {

// The chains by control. Controls live on the window thread; the lock only keeps the table whole
// should another thread's control be subclassed too.
std::mutex& ChainsLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_map<HWND, std::unique_ptr<SubclassChain>>& Chains() {
    static std::unordered_map<HWND, std::unique_ptr<SubclassChain>> chains;
    return chains;
}

SubclassChain* ChainOf(HWND control) {
    const std::lock_guard<std::mutex> guard(ChainsLock());
    const auto found = Chains().find(control);
    return found == Chains().end() ? nullptr : found->second.get();
}

// The chain goes when its control does, or when its last handler goes while the control's
// procedure is still this one (a procedure put in front of it later would be cut off).
void Forget(HWND control) {
    const std::lock_guard<std::mutex> guard(ChainsLock());
    Chains().erase(control);
}

}  // namespace

void Subclass::attach(HWND control, Handler handler) {
    reset();
    handler_ = std::move(handler);
    if (!control || !IsWindow(control)) return;
    SubclassChain* chain = ChainOf(control);
    if (!chain) {
        auto made = std::make_unique<SubclassChain>();
        chain = made.get();
        {
            const std::lock_guard<std::mutex> guard(ChainsLock());
            Chains()[control] = std::move(made);
        }
        chain->original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass::Procedure)));
        if (!chain->original) {
            Forget(control);
            return;
        }
    }
    chain->handlers.push_back(this);
    control_ = control;
    LiveObjects::Made(LiveKind::Subclass);
}

void Subclass::reset() {
    if (!control_) return;
    const HWND control = std::exchange(control_, nullptr);
    LiveObjects::Released(LiveKind::Subclass);
    SubclassChain* chain = ChainOf(control);
    if (!chain) return;
    std::replace(chain->handlers.begin(), chain->handlers.end(), this, static_cast<Subclass*>(nullptr));
    chain->compact();
    const bool anyLeft = std::any_of(chain->handlers.begin(), chain->handlers.end(), [](Subclass* s) { return s; });
    if (anyLeft || chain->depth > 0) return;
    if (GetWindowLongPtrW(control, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Subclass::Procedure)) return;
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain->original));
    Forget(control);
}

LRESULT Subclass::Next(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    SubclassChain* chain = ChainOf(control);
    if (!chain) return DefWindowProcW(control, message, wParam, lParam);
    return chain->dispatch(chain->next, control, message, wParam, lParam);
}

LRESULT CALLBACK Subclass::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SubclassChain* chain = ChainOf(hwnd);
    if (!chain) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The control's last message: its handlers let go of it, and its own procedure ends it.
        const WNDPROC original = chain->original;
        for (Subclass* subclass : chain->handlers) {
            if (!subclass) continue;
            subclass->control_ = nullptr;
            LiveObjects::Released(LiveKind::Subclass);
        }
        chain->handlers.clear();
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        // Forgotten at once, or once the messages it is inside are handled: the control's handle
        // may soon be another control's.
        if (chain->depth == 0) {
            Forget(hwnd);
        } else {
            chain->gone = true;
        }
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    ++chain->depth;
    const LRESULT answer = chain->dispatch(chain->handlers.size(), hwnd, message, wParam, lParam);
    if (--chain->depth == 0 && chain->gone) {
        Forget(hwnd);
        return answer;
    }
    chain->compact();
    return answer;
}

}  // namespace ravolen::win
