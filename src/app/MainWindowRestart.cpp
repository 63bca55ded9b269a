#include "app/MainWindow.h"

#include "app/CountdownWindow.h"
#include "app/MainWindowIds.h"
#include "app/NightFollower.h"
#include "jobs/Results.h"
#include "render/NightPlan.h"
#include "render/RenderCommand.h"
#include "win/Controls.h"

// The main window's way back into a night that Windows cut short: its plan kept as it starts,
// and at the next start the rest of it offered once.

namespace ravolen {

using namespace mainwindow;

bool MainWindow::adoptNightScript() {
    const std::optional<std::wstring> base = NewestNightPath(platform_);
    if (!base) return false;
    const std::optional<std::string> bytes = platform_.readFile(*base + std::wstring(PlanExtension));
    const std::optional<NightPlan> plan = bytes ? ReadPlan(*bytes) : std::nullopt;
    // A night seen to end or cancelled has no script left; an id of it may be another's now.
    return plan && !plan->offered && platform_.adoptScript({plan->scriptProcessId, plan->scriptStarted});
}

void MainWindow::offerCutShortNight() {
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
    if (platform_.renderJobRunning() ||
        platform_.processRunning({plan->scriptProcessId, plan->scriptStarted})) {
        return;
    }
    const std::optional<std::string> recordBytes =
        platform_.readFile(*base + std::wstring(RecordExtension));
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
    const std::vector<RenderJob> remaining(plan->rows.begin() + static_cast<std::ptrdiff_t>(ended),
                                           plan->rows.end());
    const std::vector<std::size_t> positions = MatchRows(remaining, table_.rows().jobs());
    const std::wstring text = CutShortQuestion(ended, total, positions.size());
    if (positions.empty()) {
        platform_.showMessage(text);
        return;
    }
    const bool shutdown = plan->shutdownAfterwards;
    if (nightOptions_.continueUnasked) {
        win::Window::Dispose(countdown_);
        // The table may change during the minute: the rows are found again as it ends.
        auto countdown = std::make_unique<CountdownWindow>(positions.size(), [this, remaining, shutdown] {
            continueNight(MatchRows(remaining, table_.rows().jobs()), shutdown);
        });
        if (countdown->create(hwnd())) countdown_ = std::move(countdown);
        return;
    }
    if (platform_.ask(text)) continueNight(positions, shutdown);
}

void MainWindow::continueNight(const std::vector<std::size_t>& positions, bool shutdown) {
    if (!IsWindowEnabled(item(IdRenderButton))) {
        platform_.showMessage(std::wstring(RenderStillRunningMessage));
        return;
    }
    // The rows as the table holds them now, under the table's own numbers.
    const std::vector<RenderJob> all = table_.rows().jobs();
    RenderRequest request{win::WindowText(item(IdInstallFolderBox)), {}, shutdown};
    for (const std::size_t position : positions) {
        if (position >= all.size()) continue;
        request.rows.push_back(all[position]);
        request.numbers.push_back(static_cast<int>(position + 1));
    }
    if (request.rows.empty()) return;
    // The same shutdown choice as the night it continues, shown where the artist sees it.
    win::SetChecked(item(IdShutdownCheck), shutdown);
    startRender(request);
}

CountdownWindow* MainWindow::countdown() const {
    return countdown_ && countdown_->hwnd() && countdown_->counting() ? countdown_.get() : nullptr;
}

}  // namespace ravolen
