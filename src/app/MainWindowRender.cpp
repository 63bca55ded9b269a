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

// The main window's render commands: here, on a farm, cancelling, the results.

namespace ravolen {

using namespace mainwindow;

void MainWindow::onRenderClicked() {
    // A click can still arrive for the disabled button (a queued BM_CLICK does under Wine).
    if (!IsWindowEnabled(item(IdRenderButton))) return;
    // Also while its closing message is open: the submission is still on the stack.
    if (submission_ && (submission_->running() || submission_->handling())) {
        platform_.showMessage(L"上一批任务仍在提交到Deadline，请等它完成或点击“停止”。");
        return;
    }
    jobList_.commitEdit();
    const RenderRequest request{win::WindowText(item(IdInstallFolderBox)), jobs().all(),
                                win::IsChecked(item(IdShutdownCheck))};
    if (way_ == RenderWay::Backburner) {
        renderOnBackburner(request);
        return;
    }
    if (way_ == RenderWay::Deadline) {
        submitToDeadline(request);
        return;
    }
    RenderRequest here = request;
    here.night = clock();
    const RenderStart started = StartRender(platform_, here);
    if (!started) return;
    win::DisableControl(item(IdRenderButton));
    followNight(here, started);
    platform_.showMessage(RenderStartedText(RenderStartedMessage, started) +
                          NightRecordNote(started));
}

void MainWindow::chooseInstallation(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < installations_.size()) {
        win::SetText(item(IdInstallFolderBox), installations_[static_cast<std::size_t>(index)].folder);
    }
}

void MainWindow::onResultsClicked() {
    jobList_.commitEdit();
    if (resultsDialog()) {
        results_->show();
        return;
    }
    auto dialog = std::make_unique<ResultsDialog>(platform_, static_cast<JobTableHost&>(*this),
                                                  [this] { return nightView(); });
    if (dialog->create(hwnd())) results_ = std::move(dialog);
}

void MainWindow::showRenderWay() {
    const HMENU render = GetSubMenu(GetMenu(hwnd()), RenderMenuPosition);
    const HMENU ways = GetSubMenu(render, GetMenuItemCount(render) - 1);
    const int chosen = way_ == RenderWay::Deadline     ? IdMenuDeadline
                       : way_ == RenderWay::Backburner ? IdMenuBackburner
                                                       : IdMenuLocal;
    CheckMenuRadioItem(ways, IdMenuLocal, IdMenuBackburner, static_cast<UINT>(chosen), MF_BYCOMMAND);
}

void MainWindow::onRenderHereClicked() {
    way_ = RenderWay::Local;
    showRenderWay();
}

void MainWindow::onDeadlineClicked() { openFarmDialog(RenderWay::Deadline); }

void MainWindow::onBackburnerClicked() { openFarmDialog(RenderWay::Backburner); }

void MainWindow::openFarmDialog(RenderWay way) {
    // The same dialog again comes forward as it is; one whose message is still open stays.
    if (farmDialog() && farmDialog_->way() == way) {
        ShowWindow(farmDialog_->hwnd(), SW_SHOW);
        SetForegroundWindow(farmDialog_->hwnd());
        return;
    }
    win::Window::Dispose(farmDialog_);
    auto dialog = std::make_unique<FarmDialog>(platform_, way, deadline_, backburner_, [this, way] {
        way_ = way;  // OK makes the farm the way 渲  染 goes
        showRenderWay();
        sessionChanged();
    });
    if (dialog->create(hwnd())) farmDialog_ = std::move(dialog);
}

std::wstring MainWindow::shutdownNote() const {
    if (!win::IsChecked(item(IdShutdownCheck))) return {};
    return L"农场渲染不在本机进行，“渲染完成后自动关机”不适用，本机不会关机。";
}

bool MainWindow::farmMayReach(const std::vector<RenderJob>& rows) {
    const std::wstring question = LocalPathQuestion(
        rows, [this](const std::wstring& path) { return platform_.onNetwork(path); });
    return question.empty() || platform_.ask(question);
}

void MainWindow::renderOnBackburner(const RenderRequest& request) {
    RenderRequest farm = request;
    farm.shutdownAfterwards = false;  // nothing renders here
    // The rows' own refusals come first, from the render itself; the question only for a batch
    // that can go.
    const ComposedScript dryRun = ComposeRenderScript(farm.installFolder, farm.rows, false,
                                                      platform_.scriptCodec(), &backburner_);
    if (!dryRun.refusal && !farmMayReach(farm.rows)) return;
    const RenderStart started = StartRender(platform_, farm, &backburner_);
    if (!started) return;
    win::DisableControl(item(IdRenderButton));
    std::wstring message = RenderStartedText(
        L"所有渲染任务正在提交到Backburner管理器 " + backburner_.manager + L"。", started);
    if (const std::wstring note = shutdownNote(); !note.empty()) message += L"\n" + note;
    platform_.showMessage(message);
}

void MainWindow::submitToDeadline(const RenderRequest& request) {
    if (deadlineSubmission()) return;  // one batch at a time
    const ComposedScript check =
        ComposeRenderScript(request.installFolder, request.rows, false, platform_.scriptCodec());
    if (check.refusal) {
        platform_.showMessage(RefusalMessage(*check.refusal));
        return;
    }
    if (request.rows.empty()) {
        platform_.showMessage(L"任务列表是空的，没有可提交的任务。");
        return;
    }
    if (!platform_.fileExists(deadline_.command)) {
        platform_.showMessage(L"找不到Deadline的提交程序：" + deadline_.command + L"，没有提交任何任务。");
        return;
    }
    if (!farmMayReach(request.rows)) return;
    win::Window::Dispose(submission_);
    auto submission = std::make_unique<DeadlineProgress>(platform_, request.rows, deadline_,
                                                           request.installFolder, nullptr);
    submission->addNote(shutdownNote());
    if (submission->start(hwnd())) submission_ = std::move(submission);
}

void MainWindow::onCancelShutdownClicked() {
    CancelShutdown(platform_);
    EnableWindow(item(IdRenderButton), TRUE);
}

void MainWindow::onCancelRenderClicked() {
    if (CancelRender(platform_) == RenderJobEnd::Unavailable) {
        platform_.showMessage(std::wstring(RenderNotEndedMessage));
        return;
    }
    if (night_ && night_->following()) {
        night_->cancel();
        onNightTimer();  // the dialog shows it at once
    }
}

}  // namespace ravolen
