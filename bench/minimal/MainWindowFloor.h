#pragma once

#include <windows.h>

namespace ravolen::bench {

// The floor of the main window: the same controls (classes, styles, sizes, fonts, hints, the list
// view's columns and check boxes, the menu bar) made with straight Win32 calls, and nothing else.
// Hidden; its list view is `ListId`, with `listStyle` besides its own (LVS_OWNERDATA for the
// floor that holds its rows in a vector).
// The others are numbered from 1001 in the order they are made; the list's own number keeps it
// found whatever comes before it.
inline constexpr int ListId = 1100;
HWND CreateMainWindowFloor(HINSTANCE instance, WNDPROC procedure, DWORD listStyle = 0);

}  // namespace ravolen::bench
