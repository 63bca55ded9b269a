#include "app/InstallationsMenu.h"

#include <utility>

#include "app/MainWindowIds.h"
#include "jobs/JobTable.h"

namespace ravolen {

using namespace mainwindow;

void InstallationsMenu::list(HMENU versions, const std::wstring& installFolder) {
    while (GetMenuItemCount(versions) > 0) DeleteMenu(versions, 0, MF_BYPOSITION);
    std::wstring current = installFolder;
    while (!current.empty() && (current.back() == L'\\' || current.back() == L'/')) current.pop_back();
    installations_.clear();
    if (!current.empty() && platform_.fileExists(current + L"\\3dsmaxcmd.exe")) installations_.push_back({0, current});
    for (MaxInstallation& found : platform_.maxInstallations()) {
        if (installations_.empty() || installations_.front().year != 0 ||
            FoldCase(found.folder) != FoldCase(current)) {
            installations_.push_back(std::move(found));
        }
    }
    if (installations_.size() > MaxInstallationItems) installations_.resize(MaxInstallationItems);
    for (std::size_t i = 0; i < installations_.size(); ++i) {
        std::wstring caption = installations_[i].year == 0 ? L"当前：" + installations_[i].folder
                                                           : L"3ds Max " + std::to_wstring(installations_[i].year);
        for (std::size_t at = caption.find(L'&'); at != std::wstring::npos; at = caption.find(L'&', at + 2)) {
            caption.insert(at, 1, L'&');  // a folder's & is no mnemonic
        }
        AppendMenuW(versions, MF_STRING, IdMenuInstallation + static_cast<UINT_PTR>(i), caption.c_str());
    }
    if (installations_.empty()) {
        AppendMenuW(versions, MF_STRING | MF_GRAYED, IdMenuNoInstallation, L"未找到3dsMax");
    }
}

std::optional<std::wstring> InstallationsMenu::folder(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= installations_.size()) return std::nullopt;
    return installations_[static_cast<std::size_t>(index)].folder;
}

}  // namespace ravolen
