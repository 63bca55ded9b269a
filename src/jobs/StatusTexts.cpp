#include "jobs/StatusTexts.h"

#include "jobs/JobTable.h"

namespace ravolen {

StatusTexts ComposeStatus(int rowCount, std::optional<std::wstring_view> selectedScene) {
    StatusTexts texts;
    // A count is printed with a sign position, blank for the non-negative ones.
    texts.count = L"一共" + std::wstring(rowCount < 0 ? L"" : L" ") + std::to_wstring(rowCount) +
                  L"个文件";
    if (rowCount >= 1 && selectedScene) texts.scene = FileNameOf(*selectedScene);
    return texts;
}

}  // namespace ravolen
