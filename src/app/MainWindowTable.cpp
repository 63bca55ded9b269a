#include "app/MainWindow.h"

#include <optional>
#include <string>
#include <vector>

#include "app/JobDialog.h"
#include "app/MainWindowIds.h"
#include "jobs/StatusTexts.h"
#include "win/Controls.h"
#include "win/ListView.h"

// The main window's job table commands: the job editor, "-", 清空 and 撤销, the unified boxes,
// and the labels that follow the table.

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

void MainWindow::addJob(const RenderJob& job) { table_.append(job); }

void MainWindow::selectLastJob() {
    jobs().deselectAll();
    jobs().selectLast();
    SetFocus(item(IdJobTable));
}

std::vector<RenderJob> MainWindow::jobOutputs() { return table_.rows().jobs(); }

void MainWindow::tickJobs(const std::vector<bool>& ticked) { table_.rows().setTicks(ticked); }

// From the results: the artist is taken to the row, in front, with nothing else selected.
void MainWindow::selectJob(std::size_t position) {
    if (position >= static_cast<std::size_t>(jobs().count())) return;
    const int row = static_cast<int>(position) + 1;
    jobs().deselectAll();
    win::ListView list = jobs().list();
    list.setSelected(row, true);
    list.focusRow(row);
    SetForegroundWindow(hwnd());
    SetFocus(item(IdJobTable));
}

// "-": every ticked row, with its tick and saved values, kept for 撤销.
void MainWindow::onRemoveTickedClicked() { showUndo(table_.removeTicked()); }

void MainWindow::onClearClicked() { showUndo(table_.clear()); }

void MainWindow::showUndo(bool taken) {
    if (taken) EnableMenuItem(GetMenu(hwnd()), IdMenuUndo, MF_BYCOMMAND | MF_ENABLED);
}

// The rows come back at their old places, with their ticks and their own saved values.
void MainWindow::onUndoClicked() {
    if (table_.undo()) EnableMenuItem(GetMenu(hwnd()), IdMenuUndo, MF_BYCOMMAND | MF_GRAYED);
}

// Ctrl+Z in a text box undoes its typing, as everywhere in Windows; elsewhere the table's step.
void MainWindow::onUndoKeyPressed() {
    const HWND focus = GetFocus();
    wchar_t className[16]{};
    if (focus && IsChild(hwnd(), focus) && GetClassNameW(focus, className, 16) &&
        _wcsicmp(className, L"Edit") == 0) {
        SendMessageW(focus, WM_UNDO, 0, 0);
        return;
    }
    onUndoClicked();
}

// Ticked, every row shows the box's folder and keeps its own to be given back when unticked.
void MainWindow::onUnifiedFolderTicked() {
    JobRows& rows = table_.rows();
    if (win::IsChecked(item(IdUnifiedFolderCheck))) {
        rows.tickUnifiedFolder(win::WindowText(item(IdUnifiedFolderBox)));
    } else {
        rows.untickUnifiedFolder();
    }
}

void MainWindow::onUnifiedFormatTicked() {
    const std::wstring format = win::WindowText(item(IdUnifiedFormatBox));
    const bool ticked = win::IsChecked(item(IdUnifiedFormatCheck));
    JobRows& rows = table_.rows();
    if (ticked) {
        rows.tickUnifiedFormat(format);
    } else {
        rows.untickUnifiedFormat(appliedFormat_);
    }
    appliedFormat_ = ticked ? format : std::wstring();
}

void MainWindow::onUnifiedFolderChanged() {
    if (!win::IsChecked(item(IdUnifiedFolderCheck))) return;
    table_.rows().fillColumn(JobColumnOutputFolder, win::WindowText(item(IdUnifiedFolderBox)));
}

void MainWindow::onUnifiedFormatChanged() {
    if (!win::IsChecked(item(IdUnifiedFormatCheck))) return;
    const std::wstring format = win::WindowText(item(IdUnifiedFormatBox));
    table_.rows().changeUnifiedFormat(appliedFormat_, format);
    appliedFormat_ = format;
}

void MainWindow::onOptionalColumnsClicked() {
    table_.showOptionalColumns(!table_.optionalColumnsShown());
    showOptionalColumnsChoice();
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
