#include "app/Nights.h"

#include "app/CountdownWindow.h"
#include "app/DeadlineProgress.h"
#include "app/FarmDialog.h"
#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "app/NightOptionsDialog.h"
#include "jobs/JobTable.h"
#include "jobs/Results.h"
#include "render/NightPlan.h"
#include "render/RenderPlan.h"

namespace ravolen {

using namespace mainwindow;

Nights::Nights(Platform& platform, Document& document, const std::function<LocalTime()>& clock,
               const std::function<long long()>& awake, Host host)
    : platform_(platform), document_(document), clock_(clock), awake_(awake), host_(std::move(host)),
      notice_(platform, WmNightNotice) {}

Nights::~Nights() { close(); }

void Nights::attach(HWND window) {
    window_ = window;
    taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
}

void Nights::close() {
    night_.reset();  // stops following; the render goes on
    notice_.remove();
    win::Window::Dispose(farmDialog_);
    win::Window::Dispose(nightOptionsDialog_);
    win::Window::Dispose(countdown_);
    win::Window::Dispose(submission_);
}

FarmDialog* Nights::farmDialog() const {
    return farmDialog_ && farmDialog_->hwnd() && IsWindowVisible(farmDialog_->hwnd()) ? farmDialog_.get()
                                                                                       : nullptr;
}

DeadlineProgress* Nights::deadlineSubmission() const {
    return submission_ && submission_->hwnd() && !submission_->done() ? submission_.get() : nullptr;
}

NightOptionsDialog* Nights::nightOptionsDialog() const {
    return nightOptionsDialog_ && nightOptionsDialog_->hwnd() && IsWindowVisible(nightOptionsDialog_->hwnd())
               ? nightOptionsDialog_.get()
               : nullptr;
}

CountdownWindow* Nights::countdown() const {
    return countdown_ && countdown_->hwnd() && countdown_->counting() ? countdown_.get() : nullptr;
}

// Ends the program only once a Deadline submission under way is given up, as the artist says.
bool Nights::mayExit() {
    if (submission_ && submission_->running()) {
        if (!platform_.ask(L"正在提交到Deadline，确定要停止提交并退出吗？")) return false;
        if (submission_) submission_->abandon();
    }
    return true;
}

void Nights::render() {
    // A click can still arrive for the disabled button (a queued BM_CLICK does under Wine).
    if (document_.latch.latched()) return;
    host_.settle();
    RenderRequest request = RenderRequestOf(document_, document_.settings.shutdown);
    start(request);
}

// Whether a night runs is the follower's to know; 渲  染 also stays off until a shutdown night's
// 取消关机.
bool Nights::nightRuns() const { return document_.latch.latched() || (night_ && night_->following()); }

void Nights::renderRows(const std::vector<std::size_t>& positions) {
    if (nightRuns()) {
        platform_.showMessage(std::wstring(RenderStillRunningMessage));
        return;
    }
    host_.settle();
    RenderRequest request = RenderRequestOf(document_, positions, document_.settings.shutdown);
    if (request.rows.empty()) return;
    if (!platform_.ask(L"将重新渲染" + std::to_wstring(request.rows.size()) +
                       L"个未完成的任务（已渲染的帧会保留），是否开始？")) {
        return;
    }
    start(request);
}

void Nights::start(RenderRequest& request) {
    // Also while its closing message is open: the submission is still on the stack.
    if (submission_ && (submission_->running() || submission_->handling())) {
        platform_.showMessage(L"上一批任务仍在提交到Deadline，请等它完成或点击“停止”。");
        return;
    }
    const DocumentSettings& settings = document_.settings;
    const RenderWay way = settings.way;
    const RenderPlan plan = PlanRender(platform_, request, {way, settings.backburner, settings.deadline});
    if (way == RenderWay::Deadline) {
        submitToDeadline(request, plan);
        return;
    }
    // A refused table is said so by the start, after the running script's guard.
    if (!plan.refusal && !plan.question.empty() && !platform_.ask(plan.question)) return;
    request.night = clock_();
    const RenderStart started = StartPlannedScript(platform_, request, plan);
    if (!started) {
        platform_.showMessage(started.failure);
        return;
    }
    if (way == RenderWay::Backburner) {
        document_.latch.backburnerStarted();
        host_.commandsChanged();
        std::wstring message = RenderStartedText(
            L"所有渲染任务正在提交到Backburner管理器 " + settings.backburner.manager + L"。", started);
        if (!plan.shutdownNote.empty()) message += L"\n" + plan.shutdownNote;
        platform_.showMessage(message);
        return;
    }
    document_.latch.nightStarted(request.shutdownAfterwards);
    host_.commandsChanged();
    follow(request, std::wstring(FolderOf(started.scriptPath)), started.recordPath, started.logPath);
    platform_.showMessage(RenderStartedText(RenderStartedMessage, started) + NightRecordNote(started));
}

void Nights::submitToDeadline(const RenderRequest& request, const RenderPlan& plan) {
    if (deadlineSubmission()) return;  // one batch at a time
    if (plan.refusal) {
        platform_.showMessage(*plan.refusal);
        return;
    }
    if (!plan.question.empty() && !platform_.ask(plan.question)) return;
    win::Window::Dispose(submission_);
    auto submission = std::make_unique<DeadlineProgress>(platform_, request.rows, plan.deadline,
                                                         document_.settings.deadline, nullptr);
    submission->addNote(plan.shutdownNote);
    if (submission->start(window_)) submission_ = std::move(submission);
}

void Nights::follow(const RenderRequest& request, const std::wstring& scriptFolder,
                    const std::wstring& recordPath, const std::wstring& logPath) {
    night_.reset();  // an earlier night's follower lets go first
    followFrom(NightFollower::Start(platform_, window_, scriptFolder, request.installFolder, request.rows,
                                    request.night.value_or(clock_()), recordPath, logPath,
                                    document_.settings.night, request.numbers));
}

void Nights::followFrom(std::unique_ptr<NightFollower> night) {
    night_ = std::move(night);
    if (!night_) return;
    night_->clock = clock_;
    night_->awake = awake_;
    SetTimer(window_, IdTimerNight, NightInterval, nullptr);
}

void Nights::join() {
    if (platform_.renderJobRunning() || adoptNightScript()) {
        followFrom(NightFollower::Join(platform_, window_, document_.settings.installFolder,
                                       document_.rows.jobs(), clock_(), document_.settings.night));
    }
    if (!night_) {
        // No night of this program runs: nothing to come back for after a restart.
        platform_.unregisterRestart();
        PostMessageW(window_, WmOfferCutShortNight, 0, 0);
    }
}

void Nights::beat() {
    if (!night_) {
        KillTimer(window_, IdTimerNight);
        return;
    }
    const bool wasFollowing = night_->following();
    const bool changed = night_->tick();
    if (!night_->following()) KillTimer(window_, IdTimerNight);
    // The job emptied: the script has ended, and without a shutdown to wait for (取消关机 frees
    // 渲  染 then) the next night may begin.
    if (wasFollowing && !night_->following() && document_.latch.followedNightEnded()) {
        host_.commandsChanged();
        // The morning's first look, as Windows programs tell it; with a shutdown the machine is
        // going down and nothing is shown.
        notice_.show(window_, NightEndNotice(night_->watch().states()));
        platform_.flashTaskbarButton(window_);
    }
    host_.beat(changed);
}

NightView Nights::view() {
    return night_ ? night_->view() : LastNight(platform_, document_.rows.count());
}

std::optional<LRESULT> Nights::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WmNightNotice:
            if (notice_.clicked(lParam)) host_.showResults();
            return 0;
        case WM_ACTIVATE:
            notice_.activated(wParam);  // the artist is here: the morning's notice has done its work
            return std::nullopt;
        case WmOfferCutShortNight:
            offerCutShortNight();
            return 0;
        case WM_QUERYENDSESSION:
            if (night_) night_->sessionEnding();
            return TRUE;
        case WM_ENDSESSION:
            if (night_) night_->sessionEnded(wParam != 0);
            return 0;
        case WM_POWERBROADCAST:
            if (night_) night_->powerChanged(static_cast<unsigned>(wParam));
            return std::nullopt;
        default: break;
    }
    if (notice_.taskbarCreated(message)) return 0;
    if (message == taskbarButtonCreated_ && taskbarButtonCreated_ != 0) {
        if (night_) night_->showProgressAgain();
        return 0;
    }
    return std::nullopt;
}

void Nights::openNightOptions() {
    if (nightOptionsDialog()) {
        SetForegroundWindow(nightOptionsDialog_->hwnd());
        return;
    }
    win::Window::Dispose(nightOptionsDialog_);
    auto dialog = std::make_unique<NightOptionsDialog>(platform_, document_.settings.night, [this] {
        // The night under way is watched by the new limits from now on; its script keeps its tries.
        if (night_) night_->changeOptions(document_.settings.night);
        host_.settingsChanged();
    });
    if (dialog->create(window_)) nightOptionsDialog_ = std::move(dialog);
}

void Nights::openFarmDialog(RenderWay way) {
    // The same dialog again comes forward as it is; one whose message is still open stays.
    if (farmDialog() && farmDialog_->way() == way) {
        ShowWindow(farmDialog_->hwnd(), SW_SHOW);
        SetForegroundWindow(farmDialog_->hwnd());
        return;
    }
    win::Window::Dispose(farmDialog_);
    DocumentSettings& settings = document_.settings;
    auto dialog = std::make_unique<FarmDialog>(platform_, way, settings.deadline, settings.backburner, [this, way] {
        document_.settings.way = way;  // OK makes the farm the way 渲  染 goes
        host_.settingsChanged();
    });
    if (dialog->create(window_)) farmDialog_ = std::move(dialog);
}

void Nights::cancelShutdown() {
    CancelShutdown(platform_);
    document_.latch.shutdownCancelled();
    host_.commandsChanged();
}

void Nights::cancelRender() {
    if (CancelRender(platform_) == RenderJobEnd::Unavailable) {
        platform_.showMessage(std::wstring(RenderNotEndedMessage));
        return;
    }
    if (night_ && night_->following()) {
        night_->cancel();
        beat();  // the dialog shows it at once
    }
}

// ---- A night Windows cut short (a restart, a power cut), offered again once at start-up, from the
// plan each night keeps beside its record.

// The newest night's script, still running outside any render job, taken to be followed.
bool Nights::adoptNightScript() {
    const std::optional<std::wstring> base = NewestNightPath(platform_);
    if (!base) return false;
    const std::optional<std::string> bytes = platform_.readFile(*base + std::wstring(PlanExtension));
    const std::optional<NightPlan> plan = bytes ? ReadPlan(*bytes) : std::nullopt;
    // A night seen to end or cancelled has no script left; an id of it may be another's now.
    return plan && !plan->offered && platform_.adoptScript({plan->scriptProcessId, plan->scriptStarted});
}

void Nights::offerCutShortNight() {
    // A night this program follows or joined is under way, not cut short.
    if (night_ && night_->following()) return;
    const std::optional<std::wstring> base = NewestNightPath(platform_);
    if (!base) return;
    const std::wstring planPath = *base + std::wstring(PlanExtension);
    const std::optional<std::string> bytes = platform_.readFile(planPath);
    const std::optional<NightPlan> plan = bytes ? ReadPlan(*bytes) : std::nullopt;
    // A farm's night renders nothing here, and what its script did is the farm's to tell.
    if (!plan || plan->offered || plan->rows.empty() || plan->way != NightWay::Here) return;
    // A script that still runs is joined, never started again.
    if (platform_.renderJobRunning() || platform_.processRunning({plan->scriptProcessId, plan->scriptStarted})) {
        return;
    }
    const std::optional<std::string> recordBytes = platform_.readFile(*base + std::wstring(RecordExtension));
    std::vector<RecordLine> record;
    if (recordBytes) record = ReadRecord(*recordBytes).value_or(std::vector<RecordLine>{});
    // The log's end tells which rows started last; a night's log of many hours is not read whole
    // on the window thread.
    constexpr std::size_t MostLogRead = 16u << 20;
    const std::wstring logPath = *base + std::wstring(LogExtension);
    const std::optional<unsigned long long> logSize = platform_.fileSize(logPath);
    const unsigned long long logFrom = logSize && *logSize > MostLogRead ? *logSize - MostLogRead : 0;
    const std::optional<std::string> logBytes = platform_.readFileFrom(logPath, logFrom, MostLogRead);
    const std::wstring log = logBytes ? platform_.scriptCodec().decode(*logBytes) : std::wstring();
    const std::vector<RenderResult> results = FindResults(
        plan->rows, [this](const std::wstring& folder) { return platform_.folderEntries(folder); });
    const std::size_t ended = RowsEnded(*plan, record, log, [&](std::size_t row) {
        return row < results.size() && results[row].done && results[row].modified >= plan->nightStarted;
    });
    const std::size_t total = plan->rows.size();
    if (ended >= total) return;

    // Asked once: 否 asks again only for a later night.
    KeepPlan(platform_, planPath, PlanNote{PlanNote::Kind::Asked});
    host_.settle();
    const std::vector<RenderJob> remaining(plan->rows.begin() + static_cast<std::ptrdiff_t>(ended),
                                           plan->rows.end());
    const std::vector<std::size_t> positions = MatchRows(remaining, document_.rows.jobs());
    const std::wstring text = CutShortQuestion(ended, total, positions.size());
    if (positions.empty()) {
        platform_.showMessage(text);
        return;
    }
    const bool shutdown = plan->shutdownAfterwards;
    if (document_.settings.night.continueUnasked) {
        win::Window::Dispose(countdown_);
        // The table may change during the minute: the rows are found again as it ends.
        auto countdown = std::make_unique<CountdownWindow>(positions.size(), [this, remaining, shutdown] {
            host_.settle();
            continueNight(MatchRows(remaining, document_.rows.jobs()), shutdown);
        });
        if (countdown->create(window_)) countdown_ = std::move(countdown);
        return;
    }
    if (platform_.ask(text)) continueNight(positions, shutdown);
}

void Nights::continueNight(const std::vector<std::size_t>& positions, bool shutdown) {
    if (nightRuns()) {
        platform_.showMessage(std::wstring(RenderStillRunningMessage));
        return;
    }
    // The rows as the table holds them now, under the table's own numbers.
    host_.settle();
    RenderRequest request = RenderRequestOf(document_, positions, shutdown);
    if (request.rows.empty()) return;
    // The same shutdown choice as the night it continues, shown where the artist sees it.
    document_.settings.shutdown = shutdown;
    host_.settingsChanged();
    start(request);
}

}  // namespace ravolen
