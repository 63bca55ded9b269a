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
// An image a row expects that is there: the output itself (frame -1) or one numbered frame.
struct OutputFile {
    std::wstring path;
    int frame = -1;
    unsigned long long size = 0;      // bytes, as the folder lists it
    unsigned long long modified = 0;  // 100 ns units since 1601 (UTC)

    bool operator==(const OutputFile&) const = default;
};

// What reading a row's images in their own formats found wrong: files empty, broken (cut short
// or not of the format their name says) and of another size than the row's 长 × 宽, with the
// first frames of each (an animation's) and the first wrong size read.
struct ImageFaults {
    std::size_t empty = 0, broken = 0, wrongSize = 0;
    std::vector<int> firstEmpty, firstBroken;
    int expectedWidth = 0, expectedHeight = 0;
    unsigned actualWidth = 0, actualHeight = 0;
    std::vector<std::wstring> files;  // every image at fault, to be set aside before it renders again

    bool any() const { return empty + broken + wrongSize > 0; }
    bool operator==(const ImageFaults&) const = default;
};

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
    // Every image found, to be read in its own format; and what reading them found, which leaves
    // the row not done.
    std::vector<OutputFile> files;
    ImageFaults faults;
};

// How many missing frames the results name; the rest is left to the count.
inline constexpr std::size_t MissingFramesListed = 5;

// What the results say of a row with missing frames ("缺3帧：12、15、20", "…" after the last named
// when more are missing); empty when none is.
std::wstring MissingFramesText(const RenderResult& result);
// What is wrong with a row's images, the worst first: 空文件, 损坏, 尺寸不符 (应为 the row's size,
// 实为 the first wrong one read), then the missing frames; empty when nothing is. An animation's
// counts its frames ("2帧损坏：14、15").
std::wstring ResultFaultText(const RenderResult& result);

// The results of the rows, each folder read once however many rows write into it.
// `entriesOf` answers a folder's entries, or nothing when it cannot be read.
std::vector<RenderResult> FindResults(
    std::span<const RenderJob> rows,
    const std::function<std::optional<std::vector<FolderEntry>>(const std::wstring&)>& entriesOf);

}  // namespace ravolen
