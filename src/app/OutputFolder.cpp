#include "app/OutputFolder.h"

namespace ravolen {

bool OpenOutputFolder(Platform& platform, const std::wstring& folder) {
    if (folder.empty()) {
        platform.showMessage(L"这一行没有出图路径。");
        return false;
    }
    if (!platform.folderEntries(folder)) {
        if (!platform.ask(L"出图文件夹不存在：\n" + folder + L"\n\n是否创建该文件夹？")) return false;
        if (!platform.createFolder(folder)) {
            platform.showMessage(L"无法创建出图文件夹：\n" + folder);
            return false;
        }
    }
    if (platform.openInShell(folder)) return true;
    platform.showMessage(L"无法打开出图文件夹：\n" + folder);
    return false;
}

bool OpenImage(Platform& platform, const std::wstring& image) {
    if (platform.openInShell(image)) return true;
    platform.showMessage(L"无法打开图像（Windows 没有可以打开它的程序，或文件已不在）：\n" + image);
    return false;
}

}  // namespace ravolen
