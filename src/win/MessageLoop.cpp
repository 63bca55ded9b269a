#include "win/MessageLoop.h"

#include "win/Window.h"

namespace ravolen::win {

void DispatchLoopMessage(MSG& message) {
    const HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (const Window* window = root ? Window::FromHandle(root) : nullptr) {
        const HACCEL shortcuts = window->accelerators();
        if (shortcuts && TranslateAcceleratorW(root, shortcuts, &message)) return;
        if (IsDialogMessageW(root, &message)) return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int RunMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchLoopMessage(message);
    return static_cast<int>(message.wParam);
}

}  // namespace ravolen::win
