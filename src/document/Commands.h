#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "document/Document.h"

namespace ravolen {

// The main window's commands whose availability or check mark can change. The rest (the files,
// the settings' buttons, 渲染结果, 取消关机, 取消渲染) are always there.
enum class Command {
    Render,
    Undo,
    Redo,
    Cut,
    Copy,
    Paste,
    Delete,
    SelectAll,
    Duplicate,
    MoveUp,
    MoveDown,
    MoveFirst,
    MoveLast,
    EditJob,
    TickSelected,
    UntickSelected,
    ShowScene,
    OpenOutputFolder,
    OptionalColumns,
    RenderHere,
    RenderOnDeadline,
    RenderOnBackburner,
};

// What the window knows besides the document: the table's selection and steps, the clipboard.
struct CommandFacts {
    std::span<const std::size_t> selection = {};  // ascending positions
    std::optional<std::size_t> currentRow = {};  // the keyboard's row when selected, else the first
    bool canUndo = false;
    bool canRedo = false;
    bool clipboardHoldsContent = false;
};

struct CommandState {
    bool enabled = true;
    bool checked = false;

    bool operator==(const CommandState&) const = default;
};

// Where rows at ascending positions `from` of a table of `count` rows go when they move one place up
// or down (a row blocked by the end or by a moved row before it stays), to the ends, or to stand
// before the row at `before` (`count`: after the last), in their order.
enum class RowMove { Up, Down, First, Last, Before };
std::vector<std::size_t> MovedPositions(const std::vector<std::size_t>& from, std::size_t count, RowMove move,
                                        std::size_t before = 0);

// The one answer the buttons, the menus, the context menu and the table's keys all ask.
CommandState StateOf(Command command, const Document& document, const CommandFacts& facts);

}  // namespace ravolen
