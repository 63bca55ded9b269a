#include "jobs/Results.h"

#include "jobs/FrameList.h"

#include <cwctype>
#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace ravolen {
namespace {

struct Found {
    int frames = 0;
    bool single = false;
    unsigned long long size = 0;
    unsigned long long modified = 0;
    const std::wstring* newest = nullptr;  // the name of the file written last, in the folder's entries

    void add(const FolderEntry& entry, bool frame) {
        frames += frame ? 1 : 0;
        single = single || !frame;
        size += entry.size;
        if (!newest || entry.modified >= modified) newest = &entry.name;
        modified = std::max(modified, entry.modified);
    }
};

// A folder's files by the output name they complete: each file under its own name, and a
// numbered frame also under its name without the frame number ("lobby0001.tga" under
// "lobby.tga"; a run of five digits could be a number of four after a digit of the name). A file
// that some row expects by its exact name (`expected`, folded) is that row's, never a frame of
// another: "plan2024.png" is no frame of "plan.png" while a row renders plan2024.png.
std::unordered_map<std::wstring, Found> IndexFolder(const std::vector<FolderEntry>& entries,
                                                    const std::unordered_set<std::wstring_view>& expected) {
    std::unordered_map<std::wstring, Found> index;
    for (const FolderEntry& entry : entries) {
        if (entry.folder) continue;
        const std::wstring name = FoldCase(entry.name);
        index[name].add(entry, false);
        if (expected.contains(name)) continue;
        const std::size_t dot = name.find_last_of(L'.');
        const std::size_t stemEnd = dot == std::wstring::npos ? name.size() : dot;
        std::size_t digits = 0;
        while (digits < stemEnd && std::iswdigit(name[stemEnd - digits - 1])) ++digits;
        for (std::size_t frame = 4; frame <= digits; ++frame) {
            index[name.substr(0, stemEnd - frame) + name.substr(stemEnd)].add(entry, true);
        }
    }
    return index;
}

// A row that lists its frames: each frame's own file, never the frames counted under the name.
// A frame's file is 3ds Max's numbering of the output `name` (folded): the frame number, four
// digits at least, before the extension.
void FindListedFrames(RenderResult& result, std::wstring_view name, const std::vector<FrameRange>& ranges,
                      const std::unordered_map<std::wstring, Found>& folder) {
    const std::size_t dot = name.find_last_of(L'.');
    const std::size_t stemEnd = dot == std::wstring_view::npos ? name.size() : dot;
    std::wstring file;  // reused: a list may name hundreds of thousands of frames
    for (const int frame : ListedFrames(ranges)) {
        const std::wstring number = std::to_wstring(frame);
        file.assign(name.substr(0, stemEnd));
        if (number.size() < 4) file.append(4 - number.size(), L'0');
        file += number;
        file += name.substr(stemEnd);
        const auto found = folder.find(file);
        if (found == folder.end() || !found->second.single) {
            if (result.firstMissing.size() < MissingFramesListed) result.firstMissing.push_back(frame);
            ++result.missingFrames;
            continue;
        }
        ++result.frames;
        result.size += found->second.size;
        if (result.image.empty() || found->second.modified >= result.modified) {
            result.image = *found->second.newest;
        }
        result.modified = std::max(result.modified, found->second.modified);
    }
    result.done = result.missingFrames == 0;
}

}  // namespace

std::wstring MissingFramesText(const RenderResult& result) {
    if (result.missingFrames == 0) return {};
    std::wstring text = L"缺" + std::to_wstring(result.missingFrames) + L"帧：";
    for (std::size_t k = 0; k < result.firstMissing.size(); ++k) {
        if (k > 0) text += L'、';
        text += std::to_wstring(result.firstMissing[k]);
    }
    if (result.missingFrames > result.firstMissing.size()) text += L'…';
    return text;
}

std::vector<RenderResult> FindResults(
    std::span<const RenderJob> rows,
    const std::function<std::optional<std::vector<FolderEntry>>(const std::wstring&)>& entriesOf) {
    // Each row's name folded once, and each folder once a run of rows that share it: thousands of
    // rows write into a few folders, and every copy of a text costs more than comparing it.
    std::vector<std::wstring> nameKeys(rows.size());
    std::vector<std::size_t> folderOf(rows.size());
    std::map<std::wstring, std::size_t> folderIndex;  // by folded folder
    for (std::size_t i = 0; i < rows.size(); ++i) {
        nameKeys[i] = FoldCase(rows[i].outputName);
        if (i > 0 && rows[i].outputFolder == rows[i - 1].outputFolder) {
            folderOf[i] = folderOf[i - 1];
            continue;
        }
        folderOf[i] = folderIndex.try_emplace(FoldCase(rows[i].outputFolder), folderIndex.size()).first->second;
    }
    std::vector<std::unordered_set<std::wstring_view>> expected(folderIndex.size());  // folded names
    for (std::size_t i = 0; i < rows.size(); ++i) expected[folderOf[i]].insert(nameKeys[i]);
    std::vector<std::optional<std::unordered_map<std::wstring, Found>>> folders(folderIndex.size());
    std::vector<std::vector<FolderEntry>> entries(folderIndex.size());  // the names the index points at
    std::vector<RenderResult> results(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RenderJob& job = rows[i];
        RenderResult& result = results[i];
        result.output.reserve(job.outputFolder.size() + 1 + job.outputName.size());
        result.output.append(job.outputFolder).append(1, L'\\').append(job.outputName);
        auto& folder = folders[folderOf[i]];
        if (!folder) {  // read once, when its first row comes
            entries[folderOf[i]] = entriesOf(job.outputFolder).value_or(std::vector<FolderEntry>{});
            folder = IndexFolder(entries[folderOf[i]], expected[folderOf[i]]);
        }
        const auto inFolder = [&](const std::wstring& name) {
            return name.empty() ? name : job.outputFolder + L"\\" + name;
        };
        if (job.frames != DefaultMarker) {
            if (const auto ranges = ParseFrameList(job.frames)) {
                FindListedFrames(result, nameKeys[i], *ranges, *folder);
                result.image = inFolder(result.image);
                continue;
            }
        }
        if (const auto found = folder->find(nameKeys[i]); found != folder->end()) {
            result.done = true;
            result.frames = found->second.single ? 0 : found->second.frames;
            result.size = found->second.size;
            result.modified = found->second.modified;
            result.image = found->second.single ? result.output : inFolder(*found->second.newest);
        }
    }
    return results;
}

}  // namespace ravolen
