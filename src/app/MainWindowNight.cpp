#include "app/MainWindow.h"

#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
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
                                  started.logPath, nightOptions_, request.numbers);
    if (night_) {
        night_->clock = clock;
        night_->awake = awake;
        SetTimer(hwnd(), IdTimerNight, NightInterval, nullptr);
    }
}

void MainWindow::joinNight() {
    taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (!platform_.renderJobRunning() && !adoptNightScript()) return;
    night_ = NightFollower::Join(platform_, hwnd(), win::WindowText(item(IdInstallFolderBox)),
                                 jobs().all(), clock(), nightOptions_);
    if (night_) {
        night_->clock = clock;
        night_->awake = awake;
        SetTimer(hwnd(), IdTimerNight, NightInterval, nullptr);
    }
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
        // The morning's first look, as Windows programs tell it; with a shutdown the machine is
        // going down and nothing is shown.
        notice_.show(hwnd(), NightEndNotice(night_->watch().states()));
        platform_.flashTaskbarButton(hwnd());
    }
    if (ResultsDialog* dialog = resultsDialog()) dialog->refreshNight(changed);
}

NightOptionsDialog* MainWindow::nightOptionsDialog() const {
    return nightOptionsDialog_ && nightOptionsDialog_->hwnd() &&
                   IsWindowVisible(nightOptionsDialog_->hwnd())
               ? nightOptionsDialog_.get()
               : nullptr;
}

void MainWindow::onNightOptionsClicked() {
    if (nightOptionsDialog()) {
        SetForegroundWindow(nightOptionsDialog_->hwnd());
        return;
    }
    win::Window::Dispose(nightOptionsDialog_);
    auto dialog = std::make_unique<NightOptionsDialog>(platform_, nightOptions_, [this] {
        // The night under way is watched by the new limits from now on; its script keeps its tries.
        if (night_) night_->changeOptions(nightOptions_);
        sessionChanged();
    });
    if (dialog->create(hwnd())) nightOptionsDialog_ = std::move(dialog);
}

NightView MainWindow::nightView() {
    return night_ ? night_->view() : LastNight(platform_, static_cast<std::size_t>(jobs().count()));
}

}  // namespace ravolen
