#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "jobs/JobTable.h"

namespace ravolen {

// The row routines that the main window and the job editor dialog share.

// Appends one row holding the job's six texts to the job table.
void AddJobRow(HWND listView, const RenderJob& job);
// Takes the selection off every row.
void DeselectAllRows(HWND listView);
// Selects the last row, makes it the keyboard's row and scrolls it into view.
void SelectLastRow(HWND listView);

// The folder the user picks, or empty when the pick was cancelled.
std::wstring BrowseFolder(Platform& platform, std::wstring_view title);
// Puts the picked folder into the text box; a cancelled pick leaves the box as it was.
void PickFolderInto(Platform& platform, HWND field);

inline constexpr std::wstring_view FolderPickerTitle = L"请选择文件夹";

}  // namespace ravolen
