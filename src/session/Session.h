#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "farm/FarmJobs.h"
#include "jobs/JobRows.h"
#include "jobs/JobTable.h"
#include "render/NightGuard.h"

namespace ravolen {

// What the main window keeps from one run to the next besides its rows. The shutdown box and the
// chosen render way are not here on purpose: every start renders locally without shutting down.
struct SessionSettings {
    std::wstring installFolder;  // the install folder box
    std::wstring outputFolder;   // the unified folder box
    std::wstring outputFormat;   // the unified format box
    bool unifiedFolder = false;  // the unified folder's check box
    bool unifiedFormat = false;  // the unified format's check box
    std::wstring appliedFormat;  // the format text the output names carry while it is unified
    // The rows' own values the unified settings keep, entry k for row k + 1.
    std::vector<std::wstring> savedOutDirs;
    std::vector<std::wstring> savedExts;
    std::wstring deadlineCommand;
    DeadlineSettings deadline;
    BackburnerSettings backburner;
    NightOptions night;         // 夜间选项
    bool windowPlaced = false;  // the window's last position is known
    int windowLeft = 0;
    int windowTop = 0;
    bool optionalColumns = false;  // 帧, 场景状态 and 渲染预设 shown in the table
    // The client areas the artist gave 渲染结果 and the log window, in twips; 0 as designed.
    int resultsWidth = 0;
    int resultsHeight = 0;
    int logWidth = 0;
    int logHeight = 0;

    bool operator==(const SessionSettings&) const = default;
};

// settings.ini: "[section]" lines and "key=value" lines, written as UTF-16 LE after a byte-order
// mark; read as that or as UTF-8. A character below U+0020 and '^' itself are written as '^'
// followed by four hex digits, so every value stays on its line.
std::string SaveSessionSettings(const SessionSettings& settings);

// What could be read of a saved file, and whether anything of it could not.
template <typename T>
struct SessionRead {
    T value;
    bool damaged = false;
};

// The settings read over `defaults`: each key found replaces its default; a line, key or value
// that cannot be read, or a number out of its range, leaves its default and marks the file damaged.
SessionRead<SessionSettings> ReadSessionSettings(std::string_view bytes,
                                                 const SessionSettings& defaults);

// session.csv is a job list (SaveJobList); a damaged one gives the rows before the damage.
SessionRead<std::vector<RenderJob>> ReadSessionRows(std::string_view bytes);

// The two files of a session, composed from the rows as they stood and the settings: session.csv
// (a job list of every row) and settings.ini, with the rows' saved unified values as its lists.
// Runs on the session's own thread: the snapshot is the rows' immutable copy.
struct SessionFiles {
    std::string rows;
    std::string settings;
};
SessionFiles ComposeSession(const JobRowsSnapshot& rows, SessionSettings settings);

// A local date and time, to the second.
struct Timestamp {
    int year, month, day, hour, minute, second;
};
// Where a damaged file is kept: "<path>.damaged-yyyyMMdd-HHmmss".
std::wstring DamagedFileName(std::wstring_view path, const Timestamp& at);
// The one message after start-up about the damaged files, each with where it was kept (empty
// when no copy could be made).
std::wstring DamagedFilesMessage(const std::vector<std::pair<std::wstring, std::wstring>>& kept);
// The one message after start-up about session files that are there but could not be read (held
// by another program): nothing is saved in this run, so that none of them is written over.
std::wstring UnreadableFilesMessage(const std::vector<std::wstring>& paths);

}  // namespace ravolen
