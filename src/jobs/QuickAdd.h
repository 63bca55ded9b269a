#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "jobs/JobTable.h"

namespace ravolen {

// The rows quick add appends for an open-file dialog's answer (one full path, or the folder and
// the names), in the dialog's order: camera and sizes "默认", the unified output folder, and the
// scene's base name followed by the unified image format.
std::vector<RenderJob> QuickAddJobs(const std::vector<std::wstring>& answer,
                                    std::wstring_view outputFolder, std::wstring_view format);
// The same rows one at a time, for a table that takes them as they come: ten thousand of them
// need not stand in memory beside it.
std::size_t QuickAddCount(const std::vector<std::wstring>& answer);
RenderJob QuickAddJob(const std::vector<std::wstring>& answer, std::size_t index,
                      std::wstring_view outputFolder, std::wstring_view format);

// What a drop of files and folders adds: the dropped scenes in the order given, each dropped
// folder's own scenes (not its subfolders') sorted as Explorer sorts names, and how many dropped
// files were skipped for not being scenes.
struct DroppedScenes {
    std::vector<std::wstring> scenes;
    int skipped = 0;
};

// A scene file by its extension, in any letter case.
bool IsSceneFile(std::wstring_view name);
// Explorer's order of names: letter case aside, and runs of digits compared as numbers.
bool NaturalLess(std::wstring_view a, std::wstring_view b);

// `entriesOf` answers a folder's entries, or nothing for a path that is not a folder.
template <typename EntriesOf>
DroppedScenes SortOutDropped(const std::vector<std::wstring>& paths, EntriesOf entriesOf) {
    DroppedScenes dropped;
    for (const std::wstring& path : paths) {
        if (const auto entries = entriesOf(path)) {
            std::vector<std::wstring> names;
            for (const auto& entry : *entries) {
                if (!entry.folder && IsSceneFile(entry.name)) names.push_back(entry.name);
            }
            std::sort(names.begin(), names.end(), NaturalLess);
            const std::wstring prefix = path.ends_with(L'\\') ? path : path + L"\\";
            for (const std::wstring& name : names) dropped.scenes.push_back(prefix + name);
        } else if (IsSceneFile(path)) {
            dropped.scenes.push_back(path);
        } else {
            ++dropped.skipped;
        }
    }
    return dropped;
}

}  // namespace ravolen
