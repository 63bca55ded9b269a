#include "app/MainWindow.h"

#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/JobDialog.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"
#include "render/RenderPlan.h"

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
    return settings;
}

MainWindow::MainWindow(Platform& platform)
    : platform_(platform),
      session_(platform,
               {[this] { return table_.snapshot(); }, [this] { return sessionSettings(); },
                [this] {
                    // An edit left open is part of the table; one being typed is not finished yet.
                    if (GetDlgCtrlID(GetFocus()) != IdCellEditor) jobList_.commitEdit();
                },
                [this] { jobList_.commitEdit(); }}) {}

void MainWindow::restoreSession() {
    SessionKeeper::Restored restored = session_.restore(sessionSettings());
    const SessionSettings& settings = restored.settings;
    {
        const win::RedrawSuspended batch(item(IdJobTable));
        // Entry k of the saved lists belongs to row k + 1.
        for (std::size_t k = 0; k < restored.rows.size(); ++k) {
            SavedValues saved;
            if (k < settings.savedOutDirs.size()) saved.folder = settings.savedOutDirs[k];
            if (k < settings.savedExts.size()) saved.extension = settings.savedExts[k];
            table_.append(restored.rows[k], std::move(saved));
        }
    }
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
