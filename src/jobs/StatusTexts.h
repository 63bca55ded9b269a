#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ravolen {

// The two status labels under the job table.
struct StatusTexts {
    std::wstring count;  // "一共 3个文件"
    std::wstring scene;  // the selected scene's file name, or empty

    bool operator==(const StatusTexts&) const = default;
};

// `selectedScene` is column 1 of the selected row, or nothing when no row is selected.
StatusTexts ComposeStatus(int rowCount, std::optional<std::wstring_view> selectedScene);

}  // namespace ravolen
