#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/JobTable.h"
#include "platform/Platform.h"
#include "render/NightRecord.h"
#include "render/RenderCommand.h"
#include "render/NightGuard.h"
#include "render/NightPlan.h"
#include "render/NightWatch.h"

namespace ravolen {

// What the results dialog shows of a night: the one this program follows, or the last one on
// disk. Entry k is about row k + 1 of the script; a row's state shows only while the table's row
// at that place still holds the same scene.
struct NightView {
    std::vector<std::wstring> scenes;
    std::vector<std::optional<RowState>> states;  // nothing: the night says nothing of the row
    std::wstring summary;                         // empty without a followed night
    LocalTime now;
    std::wstring logPath;  // empty when the night has none
    bool live = false;     // the night is still followed: its log grows
    // What the watchdog has to say that the log file cannot hold (cmd holds it): for the log window.
    std::vector<std::wstring> notes;
};

// The night's record, when there is one, as the results show it after the render, for a table of
// `rows` rows.
NightView LastNight(Platform& platform, std::size_t rows);

// Follows one render here from the render job's events: keeps the rows' states, appends a line
// to the night's record as each row ends and shows the progress on the taskbar button. It never
// waits: the window hands it the events once a second. While it follows, it is the night's
// watchdog: the row under way that is hung or under way too long (NightOptions) has its renderer
// tree ended, and the script goes on to its next line.
class NightFollower {
public:
    // Follows the render just started; null when the render job cannot be followed.
    static std::unique_ptr<NightFollower> Start(Platform& platform, HWND__* window,
                                                const std::wstring& scriptFolder,
                                                const std::wstring& installFolder,
                                                const std::vector<RenderJob>& rows,
                                                const LocalTime& started,
                                                const std::wstring& recordPath,
                                                const std::wstring& logPath,
                                                const NightOptions& options = {},
                                                const std::vector<int>& numbers = {});
    // Joins the render that runs while the program starts: the rows are the table's (as the
    // session put them back), what ended before comes from the newest record.
    static std::unique_ptr<NightFollower> Join(Platform& platform, HWND__* window,
                                               const std::wstring& installFolder,
                                               const std::vector<RenderJob>& rows,
                                               const LocalTime& now,
                                               const NightOptions& options = {});
    ~NightFollower();
    NightFollower(const NightFollower&) = delete;
    NightFollower& operator=(const NightFollower&) = delete;

    // Takes what happened since the last call; true when a row's state or the night changed.
    bool tick();
    // The user cancelled the render.
    void cancel();
    // Windows asks to end the session (an update's restart, a shutdown): it closes processes in
    // no set order, so from now on a row that fails is no failure of its own and is not recorded
    // as one. `ending` false: the shutdown was cancelled, and what was held back is recorded;
    // true: the row it cut is recorded as cut, the script runs no further line, and the night
    // stays to be offered at the next start.
    void sessionEnding();
    void sessionEnded(bool ending);
    // New limits for the watchdog, from now on; the script's tries stay as it was written.
    void changeOptions(const NightOptions& options);
    // Shows the progress again (the taskbar button was made anew).
    void showProgressAgain();
    // Windows tells that the computer goes to sleep or wakes (WM_POWERBROADCAST's event): no span
    // of the watchdog runs across it.
    void powerChanged(unsigned event);

    bool following() const { return following_; }
    const NightWatch& watch() const { return watch_; }
    NightView view() const;
    // The clock the night is measured by, and the seconds the computer was awake, which the
    // watchdog counts its spans on; tests set their own.
    std::function<LocalTime()> clock;
    std::function<long long()> awake;

private:
    NightFollower(Platform& platform, HWND__* window, const std::wstring& scriptFolder,
                  const std::wstring& installFolder, const std::vector<RenderJob>& rows,
                  const LocalTime& started, const NightOptions& options);
    void feed(const RenderJobEvent& event);
    // The watchdog's look at the row under way.
    void guard();
    struct Look {
        long long awake;
        LocalTime clock;
    };
    // Where the row began on the awake clock, as the clock on the wall and the last look tell.
    long long rowStart(std::size_t row, long long now, const LocalTime& wallNow,
                       const std::optional<Look>& last) const;
    void note(std::wstring text);
    // The renderer's path as the night knows it when the image is the renderer, else the image.
    std::wstring rendererSpelling(const std::wstring& imagePath);
    void append(const RecordLine& line);
    // Writes the record's lines not yet written, in order; true when none is left.
    bool writeRecord();
    // The night is over: its script ended (or the job emptied), or it was cancelled.
    void finish(PlanNote::Kind how, const LocalTime& at);
    // Ends what a process of the night left running in the job, and names it in the log window.
    void endLeftOver(const std::vector<unsigned long>& ended, const std::wstring& after);
    // `cutShort`: the night is to be offered again, so the program stays registered to come back.
    void stop(bool cutShort = false);
    void showProgress();
    // While followed, the night keeps the computer awake (the row under way in the reason) and
    // the program registered to start again after a restart.
    void holdNight();
    void keepAwake();

    Platform& platform_;
    HWND__* window_;
    std::wstring installFolder_;
    std::vector<RenderJob> rows_;
    NightWatch watch_;
    std::wstring recordPath_;
    std::wstring logPath_;
    std::wstring planPath_;
    bool following_ = false;
    // The script's own process: the night ends when it ends. 0 where it is not known.
    unsigned long scriptId_ = 0;
    std::optional<LocalTime> scriptEnded_;  // when it was seen to end
    std::map<unsigned long, std::wstring> running_;  // the job's processes under way: their program
    std::vector<RecordLine> unwritten_;  // the record's lines the disk refused so far, in order
    enum class Session { Running, Ending, Ended };
    Session session_ = Session::Running;
    std::vector<RecordLine> heldBack_;  // rows that failed while the session was ending
    std::optional<TaskbarProgress> shown_;
    std::map<std::wstring, bool> spellings_;  // a program's path: whether it is the renderer
    NightOptions options_;
    // The row under way as the watchdog sees it: its renderer, the guard, the last reading and
    // the last look (on the awake clock), and whether Windows said it slept since.
    unsigned long guarded_ = 0;
    std::optional<RowGuard> guard_;
    std::optional<long long> lastRead_;
    std::optional<Look> lastLook_;
    bool slept_ = false;
    bool ending_ = false;  // the renderer was told to end
    bool unreadableSaid_ = false;
    std::vector<std::wstring> notes_;
    std::optional<std::size_t> awakeRow_;  // the row the power request names
};

// A line for the started message when the night's record could not be begun (empty otherwise):
// the render goes on regardless.
std::wstring NightRecordNote(const RenderStart& started);

// The newest night's files without their extension (…\bat\logs\20261207-230105), or nothing.
std::optional<std::wstring> NewestNightPath(Platform& platform);

// This computer's clock now; seconds Windows was awake since it started, which neither summer
// time nor sleep or hibernation move.
LocalTime LocalTimeNow();
long long AwakeSeconds();

}  // namespace ravolen
