#pragma once

struct HWND__;

namespace ravolen::bench {

// The floor of the job editor: a bare window holding the same controls (classes, styles, sizes,
// fonts, the combo box's entries, the tooltip, the size boxes' key filter), created with straight
// Win32 calls, shown, and destroyed with its fonts. Shares nothing with the product's windows.
void OpenAndCloseBareJobEditor();
// The same window opened over `owner` and left open: its close box destroys it and its fonts.
HWND__* OpenBareJobEditor(HWND__* owner);

}  // namespace ravolen::bench
