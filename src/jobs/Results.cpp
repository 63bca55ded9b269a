#include "jobs/Results.h"

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

    void add(const FolderEntry& entry, bool frame) {
        frames += frame ? 1 : 0;
        single = single || !frame;
        size += entry.size;
        modified = std::max(modified, entry.modified);
    }
};

// A folder's files by the output name they complete: each file under its own name, and a
// numbered frame also under its name without the frame number ("lobby0001.tga" under
// "lobby.tga"; a run of five digits could be a number of four after a digit of the name). A file
// that some row expects by its exact name (`expected`, folded) is that row's, never a frame of
// another: "plan2024.png" is no frame of "plan.png" while a row renders plan2024.png.
std::unordered_map<std::wstring, Found> IndexFolder(const std::vector<FolderEntry>& entries,
                                                    const std::unordered_set<std::wstring>& expected) {
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

}  // namespace

std::vector<RenderResult> FindResults(
    std::span<const RenderJob> rows,
    const std::function<std::optional<std::vector<FolderEntry>>(const std::wstring&)>& entriesOf) {
    std::map<std::wstring, std::unordered_set<std::wstring>> expected;  // by folder, all folded
    for (const RenderJob& job : rows) {
        expected[FoldCase(job.outputFolder)].insert(FoldCase(job.outputName));
    }
    std::map<std::wstring, std::unordered_map<std::wstring, Found>> folders;  // read once each
    std::vector<RenderResult> results;
    results.reserve(rows.size());
    for (const RenderJob& job : rows) {
        RenderResult result;
        result.output = job.outputFolder + L"\\" + job.outputName;
        const std::wstring key = FoldCase(job.outputFolder);
        auto folder = folders.find(key);
        if (folder == folders.end()) {
            folder = folders.emplace(key, IndexFolder(entriesOf(job.outputFolder).value_or(
                                                          std::vector<FolderEntry>{}),
                                                      expected[key])).first;
        }
        if (const auto found = folder->second.find(FoldCase(job.outputName));
            found != folder->second.end()) {
            result.done = true;
            result.frames = found->second.single ? 0 : found->second.frames;
            result.size = found->second.size;
            result.modified = found->second.modified;
        }
        results.push_back(std::move(result));
    }
    return results;
}

}  // namespace ravolen
