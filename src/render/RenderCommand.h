#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "jobs/JobTable.h"
#include "render/NightRecord.h"
#include "render/RenderScript.h"

namespace ravolen {

struct RenderRequest {
    std::wstring installFolder;
    std::vector<RenderJob> rows;
    bool shutdownAfterwards = false;
    // When set, the moment it starts: the night gets its plan in bat\logs\ beside the script and,
    // rendered here, its record and log there too; the script's output goes to that log.
    std::optional<LocalTime> night = std::nullopt;
    // A render here runs each failed row's line again, up to this many times.
    int retries = 0;
    // The table's number of each row, when the rows are some of the table's (empty: all of them).
    std::vector<int> numbers = {};
};

// How a render was started.
struct RenderStart {
    bool started = false;
    std::wstring failure;  // why it did not start, as the message says it
    std::wstring scriptPath;
    bool besideProgram = true;  // false: in the user's own folder, the program's could not be written
    // The night's files, for a render started with `night`: the record (empty when it could not
    // be made; the render goes on without it) and the log the script's output goes to.
    std::wstring recordPath;
    std::wstring logPath;
    std::wstring planPath;  // empty when the plan could not be written
    explicit operator bool() const { return started; }
};

// Writes bat\Render.bat beside the program (or, where that cannot be written, in the user's own
// bat folder) and starts it hidden in the render job. It never rewrites the script while an
// earlier one still runs (cmd reads a running script from disk, line by line): not while the
// render job runs, nor while another holds the script open, and then it writes no script
// elsewhere either. The script it starts is held open until the night ends. It never starts a
// table's script without the renderer it calls. Shows nothing: `failure` says why it did not start.
// With `backburner`, each line hands its job to that manager instead of rendering it here.
RenderStart StartRender(Platform& platform, const RenderRequest& request,
                        const BackburnerSettings* backburner = nullptr);

// The message that a render has started, and where its script lies when not beside the program.
std::wstring RenderStartedText(std::wstring_view message, const RenderStart& start);

// Writes the file at `name` (which may hold one folder: "deadline\job_1.job") into the bat
// folder beside the program or, when that folder cannot be made or written or cmd cannot run in
// it (a network path), into the bat folder of the program's own folder in %LOCALAPPDATA%. The path written, or empty when neither could be.
std::wstring WriteScriptFile(Platform& platform, std::wstring_view name, std::string_view bytes);

// Aborts a pending shutdown with the system's shutdown.exe, minimised, without waiting.
void CancelShutdown(Platform& platform);

// Ends the running render: the processes of the render job and no other, never a program by its
// name (that would end the artist's own 3ds Max and every console).
RenderJobEnd CancelRender(Platform& platform);

// The message for a render that runs but cannot be ended from here.
inline constexpr std::wstring_view RenderNotEndedMessage =
    L"无法结束正在进行的渲染（它可能由以管理员身份运行的Ravolen启动）。请在启动它的Ravolen中点击“取消渲染”，或在任务管理器中结束它。";

// True when cmd can run a script with this folder as its current folder.
bool CmdCanRunIn(std::wstring_view folder);

// The path as the script's command interpreter resolves it from its working folder `folder`.
std::wstring ResolveFrom(std::wstring_view folder, std::wstring_view path);

inline constexpr std::wstring_view RenderStartedMessage =
    L"所有渲染任务已经开始，你可以回去睡大觉了。。";
inline constexpr std::wstring_view RenderStillRunningMessage =
    L"上一批渲染任务仍在进行中，请等它完成，或先点击“取消渲染”。";

}  // namespace ravolen
