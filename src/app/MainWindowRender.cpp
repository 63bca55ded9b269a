#include "app/MainWindow.h"

#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"
#include "render/RenderCommand.h"
#include "render/RenderPlan.h"
#include "win/Controls.h"

// The main window's render commands: here, on a farm, cancelling, the results.

namespace ravolen {

using namespace mainwindow;

void MainWindow::onRenderClicked() {
    // A click can still arrive for the disabled button (a queued BM_CLICK does under Wine).
    if (!IsWindowEnabled(item(IdRenderButton))) return;
    RenderRequest request{win::WindowText(item(IdInstallFolderBox)), table_.rows().jobs(),
                          win::IsChecked(item(IdShutdownCheck))};
    startRender(request);
}

void MainWindow::renderRows(const std::vector<std::size_t>& positions) {
    if (!IsWindowEnabled(item(IdRenderButton))) {
        platform_.showMessage(std::wstring(RenderStillRunningMessage));
        return;
    }
    // The rows as the table holds them, each with its own folder and name.
    const std::vector<RenderJob> all = table_.rows().jobs();
    RenderRequest request{win::WindowText(item(IdInstallFolderBox)), {},
                          win::IsChecked(item(IdShutdownCheck))};
    for (const std::size_t position : positions) {
        if (position >= all.size()) continue;
        request.rows.push_back(all[position]);
        request.numbers.push_back(static_cast<int>(position + 1));
    }
    if (request.rows.empty()) return;
    if (!platform_.ask(L"将重新渲染" + std::to_wstring(request.rows.size()) +
                       L"个未完成的任务（已渲染的帧会保留），是否开始？")) {
        return;
    }
    startRender(request);
}

void MainWindow::startRender(RenderRequest& request) {
    // Also while its closing message is open: the submission is still on the stack.
    if (submission_ && (submission_->running() || submission_->handling())) {
        platform_.showMessage(L"上一批任务仍在提交到Deadline，请等它完成或点击“停止”。");
        return;
    }
    request.retries = nightOptions_.retries;  // a farm's rows are tried by the farm
    const RenderPlan plan = PlanRender(platform_, request, {way_, backburner_, deadline_});
    if (way_ == RenderWay::Deadline) {
        submitToDeadline(request, plan);
        return;
    }
    // A refused table is said so by the start, after the running script's guard.
    if (!plan.refusal && !plan.question.empty() && !platform_.ask(plan.question)) return;
    request.night = clock();
    const RenderStart started = StartPlannedScript(platform_, request, plan);
    if (!started) {
        platform_.showMessage(started.failure);
        return;
    }
    win::DisableControl(item(IdRenderButton));
    if (way_ == RenderWay::Backburner) {
        std::wstring message = RenderStartedText(
            L"所有渲染任务正在提交到Backburner管理器 " + backburner_.manager + L"。", started);
        if (!plan.shutdownNote.empty()) message += L"\n" + plan.shutdownNote;
        platform_.showMessage(message);
        return;
    }
    followNight(request, started);
    platform_.showMessage(RenderStartedText(RenderStartedMessage, started) +
                          NightRecordNote(started));
}

void MainWindow::chooseInstallation(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < installations_.size()) {
        win::SetText(item(IdInstallFolderBox), installations_[static_cast<std::size_t>(index)].folder);
    }
}

void MainWindow::onResultsClicked() {
    table_.commitEdit();
    if (resultsDialog()) {
        results_->show();
        return;
    }
    auto dialog = std::make_unique<ResultsDialog>(
        platform_, static_cast<JobTableHost&>(*this), [this] { return nightView(); },
        [this](const std::vector<std::size_t>& positions) { renderRows(positions); });
    dialog->restoreSizes({resultsSize_, logSize_});
    if (dialog->create(hwnd())) results_ = std::move(dialog);
}

void MainWindow::showRenderWay() {
    const HMENU render = GetSubMenu(GetMenu(hwnd()), RenderMenuPosition);
    // The submenu that holds 本机渲染, wherever it stands in the 渲染 menu.
    HMENU ways = nullptr;
    for (int i = 0; i < GetMenuItemCount(render) && !ways; ++i) {
        const HMENU sub = GetSubMenu(render, i);
        if (sub && GetMenuItemID(sub, 0) == IdMenuLocal) ways = sub;
    }
    if (!ways) return;
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

void MainWindow::submitToDeadline(const RenderRequest& request, const RenderPlan& plan) {
    if (deadlineSubmission()) return;  // one batch at a time
    if (plan.refusal) {
        platform_.showMessage(*plan.refusal);
        return;
    }
    if (!plan.question.empty() && !platform_.ask(plan.question)) return;
    win::Window::Dispose(submission_);
    auto submission = std::make_unique<DeadlineProgress>(platform_, request.rows, plan.deadline,
                                                         deadline_, nullptr);
    submission->addNote(plan.shutdownNote);
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
