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

// "无响应，已结束（20分钟没有进展）"
std::wstring HungNote(int minutes);
// "超时，已结束（超过2小时）"
std::wstring TooLongNote(int minutes);

enum class GuardVerdict {
    Working,  // nothing to do
    Hung,     // less than 1 % of one processor over the last 无响应超时 minutes
    TooLong,  // under way longer than 单个任务最长时间
};

// Watches one row under way from readings of the processor time its processes used. Seconds are
// counted on a clock of time awake, the same for the whole row.
class RowGuard {
public:
    RowGuard(const NightOptions& options, long long startedSecond);

    // A reading at `second`: each process of the row with its processor time, or nothing when the
    // times could not be read. A process that ended takes its time with it: only what each
    // process gained since the last reading counts, so the row's work never goes back.
    void read(long long second, const std::optional<std::vector<ProcessTime>>& times);
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
        unsigned long long time;  // 100 ns of processor time since the row started
    };
    long long underWay(long long second) const { return second - started_ - away_; }

    NightOptions options_;
    long long started_;
    long long away_ = 0;      // seconds of pauses since the start
    Work total_{0, 0};        // everything gained since the start
    std::vector<Work> work_;  // the readings of the span still needed, oldest first
    std::map<unsigned long, unsigned long long> last_;  // each process's time at the last reading
    bool failed_ = false;
    bool anyTime_ = false;
};

}  // namespace ravolen
