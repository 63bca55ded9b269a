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

// The newest night in bat\logs\; with `plans`, also one that has its plan alone (a farm's).
std::optional<NewestNight> FindNewestNight(Platform& platform, bool plans = false) {
    std::optional<NewestNight> newest;
    for (const std::wstring& folder : RecordFolders(platform)) {
        const auto entries = platform.folderEntries(folder);
        if (!entries) continue;
        std::vector<std::wstring> names;
        for (const FolderEntry& entry : *entries) {
            const bool plan = entry.name.size() > PlanExtension.size() &&
                              SameWindowsPath(entry.name.substr(entry.name.size() - PlanExtension.size()),
                                              PlanExtension);
            if (!entry.folder && (plans || !plan)) names.push_back(entry.name);
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


// The exit code of what a night's processes left running, ended by the program.
constexpr unsigned LeftOverExitCode = 1;

}  // namespace

std::optional<std::wstring> NewestNightPath(Platform& platform) {
    const std::optional<NewestNight> night = FindNewestNight(platform, true);
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
    night->planPath_ = PlanPathOf(logPath);
    if (const auto script = platform.renderScriptProcess()) night->scriptId_ = script->processId;
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
    const std::optional<NewestNight> newest = FindNewestNight(platform, true);
    const std::wstring scriptFolder =
        newest ? std::wstring(FolderOf(newest->folder))
               : platform.programFolder() + L"\\" + std::wstring(ScriptFolderName);
    const LocalTime started =
        newest ? RecordNameTime(newest->name).value_or(now) : now;
    // What the night's program decided is read from its plan, never from its script.
    std::optional<NightPlan> plan;
    if (newest) {
        const auto bytes = platform.readFile(newest->path(PlanExtension));
        if (bytes) plan = ReadPlan(*bytes);
    }
    // A night handed to a farm renders nothing here: it is not followed.
    if (plan && plan->way != NightWay::Here) return nullptr;
    // Held again as the copy that started the night held it, until the night ends.
    platform.holdScript(plan && !plan->scriptPath.empty()
                            ? plan->scriptPath
                            : scriptFolder + L"\\" + std::wstring(ScriptFileName));
    if (!platform.followRenderJob()) return nullptr;
    // The tries the running script makes are its own, whatever the options say now.
    NightOptions joined = options;
    joined.retries = plan ? plan->retries : 0;
    std::unique_ptr<NightFollower> night(
        new NightFollower(platform, window, scriptFolder, installFolder, rows, started, joined));
    if (newest) {
        night->watch_.restore(ReadNight(platform, *newest));
        night->recordPath_ = newest->path(RecordExtension);
        night->logPath_ = newest->path(LogExtension);
    }
    if (plan) {
        night->planPath_ = newest->path(PlanExtension);
        // A settled night's script id may be another process's now.
        if (!plan->offered) night->scriptId_ = plan->scriptProcessId;
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
    // A line the disk refused (a backup tool or the indexer held the record) is tried again.
    if (!unwritten_.empty()) writeRecord();
    const std::vector<RenderJobEvent> events = platform_.takeRenderJobEvents();
    for (const RenderJobEvent& event : events) {
        if (!following_) break;  // the job emptied: nothing can follow
        feed(event);
    }
    if (following_ && scriptEnded_) {
        // The script ran to its end: what its rows left running (a 3ds Max, a crash reporter, a
        // licence helper) would keep the night open all night.
        std::vector<unsigned long> left;
        for (const auto& process : running_) left.push_back(process.first);
        if (!left.empty() && platform_.endRenderJob() == RenderJobEnd::Ended) {
            endLeftOver(left, L"渲染脚本结束后");
        }
        finish(PlanNote::Kind::ScriptEnded, *scriptEnded_);
    }
    if (!events.empty()) showProgress();
    if (following_ && !events.empty()) keepAwake();
    if (following_ && session_ == Session::Running) guard();
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
            running_[event.processId] = event.imagePath;
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
            running_.erase(event.processId);
            if (scriptId_ != 0 && event.processId == scriptId_) {
                // Its last renderer's end may be told after it (a look at the job tells ends in
                // no set order): the night ends once this look is taken whole.
                scriptEnded_ = event.at;
                break;
            }
            const auto line = watch_.processExited(event.processId, event.exitCode, event.at, outputExists);
            if (!line) break;
            if (session_ != Session::Running && line->exitCode != 0) {
                heldBack_.push_back(*line);  // ended by the shutdown, not by a fault of its own
            } else {
                append(*line);
            }
            // A row's renderer has ended: nothing of its tree is left to run into the next row.
            endLeftOver(platform_.endRenderTreeLeft(event.processId, LeftOverExitCode),
                        L"第" + std::to_wstring(line->row) + L"个任务的渲染程序结束后");
            break;
        }
        case RenderJobEvent::Kind::NoneLeft:
            finish(PlanNote::Kind::ScriptEnded, event.at);
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
    // Ended by the artist's own word: the rows it left are not offered again at the next start.
    finish(PlanNote::Kind::Cancelled, clock());
    showProgress();
}

void NightFollower::finish(PlanNote::Kind how, const LocalTime& at) {
    if (!following_) return;
    watch_.end(at);
    // Windows closing processes in no set order ended the script: the night was cut, not over.
    const bool cut = session_ != Session::Running;
    stop(cut);
    if (!cut) KeepPlan(platform_, planPath_, PlanNote{how});
}

void NightFollower::endLeftOver(const std::vector<unsigned long>& ended, const std::wstring& after) {
    std::wstring names;
    for (const unsigned long id : ended) {
        const auto found = running_.find(id);
        const std::wstring name = found != running_.end() && !found->second.empty()
                                      ? std::wstring(FileNameOf(found->second))
                                      : L"进程" + std::to_wstring(id);
        if (found != running_.end()) running_.erase(found);
        // A console's host goes with its console: nothing the artist needs to hear of.
        if (SameWindowsPath(name, L"conhost.exe")) continue;
        names += (names.empty() ? L"" : L"、") + name;
    }
    if (!names.empty()) note(after + L"仍在运行的进程已被结束：" + names);
}

void NightFollower::sessionEnding() {
    if (following_ && session_ == Session::Running) session_ = Session::Ending;
}

void NightFollower::sessionEnded(bool ending) {
    if (session_ != Session::Ending) return;
    if (!ending) {
        // Cancelled: what failed meanwhile failed, and is recorded as it was.
        session_ = Session::Running;
        for (const RecordLine& line : std::exchange(heldBack_, {})) append(line);
        return;
    }
    session_ = Session::Ended;
    // The row cut: the first that failed since Windows asked, else the one under way, else the
    // one the script starts next.
    const std::vector<int>& numbers = watch_.numbers();
    std::optional<std::size_t> cut;
    if (!heldBack_.empty()) {
        const auto at = std::find(numbers.begin(), numbers.end(), heldBack_.front().row);
        if (at != numbers.end()) cut = static_cast<std::size_t>(at - numbers.begin());
    } else if (const auto underWay = watch_.rendererUnderWay()) {
        cut = underWay->second;
    } else if (const std::size_t next = watch_.expectedRow(); next < rows_.size()) {
        cut = next;
    }
    heldBack_.clear();
    // The script must run no further line: each would fail at once as the machine goes down.
    platform_.endRenderJob();
    if (cut && *cut < rows_.size()) {
        const LocalTime now = clock();
        const RowState& state = watch_.states()[*cut];
        append({numbers[*cut], rows_[*cut].scene, state.started.value_or(now), now, std::nullopt, L"",
                std::wstring(ShutdownCutNote)});
        KeepPlan(platform_, planPath_, PlanNote{PlanNote::Kind::CutByShutdown, *cut});
    }
    if (following_) {
        watch_.end(clock());
        stop(true);
    }
}

void NightFollower::stop(bool cutShort) {
    if (!following_) return;
    following_ = false;
    platform_.stopFollowingRenderJob();
    // Ended or cancelled: the machine's own power plan and the shutdown line hold again, and
    // nothing is left to come back for; a night cut short is still to come back to.
    platform_.letSleep();
    if (!cutShort) platform_.unregisterRestart();
    // The next night, of this copy or another, may write the script.
    platform_.letGoOfScript();
    if (!writeRecord()) {
        for (const RecordLine& line : unwritten_) {
            note(L"渲染记录未能写入（" + recordPath_ + L"）：第" + std::to_wstring(line.row) + L"个任务 " +
                 line.scene + L" " + RowStateText(StateOfRecord(line), line.ended));
        }
    }
}

void NightFollower::append(const RecordLine& line) {
    // The render matters more than its record: a line the disk refuses (a backup tool or the
    // indexer held the file, a share was away) waits, in order, and is written on a later beat;
    // no box waits for a click while the renderer goes on.
    if (recordPath_.empty()) return;
    unwritten_.push_back(line);
    writeRecord();
}

bool NightFollower::writeRecord() {
    while (!unwritten_.empty()) {
        if (!platform_.appendFile(recordPath_, RecordLineBytes(unwritten_.front()))) return false;
        unwritten_.erase(unwritten_.begin());
    }
    return true;
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
