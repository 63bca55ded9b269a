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
    // Only the rows' own copies are taken here (a row is read again only when it changed since
    // the last save); the bytes and the saved lists are composed on the writer's thread.
    return [rows = table_.snapshot(), settings = sessionSettings(), rowsPath = sessionRowsPath(),
            settingsPath = sessionSettingsPath()]() mutable {
        for (RowSnapshot& row : rows) {
            if (row.pending) row.line = CurrentLine(row);
        }
        std::vector<const std::string*> lines;
        lines.reserve(rows.size());
        bool anySaved = false;
        for (const RowSnapshot& row : rows) {
            lines.push_back(row.line.get());
            anySaved = anySaved || row.saved;
        }
        if (anySaved) {  // a row without a saved value before one with it is given its own
            SavedEntries folders, extensions;
            std::vector<std::wstring> cellsOfFolders, cellsOfNames;
            for (const RowSnapshot& row : rows) {
                folders.push_back(row.saved ? row.saved->folder : std::nullopt);
                extensions.push_back(row.saved ? row.saved->extension : std::nullopt);
                const RenderJob job = JobFromListLine(*row.line).value_or(RenderJob{});
                cellsOfFolders.push_back(job.outputFolder);
                cellsOfNames.push_back(job.outputName);
            }
            settings.savedOutDirs = SavedFolderList(folders, cellsOfFolders);
            settings.savedExts = SavedExtensionList(extensions, cellsOfNames, settings.appliedFormat);
        }
        return std::vector<BackgroundWriter::File>{{rowsPath, JoinJobListLines(lines)},
                                                   {settingsPath, SaveSessionSettings(settings)}};
    };
}

void MainWindow::saveSession() {
    if (!sessionReady_) return;
    // Once a save succeeded again, the next failure is told again.
    if (writer_.lastWriteSucceeded()) saveFailureTold_ = false;
    // An edit left open is part of the table; one being typed is not finished yet.
    if (GetDlgCtrlID(GetFocus()) != IdCellEditor) jobList_.commitEdit();
    if (auto compose = sessionSnapshot()) writer_.post(std::move(compose));
}

void MainWindow::SaveFailure::report(const std::wstring& failed) {
    const std::lock_guard guard(lock);
    if (path.empty()) path = failed;  // the first file of a save that failed
    if (window) PostMessageW(window, WmSessionSaveFailed, 0, 0);
}

std::wstring MainWindow::SaveFailure::take() {
    const std::lock_guard guard(lock);
    return std::exchange(path, {});
}

// Once, not at every save: the artist learns that the table is not kept, and where.
void MainWindow::onSessionSaveFailed() {
    const std::wstring path = saveFailure_->take();
    if (path.empty() || saveFailureTold_) return;
    saveFailureTold_ = true;
    platform_.showMessage(L"无法保存当前任务表到：" + path +
                          L"\n请检查磁盘空间和该文件夹的写入权限，否则关闭程序后最近的改动不会保留。");
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
    std::vector<std::wstring> unreadable;
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
    // `take` puts back what the file holds and answers whether any of it could not be read. A
    // file that fails in any way (a hostile one that asks for more memory than there is) is
    // damaged, never the end of the program; one that is there but cannot be read is not missing.
    const auto restore = [&](const std::wstring& path, const auto& take) {
        FileRead file;
        try {
            file = platform_.readFileTelling(path);
        } catch (...) {  // more than there is memory for: not read, so not to be written over
            file = {FileRead::Outcome::Unreadable, {}};
        }
        if (file.outcome == FileRead::Outcome::Unreadable) unreadable.push_back(path);
        if (file.outcome != FileRead::Outcome::Read) return;
        bool fault = true;
        try {
            fault = take(file.bytes);
        } catch (...) {
        }
        if (fault) keep(path, file.bytes);
    };

    SessionSettings settings = sessionSettings();
    restore(sessionSettingsPath(), [&](const std::string& bytes) {
        auto read = ReadSessionSettings(bytes, settings);
        settings = std::move(read.value);
        return read.damaged;
    });
    const HWND list = item(IdJobTable);
    restore(sessionRowsPath(), [&](const std::string& bytes) {
        auto read = ReadSessionRows(bytes);
        const win::RedrawSuspended batch(list);
        // Entry k of the saved lists belongs to row k + 1.
        for (std::size_t k = 0; k < read.value.size(); ++k) {
            SavedValues saved;
            if (k < settings.savedOutDirs.size()) saved.folder = settings.savedOutDirs[k];
            if (k < settings.savedExts.size()) saved.extension = settings.savedExts[k];
            table_.append(read.value[k], std::move(saved));
        }
        return read.damaged;
    });
    applySessionSettings(settings);

    // What could not be kept or read must not be written over.
    sessionReady_ = keptAll && unreadable.empty();
    std::wstring message;
    if (!unreadable.empty()) message = UnreadableFilesMessage(unreadable);
    if (!damaged.empty()) message += (message.empty() ? L"" : L"\n\n") + DamagedFilesMessage(damaged);
    if (!message.empty()) {
        sessionFilesMessage_ = std::move(message);
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
