#include "app/MainWindow.h"

#include <functional>
#include <optional>
#include <utility>
#include <variant>
#include <string>
#include <vector>

#include "app/JobDialog.h"
#include "app/MainWindowIds.h"
#include "app/OutputFolder.h"
#include "jobs/JobListFile.h"
#include "jobs/StatusTexts.h"
#include "jobs/TabText.h"
#include "win/Clipboard.h"
#include "win/Controls.h"

// The main window's job table commands: the job editor, "-", 清空, 编辑's commands on rows and
// the table's context menu, the unified boxes, and the labels that follow the table.

namespace ravolen {

using namespace mainwindow;

// "+": the job editor dialog, created on first use and after its close box destroyed it.
void MainWindow::onAddJobClicked() {
    if (!jobDialog()) {
        win::Window::Dispose(jobDialog_);
        auto dialog = std::make_unique<JobDialog>(platform_, static_cast<JobTableHost&>(*this));
        if (!dialog->create()) return;
        jobDialog_ = std::move(dialog);
    }
    jobDialog_->show();
}

void MainWindow::addJob(const RenderJob& job) {
    table_.change([&](JobRows& rows) { rows.append(JobRow{job, false, nullptr, 0}); });
}

void MainWindow::replaceJob(RowId id, const RenderJob& job) {
    if (!table_.replaceJob(id, job)) {
        addJob(job);  // the row went while it was edited: the job is not lost
        selectLastJob();
    }
}

void MainWindow::selectLastJob() {
    jobs().selectLast();
    SetFocus(item(IdJobTable));
}

std::vector<RenderJob> MainWindow::jobOutputs() { return table_.rows().jobs(); }

void MainWindow::tickJobs(const std::vector<bool>& ticked) { table_.rows().setTicks(ticked); }

// From the results: the artist is taken to the row, in front, with nothing else selected.
void MainWindow::selectJob(std::size_t position) {
    if (position >= table_.shown().count()) return;
    table_.select({position});
    SetForegroundWindow(hwnd());
    SetFocus(item(IdJobTable));
}

// "-": every ticked row, with its tick and saved values; 撤销 brings them back.
void MainWindow::onRemoveTickedClicked() { table_.removeTicked(); }

void MainWindow::onClearClicked() { table_.clear(); }

void MainWindow::onUndoClicked() { table_.undo(); }

void MainWindow::onRedoClicked() { table_.redo(); }

// Ctrl+Z in a text box undoes its typing, as everywhere in Windows; elsewhere the table's step.
// Ctrl+Y there is the box's own too.
void MainWindow::onUndoKeyPressed() {
    if (!textBoxFocused()) onUndoClicked();
    else SendMessageW(GetFocus(), WM_UNDO, 0, 0);
}

void MainWindow::onRedoKeyPressed() {
    if (!textBoxFocused()) onRedoClicked();
}

bool MainWindow::textBoxFocused() const {
    const HWND focus = GetFocus();
    wchar_t className[16]{};
    return focus && IsChild(hwnd(), focus) && GetClassNameW(focus, className, 16) &&
           _wcsicmp(className, L"Edit") == 0;
}

void MainWindow::onDeleteClicked() { table_.removeSelected(); }

void MainWindow::onSelectAllClicked() { table_.selectAll(); }

void MainWindow::onDuplicateClicked() { table_.duplicateSelected(); }

void MainWindow::onMoveUpClicked() { table_.moveSelected(JobTableView::Move::Up); }

void MainWindow::onMoveDownClicked() { table_.moveSelected(JobTableView::Move::Down); }

void MainWindow::onMoveFirstClicked() { table_.moveSelected(JobTableView::Move::First); }

void MainWindow::onMoveLastClicked() { table_.moveSelected(JobTableView::Move::Last); }

void MainWindow::onTickSelectedClicked() { table_.tickSelected(true); }

void MainWindow::onUntickSelectedClicked() { table_.tickSelected(false); }

// 编辑任务…: the job editor opened on the row; its OK writes the row back where it stands.
void MainWindow::onEditJobClicked() {
    const std::optional<std::size_t> row = table_.currentRow();
    if (!row) return;
    onAddJobClicked();
    if (jobDialog()) jobDialog_->edit(table_.shown().id(*row), table_.shown().job(*row));
}

// The keys of 编辑's commands, while the table has the focus; elsewhere they are the focused
// control's own (a text box copies its text).
bool MainWindow::onTableKey(UINT key) {
    struct Key {
        UINT key;
        bool control;
        bool alt;
        int command;
    };
    static constexpr Key Keys[] = {
        {'X', true, false, IdMenuCut},          {'C', true, false, IdMenuCopy},
        {'V', true, false, IdMenuPaste},        {VK_DELETE, false, false, IdMenuDelete},
        {'A', true, false, IdMenuSelectAll},    {'D', true, false, IdMenuDuplicate},
        {VK_UP, false, true, IdMenuMoveUp},     {VK_DOWN, false, true, IdMenuMoveDown},
        {VK_RETURN, false, false, IdMenuEditJob},
    };
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    if (GetKeyState(VK_SHIFT) < 0) return false;
    for (const Key& entry : Keys) {
        if (entry.key == key && entry.control == control && entry.alt == alt) {
            if (editCommandApplies(entry.command)) onCommand(entry.command, 0);
            return true;
        }
    }
    return false;
}

bool MainWindow::editCommandApplies(int command) const {
    const bool selected = !table_.selection().empty();
    switch (command) {
        case IdMenuUndo: return table_.canUndo();
        case IdMenuRedo: return table_.canRedo();
        case IdMenuPaste: return win::ClipboardHoldsContent();
        case IdMenuSelectAll: return table_.count() > 0;
        case IdMenuMoveUp: return table_.canMove(JobTableView::Move::Up);
        case IdMenuMoveFirst: return table_.canMove(JobTableView::Move::First);
        case IdMenuMoveDown: return table_.canMove(JobTableView::Move::Down);
        case IdMenuMoveLast: return table_.canMove(JobTableView::Move::Last);
        case IdMenuShowScene:
        case IdMenuOpenOutputFolder: {
            const std::optional<std::size_t> row = table_.currentRow();
            const int column = command == IdMenuShowScene ? JobColumnScene : JobColumnOutputFolder;
            return row && !table_.shown().cell(*row, column).empty();
        }
        default: return selected;  // the rest act on the selected rows
    }
}

// Greyed where they do not apply, each time 编辑 or the context menu opens.
void MainWindow::greyEditCommands(HMENU menu) const {
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        const UINT id = GetMenuItemID(menu, position);
        if (id == static_cast<UINT>(-1) || id == 0 || id == IdMenuOptionalColumns) continue;
        EnableMenuItem(menu, id, MF_BYCOMMAND | (editCommandApplies(static_cast<int>(id)) ? MF_ENABLED : MF_GRAYED));
    }
}

void MainWindow::showTableMenu(POINT screen) {
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendEditItems(menu, TableMenuItems);
    SetMenuDefaultItem(menu, IdMenuEditJob, FALSE);
    greyEditCommands(menu);
    const auto chosen = static_cast<int>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                                          screen.x, screen.y, hwnd(), nullptr));
    DestroyMenu(menu);
    if (chosen != 0) onCommand(chosen, 0);
}

// The selected rows as a spreadsheet pastes them, and as a job list's CSV. Spreadsheets read the
// clipboard's CSV in the ANSI code page, as Excel writes it, and may prefer it to the text: rows
// with a character that code page lacks go as the text alone rather than garbled.
bool MainWindow::copySelected() {
    const std::vector<RenderJob> rows = table_.selectedJobs();
    if (rows.empty()) return false;
    std::string csv;
    if (std::optional<std::wstring> text = Utf8Text(SaveJobList(rows))) {
        if (text->starts_with(L'\uFEFF')) text->erase(0, 1);
        csv = platform_.ansiCodec().encode(*text).value_or(std::string());
    }
    if (const std::optional<win::ClipboardFault> fault = win::PutOnClipboard(hwnd(), RowsAsTabText(rows), csv)) {
        platform_.showMessage(std::wstring(win::ClipboardFaultMessage(*fault)));
        return false;
    }
    return true;
}

void MainWindow::onCopyClicked() { copySelected(); }

void MainWindow::onCutClicked() {
    if (copySelected()) table_.removeSelected();
}

// Rows after the selection: text copied from a spreadsheet or a job list, or files copied in
// Explorer as their drop makes them. Text that is not rows adds nothing and says where.
void MainWindow::onPasteClicked() {
    const std::variant<win::ClipboardContent, win::ClipboardFault> read = win::ReadClipboard(hwnd());
    if (const auto* fault = std::get_if<win::ClipboardFault>(&read)) {
        platform_.showMessage(std::wstring(win::ClipboardFaultMessage(*fault)));
        return;
    }
    const auto& content = std::get<win::ClipboardContent>(read);
    if (!content.files.empty()) {
        table_.insertAfterSelection(jobsOfFiles(content.files));
        return;
    }
    std::variant<std::vector<RenderJob>, JobListFault> rows = RowsFromText(content.text);
    if (const auto* fault = std::get_if<JobListFault>(&rows)) {
        platform_.showMessage(PastedTextFaultMessage(*fault));
        return;
    }
    table_.insertAfterSelection(std::move(std::get<std::vector<RenderJob>>(rows)));
}

// Explorer with the row's scene selected; a scene that is not there is said, not shown.
void MainWindow::onShowSceneClicked() {
    const std::optional<std::size_t> row = table_.currentRow();
    if (!row) return;
    const std::wstring scene = table_.rows().cell(*row, JobColumnScene);
    if (!platform_.showInExplorer(scene)) platform_.showMessage(L"找不到场景文件：" + scene);
}

void MainWindow::onOpenOutputFolderClicked() {
    const std::optional<std::size_t> row = table_.currentRow();
    if (row) OpenOutputFolder(platform_, table_.rows().cell(*row, JobColumnOutputFolder));
}

// Ticked, every row shows the box's folder and keeps its own to be given back when unticked.
// The unified boxes as they are now, put back with the rows by 撤销 and 重做: their changes of
// the rows are steps, and rows that went back without their box would be changed again by it.
std::function<void()> MainWindow::unifiedBoxesNow() {
    const bool folderTicked = win::IsChecked(item(IdUnifiedFolderCheck));
    const bool formatTicked = win::IsChecked(item(IdUnifiedFormatCheck));
    const std::wstring folder = win::WindowText(item(IdUnifiedFolderBox));
    const std::wstring format = win::WindowText(item(IdUnifiedFormatBox));
    return [this, folderTicked, formatTicked, folder, format, applied = appliedFormat_] {
        const bool before = std::exchange(restoringBoxes_, true);
        win::SetChecked(item(IdUnifiedFolderCheck), folderTicked);
        win::SetChecked(item(IdUnifiedFormatCheck), formatTicked);
        win::UpdateText(item(IdUnifiedFolderBox), folder);
        win::UpdateText(item(IdUnifiedFormatBox), format);
        appliedFormat_ = applied;
        restoringBoxes_ = before;
    };
}

void MainWindow::onUnifiedFolderTicked() {
    table_.change([&](JobRows& rows) {
        if (win::IsChecked(item(IdUnifiedFolderCheck))) {
            rows.tickUnifiedFolder(win::WindowText(item(IdUnifiedFolderBox)));
        } else {
            rows.untickUnifiedFolder();
        }
    });
}

void MainWindow::onUnifiedFormatTicked() {
    const std::wstring format = win::WindowText(item(IdUnifiedFormatBox));
    const bool ticked = win::IsChecked(item(IdUnifiedFormatCheck));
    table_.change([&](JobRows& rows) {
        if (ticked) {
            rows.tickUnifiedFormat(format);
        } else {
            rows.untickUnifiedFormat(appliedFormat_);
        }
    });
    appliedFormat_ = ticked ? format : std::wstring();
}

void MainWindow::onUnifiedFolderChanged() {
    if (restoringBoxes_ || !win::IsChecked(item(IdUnifiedFolderCheck))) return;
    const std::wstring folder = win::WindowText(item(IdUnifiedFolderBox));
    table_.change([&](JobRows& rows) { rows.fillColumn(JobColumnOutputFolder, folder); },
                  JobTableView::Join::UnifiedFolder);
}

void MainWindow::onUnifiedFormatChanged() {
    if (restoringBoxes_ || !win::IsChecked(item(IdUnifiedFormatCheck))) return;
    const std::wstring format = win::WindowText(item(IdUnifiedFormatBox));
    table_.change([&](JobRows& rows) { rows.changeUnifiedFormat(appliedFormat_, format); },
                  JobTableView::Join::UnifiedFormat);
    appliedFormat_ = format;
}

void MainWindow::onOptionalColumnsClicked() {
    table_.showOptionalColumns(!table_.optionalColumnsShown());
    showOptionalColumnsChoice();
}

void MainWindow::showHistory() {
    EnableMenuItem(GetMenu(hwnd()), IdMenuUndo, MF_BYCOMMAND | (table_.canUndo() ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(GetMenu(hwnd()), IdMenuRedo, MF_BYCOMMAND | (table_.canRedo() ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::showOptionalColumnsChoice() {
    CheckMenuItem(GetMenu(hwnd()), IdMenuOptionalColumns,
                  MF_BYCOMMAND | (table_.optionalColumnsShown() ? MF_CHECKED : MF_UNCHECKED));
}

// Both labels are recomputed on every tick; a caption is only rewritten when it changed, so the
// labels do not flicker twenty times a second.
void MainWindow::onStatusTimer() {
    const int count = table_.count();
    const int selected = count >= 1 ? table_.selectedRow() : 0;
    std::optional<std::wstring> scene;
    if (selected > 0) scene = table_.shown().cell(static_cast<std::size_t>(selected - 1), JobColumnScene);
    const StatusTexts texts = ComposeStatus(count, scene);
    win::UpdateText(item(IdJobCountLabel), texts.count);
    win::UpdateText(item(IdSceneLabel), texts.scene);
}

}  // namespace ravolen
