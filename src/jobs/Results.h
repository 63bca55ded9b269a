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
// its extension followed by a frame number of four or more digits; letter case aside). A row
// whose 帧 holds a frame list is complete when each listed frame's file exists.
struct RenderResult {
    std::wstring output;  // <出图路径>\<出图文件名>
    // The file to look at when done: the output itself, or the newest of its frames.
    std::wstring image;
    bool done = false;
    int frames = 0;                   // 0 for a single image
    unsigned long long size = 0;      // bytes, all frames together
    unsigned long long modified = 0;  // the latest write, 100 ns units since 1601 (UTC)
    // With a frame list in 帧, the row is done only when every frame it lists has its file
    // (lobby0012.tga for frame 12): how many have none, and the first MissingFramesListed of them.
    std::size_t missingFrames = 0;
    std::vector<int> firstMissing;
};

// How many missing frames the results name; the rest is left to the count.
inline constexpr std::size_t MissingFramesListed = 5;

// What the results say of a row with missing frames ("缺3帧：12、15、20", "…" after the last named
// when more are missing); empty when none is.
std::wstring MissingFramesText(const RenderResult& result);

// The results of the rows, each folder read once however many rows write into it.
// `entriesOf` answers a folder's entries, or nothing when it cannot be read.
std::vector<RenderResult> FindResults(
    std::span<const RenderJob> rows,
    const std::function<std::optional<std::vector<FolderEntry>>(const std::wstring&)>& entriesOf);

}  // namespace ravolen
