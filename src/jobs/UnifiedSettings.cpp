#include "jobs/UnifiedSettings.h"

#include <utility>

namespace ravolen {

NameParts SplitOutputName(std::wstring_view name) {
    const std::size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring_view::npos) return {std::wstring(name), {}};
    return {std::wstring(name.substr(0, dot)), std::wstring(name.substr(dot))};
}

std::wstring ShownCell(std::wstring own, int column, const UnifiedChoice& unified) {
    if (column == JobColumnOutputFolder && unified.folderTicked) return unified.folder;
    if (column == JobColumnOutputName && unified.formatTicked) return SplitOutputName(own).stem + unified.format;
    return own;
}

RenderJob ShownJob(RenderJob own, const UnifiedChoice& unified) {
    if (unified.folderTicked) own.outputFolder = unified.folder;
    if (unified.formatTicked) own.outputName = SplitOutputName(own.outputName).stem + unified.format;
    return own;
}

std::wstring OwnName(std::wstring_view shown, std::wstring_view applied,
                     const std::optional<std::wstring>& extension) {
    std::wstring stem = shown.ends_with(applied) ? std::wstring(shown.substr(0, shown.size() - applied.size()))
                                                 : SplitOutputName(shown).stem;
    // A saved extension is empty only for a name without a dot, whose stem has none either; a row
    // without one ends in a dot, so the stem reads whole however many dots it holds.
    if (extension) return stem + *extension;
    return stem + (applied.find(L'.') != std::wstring_view::npos ? std::wstring(applied) : std::wstring(L"."));
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
