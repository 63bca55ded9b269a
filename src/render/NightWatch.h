#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"
#include "render/NightRecord.h"

namespace ravolen {

enum class RowPhase {
    Waiting,    // 等待
    Rendering,  // 渲染中（已用时 h:mm:ss）
    Finished,   // 已完成
    Failed,     // 失败（退出码 N）
    NoOutput,   // 没有输出: the renderer said it succeeded, but its output is not on disk
    Cancelled,  // 已取消
    Unfinished, // 未完成: the night ended, or was followed no more, before the row ended
    Hung,       // 无响应，已结束（…）: the watchdog ended it, making no progress
    TimedOut,   // 超时，已结束（…）: the watchdog ended it, under way too long
};

// True for a row that did not finish through a fault of its own: failed, hung or too long.
bool FailedPhase(RowPhase phase);


struct RowState {
    RowPhase phase = RowPhase::Waiting;
    std::optional<LocalTime> started;
    std::optional<LocalTime> ended;
    std::int32_t exitCode = 0;  // for Failed, Hung and TimedOut
    std::wstring note = {};     // for Hung and TimedOut: what the row reads, as the record's 说明

    bool operator==(const RowState&) const = default;
};

// The row's state as the results show it; `now` counts the time of a row under way.
std::wstring RowStateText(const RowState& state, const LocalTime& now);

// What the notification says as the night ends: "渲染完成：10个任务，8个已完成，2个失败", every row
// that did not finish counted as failed.
std::wstring NightEndNotice(const std::vector<RowState>& states);

// What the record says of a row that ended.
RowState StateOfRecord(const RecordLine& line);

// True when the two paths name the same file as Windows resolves them: letter case, "/" for "\",
// doubled separators, "." and ".." and the "\\?\" prefix aside. Short 8.3 names are not expanded.
bool SameWindowsPath(std::wstring_view a, std::wstring_view b);

// The arguments of a command line as a program built with the Microsoft C runtime reads them,
// its own name first.
std::vector<std::wstring> CommandLineArguments(std::wstring_view commandLine);

// The first row from `from` on whose job line (see JobLineText) gives the renderer exactly the
// arguments of `commandLine`; nothing when none does.
std::optional<std::size_t> RowOfCommandLine(std::wstring_view commandLine,
                                            std::wstring_view installFolder,
                                            std::span<const RenderJob> rows, std::size_t from = 0);

// Follows one night's render from what the render job reports: each process that starts in it,
// with the path of its program, and each that exits, with its exit code. Each run of the install
// folder's 3dsmaxcmd.exe is the script's next row; cmd.exe, the 3dsmax.exe a renderer starts and
// every other process are not rows. Rows are numbered from 0 here. With retries, the script runs a
// row's line again right after it failed (any code but 0 and the watchdog's), up to that many
// times: the next renderer is then that row again, by its position in the script.
class NightWatch {
public:
    // `scriptFolder` is where the script runs, from which cmd resolves a relative install folder.
    NightWatch(std::wstring_view scriptFolder, std::wstring_view installFolder,
               std::span<const RenderJob> rows, const LocalTime& started, int retries = 0);

    // The table's number of each of the night's rows, as the record names them, for a night of
    // some of the table's rows (the unfinished ones again); by default 1, 2, 3…
    void numberRows(std::vector<int> numbers);
    const std::vector<int>& numbers() const { return numbers_; }

    // Takes what the night's record says of rows that ended before this program followed them;
    // the rows before the last one recorded that the record lacks are 未完成.
    void restore(std::span<const RecordLine> record);

    // A process started. With `row` (found from the renderer's command line by a program that
    // joined the night late), a renderer is that row rather than the next; rows it passes over
    // that are still waiting are 未完成. A renderer already known is not counted again; any
    // other process is not remembered.
    void processStarted(unsigned long processId, std::wstring_view imagePath, const LocalTime& at,
                        std::optional<std::size_t> row = std::nullopt);

    // A process exited. When it was a row's renderer, that row ends: 失败 for any code but 0,
    // otherwise 已完成 or 没有输出 as `outputExists` answers for the row. Returns the row's line
    // for the record.
    std::optional<RecordLine> processExited(unsigned long processId, std::int32_t exitCode,
                                            const LocalTime& at,
                                            const std::function<bool(std::size_t row)>& outputExists);

    // The watchdog is ending the row's renderer: when it exits, whatever its code, the row reads
    // `phase` (Hung or TimedOut) and `note`.
    void ending(std::size_t row, RowPhase phase, std::wstring note);

    // The user cancelled the render: the row under way is 已取消 (its line returned for the
    // record), the rest 未完成.
    std::vector<RecordLine> cancel(const LocalTime& at);

    // The render job has no process left: a row not yet ended is 未完成.
    void end(const LocalTime& at);

    bool ended() const { return ended_.has_value(); }
    // The renderer's path as the script's cmd resolves it.
    const std::wstring& renderer() const { return renderer_; }
    const std::vector<RowState>& states() const { return states_; }
    // The row under way, or the last one that started; nothing before the first.
    std::optional<std::size_t> currentRow() const { return current_; }
    // The row the script's next renderer renders: the current one again when it failed and has
    // a try left, else the first row not yet started.
    std::size_t expectedRow() const;
    // The renderer under way and its row; nothing between two rows.
    std::optional<std::pair<unsigned long, std::size_t>> rendererUnderWay() const;

    // "第3个，共10个 · 已用时 1:23:45 · 失败1个"
    std::wstring summary(const LocalTime& now) const;

private:
    RecordLine lineOf(std::size_t row) const;
    void markUnfinished(std::size_t from, std::size_t to);

    std::wstring renderer_;
    std::vector<RenderJob> rows_;
    std::vector<RowState> states_;
    std::map<unsigned long, std::size_t> processes_;  // the renderers under way, by id: their rows
    std::map<std::size_t, std::pair<RowPhase, std::wstring>> ending_;  // rows the watchdog ends
    std::vector<int> tries_;  // how often each row's renderer started
    std::vector<int> numbers_;  // the table's number of each row
    int retries_ = 0;
    std::size_t next_ = 0;
    std::optional<std::size_t> current_;
    LocalTime started_;
    std::optional<LocalTime> ended_;
};

}  // namespace ravolen
