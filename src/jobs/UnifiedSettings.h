#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"

namespace ravolen {

// The unified output folder and image format: the two boxes' texts and their check boxes. A row
// keeps its own folder and name; while a box is ticked, every reader of the rows (the table, the
// script, job lists, the clipboard, the farm files, the session) sees the row under it.
struct UnifiedChoice {
    std::wstring folder;
    std::wstring format = L".tga";
    bool folderTicked = false;
    bool formatTicked = false;

    bool operator==(const UnifiedChoice&) const = default;
};

// An output file name cut before its last "." : the stem, and the extension with its dot. A name
// without "." is all stem, with an empty extension.
struct NameParts {
    std::wstring stem;
    std::wstring extension;
};
NameParts SplitOutputName(std::wstring_view name);

// A row's own cell as a reader sees it: the folder replaced while the folder is ticked, the name's
// extension replaced by the format text while the format is ticked. The own name is never
// rewritten, so no step of typing a format loses a character of it.
std::wstring ShownCell(std::wstring own, int column, const UnifiedChoice& unified);
RenderJob ShownJob(RenderJob own, const UnifiedChoice& unified);

// A name as a session saved it while the format `applied` was ticked, made a row's own again: its
// stem followed by its own extension where it kept one, or else by what keeps the stem whole.
std::wstring OwnName(std::wstring_view shown, std::wstring_view applied,
                     const std::optional<std::wstring>& extension);

// The rows' own saved values as one list, entry k for row k + 1, as far as the last row that has
// one; a row before it without one gets the value that unticking turns into what it shows now
// (`folders` and `names` as shown, `applied` the format they carry).
using SavedEntries = std::vector<std::optional<std::wstring>>;
std::vector<std::wstring> SavedFolderList(const SavedEntries& saved,
                                          const std::vector<std::wstring>& folders);
std::vector<std::wstring> SavedExtensionList(const SavedEntries& saved,
                                             const std::vector<std::wstring>& names,
                                             std::wstring_view applied);

}  // namespace ravolen
