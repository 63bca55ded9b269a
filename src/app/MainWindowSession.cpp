#include "app/MainWindow.h"

#include <utility>

#include "app/CountdownWindow.h"
#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/JobDialog.h"
#include "app/CountdownWindow.h"
#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"
#include "win/Controls.h"

// The main window's session: saved within a moment of a change, put back at the next start.

namespace ravolen {

using namespace mainwindow;

SessionSettings MainWindow::sessionSettings() const {
    SessionSettings settings;
    settings.installFolder = win::WindowText(item(IdInstallFolderBox));
    settings.outputFolder = win::WindowText(item(IdUnifiedFolderBox));
    settings.outputFormat = win::WindowText(item(IdUnifiedFormatBox));
    settings.unifiedFolder = win::IsChecked(item(IdUnifiedFolderCheck));
    settings.unifiedFormat = win::IsChecked(item(IdUnifiedFormatCheck));
    settings.appliedFormat = appliedFormat_;
    settings.deadlineCommand = deadline_.command;
    settings.deadline = deadline_.settings;
    settings.backburner = backburner_;
    settings.night = nightOptions_;
    settings.windowPlaced = windowPlaced_;
    settings.windowLeft = windowLeft_;
    settings.windowTop = windowTop_;
    settings.optionalColumns = table_.optionalColumnsShown();
    ResultsDialog::Sizes sizes{resultsSize_, logSize_};
    if (results_) sizes = results_->sizes();  // also as the program ends, its window gone
    settings.resultsWidth = sizes.results.cx;
    settings.resultsHeight = sizes.results.cy;
    settings.logWidth = sizes.log.cx;
    settings.logHeight = sizes.log.cy;
    return settings;
}

MainWindow::MainWindow(Platform& platform)
    : platform_(platform),
      table_(rows_),
      notice_(platform, WmNightNotice),
      session_(platform,
               {[this] { return rows_.snapshot(); }, [this] { return sessionSettings(); },
                [this] {
                    // An edit left open is part of the table; one being typed is not finished yet.
                    if (GetDlgCtrlID(GetFocus()) != IdCellEditor) table_.commitEdit();
                },
                [this] { table_.commitEdit(); }}) {}

void MainWindow::restoreSession() {
    SessionKeeper::Restored restored = session_.restore(sessionSettings());
    const SessionSettings& settings = restored.settings;
    // Entry k of the saved lists belongs to row k + 1.
    rows_.append(restored.rows.size(), [&](std::size_t k) {
        JobRow row{std::move(restored.rows[k]), false, nullptr, 0};
        SavedValues saved;
        if (k < settings.savedOutDirs.size()) saved.folder = settings.savedOutDirs[k];
        if (k < settings.savedExts.size()) saved.extension = settings.savedExts[k];
        if (saved.folder || saved.extension) row.saved = std::make_shared<const SavedValues>(std::move(saved));
        return row;
    });
    applySessionSettings(settings);
    if (!restored.message.empty()) {
        sessionFilesMessage_ = std::move(restored.message);
        PostMessageW(hwnd(), WmShowSessionFiles, 0, 0);
    }
}

// The boxes are ticked last and without their click handlers: the rows already show what the
// ticks gave them.
void MainWindow::applySessionSettings(const SessionSettings& settings) {
    win::SetText(item(IdInstallFolderBox), settings.installFolder);
    win::SetText(item(IdUnifiedFolderBox), settings.outputFolder);
    win::SetText(item(IdUnifiedFormatBox), settings.outputFormat);
    appliedFormat_ = settings.appliedFormat;
    SendMessageW(item(IdUnifiedFolderCheck), BM_SETCHECK, settings.unifiedFolder ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(item(IdUnifiedFormatCheck), BM_SETCHECK, settings.unifiedFormat ? BST_CHECKED : BST_UNCHECKED, 0);
    deadline_.command = settings.deadlineCommand;
    deadline_.settings = settings.deadline;
    backburner_ = settings.backburner;
    nightOptions_ = settings.night;
    if (settings.optionalColumns) table_.showOptionalColumns(true);
    showOptionalColumnsChoice();
    resultsSize_ = {settings.resultsWidth, settings.resultsHeight};
    logSize_ = {settings.logWidth, settings.logHeight};
    if (!settings.windowPlaced) return;
    // Onto the screen it lands on, or the nearest, and wholly inside its work area: a position
    // saved at another scale or on a larger or missing monitor would leave part of it off screen.
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    OffsetRect(&frame, settings.windowLeft - frame.left, settings.windowTop - frame.top);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    if (frame.right > work.right) OffsetRect(&frame, work.right - frame.right, 0);
    if (frame.bottom > work.bottom) OffsetRect(&frame, 0, work.bottom - frame.bottom);
    if (frame.left < work.left) OffsetRect(&frame, work.left - frame.left, 0);
    if (frame.top < work.top) OffsetRect(&frame, 0, work.top - frame.top);
    SetWindowPos(hwnd(), nullptr, frame.left, frame.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ravolen
