#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace ravolen {

// What the artist sets for the night: when a row under way is ended, and how often a failed row
// is rendered again.
struct NightOptions {
    int hungMinutes = 20;    // 无响应超时: 0 turns the hang rule off
    int longestMinutes = 0;  // 单个任务最长时间: 0 for no limit
    int retries = 0;         // 失败后重试
    // 继续中断的渲染时不再询问: a night cut short goes on after a countdown, without the question.
    bool continueUnasked = false;

    bool operator==(const NightOptions&) const = default;
};

inline constexpr int MaxHungMinutes = 240;
inline constexpr int MaxLongestMinutes = 99 * 60 + 59;  // 99 hours and 59 minutes
inline constexpr int MaxRetries = 3;

// True when every value lies in its range.
bool ValidNightOptions(const NightOptions& options);

// The exit code the watchdog ends a row's renderer with: ERROR_TIMEOUT.
inline constexpr unsigned WatchdogExitCode = 1460;

// How often the row's processor time is read, in seconds.
inline constexpr long long GuardReadInterval = 15;

// Between two looks of the watchdog, more time than this on the clock of time awake is not work:
// the machine slept in a way that clock counts (Modern Standby), or this program stood still.
inline constexpr long long GuardLongestGap = 60;

// What a row's tree may read and write in a whole span, in bytes, and still be hung: a renderer
// waiting on a slow share uses little processor but moves its scene over the network.
inline constexpr unsigned long long GuardIdleBytes = 1024 * 1024;

// "无响应，已结束（20分钟没有进展）"
std::wstring HungNote(int minutes);
// "超时，已结束（超过2小时）"
std::wstring TooLongNote(int minutes);

enum class GuardVerdict {
    Working,  // nothing to do
    Hung,     // no progress over the last 无响应超时 minutes (see RowGuard)
    TooLong,  // under way longer than 单个任务最长时间
};

// True when a file of the folder appeared, grew or was written since the earlier listing.
bool OutputGrew(const std::vector<FolderEntry>& before, const std::vector<FolderEntry>& now);

// Watches one row under way from readings of what its processes did. Seconds are counted on a
// clock of time awake, the same for the whole row. A row is hung when, over the whole span, its
// processes together used less than 1 % of one processor, read and wrote less than
// GuardIdleBytes, and no file of its output folder appeared or grew.
class RowGuard {
public:
    RowGuard(const NightOptions& options, long long startedSecond);

    // A reading at `second`: each process of the row with its processor time and I/O, or nothing
    // when they could not be read, and the row's output folder (nothing: not read). A process
    // that ended takes its counts with it: only what each process gained since the last reading
    // counts, so the row's work never goes back.
    void read(long long second, const std::optional<std::vector<ProcessTime>>& times,
              const std::optional<std::vector<FolderEntry>>& output = std::nullopt);
    // The machine slept or this program stood still from `from` to `to`: that time is not under
    // way, and the hang span starts again with the next reading. The row's start stays.
    void pause(long long from, long long to);

    GuardVerdict verdict(long long second) const;
    // Limits changed while the row is under way: the readings so far still count.
    void changeOptions(const NightOptions& options) { options_ = options; }

    // True when the hang rule cannot judge the row: the last reading failed, or the times read nothing
    // at all for the whole of the rule's span (a way of asking that answers 0 however busy the
    // process is). Such a row is never taken for hung.
    bool unreadable(long long second) const;

private:
    struct Work {
        long long second;
        // Since the row started: processor time in 100 ns, bytes moved, readings that saw the
        // output grow.
        unsigned long long time;
        unsigned long long bytes;
        unsigned long long grew;
    };
    struct Counts {
        unsigned long long time;
        unsigned long long bytes;
    };
    long long underWay(long long second) const { return second - started_ - away_; }

    NightOptions options_;
    long long started_;
    long long away_ = 0;      // seconds of pauses since the start
    Work total_{0, 0, 0, 0};  // everything gained since the start
    std::vector<Work> work_;  // the readings of the span still needed, oldest first
    std::map<unsigned long, Counts> last_;  // each process's counts at the last reading
    std::optional<std::vector<FolderEntry>> output_;  // the output folder at the last listing
    bool failed_ = false;
    bool anyTime_ = false;
};

}  // namespace ravolen
