#include "render/NightWatch.h"

#include <algorithm>

#include "render/NightGuard.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"

namespace ravolen {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The path as Windows resolves it, in one letter case, for comparison only.
std::wstring Normalized(std::wstring_view path) {
    std::wstring text(path);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    std::wstring_view rest = text;
    std::wstring prefix;
    if (rest.starts_with(L"\\\\?\\UNC\\")) {
        rest.remove_prefix(8);
        prefix = L"\\\\";
    } else if (rest.starts_with(L"\\\\?\\") || rest.starts_with(L"\\\\.\\")) {
        rest.remove_prefix(4);
    } else if (rest.starts_with(L"\\\\")) {
        rest.remove_prefix(2);
        prefix = L"\\\\";
    }
    if (prefix.empty() && rest.size() >= 2 && rest[1] == L':') {
        prefix = std::wstring(rest.substr(0, 2)) + L"\\";
        rest.remove_prefix(2);
    }
    std::vector<std::wstring_view> parts;
    while (!rest.empty()) {
        const std::size_t separator = std::min(rest.find(L'\\'), rest.size());
        std::wstring_view part = rest.substr(0, separator);
        rest.remove_prefix(std::min(separator + 1, rest.size()));
        // Windows drops the dots and blanks that end a name.
        while (!part.empty() && (part.back() == L'.' || part.back() == L' ') && part != L"." &&
               part != L"..") {
            part.remove_suffix(1);
        }
        if (part.empty() || part == L".") continue;
        if (part == L"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::wstring normal = prefix;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) normal += L'\\';
        normal += parts[i];
    }
    return FoldCase(normal);
}

// The arguments of a job line as the renderer receives them, its own name left out.
std::vector<std::wstring> RendererArguments(std::wstring_view line) {
    std::wstring read;
    read.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        read += line[i];
        if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%') ++i;
    }
    std::vector<std::wstring> arguments = CommandLineArguments(read);
    if (!arguments.empty()) arguments.erase(arguments.begin());
    return arguments;
}

}  // namespace

std::wstring RowStateText(const RowState& state, const LocalTime& now) {
    switch (state.phase) {
        case RowPhase::Waiting: return L"等待";
        case RowPhase::Rendering:
            return L"渲染中（已用时 " +
                   DurationText(state.started ? SecondsBetween(*state.started, now) : 0) + L"）";
        case RowPhase::Finished: return L"已完成";
        case RowPhase::Failed: return L"失败（退出码 " + std::to_wstring(state.exitCode) + L"）";
        case RowPhase::NoOutput: return L"没有输出";
        case RowPhase::Cancelled: return L"已取消";
        case RowPhase::Unfinished: return L"未完成";
        case RowPhase::Hung:
        case RowPhase::TimedOut: return state.note;
    }
    return {};
}

std::wstring NightEndNotice(const std::vector<RowState>& states) {
    const auto finished = static_cast<std::size_t>(std::count_if(
        states.begin(), states.end(), [](const RowState& state) { return state.phase == RowPhase::Finished; }));
    return L"渲染完成：" + std::to_wstring(states.size()) + L"个任务，" + std::to_wstring(finished) +
           L"个已完成，" + std::to_wstring(states.size() - finished) + L"个失败";
}

bool FailedPhase(RowPhase phase) {
    return phase == RowPhase::Failed || phase == RowPhase::Hung || phase == RowPhase::TimedOut;
}

RowState StateOfRecord(const RecordLine& line) {
    RowState state;
    state.started = line.started;
    state.ended = line.ended;
    state.note = line.note;
    if (line.note.starts_with(L"无响应")) {
        state.phase = RowPhase::Hung;
        state.exitCode = line.exitCode.value_or(0);
    } else if (line.note.starts_with(L"超时")) {
        state.phase = RowPhase::TimedOut;
        state.exitCode = line.exitCode.value_or(0);
    } else if (!line.exitCode && line.note == ShutdownCutNote) {
        state.phase = RowPhase::Unfinished;  // left for the next start to offer
    } else if (!line.exitCode) {
        state.phase = RowPhase::Cancelled;
    } else if (*line.exitCode != 0) {
        state.phase = RowPhase::Failed;
        state.exitCode = *line.exitCode;
    } else {
        state.phase = line.output.empty() ? RowPhase::NoOutput : RowPhase::Finished;
    }
    return state;
}

bool SameWindowsPath(std::wstring_view a, std::wstring_view b) {
    return Normalized(a) == Normalized(b);
}

std::vector<std::wstring> CommandLineArguments(std::wstring_view line) {
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    // The program's name ends at the closing quote or the first blank, backslashes as they are.
    std::wstring name;
    if (i < line.size() && line[i] == L'"') {
        const std::size_t close = std::min(line.find(L'"', 1), line.size());
        name = line.substr(1, close - 1);
        i = std::min(close + 1, line.size());
    } else {
        while (i < line.size() && !IsBlank(line[i])) name += line[i++];
    }
    arguments.push_back(std::move(name));
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::wstring argument;
        bool quoted = false;
        while (i < line.size() && (quoted || !IsBlank(line[i]))) {
            if (line[i] == L'\\') {
                const std::size_t end = std::min(line.find_first_not_of(L'\\', i), line.size());
                const std::size_t count = end - i;
                if (end < line.size() && line[end] == L'"') {
                    // Backslashes before a quote halve; an odd one out makes the quote a character.
                    argument.append(count / 2, L'\\');
                    if (count % 2 == 1) {
                        argument += L'"';
                        i = end + 1;
                    } else {
                        i = end;
                    }
                } else {
                    argument.append(count, L'\\');
                    i = end;
                }
            } else if (line[i] == L'"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
                    argument += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += line[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::optional<std::size_t> RowOfCommandLine(std::wstring_view commandLine,
                                            std::wstring_view installFolder,
                                            std::span<const RenderJob> rows, std::size_t from) {
    std::vector<std::wstring> given = CommandLineArguments(commandLine);
    given.erase(given.begin());
    for (std::size_t row = from; row < rows.size(); ++row) {
        if (RendererArguments(JobLineText(installFolder, rows[row])) == given) return row;
    }
    return std::nullopt;
}

NightWatch::NightWatch(std::wstring_view scriptFolder, std::wstring_view installFolder,
                       std::span<const RenderJob> rows, const LocalTime& started, int retries)
    : renderer_(ResolveFrom(scriptFolder, std::wstring(installFolder) + L"\\3dsmaxcmd.exe")),
      rows_(rows.begin(), rows.end()),
      states_(rows.size()),
      tries_(rows.size(), 0),
      retries_(retries),
      started_(started) {
    for (std::size_t row = 0; row < rows.size(); ++row) numbers_.push_back(static_cast<int>(row + 1));
}

void NightWatch::numberRows(std::vector<int> numbers) {
    if (numbers.size() == numbers_.size()) numbers_ = std::move(numbers);
}

void NightWatch::restore(std::span<const RecordLine> record) {
    std::size_t last = 0;
    for (const RecordLine& line : record) {
        const auto numbered = std::find(numbers_.begin(), numbers_.end(), line.row);
        if (numbered == numbers_.end()) continue;
        const auto row = static_cast<std::size_t>(numbered - numbers_.begin()) + 1;
        states_[row - 1] = StateOfRecord(line);
        ++tries_[row - 1];
        last = std::max(last, row);
    }
    if (last == 0) return;
    markUnfinished(0, last);
    next_ = std::max(next_, last);
    if (!current_ || *current_ < last - 1) current_ = last - 1;
}

void NightWatch::processStarted(unsigned long processId, std::wstring_view imagePath,
                                const LocalTime& at, std::optional<std::size_t> row) {
    // Only renderers are remembered: an id seen first without its program (or as any other
    // program) may come back as the renderer it was reused for.
    if (ended_ || !SameWindowsPath(imagePath, renderer_) || processes_.contains(processId)) return;
    const std::size_t started = row.value_or(expectedRow());
    if (started >= states_.size()) return;  // more renderers than rows: not one of the script's
    markUnfinished(next_, started);
    states_[started] = RowState{RowPhase::Rendering, at, std::nullopt, 0, {}};
    ++tries_[started];
    processes_[processId] = started;
    next_ = std::max(next_, started + 1);
    current_ = started;
}

std::optional<RecordLine> NightWatch::processExited(
    unsigned long processId, std::int32_t exitCode, const LocalTime& at,
    const std::function<bool(std::size_t row)>& outputExists) {
    const auto process = processes_.find(processId);
    if (ended_ || process == processes_.end()) return std::nullopt;
    const std::size_t row = process->second;
    processes_.erase(process);
    if (states_[row].phase != RowPhase::Rendering) return std::nullopt;
    RowState& state = states_[row];
    state.ended = at;
    state.exitCode = exitCode;
    if (const auto ended = ending_.find(row); ended != ending_.end()) {
        state.phase = ended->second.first;
        state.note = std::move(ended->second.second);
        ending_.erase(ended);
        return lineOf(row);
    }
    state.phase = exitCode != 0        ? RowPhase::Failed
                  : outputExists(row) ? RowPhase::Finished
                                      : RowPhase::NoOutput;
    return lineOf(row);
}

void NightWatch::ending(std::size_t row, RowPhase phase, std::wstring note) {
    if (row < states_.size() && states_[row].phase == RowPhase::Rendering) {
        ending_[row] = {phase, std::move(note)};
    }
}

std::size_t NightWatch::expectedRow() const {
    if (current_ && *current_ < states_.size()) {
        const RowState& state = states_[*current_];
        // cmd tries the line again after any failure but the watchdog's ending.
        if (state.phase == RowPhase::Failed && state.exitCode != static_cast<std::int32_t>(WatchdogExitCode) &&
            tries_[*current_] <= retries_) {
            return *current_;
        }
    }
    return next_;
}

std::optional<std::pair<unsigned long, std::size_t>> NightWatch::rendererUnderWay() const {
    if (ended_ || !current_) return std::nullopt;
    for (const auto& process : processes_) {
        if (process.second == *current_) return process;
    }
    return std::nullopt;
}

std::vector<RecordLine> NightWatch::cancel(const LocalTime& at) {
    std::vector<RecordLine> lines;
    if (ended_) return lines;
    for (std::size_t row = 0; row < states_.size(); ++row) {
        if (states_[row].phase != RowPhase::Rendering) continue;
        states_[row].phase = RowPhase::Cancelled;
        states_[row].ended = at;
        lines.push_back(lineOf(row));
    }
    end(at);
    return lines;
}

void NightWatch::end(const LocalTime& at) {
    if (ended_) return;
    for (RowState& state : states_) {
        if (state.phase == RowPhase::Rendering || state.phase == RowPhase::Waiting) {
            state.phase = RowPhase::Unfinished;
        }
    }
    processes_.clear();
    ending_.clear();
    ended_ = at;
}

std::wstring NightWatch::summary(const LocalTime& now) const {
    const std::size_t position = current_ ? *current_ + 1 : std::min<std::size_t>(1, states_.size());
    const auto failed = std::count_if(states_.begin(), states_.end(), [](const RowState& state) {
        return FailedPhase(state.phase);
    });
    return L"第" + std::to_wstring(position) + L"个，共" + std::to_wstring(states_.size()) +
           L"个 · 已用时 " + DurationText(SecondsBetween(started_, ended_.value_or(now))) +
           L" · 失败" + std::to_wstring(failed) + L"个";
}

RecordLine NightWatch::lineOf(std::size_t row) const {
    const RowState& state = states_[row];
    RecordLine line;
    line.row = numbers_[row];
    line.scene = rows_[row].scene;
    line.started = state.started.value_or(started_);
    line.ended = state.ended.value_or(line.started);
    if (state.phase != RowPhase::Cancelled) line.exitCode = state.exitCode;
    if (state.phase == RowPhase::Finished) {
        line.output = rows_[row].outputFolder + L"\\" + rows_[row].outputName;
    }
    line.note = state.note;
    return line;
}

void NightWatch::markUnfinished(std::size_t from, std::size_t to) {
    for (std::size_t row = from; row < to && row < states_.size(); ++row) {
        if (states_[row].phase == RowPhase::Waiting) states_[row].phase = RowPhase::Unfinished;
    }
}

}  // namespace ravolen
