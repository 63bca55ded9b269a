#include "document/Commands.h"

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
