#include "render/NightPlan.h"

#include <algorithm>
#include <array>
#include <deque>
#include <unordered_map>

#include "jobs/JobListFile.h"
#include "render/NightWatch.h"

namespace ravolen {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::wstring_view PlanMark = L"Ravolen夜间计划";
constexpr std::size_t OldHeadFields = 8;  // before the plan said its tries, way and script
constexpr std::size_t HeadFields = 11;
constexpr std::size_t RowFields = 1 + JobColumnCount;

std::optional<unsigned long long> Number(std::wstring_view text) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
        return std::nullopt;
    }
    unsigned long long value = 0;
    for (const wchar_t c : text) value = value * 10 + static_cast<unsigned long long>(c - L'0');
    return value;
}

std::optional<bool> Flag(std::wstring_view text) {
    if (text == L"0") return false;
    if (text == L"1") return true;
    return std::nullopt;
}

// The command a line of cmd's echo shows after its prompt ("C:\Tools\Ravolen\bat>"), or nothing
// when the line is no echo.
std::optional<std::wstring_view> EchoedCommand(std::wstring_view line) {
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    const bool drive = line.size() > 2 && line[1] == L':' && line[2] == L'\\';
    if (!drive && !line.starts_with(L"\\\\")) return std::nullopt;
    const std::size_t prompt = line.find(L'>');
    if (prompt == std::wstring_view::npos || line.substr(0, prompt).find(L'"') != std::wstring_view::npos) {
        return std::nullopt;
    }
    return line.substr(prompt + 1);
}

constexpr std::array<std::wstring_view, 3> WayNames{L"本机", L"Backburner", L"Deadline"};
constexpr std::array<std::wstring_view, 4> NoteNames{L"已询问", L"脚本已结束", L"已取消", L"关机中断"};

std::optional<PlanNote> NoteOf(const std::vector<std::wstring>& fields) {
    if (fields.empty()) return std::nullopt;
    const auto kind = std::find(NoteNames.begin(), NoteNames.end(), fields[0]);
    if (kind == NoteNames.end()) return std::nullopt;
    PlanNote note{static_cast<PlanNote::Kind>(kind - NoteNames.begin())};
    if (note.kind != PlanNote::Kind::CutByShutdown) return fields.size() == 1 ? std::optional(note) : std::nullopt;
    const auto row = fields.size() == 2 ? Number(fields[1]) : std::nullopt;
    if (!row || *row < 1 || *row > 999'999'999) return std::nullopt;
    note.row = static_cast<std::size_t>(*row - 1);
    return note;
}

}  // namespace

std::optional<std::size_t> NightPlan::cutAt() const {
    for (const PlanNote& note : notes) {
        if (note.kind == PlanNote::Kind::CutByShutdown) return note.row;
    }
    return std::nullopt;
}

std::string PlanNoteBytes(const PlanNote& note) {
    std::vector<std::wstring> fields{std::wstring(NoteNames[static_cast<std::size_t>(note.kind)])};
    if (note.kind == PlanNote::Kind::CutByShutdown) fields.push_back(std::to_wstring(note.row + 1));
    std::string bytes;
    AppendCsvRecord(bytes, fields);
    return bytes;
}

std::wstring PlanPathOf(std::wstring_view logPath) {
    if (!logPath.ends_with(LogExtension)) return {};
    return std::wstring(logPath.substr(0, logPath.size() - LogExtension.size())) +
           std::wstring(PlanExtension);
}

bool KeepPlan(Platform& platform, const std::wstring& planPath, const NightPlan& plan) {
    return !planPath.empty() && platform.replaceFile(planPath, PlanBytes(plan));
}

bool KeepPlan(Platform& platform, const std::wstring& planPath, const PlanNote& note) {
    return !planPath.empty() && platform.appendFile(planPath, PlanNoteBytes(note));
}

std::string PlanBytes(const NightPlan& plan) {
    std::string bytes(ByteOrderMark);
    const std::array<std::wstring, HeadFields> head{
        std::wstring(PlanMark),
        plan.installFolder,
        plan.shutdownAfterwards ? L"1" : L"0",
        std::to_wstring(plan.scriptProcessId),
        std::to_wstring(plan.scriptStarted),
        std::to_wstring(plan.nightStarted),
        plan.offered ? L"1" : L"0",
        std::to_wstring(plan.rows.size()),
        std::to_wstring(plan.retries),
        std::wstring(WayNames[static_cast<std::size_t>(plan.way)]),
        plan.scriptPath};
    AppendCsvRecord(bytes, head);
    for (std::size_t i = 0; i < plan.rows.size(); ++i) {
        const RenderJob& job = plan.rows[i];
        const int number = i < plan.numbers.size() ? plan.numbers[i] : static_cast<int>(i + 1);
        const std::array<std::wstring, RowFields> fields{
            std::to_wstring(number), job.scene, job.camera, job.outputFolder, job.outputName,
            job.width, job.height, job.frames, job.sceneState, job.preset};
        AppendCsvRecord(bytes, fields);
    }
    for (const PlanNote& note : plan.notes) bytes += PlanNoteBytes(note);
    return bytes;
}

std::optional<NightPlan> ReadPlan(std::string_view bytes) {
    // Every record written ends its line: what does not was cut short as it was written (a
    // note being appended, or the plan itself, which then lacks rows).
    bytes = bytes.substr(0, bytes.rfind('\n') + 1);
    const auto records = ReadCsvRecords(bytes);
    if (!records || records->empty()) return std::nullopt;
    const std::vector<std::wstring>& head = records->front();
    if ((head.size() != HeadFields && head.size() != OldHeadFields) || head[0] != PlanMark) {
        return std::nullopt;
    }
    NightPlan plan;
    plan.installFolder = head[1];
    const auto shutdown = Flag(head[2]);
    const auto processId = Number(head[3]);
    const auto scriptStarted = Number(head[4]);
    const auto nightStarted = Number(head[5]);
    const auto offered = Flag(head[6]);
    const auto count = Number(head[7]);
    // A plan cut short (the machine went down as it was written) is no plan.
    if (!shutdown || !processId || *processId > 0xFFFFFFFFull || !scriptStarted || !nightStarted ||
        !offered || !count || *count > records->size() - 1) {
        return std::nullopt;
    }
    if (head.size() == HeadFields) {
        const auto retries = Number(head[8]);
        const auto way = std::find(WayNames.begin(), WayNames.end(), head[9]);
        if (!retries || *retries > 99 || way == WayNames.end()) return std::nullopt;
        plan.retries = static_cast<int>(*retries);
        plan.way = static_cast<NightWay>(way - WayNames.begin());
        plan.scriptPath = head[10];
    }
    plan.shutdownAfterwards = *shutdown;
    plan.scriptProcessId = static_cast<unsigned long>(*processId);
    plan.scriptStarted = *scriptStarted;
    plan.nightStarted = *nightStarted;
    plan.offered = *offered;
    const std::size_t rowsEnd = 1 + static_cast<std::size_t>(*count);
    for (std::size_t i = 1; i < rowsEnd; ++i) {
        const std::vector<std::wstring>& f = (*records)[i];
        const auto number = f.size() == RowFields ? Number(f[0]) : std::nullopt;
        if (!number || *number < 1 || *number > 999'999'999) return std::nullopt;
        plan.numbers.push_back(static_cast<int>(*number));
        plan.rows.push_back({f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]});
    }
    // Notes of a later version are passed over.
    for (std::size_t i = rowsEnd; i < records->size(); ++i) {
        const auto note = NoteOf((*records)[i]);
        if (!note) continue;
        plan.notes.push_back(*note);
        if (note->kind != PlanNote::Kind::CutByShutdown) plan.offered = true;
    }
    return plan;
}

std::size_t RowsEnded(const NightPlan& plan, std::span<const RecordLine> record,
                      std::wstring_view log, const std::function<bool(std::size_t)>& written) {
    const std::size_t total = plan.rows.size();
    if (const auto cut = plan.cutAt()) return std::min(*cut, total);
    std::size_t ended = 0;
    for (const RecordLine& line : record) {
        if (!line.exitCode && line.note == ShutdownCutNote) continue;
        const auto at = std::find(plan.numbers.begin(), plan.numbers.end(), line.row);
        if (at == plan.numbers.end()) continue;
        ended = std::max(ended, static_cast<std::size_t>(at - plan.numbers.begin()) + 1);
    }
    // Each job line cmd started, in order; a retry's "if …" line names no row of its own.
    std::size_t started = 0;
    for (std::size_t from = 0; from < log.size();) {
        std::size_t end = log.find(L'\n', from);
        if (end == std::wstring_view::npos) end = log.size();
        // A job line begins with the renderer's quoted path; a retry's begins with "if".
        if (const auto command = EchoedCommand(log.substr(from, end - from));
            command && command->starts_with(L'"')) {
            if (const auto row = RowOfCommandLine(*command, plan.installFolder, plan.rows, started)) {
                started = *row + 1;
            }
        }
        from = end + 1;
    }
    if (started > 1) ended = std::max(ended, started - 1);
    // The rows run in order: the last whose output this night wrote ended, and all before it.
    for (std::size_t row = total; row > ended; --row) {
        if (written(row - 1)) {
            ended = row;
            break;
        }
    }
    return std::min(ended, total);
}

std::vector<std::size_t> MatchRows(std::span<const RenderJob> wanted,
                                   std::span<const RenderJob> table) {
    // One pass over each side: a table of a hundred thousand rows is matched at once.
    const auto key = [](const RenderJob& job) {
        std::wstring text;
        for (const std::wstring* cell : {&job.scene, &job.camera, &job.outputFolder, &job.outputName,
                                         &job.width, &job.height, &job.frames, &job.sceneState,
                                         &job.preset}) {
            text += *cell;
            text += L'\0';  // no cell holds it
        }
        return text;
    };
    std::unordered_map<std::wstring, std::deque<std::size_t>> places;
    for (std::size_t i = 0; i < table.size(); ++i) places[key(table[i])].push_back(i);
    std::vector<std::size_t> found;
    for (const RenderJob& job : wanted) {
        const auto same = places.find(key(job));
        if (same == places.end() || same->second.empty()) continue;
        found.push_back(same->second.front());  // identical rows in order
        same->second.pop_front();
    }
    return found;
}

std::wstring CutShortQuestion(std::size_t ended, std::size_t total, std::size_t found) {
    const std::size_t remaining = total - std::min(ended, total);
    std::wstring text = L"上次的渲染在第" + std::to_wstring(ended + 1) + L"个任务时中断了（已完成" +
                        std::to_wstring(ended) + L"个，共" + std::to_wstring(total) + L"个）。";
    if (found == remaining) {
        return text + L"要继续渲染剩下的" + std::to_wstring(remaining) + L"个任务吗？";
    }
    if (found == 0) return text + L"剩下的" + std::to_wstring(remaining) + L"个任务已不在表格中。";
    return text + L"剩下的" + std::to_wstring(remaining) + L"个任务中，表格里还有" +
           std::to_wstring(found) + L"个。要继续渲染这" + std::to_wstring(found) + L"个任务吗？";
}

std::wstring CountdownText(int seconds, std::size_t rows) {
    return std::to_wstring(seconds) + L"秒后继续渲染剩下的" + std::to_wstring(rows) + L"个任务…";
}

std::wstring AwakeReason(std::size_t row, std::size_t total) {
    return L"Ravolen 正在渲染：第" + std::to_wstring(row) + L"个，共" + std::to_wstring(total) + L"个";
}

}  // namespace ravolen
