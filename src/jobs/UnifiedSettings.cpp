#include "jobs/UnifiedSettings.h"

#include <algorithm>

namespace ravolen {
namespace {

// The stem of a name that was given `applied`; a name edited since loses its own extension.
std::wstring StemUnder(std::wstring_view name, std::wstring_view applied) {
    if (name.ends_with(applied)) return std::wstring(name.substr(0, name.size() - applied.size()));
    return SplitOutputName(name).stem;
}

}  // namespace

void TickUnifiedFolder(std::vector<std::wstring>& folders, std::wstring_view unified,
                       std::vector<std::wstring>& savedFolders) {
    savedFolders = folders;
    std::fill(folders.begin(), folders.end(), std::wstring(unified));
}

void UntickUnifiedFolder(std::vector<std::wstring>& folders,
                         const std::vector<std::wstring>& savedFolders) {
    UntickUnifiedFolder(folders, SavedEntries(savedFolders.begin(), savedFolders.end()));
}

void UntickUnifiedFolder(std::vector<std::wstring>& folders, const SavedEntries& saved) {
    const std::size_t restored = std::min(folders.size(), saved.size());
    for (std::size_t k = 0; k < restored; ++k) {
        if (saved[k]) folders[k] = *saved[k];
    }
}

NameParts SplitOutputName(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring_view::npos) return {std::wstring(name), {}};
    return {std::wstring(name.substr(0, dot)), std::wstring(name.substr(dot))};
}

void TickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view format,
                       std::vector<std::wstring>& savedExtensions) {
    savedExtensions.clear();
    savedExtensions.reserve(names.size());
    for (std::wstring& name : names) {
        NameParts parts = SplitOutputName(name);
        savedExtensions.push_back(std::move(parts.extension));
        name = std::move(parts.stem) + std::wstring(format);
    }
}

void ChangeUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         std::wstring_view format) {
    for (std::wstring& name : names) name = NameWithFormat(name, applied, format);
}

std::wstring NameWithFormat(std::wstring_view name, std::wstring_view applied, std::wstring_view format) {
    return StemUnder(name, applied).append(format);
}

void UntickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         const std::vector<std::wstring>& savedExtensions) {
    UntickUnifiedFormat(names, applied, SavedEntries(savedExtensions.begin(), savedExtensions.end()));
}

void UntickUnifiedFormat(std::vector<std::wstring>& names, std::wstring_view applied,
                         const SavedEntries& saved) {
    const std::size_t restored = std::min(names.size(), saved.size());
    for (std::size_t k = 0; k < restored; ++k) {
        if (saved[k]) names[k] = NameWithFormat(names[k], applied, *saved[k]);
    }
}

namespace {

// As far as the last row with a saved value; `own` gives the others theirs.
template <typename Own>
std::vector<std::wstring> SavedList(const SavedEntries& saved, Own own) {
    std::size_t length = saved.size();
    while (length > 0 && !saved[length - 1]) --length;
    std::vector<std::wstring> list;
    list.reserve(length);
    for (std::size_t k = 0; k < length; ++k) list.push_back(saved[k] ? *saved[k] : own(k));
    return list;
}

}  // namespace

std::vector<std::wstring> SavedFolderList(const SavedEntries& saved,
                                          const std::vector<std::wstring>& folders) {
    return SavedList(saved, [&](std::size_t k) { return k < folders.size() ? folders[k] : std::wstring(); });
}

std::vector<std::wstring> SavedExtensionList(const SavedEntries& saved,
                                             const std::vector<std::wstring>& names,
                                             std::wstring_view applied) {
    return SavedList(saved, [&](std::size_t k) {
        if (k >= names.size()) return std::wstring();
        // Unticking puts the name together as the stem under `applied` and the saved extension.
        if (names[k].ends_with(applied)) return std::wstring(applied);
        return SplitOutputName(names[k]).extension;
    });
}

}  // namespace ravolen
