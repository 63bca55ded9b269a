#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "platform/TextCodec.h"
#include "farm/FarmJobs.h"
#include "jobs/JobTable.h"

namespace ravolen {

// cmd.exe reads a script line as bytes of its code page, at most this many; the rest of a longer
// line runs as a command of its own.
inline constexpr std::size_t MaxScriptLineBytes = 8191;

enum class ScriptFault {
    MissingOutput,    // the output folder or the output file name is empty
    UnsafeText,       // a double quote or a control character
    Unrepresentable,  // a character the script's code page lacks
    LineTooLong,      // the encoded job line exceeds MaxScriptLineBytes
};

// Why the script stopped at a row. The lines of the rows before it were composed.
struct ScriptRefusal {
    ScriptFault fault;
    bool inInstallFolder;  // the fault lies in the install folder, not in a cell of the row
    std::wstring scene;    // column 1 of the row, which the message names

    bool operator==(const ScriptRefusal&) const = default;
};

struct ComposedScript {
    // The script's bytes: every job line and the final line, or, when refused, the job lines of the
    // rows before the refused one.
    std::string bytes;
    std::optional<ScriptRefusal> refusal;
};

// The whole render script: one 3dsmaxcmd.exe line per row, then the shutdown line or an empty one.
// Every text reaches the renderer as exactly one argument holding exactly the cell's characters,
// or the row is refused: cmd expands '%', splits at blanks and runs what follows '&', '|', '<', '>'.
// With `backburner`, each line also submits its job to that manager, under a job name unique in
// the batch (UniqueJobNames). With `retries` above 0, each job line is followed by that many lines
// that run it again when the try before failed (RetryPrefix); with 0 the script is as it always was.
ComposedScript ComposeRenderScript(std::wstring_view installFolder, std::span<const RenderJob> rows,
                                   bool shutdownAfterwards, const TextCodec& codec,
                                   const BackburnerSettings* backburner = nullptr, int retries = 0);

// What a retry line puts before the row's job line: cmd runs it only when the renderer before
// it ended with any code but 0 (a crash's negative NTSTATUS too, which "if errorlevel 1" misses)
// and was not ended by the program's watchdog (1460).
inline constexpr std::string_view RetryPrefix = "if %errorlevel% neq 0 if %errorlevel% neq 1460 ";

// The last line of a script that does not shut down: an empty one.
inline constexpr std::string_view EmptyFinalLine = "\r\n";

// The text of a row's job line as the script holds it, before the code page (without Backburner's
// switches): cmd reads each "%%" in it as "%" and hands the rest to the renderer as it stands.
std::wstring JobLineText(std::wstring_view installFolder, const RenderJob& job);

// The message box text for a refused script.
std::wstring RefusalMessage(const ScriptRefusal& refusal);

// The notice Windows shows with the shutdown that the script requests.
inline constexpr std::wstring_view ShutdownNotice =
    L"渲染完成！将在120秒后关机！如要取消关机，请打开“Ravolen”程序后，点击“取消关机”按钮！";

// How the script is started: by the system's own cmd.exe, without AutoRun and delayed expansion,
// inside the script's folder so that the program's folder (which may hold '%' or '&') never
// stands on cmd's command line. cmd decodes a batch file in its console's code page, which the
// user's console settings may have changed: with `codePage` (the one the script was written in,
// 0 for none) the console is set to it first.
ProcessLaunch ScriptLaunch(std::wstring_view systemFolder, std::wstring_view scriptFolder,
                           unsigned codePage = 0);

inline constexpr std::wstring_view ScriptFolderName = L"bat";
inline constexpr std::wstring_view ScriptFileName = L"Render.bat";

}  // namespace ravolen
