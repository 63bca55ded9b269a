#include "app/MainWindow.h"

#include <utility>

#include "app/MainWindowIds.h"
#include "app/CountdownWindow.h"
#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/JobDialog.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"

// The main window's session: the document and the window's place, saved within a moment of a
// change and put back at the next start.

namespace ravolen {

using namespace mainwindow;

MainWindow::MainWindow(Platform& platform)
    : platform_(platform),
      table_(document_.rows, history_),
      nights_(platform, document_, clock, awake,
              {.commandsChanged = [this] { showCommands(); },
               .settingsChanged = [this] {
                   showSettings();
                   session_.changed();
               },
               .showResults = [this] { openResults(); },
               .beat = [this](bool changed) {
                   if (ResultsDialog* dialog = resultsDialog()) dialog->refreshNight(changed);
               },
               .settle = [this] { table_.commitEdit(); }}),
      tableCommands_(platform, table_,
                     {.applies = [this](int id) {
                          const std::optional<Command> command = CommandOf(id);
                          return !command || commandState(*command).enabled;
                      },
                      .showCommands = [this](HMENU menu) { showCommands(menu); },
                      .editJob = [this] { editJob(); },
                      .stepBack = [this](bool redo) { stepBack(redo); },
                      .jobsOfFiles = [this](const std::vector<std::wstring>& paths) {
                          return files_.jobsOfFiles(paths);
                      }}),
      files_(platform, table_),
      installations_(platform),
      session_(platform,
               {[this] { return document_.rows.snapshot(); }, [this] { return sessionSettings(); },
                [this] {
                    // An edit left open is part of the table; one being typed is not finished yet.
                    if (GetDlgCtrlID(GetFocus()) != IdCellEditor) table_.commitEdit();
                },
                [this] { table_.commitEdit(); }}) {
    document_.settings = DefaultSettings(platform.deadlineFolder());
    document_.rows.unify(DefaultUnified(platform.programFolder()));
}

SessionSettings MainWindow::sessionSettings() const {
    SessionSettings settings = SessionSettingsOf(document_.settings, document_.rows.unified());
    settings.windowPlaced = windowPlaced_;
    settings.windowLeft = placed_.x;
    settings.windowTop = placed_.y;
    ResultsDialog::Sizes sizes{resultsSize_, logSize_};
    if (results_) sizes = results_->sizes();  // also as the program ends, its window gone
    settings.resultsWidth = sizes.results.cx;
    settings.resultsHeight = sizes.results.cy;
    settings.logWidth = sizes.log.cx;
    settings.logHeight = sizes.log.cy;
    return settings;
}

// The rows come back as they were shown, made their own again under the unified boxes they were
// saved under.
void MainWindow::restoreSession() {
    SessionKeeper::Restored restored = session_.restore(sessionSettings());
    const SessionSettings& settings = restored.settings;
    document_.rows.unify(UnifiedChoiceOf(settings));
    // Entry k of the saved lists belongs to row k + 1.
    document_.rows.append(restored.rows.size(), [&](std::size_t k) {
        JobRow row{std::move(restored.rows[k]), false, nullptr, 0};
        SavedValues saved;
        if (k < settings.savedOutDirs.size()) saved.folder = settings.savedOutDirs[k];
        if (k < settings.savedExts.size()) saved.extension = settings.savedExts[k];
        if (settings.unifiedFormat) {
            row.job.outputName = OwnName(row.job.outputName, settings.appliedFormat, saved.extension);
        }
        if (saved.folder || saved.extension) row.saved = std::make_shared<const SavedValues>(std::move(saved));
        return row;
    });
    document_.settings = SettingsOf(settings, std::move(document_.settings));
    // Rows that use the optional columns showed them as they came.
    document_.settings.optionalColumns = settings.optionalColumns || table_.optionalColumnsShown();
    resultsSize_ = {settings.resultsWidth, settings.resultsHeight};
    logSize_ = {settings.logWidth, settings.logHeight};
    placeWindow(settings);
    if (!restored.message.empty()) {
        sessionFilesMessage_ = std::move(restored.message);
        PostMessageW(hwnd(), WmShowSessionFiles, 0, 0);
    }
}

// Onto the screen it lands on, or the nearest, and wholly inside its work area: a position saved
// at another scale or on a larger or missing monitor would leave part of it off screen.
void MainWindow::placeWindow(const SessionSettings& settings) {
    if (!settings.windowPlaced) return;
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
