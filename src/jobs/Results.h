#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "jobs/JobTable.h"

namespace ravolen {

// What a row's render left on disk. The output "lobby.tga" is complete when lobby.tga exists, or
// the numbered frames an animation writes: lobby0000.tga, lobby0001.tga, ... (the name before
// its extension followed by a frame number of four or more digits; letter case aside).
struct RenderResult {
    std::wstring output;  // <出图路径>\<出图文件名>
    bool done = false;
    int frames = 0;                   // 0 for a single image
    unsigned long long size = 0;      // bytes, all frames together
    unsigned long long modified = 0;  // the latest write, 100 ns units since 1601 (UTC)
};

// The results of the rows, each folder read once however many rows write into it.
// `entriesOf` answers a folder's entries, or nothing when it cannot be read.
std::vector<RenderResult> FindResults(
    std::span<const RenderJob> rows,
    const std::function<std::optional<std::vector<FolderEntry>>(const std::wstring&)>& entriesOf);

}  // namespace ravolen
