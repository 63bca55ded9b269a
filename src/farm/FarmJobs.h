#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"

namespace ravolen {

// What the renderer receives for a row, argument by argument, exactly as the local script hands
// it over (the cells' own text; the script's quoting and doubled '%' are cmd's, not the
// renderer's).
std::vector<std::wstring> RendererArguments(const RenderJob& job);

// A process command line that CommandLineToArgvW and the C runtime read back as `arguments`.
std::wstring JoinCommandLine(std::span<const std::wstring> arguments);

// Deadline's submission of one row as a command-line job.
struct DeadlineSettings {
    std::wstring pool;
    std::wstring group;
    int priority = 50;
    bool suspended = false;
    int timeoutSeconds = 120;  // how long deadlinecommand may take for one row

    bool operator==(const DeadlineSettings&) const = default;
};

// How 渲  染 renders: here, or by handing the jobs to a farm.
enum class RenderWay { Local, Deadline, Backburner };

// Deadline's submission tool and the settings of its jobs.
struct DeadlineChoice {
    std::wstring command;  // deadlinecommand.exe
    DeadlineSettings settings;

    bool operator==(const DeadlineChoice&) const = default;
};

// Each job handed to a Backburner manager instead of rendered here.
struct BackburnerSettings {
    std::wstring manager;
    int port = 3234;  // the managers' own; left out of the line
    int priority = 50;
    bool suspended = false;

    bool operator==(const BackburnerSettings&) const = default;
};

// Deadline's default tool: in the client folder its installer names (DEADLINE_PATH), else found
// on the search path.
std::wstring DefaultDeadlineCommand(std::wstring_view deadlineFolder);

// The job info file's key=value lines.
std::wstring DeadlineJobInfo(const RenderJob& job, const DeadlineSettings& settings);
// The plugin info file's key=value lines: the renderer and its arguments for a process command
// line, where Deadline's files carry a double quote as <QUOTE>.
std::wstring DeadlinePluginInfo(std::wstring_view installFolder, const RenderJob& job);
// A text file as Thinkbox's own submitters write it: UTF-16 LE after a byte-order mark.
std::string Utf16LeFile(std::wstring_view text);

// One row's submission to Deadline: its job info and plugin info files, as written.
struct DeadlineRowFiles {
    std::string jobInfo;
    std::string pluginInfo;

    bool operator==(const DeadlineRowFiles&) const = default;
};
DeadlineRowFiles DeadlineFilesOf(std::wstring_view installFolder, const RenderJob& job,
                                 const DeadlineSettings& settings);
// The job's id from deadlinecommand's output (its "JobID=" line), or nothing.
std::optional<std::wstring> DeadlineJobId(std::wstring_view output);

// The question before rows go to a farm whose workers may not reach this computer's disks: each
// row whose scene, output folder or render preset file is not on the network, by number and path;
// empty when none.
std::wstring LocalPathQuestion(std::span<const RenderJob> rows,
                               const std::function<bool(const std::wstring&)>& onNetwork);

// The last line a tool printed that is not blank, for a message about it.
std::wstring LastLine(std::wstring_view output);

// The job names of a batch for one Backburner manager, which refuses a second job of one name:
// each scene's base name, made unique with " (2)", " (3)", ...
std::vector<std::wstring> UniqueJobNames(std::span<const RenderJob> rows);

}  // namespace ravolen
