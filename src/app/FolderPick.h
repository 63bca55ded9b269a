#pragma once

#include <windows.h>

#include <string_view>

#include "platform/Platform.h"

namespace ravolen {

inline constexpr std::wstring_view FolderPickerTitle = L"请选择文件夹";

// Puts the folder the user picks into the text box; a cancelled pick leaves the box as it was.
// Shared by every window with a folder box and its 指定/更改路径 button.
void PickFolderInto(Platform& platform, HWND field);

}  // namespace ravolen
