#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace ravolen {

// 渲染 › 3dsMax版本: the installations Windows knows, newest first, after the install folder's own
// when it holds the renderer (marked 当前), listed again each time the menu opens.
class InstallationsMenu {
public:
    explicit InstallationsMenu(Platform& platform) : platform_(platform) {}

    void list(HMENU versions, const std::wstring& installFolder);
    // The folder of the item at `index` as last listed, or nothing.
    std::optional<std::wstring> folder(int index) const;

private:
    Platform& platform_;
    std::vector<MaxInstallation> installations_;  // as the menu lists them
};

}  // namespace ravolen
