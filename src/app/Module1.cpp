#include "app/Module1.h"

#include <commctrl.h>

#include "app/JobRows.h"
#include "win/Controls.h"

namespace ravolen {

void AddJobRow(HWND listView, const RenderJob& job) { JobRows(listView).append(job); }

void DeselectAllRows(HWND listView) {
    ListView_SetItemState(listView, -1, 0, LVIS_SELECTED);
}

void SelectLastRow(HWND listView) {
    const int last = ListView_GetItemCount(listView) - 1;
    if (last < 0) return;
    ListView_SetItemState(listView, last, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(listView, last, FALSE);
}

std::wstring BrowseFolder(Platform& platform, std::wstring_view title) {
    return platform.browseFolder(std::wstring(title));
}

void PickFolderInto(Platform& platform, HWND field) {
    // Never through an empty text: with a unified setting ticked, that would rewrite every row.
    const std::wstring folder = BrowseFolder(platform, FolderPickerTitle);
    if (!folder.empty()) win::SetText(field, folder);
}

}  // namespace ravolen
