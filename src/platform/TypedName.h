#pragma once

#include <string>
#include <string_view>

namespace ravolen {

// The save dialog's answer with the name as the user typed it: a dialog adds an extension of its
// own to some names (Windows the default extension to one whose extension the system does not
// know, making j.csv.xlsx; Wine the chosen type's to any name without exactly that one). The
// answer's folder stands, its file name becomes the typed one wherever the answer's is the typed
// one with an extension after it. `typed` is what the name box held (a name, or a path, maybe
// quoted); where the two do not match so, the answer stands as it is.
inline std::wstring PathAsTyped(std::wstring_view answered, std::wstring_view typed) {
    const auto nameStart = [](std::wstring_view path) {
        const std::size_t separator = path.find_last_of(L"\\/");
        return separator == std::wstring_view::npos ? 0 : separator + 1;
    };
    while (!typed.empty() && (typed.back() == L'"' || typed.back() == L' ')) typed.remove_suffix(1);
    while (!typed.empty() && (typed.front() == L'"' || typed.front() == L' ')) typed.remove_prefix(1);
    typed.remove_prefix(nameStart(typed));
    const std::size_t start = nameStart(answered);
    const std::wstring_view name = answered.substr(start);
    if (typed.empty() || name.size() <= typed.size() || name.substr(0, typed.size()) != typed) {
        return std::wstring(answered);
    }
    const std::wstring_view added = name.substr(typed.size());
    if (added.size() < 2 || added.front() != L'.' || added.find(L'.', 1) != std::wstring_view::npos) {
        return std::wstring(answered);
    }
    return std::wstring(answered.substr(0, start)) + std::wstring(typed);
}

}  // namespace ravolen
