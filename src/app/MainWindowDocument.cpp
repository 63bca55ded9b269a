#include "app/MainWindow.h"

#include <optional>
#include <string>
#include <vector>

#include "app/MainWindowIds.h"
#include "jobs/StatusTexts.h"
#include "win/Clipboard.h"
#include "win/Controls.h"

// The main window's document: what the controls write into it, and how it is shown.

namespace ravolen {

using namespace mainwindow;

bool MainWindow::controlChanged(int id, int code) {
    DocumentSettings& settings = document_.settings;
    if (code == EN_CHANGE && id == IdInstallFolderBox) {
        settings.installFolder = win::WindowText(item(id));  // not a step of 撤销
        return true;
    }
    const bool box = code == EN_CHANGE && (id == IdUnifiedFolderBox || id == IdUnifiedFormatBox);
    const bool check = code == BN_CLICKED && (id == IdUnifiedFolderCheck || id == IdUnifiedFormatCheck);
    if (box || check) {
        UnifiedChoice unified = document_.rows.unified();
        switch (id) {
            case IdUnifiedFolderBox: unified.folder = win::WindowText(item(id)); break;
            case IdUnifiedFormatBox: unified.format = win::WindowText(item(id)); break;
            case IdUnifiedFolderCheck: unified.folderTicked = win::IsChecked(item(id)); break;
            default: unified.formatTicked = win::IsChecked(item(id)); break;
        }
        // 撤销 puts a box back after the rows: its change notice then brings nothing new.
        if (unified == document_.rows.unified()) return true;
        // Typing on in one box stays one step; typing in an unticked box changes no row and is none.
        const History::Join join = id == IdUnifiedFolderBox   ? History::Join::UnifiedFolder
                                   : id == IdUnifiedFormatBox ? History::Join::UnifiedFormat
                                                              : History::Join::None;
        table_.change([&](JobRows& rows) { rows.unify(std::move(unified)); }, join);
        return true;
    }
    if (code == BN_CLICKED && id == IdShutdownCheck) {
        settings.shutdown = win::IsChecked(item(id));  // not a step either
        return true;
    }
    return false;
}

// The settings into their controls, where a control does not already show them (its change notice
// then finds the document as it is).
void MainWindow::showSettings() {
    const DocumentSettings& settings = document_.settings;
    const UnifiedChoice& unified = document_.rows.unified();
    win::UpdateText(item(IdInstallFolderBox), settings.installFolder);
    win::UpdateText(item(IdUnifiedFolderBox), unified.folder);
    win::UpdateText(item(IdUnifiedFormatBox), unified.format);
    win::SetChecked(item(IdUnifiedFolderCheck), unified.folderTicked);
    win::SetChecked(item(IdUnifiedFormatCheck), unified.formatTicked);
    win::SetChecked(item(IdShutdownCheck), settings.shutdown);
    if (settings.optionalColumns != table_.optionalColumnsShown()) table_.showOptionalColumns(settings.optionalColumns);
    showCommands();
}

// What the window knows besides the document; the clipboard is asked only where 粘贴 is shown.
CommandFacts MainWindow::commandFacts(bool clipboard) const {
    return {.selection = table_.selection().positions(),
            .currentRow = table_.selection().current(),
            .canUndo = history_.canUndo(),
            .canRedo = history_.canRedo(),
            .clipboardHoldsContent = clipboard && win::ClipboardHoldsContent()};
}

CommandState MainWindow::commandState(Command command) const {
    return StateOf(command, document_, commandFacts(command == Command::Paste));
}

// A menu's items as it opens, or after a change the 渲  染 button and the menu bar's items that
// show without opening (撤销 and 重做 greyed, the check marks); each from the one answer.
void MainWindow::showCommands(HMENU menu) {
    const auto isWay = [](Command command) {
        return command == Command::RenderHere || command == Command::RenderOnDeadline ||
               command == Command::RenderOnBackburner;
    };
    const CommandFacts facts = commandFacts(menu != nullptr);
    const HMENU in = menu ? menu : GetMenu(hwnd());
    for (const CommandItem& entry : CommandItems) {
        const Command command = entry.command;
        if (command == Command::Render) {
            if (menu) continue;
            const HWND button = item(entry.id);
            const bool enabled = StateOf(command, document_, facts).enabled;
            if (enabled != (IsWindowEnabled(button) != FALSE)) {
                if (enabled) EnableWindow(button, TRUE);
                else win::DisableControl(button);  // the keyboard goes on from the next control
            }
            continue;
        }
        const bool live = command == Command::Undo || command == Command::Redo ||
                          command == Command::OptionalColumns || isWay(command);
        if (!menu && !live) continue;  // the rest are shown as their menu opens
        if (GetMenuState(in, static_cast<UINT>(entry.id), MF_BYCOMMAND) == static_cast<UINT>(-1)) continue;
        const CommandState state = StateOf(command, document_, facts);
        EnableMenuItem(in, static_cast<UINT>(entry.id), MF_BYCOMMAND | (state.enabled ? MF_ENABLED : MF_GRAYED));
        if (isWay(command)) {
            if (state.checked) {
                CheckMenuRadioItem(in, IdMenuLocal, IdMenuBackburner, static_cast<UINT>(entry.id), MF_BYCOMMAND);
            }
        } else if (command == Command::OptionalColumns) {
            CheckMenuItem(in, static_cast<UINT>(entry.id), MF_BYCOMMAND | (state.checked ? MF_CHECKED : MF_UNCHECKED));
        }
    }
}

// The rows or the selection changed: the labels and commands show it once the change is done,
// however many notices it made.
void MainWindow::statusDue() {
    if (statusDue_ || !hwnd()) return;
    statusDue_ = PostMessageW(hwnd(), WmShowStatus, 0, 0) != FALSE;
    if (!statusDue_) showStatus();
}

// A caption is only rewritten when it changed, so the labels do not flicker.
void MainWindow::showStatus() {
    const int count = table_.count();
    const int selected = count >= 1 ? table_.selection().firstRow() : 0;
    std::optional<std::wstring> scene;
    if (selected > 0) scene = table_.shown().cell(static_cast<std::size_t>(selected - 1), JobColumnScene);
    StatusTexts texts = ComposeStatus(count, scene);
    // The labels as last written here: reading them back costs two messages each.
    if (shownStatus_ && *shownStatus_ == texts) return;
    win::UpdateText(item(IdJobCountLabel), texts.count);
    win::UpdateText(item(IdSceneLabel), texts.scene);
    shownStatus_ = std::move(texts);
}

void MainWindow::stepBack(bool redo) {
    table_.commitEdit();  // a step of its own, undone first
    if (redo ? history_.redo() : history_.undo()) showSettings();
}

void MainWindow::addJob(const RenderJob& job) {
    table_.change([&](JobRows& rows) { rows.append(JobRow{job, false, nullptr, 0}); });
}

// The job editor's OK, on the row it was opened on wherever it stands now.
void MainWindow::replaceJob(RowId id, const RenderJob& job) {
    const std::optional<std::size_t> position = table_.rows().find(id, table_.selection().current().value_or(0));
    if (!position) {
        addJob(job);  // the row went while it was edited: the job is not lost
        selectLastJob();
        return;
    }
    const auto cells = JobCells(job);
    table_.change([&](JobRows& rows) {
        for (int column = 1; column <= JobColumnCount; ++column) {
            rows.setCell(*position, column, cells[static_cast<std::size_t>(column - 1)]);
        }
    });
}

void MainWindow::selectLastJob() {
    table_.selection().selectLast();
    SetFocus(item(IdJobTable));
}

std::vector<RenderJob> MainWindow::jobOutputs() { return table_.rows().jobs(); }

void MainWindow::tickJobs(const std::vector<bool>& ticked) { table_.rows().setTicks(ticked); }

// From the results: the artist is taken to the row, in front, with nothing else selected.
void MainWindow::selectJob(std::size_t position) {
    if (position >= table_.shown().count()) return;
    table_.selection().select({position});
    SetForegroundWindow(hwnd());
    SetFocus(item(IdJobTable));
}

}  // namespace ravolen
