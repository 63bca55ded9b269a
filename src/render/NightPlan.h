#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"
#include "platform/Platform.h"
#include "render/NightRecord.h"

namespace ravolen {

// How a night's rows are rendered: here, or handed to a farm's manager.
enum class NightWay { Here, Backburner, Deadline };

// What the program itself learns of a night's course, appended to its plan as it happens.
struct PlanNote {
    enum class Kind {
        Asked,          // the artist was asked once whether to continue it
        ScriptEnded,    // its script was seen to run to its end
        Cancelled,      // 取消渲染 ended it
        CutByShutdown,  // Windows ended the session while `row` (the plan's, from 0) was under way
    };
    Kind kind = Kind::Asked;
    std::size_t row = 0;

    bool operator==(const PlanNote&) const = default;
};

// What a night set out to do, kept beside its record as <name>.plan from the moment it starts:
// the record holds only the rows that ended while the program was open, and the program may be
// closed mid-night. With the log and the outputs it tells later whether the night was cut short.
struct NightPlan {
    std::wstring installFolder;
    std::vector<RenderJob> rows;
    std::vector<int> numbers;  // the table's number of each row, as the record names them
    bool shutdownAfterwards = false;
    // The script's process, to tell whether it still runs where no render job could be had.
    unsigned long scriptProcessId = 0;
    unsigned long long scriptStarted = 0;  // its creation, in 100 ns since 1601 (UTC)
    // When the night began, in the same units: an output written later is this night's.
    unsigned long long nightStarted = 0;
    // Not to be offered again: the artist was asked once whether to continue it, it was seen to
    // end, or it was cancelled (a note says which; plans of earlier versions carry the flag).
    bool offered = false;
    // How often the script tries a failed row again, and where its rows go.
    int retries = 0;
    NightWay way = NightWay::Here;
    std::wstring scriptPath;
    // What was learned of the night after it started, in order.
    std::vector<PlanNote> notes;

    // The plan's position of the row a shutdown cut, when one did: that row and those after it
    // are left, the rows before it ended.
    std::optional<std::size_t> cutAt() const;

    bool operator==(const NightPlan&) const = default;
};

// The plan's bytes (UTF-8 CSV, as the record) with its notes, and the plan read back; nothing
// when the bytes are no whole plan. A note cut short as it was appended is left out.
std::string PlanBytes(const NightPlan& plan);
std::string PlanNoteBytes(const PlanNote& note);
std::optional<NightPlan> ReadPlan(std::string_view bytes);

// The plan's file beside the night's log (…\bat\logs\20261207-230105.plan); empty without a log.
std::wstring PlanPathOf(std::wstring_view logPath);

// The one writer of a night's plan: the whole plan once, as the night starts, durably; then each
// note appended as the program learns it, written through. False when nothing could be written.
bool KeepPlan(Platform& platform, const std::wstring& planPath, const NightPlan& plan);
bool KeepPlan(Platform& platform, const std::wstring& planPath, const PlanNote& note);

// How many of the plan's rows ended, in the order they run. A shutdown the program saw cut the
// night at the row its note names. Otherwise a row ended when the record has it (a line of a row
// a shutdown cut aside), when a later row started (cmd echoes each job line into the log as it
// starts it: the one witness of rows that ended while the program was closed), or when its
// output was written after the night began (`written`, by position in the plan).
std::size_t RowsEnded(const NightPlan& plan, std::span<const RecordLine> record,
                      std::wstring_view log, const std::function<bool(std::size_t)>& written);

// The table's rows that hold exactly the cells of `wanted`, each used once, identical rows in
// order: the positions in the table, in the order of `wanted`; a row not found is left out.
std::vector<std::size_t> MatchRows(std::span<const RenderJob> wanted,
                                   std::span<const RenderJob> table);

// The question asked at start-up about a night that stopped after `ended` of `total` rows, of
// whose remaining rows the table still holds `found`.
std::wstring CutShortQuestion(std::size_t ended, std::size_t total, std::size_t found);
// The countdown's text when the night goes on unasked.
std::wstring CountdownText(int seconds, std::size_t rows);

// What the power request tells Windows (powercfg /requests): "Ravolen 正在渲染：第3个，共10个".
std::wstring AwakeReason(std::size_t row, std::size_t total);

}  // namespace ravolen
