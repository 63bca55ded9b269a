#include "app/NightFollower.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "jobs/Results.h"
#include "render/NightPlan.h"
#include "render/RenderScript.h"

namespace ravolen {
namespace {

// Where the nights lie: bat\logs\ beside the program, or in the user's own bat folder where the
// program's could not be written (the script went there too).
std::vector<std::wstring> RecordFolders(Platform& platform) {
    std::vector<std::wstring> folders{platform.programFolder() + L"\\" +
                                      std::wstring(ScriptFolderName) + L"\\" +
                                      std::wstring(RecordFolderName)};
    if (const std::wstring own = platform.userDataFolder(); !own.empty()) {
        folders.push_back(own + L"\\" + std::wstring(ScriptFolderName) + L"\\" +
                          std::wstring(RecordFolderName));
    }
    return folders;
}

struct NewestNight {
    std::wstring folder;  // bat\logs
    std::wstring name;
    bool log = false;  // the folder lists the night's log
    std::wstring path(std::wstring_view extension) const {
        return folder + L"\\" + name + std::wstring(extension);
    }
};

std::optional<NewestNight> FindNewestNight(Platform& platform) {
    std::optional<NewestNight> newest;
    for (const std::wstring& folder : RecordFolders(platform)) {
        const auto entries = platform.folderEntries(folder);
        if (!entries) continue;
        std::vector<std::wstring> names;
        for (const FolderEntry& entry : *entries) {
            if (!entry.folder) names.push_back(entry.name);
        }
        const std::optional<std::wstring> name = NewestRecord(names);
        if (!name || (newest && *name <= newest->name)) continue;
        const std::wstring log = *name + std::wstring(LogExtension);
        newest = NewestNight{folder, *name, std::any_of(names.begin(), names.end(), [&](const std::wstring& entry) {
                                 return SameWindowsPath(entry, log);
                             })};
    }
    return newest;
}

std::vector<RecordLine> ReadNight(Platform& platform, const NewestNight& night) {
    const std::optional<std::string> bytes = platform.readFile(night.path(RecordExtension));
    if (!bytes) return {};
    return ReadRecord(*bytes).value_or(std::vector<RecordLine>{});
}


}  // namespace

std::optional<std::wstring> NewestNightPath(Platform& platform) {
    const std::optional<NewestNight> night = FindNewestNight(platform);
    if (!night) return std::nullopt;
    return night->path(L"");
}

LocalTime LocalTimeNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

long long AwakeSeconds() {
    // GetTickCount64 counts a night asleep as time a renderer made no progress in.
    ULONGLONG awake = 0;
    QueryUnbiasedInterruptTime(&awake);
    return static_cast<long long>(awake / 10'000'000);
}

std::wstring NightRecordNote(const RenderStart& started) {
    if (!started.recordPath.empty()) return {};
    return L"\n无法写入渲染记录，本次渲染的结果不会被记录（渲染照常进行）。";
}

NightView LastNight(Platform& platform, std::size_t rows) {
    NightView view;
    view.now = LocalTimeNow();
    const std::optional<NewestNight> night = FindNewestNight(platform);
    if (!night) return view;
    for (const RecordLine& line : ReadNight(platform, *night)) {
        // A row the table does not have is shown nowhere; a number read from the file asks for
        // no memory beyond the table's.
        if (line.row < 1 || static_cast<unsigned long long>(line.row) > rows) continue;
        const auto row = static_cast<std::size_t>(line.row);
        if (row > view.states.size()) {
            view.states.resize(row);
            view.scenes.resize(row);
        }
        view.states[row - 1] = StateOfRecord(line);
        view.scenes[row - 1] = line.scene;
    }
    if (night->log) view.logPath = night->path(LogExtension);
    return view;
}

NightFollower::NightFollower(Platform& platform, HWND__* window, const std::wstring& scriptFolder,
                             const std::wstring& installFolder, const std::vector<RenderJob>& rows,
                             const LocalTime& started, const NightOptions& options)
    : clock(LocalTimeNow),
      awake(AwakeSeconds),
      platform_(platform),
      window_(window),
      installFolder_(installFolder),
      rows_(rows),
      watch_(scriptFolder, installFolder, rows, started, options.retries),
      options_(options) {}

NightFollower::~NightFollower() {
    // The render goes on without this program, and can keep the computer awake no longer; it is
    // still registered to come back after a restart, as the night may still be cut short.
    if (following_) {
        platform_.stopFollowingRenderJob();
        platform_.letSleep();
    }
}

std::unique_ptr<NightFollower> NightFollower::Start(Platform& platform, HWND__* window,
                                                    const std::wstring& scriptFolder,
                                                    const std::wstring& installFolder,
                                                    const std::vector<RenderJob>& rows,
                                                    const LocalTime& started,
                                                    const std::wstring& recordPath,
                                                    const std::wstring& logPath,
                                                    const NightOptions& options,
                                                    const std::vector<int>& numbers) {
    if (!platform.followRenderJob()) return nullptr;
    std::unique_ptr<NightFollower> night(
        new NightFollower(platform, window, scriptFolder, installFolder, rows, started, options));
    if (!numbers.empty()) night->watch_.numberRows(numbers);
    night->recordPath_ = recordPath;
    night->logPath_ = logPath;
    night->following_ = true;
    night->showProgress();
    night->holdNight();
    return night;
}

std::unique_ptr<NightFollower> NightFollower::Join(Platform& platform, HWND__* window,
                                                   const std::wstring& installFolder,
                                                   const std::vector<RenderJob>& rows,
                                                   const LocalTime& now,
                                                   const NightOptions& options) {
    const std::optional<NewestNight> newest = FindNewestNight(platform);
    const std::wstring scriptFolder =
        newest ? std::wstring(FolderOf(newest->folder))
               : platform.programFolder() + L"\\" + std::wstring(ScriptFolderName);
    const LocalTime started =
        newest ? RecordNameTime(newest->name).value_or(now) : now;
    // A script that hands its rows to Backburner renders nothing here: it is not followed.
    const auto script = platform.readFile(scriptFolder + L"\\" + std::wstring(ScriptFileName));
    if (script && script->find("-submit:") != std::string::npos) return nullptr;
    if (!platform.followRenderJob()) return nullptr;
    // The tries the running script makes are its own, whatever the options say now.
    NightOptions joined = options;
    joined.retries = script ? RetriesOfScript(*script) : 0;
    std::unique_ptr<NightFollower> night(
        new NightFollower(platform, window, scriptFolder, installFolder, rows, started, joined));
    if (newest) {
        night->watch_.restore(ReadNight(platform, *newest));
        night->recordPath_ = newest->path(RecordExtension);
        night->logPath_ = newest->path(LogExtension);
    }
    night->following_ = true;
    night->showProgress();
    night->holdNight();
    return night;
}

void NightFollower::holdNight() {
    platform_.registerRestart();
    keepAwake();
}

void NightFollower::keepAwake() {
    const std::size_t row = watch_.currentRow().value_or(0) + 1;
    if (awakeRow_ == row) return;
    awakeRow_ = row;
    platform_.keepAwake(AwakeReason(row, watch_.states().size()));
}

bool NightFollower::tick() {
    if (!following_) return false;
    const std::vector<RenderJobEvent> events = platform_.takeRenderJobEvents();
    for (const RenderJobEvent& event : events) feed(event);
    if (!events.empty()) showProgress();
    if (following_ && !events.empty()) keepAwake();
    if (following_) guard();
    return !events.empty();
}

void NightFollower::guard() {
    const long long now = awake();
    const LocalTime wallNow = clock();
    const std::optional<Look> last = std::exchange(lastLook_, Look{now, wallNow});
    // The program was frozen or the machine slept: no span runs across it.
    const bool slept = std::exchange(slept_, false);
    const bool broke = last && (slept || now - last->awake > GuardLongestGap);
    const auto underWay = watch_.rendererUnderWay();
    if (!underWay) {
        guard_.reset();
        return;
    }
    const auto [processId, row] = *underWay;
    if (!guard_ || guarded_ != processId) {
        guard_.emplace(options_, rowStart(row, now, wallNow, last));
        guarded_ = processId;
        lastRead_.reset();
        ending_ = false;
    }
    if (broke) {
        guard_->pause(last->awake, now);
        lastRead_.reset();  // the next span opens at once
    }
    if (ending_) return;  // its exit is awaited
    if (options_.hungMinutes > 0 && (!lastRead_ || now - *lastRead_ >= GuardReadInterval)) {
        // Frames written are progress too, however little the renderer reads or computes.
        const std::wstring& output = rows_[row].outputFolder;
        guard_->read(now, platform_.renderTreeTimes(processId),
                     output.empty() ? std::nullopt : platform_.folderEntries(output));
        lastRead_ = now;
        if (guard_->unreadable(now) && !unreadableSaid_) {
            unreadableSaid_ = true;
            note(L"无法读取渲染程序的处理器时间，无响应超时不起作用：不会因无响应而结束任何任务。");
        }
    }
    const GuardVerdict verdict = guard_->verdict(now);
    if (verdict == GuardVerdict::Working) return;
    ending_ = true;
    const std::wstring position = L"第" + std::to_wstring(row + 1) + L"个任务";
    if (!platform_.endRenderTree(processId, WatchdogExitCode)) {
        note(L"无法结束" + position + L"的渲染程序，它仍在运行。");
        return;
    }
    if (verdict == GuardVerdict::Hung) {
        watch_.ending(row, RowPhase::Hung, HungNote(options_.hungMinutes));
    } else {
        watch_.ending(row, RowPhase::TimedOut, TooLongNote(options_.longestMinutes));
    }
}

long long NightFollower::rowStart(std::size_t row, long long now, const LocalTime& wallNow,
                                  const std::optional<Look>& last) const {
    const std::optional<LocalTime>& started = watch_.states()[row].started;
    if (!started) return now;
    // Joined under way: the clock on the wall is all there is to tell.
    if (!last) return now - SecondsBetween(*started, wallNow);
    if (*started <= last->clock) return last->awake - SecondsBetween(*started, last->clock);
    // Started since the last look: no earlier than it on the awake clock, whatever the wall clock
    // did meanwhile (a night asleep moves it on).
    return std::max(last->awake, now - SecondsBetween(*started, wallNow));
}

void NightFollower::powerChanged(unsigned event) {
    if (event == PBT_APMSUSPEND || event == PBT_APMRESUMESUSPEND ||
        event == PBT_APMRESUMEAUTOMATIC) {
        slept_ = true;
    }
}

void NightFollower::changeOptions(const NightOptions& options) {
    options_.hungMinutes = options.hungMinutes;
    options_.longestMinutes = options.longestMinutes;
    if (guard_) guard_->changeOptions(options_);
}

void NightFollower::note(std::wstring text) { notes_.push_back(std::move(text)); }

void NightFollower::feed(const RenderJobEvent& event) {
    switch (event.kind) {
        case RenderJobEvent::Kind::Started: {
            std::optional<std::size_t> row;
            // A process told with its command line (joined late, or seen by a once-a-second look
            // at the job, which can miss a renderer that ended between two looks) is the row
            // its line names, so that a missed row never shifts the rows after it.
            if (!event.commandLine.empty()) {
                // After the rows the record has; the first such line when none follows them.
                const std::optional<std::size_t> current = watch_.currentRow();
                row = RowOfCommandLine(event.commandLine, installFolder_, rows_,
                                       current ? *current + 1 : 0);
                if (!row) row = RowOfCommandLine(event.commandLine, installFolder_, rows_);
            }
            watch_.processStarted(event.processId, rendererSpelling(event.imagePath), event.at, row);
            break;
        }
        case RenderJobEvent::Kind::Exited: {
            const auto outputExists = [this](std::size_t row) {
                // One row's folder read again, as the results read it; another row's exact name is
                // never this row's frame.
                const std::vector<RenderResult> results = FindResults(
                    rows_, [this, row](const std::wstring& folder)
                               -> std::optional<std::vector<FolderEntry>> {
                        if (folder != rows_[row].outputFolder) return std::vector<FolderEntry>{};
                        return platform_.folderEntries(folder);
                    });
                return row < results.size() && results[row].done;
            };
            if (const auto line = watch_.processExited(event.processId, event.exitCode, event.at,
                                                       outputExists)) {
                append(*line);
            }
            break;
        }
        case RenderJobEvent::Kind::NoneLeft:
            watch_.end(event.at);
            stop();
            // The script was seen to end: whatever its rows left undone, it was not cut short.
            settlePlan();
            break;
    }
}

std::wstring NightFollower::rendererSpelling(const std::wstring& imagePath) {
    // The install folder may be typed as an 8.3 name, through a junction or on a subst drive:
    // the file system says whether the program is the renderer, once for each spelling met.
    const std::wstring& renderer = watch_.renderer();
    if (imagePath.empty() || SameWindowsPath(imagePath, renderer)) return imagePath;
    auto known = spellings_.find(imagePath);
    if (known == spellings_.end()) {
        known = spellings_.emplace(imagePath, platform_.sameFile(imagePath, renderer)).first;
    }
    return known->second ? renderer : imagePath;
}

void NightFollower::cancel() {
    if (!following_) return;
    for (const RecordLine& line : watch_.cancel(clock())) append(line);
    stop();
    showProgress();
    // Ended by the artist's own word: the rows it left are not offered again at the next start.
    settlePlan();
}

void NightFollower::settlePlan() {
    if (!logPath_.ends_with(LogExtension)) return;
    const std::wstring planPath =
        logPath_.substr(0, logPath_.size() - LogExtension.size()) + std::wstring(PlanExtension);
    const std::optional<std::string> bytes = platform_.readFile(planPath);
    if (std::optional<NightPlan> plan = bytes ? ReadPlan(*bytes) : std::nullopt) {
        plan->offered = true;
        platform_.replaceFile(planPath, PlanBytes(*plan));
    }
}

void NightFollower::stop() {
    if (!following_) return;
    following_ = false;
    platform_.stopFollowingRenderJob();
    // Ended or cancelled: the machine's own power plan and the shutdown line hold again, and
    // nothing is left to come back for.
    platform_.letSleep();
    platform_.unregisterRestart();
}

void NightFollower::append(const RecordLine& line) {
    // The render matters more than its record: a line that cannot be written is left out without
    // a word at night (no box waits for a click while the renderer goes on); the rows' states
    // still show here, the log still holds the renderer's words, and the next row's line is
    // tried again (a share that was away may be back).
    if (recordPath_.empty()) return;
    platform_.appendFile(recordPath_, RecordLineBytes(line));
}

void NightFollower::showProgress() {
    TaskbarProgress progress;
    if (following_) {
        const std::vector<RowState>& states = watch_.states();
        progress.total = static_cast<unsigned>(states.size());
        progress.done = static_cast<unsigned>(std::count_if(
            states.begin(), states.end(), [](const RowState& state) {
                return state.phase != RowPhase::Waiting && state.phase != RowPhase::Rendering;
            }));
        const bool failed = std::any_of(states.begin(), states.end(), [](const RowState& state) {
            return FailedPhase(state.phase);
        });
        progress.state = failed ? TaskbarProgress::State::Error : TaskbarProgress::State::Normal;
    }
    if (shown_ == progress) return;
    shown_ = progress;
    platform_.showTaskbarProgress(window_, progress);
}

void NightFollower::showProgressAgain() {
    shown_.reset();
    showProgress();
}

NightView NightFollower::view() const {
    NightView view;
    view.now = clock();
    // Each row where the table has it: a night of some of the table's rows leaves the others be.
    const std::vector<int>& numbers = watch_.numbers();
    const std::vector<RowState>& states = watch_.states();
    for (std::size_t row = 0; row < rows_.size() && row < numbers.size(); ++row) {
        const auto at = static_cast<std::size_t>(numbers[row] - 1);
        if (at >= view.states.size()) {
            view.states.resize(at + 1);
            view.scenes.resize(at + 1);
        }
        view.scenes[at] = rows_[row].scene;
        view.states[at] = states[row];
    }
    view.summary = watch_.summary(view.now);
    view.logPath = logPath_;
    view.live = following_;
    view.notes = notes_;
    return view;
}

}  // namespace ravolen
