#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ravolen {

// A row of the table keeps its cells as their job list line, so that saving the table need not
// read them again. A change of a whole column (typing in a ticked unified box) is noted beside
// the kept lines instead of dropping them; the line is made anew from both away from the window.

// One column's cells changed after a row's line was made.
struct CellChange {
    int column;  // from 1
    std::optional<std::wstring> value;  // every row's new text; else:
    std::function<std::wstring(const std::wstring&)> change;  // each row's text changed (pure)
};

// The changes of a row's cells its line does not hold yet, in the order they were made; shared
// by every row that had the same changes before.
struct PendingChanges {
    std::vector<CellChange> changes;
};
using SharedPendingChanges = std::shared_ptr<const PendingChanges>;

// The line with the pending changes made to it (the line itself when there are none).
std::shared_ptr<const std::string> LineWithChanges(std::shared_ptr<const std::string> line,
                                                   const SharedPendingChanges& pending);

}  // namespace ravolen
