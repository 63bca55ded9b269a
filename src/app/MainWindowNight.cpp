#include "app/MainWindow.h"

#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/ResultsDialog.h"
#include "jobs/JobTable.h"
#include "render/RenderCommand.h"
#include "render/RenderPlan.h"
#include "win/Controls.h"

// The main window's watch over the night: following a render here, joining one under way.

namespace ravolen {

using namespace mainwindow;

void MainWindow::followNight(const RenderRequest& request, const RenderStart& started) {
    night_.reset();  // an earlier night's follower lets go first
    nightShutsDown_ = request.shutdownAfterwards;
    if (taskbarButtonCreated_ == 0) taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    night_ = NightFollower::Start(platform_, hwnd(), std::wstring(FolderOf(started.scriptPath)),
                                  request.installFolder, request.rows,
                                  request.night.value_or(clock()), started.recordPath,
                                  started.logPath);
    if (night_) night_->clock = clock;
    if (night_) SetTimer(hwnd(), IdTimerNight, NightInterval, nullptr);
}

void MainWindow::joinNight() {
    taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (!platform_.renderJobRunning()) return;
    night_ = NightFollower::Join(platform_, hwnd(), win::WindowText(item(IdInstallFolderBox)),
                                 jobs().all(), clock());
    if (night_) night_->clock = clock;
    if (night_) SetTimer(hwnd(), IdTimerNight, NightInterval, nullptr);
}

void MainWindow::onNightTimer() {
    if (!night_) {
        KillTimer(hwnd(), IdTimerNight);
        return;
    }
    const bool wasFollowing = night_->following();
    const bool changed = night_->tick();
    if (!night_->following()) KillTimer(hwnd(), IdTimerNight);
    // The job emptied: the script has ended, and without a shutdown to wait for (取消关机 frees
    // the button then) the next night may begin.
    if (wasFollowing && !night_->following() && !nightShutsDown_) {
        EnableWindow(item(IdRenderButton), TRUE);
    }
    if (ResultsDialog* dialog = resultsDialog()) dialog->refreshNight(changed);
}

NightView MainWindow::nightView() {
    return night_ ? night_->view() : LastNight(platform_, static_cast<std::size_t>(jobs().count()));
}

}  // namespace ravolen
