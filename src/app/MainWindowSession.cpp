#include "app/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "base/BoxOwner.h"
#include "app/FolderPick.h"
#include "jobs/QuickAdd.h"
#include "jobs/UnifiedSettings.h"
#include "jobs/Workbook.h"
#include "jobs/JobListFile.h"
#include "farm/FarmJobs.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"
#include "jobs/StatusTexts.h"
#include "win/Controls.h"
#include "app/MainWindowIds.h"

// The main window's session: saved within a moment of a change, put back at the next start.

namespace ravolen {

using namespace mainwindow;

void MainWindow::sessionChanged() {
    if (!sessionReady_ || sessionDue_) return;
    // The first change starts the wait; later ones ride along, so typing writes once a second.
    sessionDue_ = SetTimer(hwnd(), IdTimerSession, SessionDelay, nullptr) != 0;
}

SessionSettings MainWindow::sessionSettings() const {
    SessionSettings settings;
    settings.installFolder = win::WindowText(item(IdInstallFolderBox));
    settings.outputFolder = win::WindowText(item(IdUnifiedFolderBox));
    settings.outputFormat = win::WindowText(item(IdUnifiedFormatBox));
    settings.unifiedFolder = win::IsChecked(item(IdUnifiedFolderCheck));
    settings.unifiedFormat = win::IsChecked(item(IdUnifiedFormatCheck));
    settings.appliedFormat = appliedFormat_;
    settings.savedOutDirs = SavedOutDirs;
    settings.savedExts = SavedExts;
    settings.deadlineCommand = deadline_.command;
    settings.deadline = deadline_.settings;
    settings.backburner = backburner_;
    settings.windowPlaced = windowPlaced_;
    settings.windowLeft = windowLeft_;
    settings.windowTop = windowTop_;
    return settings;
}

BackgroundWriter::Compose MainWindow::sessionSnapshot() {
    const std::wstring folder = platform_.userDataFolder();
    if (folder.empty() || !platform_.createFolder(folder)) return nullptr;
    // Only the copies are taken here; the bytes are composed on the writer's thread.
    return [rows = jobs().all(), settings = sessionSettings(), rowsPath = sessionRowsPath(),
            settingsPath = sessionSettingsPath()] {
        return std::vector<BackgroundWriter::File>{{rowsPath, SaveJobList(rows)},
                                                   {settingsPath, SaveSessionSettings(settings)}};
    };
}

void MainWindow::saveSession() {
    if (!sessionReady_) return;
    // An edit left open is part of the table; one being typed is not finished yet.
    if (GetDlgCtrlID(GetFocus()) != IdCellEditor) jobList_.commitEdit();
    if (auto compose = sessionSnapshot()) writer_.post(std::move(compose));
}

void MainWindow::saveSessionNow() {
    if (!sessionReady_) return;
    KillTimer(hwnd(), IdTimerSession);
    sessionDue_ = false;
    jobList_.commitEdit();
    if (const auto compose = sessionSnapshot()) writer_.writeNow(compose, BackgroundWriter::StopBound);
}

void MainWindow::restoreSession() {
    const std::wstring folder = platform_.userDataFolder();
    if (folder.empty()) return;  // nowhere to keep it: this run is not saved
    bool keptAll = true;
    std::vector<std::pair<std::wstring, std::wstring>> damaged;
    // A damaged file is never thrown away: a copy of it stays beside it.
    const auto keep = [&](const std::wstring& path, const std::string& bytes) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::wstring copy = DamagedFileName(
            path, {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        const bool kept = platform_.replaceFile(copy, bytes);
        keptAll = keptAll && kept;
        damaged.emplace_back(path, kept ? copy : std::wstring());
    };

    SessionSettings settings = sessionSettings();
    if (const auto bytes = platform_.readFile(sessionSettingsPath())) {
        auto read = ReadSessionSettings(*bytes, settings);
        if (read.damaged) keep(sessionSettingsPath(), *bytes);
        settings = std::move(read.value);
    }
    std::vector<RenderJob> rows;
    if (const auto bytes = platform_.readFile(sessionRowsPath())) {
        auto read = ReadSessionRows(*bytes);
        if (read.damaged) keep(sessionRowsPath(), *bytes);
        rows = std::move(read.value);
    }
    const HWND list = item(IdJobTable);
    {
        const win::RedrawSuspended batch(list);
        for (const RenderJob& job : rows) JobTableView(list).append(job);
    }
    applySessionSettings(settings);

    // What could not be kept must not be written over.
    sessionReady_ = keptAll;
    if (!damaged.empty()) {
        damagedMessage_ = DamagedFilesMessage(damaged);
        PostMessageW(hwnd(), WmShowDamaged, 0, 0);
    }
}

// The boxes are ticked last and without their click handlers: the rows already show what the
// ticks gave them.
void MainWindow::applySessionSettings(const SessionSettings& settings) {
    win::SetText(item(IdInstallFolderBox), settings.installFolder);
    win::SetText(item(IdUnifiedFolderBox), settings.outputFolder);
    win::SetText(item(IdUnifiedFormatBox), settings.outputFormat);
    SavedOutDirs = settings.savedOutDirs;
    SavedExts = settings.savedExts;
    appliedFormat_ = settings.appliedFormat;
    SendMessageW(item(IdUnifiedFolderCheck), BM_SETCHECK, settings.unifiedFolder ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(item(IdUnifiedFormatCheck), BM_SETCHECK, settings.unifiedFormat ? BST_CHECKED : BST_UNCHECKED, 0);
    deadline_.command = settings.deadlineCommand;
    deadline_.settings = settings.deadline;
    backburner_ = settings.backburner;
    if (!settings.windowPlaced) return;
    // Only onto a screen that is still there.
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    OffsetRect(&frame, settings.windowLeft - frame.left, settings.windowTop - frame.top);
    if (MonitorFromRect(&frame, MONITOR_DEFAULTTONULL)) {
        SetWindowPos(hwnd(), nullptr, frame.left, frame.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace ravolen
