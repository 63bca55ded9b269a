#include "jobs/Results.h"

#include "jobs/FrameList.h"

#include <climits>
#include <cwctype>
#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace ravolen {
namespace {

struct Found {
    const FolderEntry* own = nullptr;  // the file under the exact name
    std::vector<std::pair<const FolderEntry*, int>> frameFiles;  // numbered frames, with their numbers
    unsigned long long size = 0;
    unsigned long long modified = 0;
    const std::wstring* newest = nullptr;  // the name of the file written last, in the folder's entries

    void add(const FolderEntry& entry, std::optional<int> frame) {
        if (frame) {
            frameFiles.emplace_back(&entry, *frame);
        } else {
            own = &entry;
        }
        size += entry.size;
        if (!newest || entry.modified >= modified) newest = &entry.name;
        modified = std::max(modified, entry.modified);
    }
};

// The frames named, and "…" after the last when more are counted.
std::wstring FramesNamed(const std::vector<int>& frames, std::size_t count) {
    std::wstring text;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (k > 0) text += L'、';
        text += std::to_wstring(frames[k]);
    }
    if (count > frames.size()) text += L'…';
    return text;
}

// The frame number of `digits` digits (a frame beyond any 3ds Max renders reads as the largest).
int FrameNumber(std::wstring_view digits) {
    long long number = 0;
    for (const wchar_t digit : digits) number = std::min<long long>(number * 10 + (digit - L'0'), INT_MAX);
    return static_cast<int>(number);
}

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
        index[name].add(entry, std::nullopt);
        if (expected.contains(name)) continue;
        const std::size_t dot = name.find_last_of(L'.');
        const std::size_t stemEnd = dot == std::wstring::npos ? name.size() : dot;
        std::size_t digits = 0;
        while (digits < stemEnd && std::iswdigit(name[stemEnd - digits - 1])) ++digits;
        for (std::size_t frame = 4; frame <= digits; ++frame) {
            index[name.substr(0, stemEnd - frame) + name.substr(stemEnd)].add(
                entry, FrameNumber(std::wstring_view(name).substr(stemEnd - frame, frame)));
        }
    }
    return index;
}

// A row that lists its frames: each frame's own file, never the frames counted under the name.
// A frame's file is 3ds Max's numbering of the output `name` (folded): the frame number, four
// digits at least, before the extension.
void FindListedFrames(RenderResult& result, const std::wstring& outputFolder, std::wstring_view name,
                      const std::vector<FrameRange>& ranges, const std::unordered_map<std::wstring, Found>& folder) {
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
        if (found == folder.end() || !found->second.own) {
            if (result.firstMissing.size() < MissingFramesListed) result.firstMissing.push_back(frame);
            ++result.missingFrames;
            continue;
        }
        ++result.frames;
        const FolderEntry& own = *found->second.own;
        result.files.push_back({outputFolder + L"\\" + own.name, frame, own.size, own.modified});
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
    return L"缺" + std::to_wstring(result.missingFrames) + L"帧：" + FramesNamed(result.firstMissing, result.missingFrames);
}

std::wstring ResultFaultText(const RenderResult& result) {
    const ImageFaults& faults = result.faults;
    const bool frames = !result.files.empty() && result.files.front().frame >= 0;
    const auto counted = [&](std::size_t count, const wchar_t* what, const std::vector<int>& first) {
        return frames ? std::to_wstring(count) + L"帧" + what + L"：" + FramesNamed(first, count) : std::wstring(what);
    };
    if (faults.empty > 0) return counted(faults.empty, L"空文件", faults.firstEmpty);
    if (faults.broken > 0) return counted(faults.broken, L"损坏", faults.firstBroken);
    if (faults.wrongSize > 0) {
        return (frames ? std::to_wstring(faults.wrongSize) + L"帧" : std::wstring()) + L"尺寸不符（应为" +
               std::to_wstring(faults.expectedWidth) + L"×" + std::to_wstring(faults.expectedHeight) + L"，实为" +
               std::to_wstring(faults.actualWidth) + L"×" + std::to_wstring(faults.actualHeight) + L"）";
    }
    return MissingFramesText(result);
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
                FindListedFrames(result, job.outputFolder, nameKeys[i], *ranges, *folder);
                result.image = inFolder(result.image);
                continue;
            }
        }
        if (const auto found = folder->find(nameKeys[i]); found != folder->end()) {
            const Found& files = found->second;
            result.done = true;
            result.frames = files.own ? 0 : static_cast<int>(files.frameFiles.size());
            result.size = files.size;
            result.modified = files.modified;
            result.image = files.own ? result.output : inFolder(*files.newest);
            if (files.own) {
                result.files.push_back({result.output, -1, files.own->size, files.own->modified});
            } else {
                for (const auto& [entry, frame] : files.frameFiles) {
                    result.files.push_back({inFolder(entry->name), frame, entry->size, entry->modified});
                }
            }
        }
    }
    return results;
}

}  // namespace ravolen
