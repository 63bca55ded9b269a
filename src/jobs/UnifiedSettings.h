#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravolen {

// The unified output folder and image format over one column of the job table: `folders` and
// `names` hold the column's cells from row 1 on and are rewritten in place. Entry k of a saved
// list belongs to row k + 1; rows added after a tick have none.

// The unified folder ticked: saves every row's output folder, then gives every row `unified`.
void TickUnifiedFolder(std::vector<std::wstring>& folders, std::wstring_view unified,
                       std::vector<std::wstring>& savedFolders);
// The unified folder unticked: each row with a saved folder gets it back; the list stays as it is.
void UntickUnifiedFolder(std::vector<std::wstring>& folders,
                         const std::vector<std::wstring>& savedFolders);

// An output file name cut before its last "." : the stem, and the extension with its dot. A name
// without "." is all stem, with an empty extension.
struct NameParts {
    std::wstring stem;
    std::wstring extension;
};
NameParts SplitOutputName(std::wstring_view name);

// The unified image format puts a name together as its stem followed by the format text, and
// takes exactly that text off again, so no step of typing loses a character of a name:
// `applied` is the format text the names were last given.

// The unified format ticked: saves every row's extension, then gives every row its stem followed
// by `format`.
void TickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view format,
                       std::vector<std::wstring>& savedExtensions);
// The unified format box changed while its box is ticked: every row gets its stem followed by `format`.
void ChangeUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         std::wstring_view format);
// The unified format unticked: each row with a saved extension gets its stem followed by that
// extension back.
void UntickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         const std::vector<std::wstring>& savedExtensions);
// One name that was given `applied`, given `format` instead: its stem followed by `format`. A
// name edited since (it does not end in `applied`) loses its own extension.
std::wstring NameWithFormat(std::wstring_view name, std::wstring_view applied, std::wstring_view format);

// The same where every row keeps its own saved value or none, entry k for row k + 1: a row
// without one keeps what it shows.
using SavedEntries = std::vector<std::optional<std::wstring>>;
void UntickUnifiedFolder(std::vector<std::wstring>& folders, const SavedEntries& saved);
void UntickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         const SavedEntries& saved);
// The rows' own saved values as one list, entry k for row k + 1, as far as the last row that has
// one; a row before it without one gets the value that unticking turns into what it shows now.
std::vector<std::wstring> SavedFolderList(const SavedEntries& saved,
                                          const std::vector<std::wstring>& folders);
std::vector<std::wstring> SavedExtensionList(const SavedEntries& saved,
                                             const std::vector<std::wstring>& names,
                                             std::wstring_view applied);

}  // namespace ravolen
