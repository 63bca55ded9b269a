#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ravolen::win {

std::wstring WindowText(HWND hwnd);
void SetText(HWND hwnd, std::wstring_view text);
// Sets the text only when it differs, so a caption refreshed often does not flicker.
void UpdateText(HWND hwnd, std::wstring_view text);

bool IsChecked(HWND checkBox);
void SetChecked(HWND checkBox, bool checked);

// Disables a control; when it has the keyboard focus, the focus moves on to the next tab stop
// first, so the keyboard keeps working.
void DisableControl(HWND control);

// The command of the menu item, in `menu` or any of its submenus, whose caption reads `caption`
// (its mnemonic '&' and its shortcut after a tab left out), or 0 when there is none. Finds a
// command as the user does, by what it says, not by its number.
UINT MenuCommand(HMENU menu, std::wstring_view caption);

}  // namespace ravolen::win
