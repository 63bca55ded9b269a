#include "document/Commands.h"

#include <algorithm>

#include "jobs/JobTable.h"

namespace ravolen {
namespace {

// Selected rows move up (or to the top) unless they already stand together at the top; down
// likewise at the end.
bool CanMove(Command command, std::span<const std::size_t> selection, std::size_t count) {
    if (selection.empty()) return false;
    if (command == Command::MoveUp || command == Command::MoveFirst) {
        return selection.back() != selection.size() - 1;
    }
    return selection.front() != count - selection.size();
}

}  // namespace

std::vector<std::size_t> MovedPositions(const std::vector<std::size_t>& from, std::size_t count, RowMove move,
                                        std::size_t before) {
    const std::size_t moved = from.size();
    std::vector<std::size_t> to(moved);
    switch (move) {
        case RowMove::Up:
            for (std::size_t k = 0; k < moved; ++k) {
                const std::size_t up = from[k] > 0 ? from[k] - 1 : 0;
                to[k] = k > 0 ? std::max(up, to[k - 1] + 1) : up;
            }
            break;
        case RowMove::Down:
            for (std::size_t k = moved; k-- > 0;) {
                const std::size_t down = std::min(from[k] + 1, count - 1);
                to[k] = k + 1 < moved ? std::min(down, to[k + 1] - 1) : down;
            }
            break;
        case RowMove::First:
        case RowMove::Last:
        case RowMove::Before: {
            std::size_t first = 0;
            if (move == RowMove::Last) first = count - moved;
            if (move == RowMove::Before) {
                const auto above = static_cast<std::size_t>(
                    std::lower_bound(from.begin(), from.end(), std::min(before, count)) - from.begin());
                first = std::min(before, count) - above;
            }
            for (std::size_t k = 0; k < moved; ++k) to[k] = first + k;
            break;
        }
    }
    return to;
}

CommandState StateOf(Command command, const Document& document, const CommandFacts& facts) {
    const DocumentSettings& settings = document.settings;
    switch (command) {
        case Command::Render: return {.enabled = !document.latch.latched()};
        case Command::Undo: return {.enabled = facts.canUndo};
        case Command::Redo: return {.enabled = facts.canRedo};
        case Command::Paste: return {.enabled = facts.clipboardHoldsContent};
        case Command::SelectAll: return {.enabled = document.rows.count() > 0};
        case Command::MoveUp:
        case Command::MoveDown:
        case Command::MoveFirst:
        case Command::MoveLast: return {.enabled = CanMove(command, facts.selection, document.rows.count())};
        case Command::ShowScene:
        case Command::OpenOutputFolder: {
            const int column = command == Command::ShowScene ? JobColumnScene : JobColumnOutputFolder;
            return {.enabled = facts.currentRow && *facts.currentRow < document.rows.count() &&
                               !document.rows.cell(*facts.currentRow, column).empty()};
        }
        case Command::OptionalColumns: return {.checked = settings.optionalColumns};
        case Command::RenderHere: return {.checked = settings.way == RenderWay::Local};
        case Command::RenderOnDeadline: return {.checked = settings.way == RenderWay::Deadline};
        case Command::RenderOnBackburner: return {.checked = settings.way == RenderWay::Backburner};
        case Command::Cut:
        case Command::Copy:
        case Command::Delete:
        case Command::Duplicate:
        case Command::EditJob:
        case Command::TickSelected:
        case Command::UntickSelected: break;  // on the selected rows
    }
    return {.enabled = !facts.selection.empty()};
}

}  // namespace ravolen
