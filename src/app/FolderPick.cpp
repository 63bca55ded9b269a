#include "app/FolderPick.h"

#include "win/Controls.h"

namespace ravolen {

void PickFolderInto(Platform& platform, HWND field) {
    // Never through an empty text: with a unified setting ticked, that would rewrite every row.
    const std::wstring folder = platform.browseFolder(std::wstring(FolderPickerTitle));
    if (!folder.empty()) win::SetText(field, folder);
}

}  // namespace ravolen
