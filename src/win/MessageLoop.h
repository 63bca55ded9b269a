#pragma once

#include <windows.h>

namespace ravolen::win {

// One step of the message loop, shared by every top-level window of the program and by the
// tests: a message for one of our windows first goes to that window's dialog manager (Tab,
// Enter, Escape, the arrow keys), whichever window is active; anything else is dispatched.
void DispatchLoopMessage(MSG& message);

// Runs until WM_QUIT and returns its exit code.
int RunMessageLoop();

}  // namespace ravolen::win
