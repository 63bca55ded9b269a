#pragma once

#include <windows.h>

namespace ravolen {

// The window whose message handler runs innermost on this thread. A message box raised now
// belongs to it, whether or not the program is the active one: Windows' own active window is
// null while the artist works in another program, and an ownerless box leaves every window of
// ours open to clicks.
inline thread_local HWND CurrentBoxOwner = nullptr;

// Makes `window` the owner of the boxes raised while it lives, and the previous one again after.
class BoxOwnerScope {
public:
    explicit BoxOwnerScope(HWND window) : previous_(CurrentBoxOwner) { CurrentBoxOwner = window; }
    ~BoxOwnerScope() { CurrentBoxOwner = previous_; }
    BoxOwnerScope(const BoxOwnerScope&) = delete;
    BoxOwnerScope& operator=(const BoxOwnerScope&) = delete;

private:
    HWND previous_;
};

}  // namespace ravolen
