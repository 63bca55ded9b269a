#include "render/RenderCommand.h"

#include <cwctype>
#include <optional>
#include <vector>

#include "render/NightPlan.h"
#include "render/RenderPlan.h"
#include "render/RenderScript.h"

namespace ravolen {
namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

ProcessLaunch SystemCommand(Platform& platform, std::wstring_view program,
                            std::wstring_view arguments, WindowStyle style) {
    const std::wstring path = platform.systemFolder() + L"\\" + std::wstring(program);
    return ProcessLaunch{path, L"\"" + path + L"\" " + std::wstring(arguments), L"", style};
}


std::wstring ProgramScriptFolder(Platform& platform) {
    return platform.programFolder() + L"\\" + std::wstring(ScriptFolderName);
}

// The folders that may hold the scripts, the program's own first where cmd can run in it.
std::vector<std::wstring> ScriptFolders(Platform& platform) {
    std::vector<std::wstring> folders;
    if (std::wstring beside = ProgramScriptFolder(platform); CmdCanRunIn(beside)) {
        folders.push_back(std::move(beside));
    }
    if (const std::wstring own = platform.userDataFolder(); !own.empty()) {
        folders.push_back(own + L"\\" + std::wstring(ScriptFolderName));
    }
    return folders;
}

// The night's record, begun, and its log's and plan's names, in bat\logs\ beside the script. A
// farm's night renders nothing here: it has its plan alone.
struct NightFiles {
    std::wstring folder;
    std::wstring name;
    std::vector<std::wstring> names;  // what the folder held before
    std::wstring recordPath;
    std::wstring logPath;
    std::wstring planPath;
};

NightFiles BeginNight(Platform& platform, const std::wstring& scriptFolder, const LocalTime& started,
                      bool here) {
    NightFiles night;
    night.folder = scriptFolder + L"\\" + std::wstring(RecordFolderName);
    if (!platform.createFolder(night.folder)) return {};
    if (const auto entries = platform.folderEntries(night.folder)) {
        for (const FolderEntry& entry : *entries) {
            if (!entry.folder) night.names.push_back(entry.name);
        }
    }
    night.name = FreeRecordName(started, night.names);
    const std::wstring base = night.folder + L"\\" + night.name;
    night.planPath = base + std::wstring(PlanExtension);
    if (!here) return night;
    night.logPath = base + std::wstring(LogExtension);
    night.recordPath = base + std::wstring(RecordExtension);
    if (!platform.writeFile(night.recordPath, RecordHeaderBytes())) night.recordPath.clear();
    return night;
}

// What the night sets out to do, written once as its script starts: what the program decided is
// read back from here, never from the script.
NightPlan PlanOf(Platform& platform, const RenderRequest& request, RenderWay way,
                 const std::wstring& scriptPath) {
    NightPlan plan;
    plan.installFolder = request.installFolder;
    plan.rows = request.rows;
    plan.numbers = request.numbers;
    for (std::size_t i = plan.numbers.size(); i < plan.rows.size(); ++i) {
        plan.numbers.push_back(static_cast<int>(i + 1));
    }
    plan.shutdownAfterwards = request.shutdownAfterwards;
    if (const auto script = platform.renderScriptProcess()) {
        plan.scriptProcessId = script->processId;
        plan.scriptStarted = script->created;
    }
    plan.nightStarted = platform.systemTime();
    plan.retries = way == RenderWay::Local ? request.retries : 0;
    plan.way = way == RenderWay::Backburner ? NightWay::Backburner
               : way == RenderWay::Deadline ? NightWay::Deadline
                                            : NightWay::Here;
    plan.scriptPath = scriptPath;
    return plan;
}

// Keeps the newest nights, the one just begun among them.
void PruneNights(Platform& platform, NightFiles& night) {
    night.names.push_back(night.name + std::wstring(PlanExtension));
    for (const std::wstring& old : OldRecords(night.names)) {
        platform.deleteFile(night.folder + L"\\" + old);
    }
}

}  // namespace

bool CmdCanRunIn(std::wstring_view folder) {
    // cmd refuses a UNC current folder (and starts in the Windows folder instead), and takes no
    // current folder longer than MAX_PATH with its closing separator.
    constexpr std::size_t MaxPath = 260;
    return !folder.starts_with(L"\\\\") && folder.size() + 1 < MaxPath;
}

namespace {

struct ScriptFileWrite {
    std::wstring path;  // empty when nothing was written
    bool held = false;  // stopped at a file another holds
};

// With `stopWhenHeld`, a file another holds open is not written elsewhere instead: a night under
// way reads it (maybe one of a copy in another logon session, whose render job this one cannot
// see), and a second script beside it would start a second night.
ScriptFileWrite WriteIntoScriptFolders(Platform& platform, std::wstring_view name,
                                       std::string_view bytes, bool stopWhenHeld) {
    const std::size_t separator = name.find(L'\\');
    const std::wstring beside = ProgramScriptFolder(platform);
    for (const std::wstring& folder : ScriptFolders(platform)) {
        // The user's own folder may not exist yet: %LOCALAPPDATA%\Ravolen first.
        if (folder != beside && !platform.createFolder(std::wstring(FolderOf(folder)))) continue;
        if (!platform.createFolder(folder)) continue;
        if (separator != std::wstring_view::npos &&
            !platform.createFolder(folder + L"\\" + std::wstring(name.substr(0, separator)))) {
            continue;
        }
        const std::wstring path = folder + L"\\" + std::wstring(name);
        if (!stopWhenHeld) {
            if (platform.writeFile(path, bytes)) return {path};
            continue;
        }
        switch (platform.writeFileTelling(path, bytes)) {
            case FileWrite::Written: return {path};
            case FileWrite::Held: return {{}, true};
            case FileWrite::Failed: break;
        }
    }
    return {};
}

ScriptFileWrite WriteRenderScript(Platform& platform, std::string_view bytes) {
    return WriteIntoScriptFolders(platform, ScriptFileName, bytes, true);
}

}  // namespace

std::wstring WriteScriptFile(Platform& platform, std::wstring_view name, std::string_view bytes) {
    return WriteIntoScriptFolders(platform, name, bytes, false).path;
}

std::wstring RenderStartedText(std::wstring_view message, const RenderStart& start) {
    std::wstring text(message);
    if (!start.besideProgram) text += L"\n渲染脚本保存在：" + start.scriptPath;
    return text;
}

std::wstring ResolveFrom(std::wstring_view folder, std::wstring_view path) {
    const bool drive = path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':';
    if (path.starts_with(L"\\\\") || (drive && path.size() >= 3 && path[2] == L'\\')) {
        return std::wstring(path);
    }
    const std::wstring base(folder);
    if (path.starts_with(L"\\")) return base.substr(0, 2) + std::wstring(path);  // the same drive
    if (drive) {
        // Relative to that drive's current folder: the working folder on its own drive, the root
        // on another, as a freshly started cmd has it.
        if (!base.empty() && towupper(base[0]) == towupper(path[0])) {
            return base + L"\\" + std::wstring(path.substr(2));
        }
        return std::wstring(path.substr(0, 2)) + L"\\" + std::wstring(path.substr(2));
    }
    return base + L"\\" + std::wstring(path);
}

RenderStart StartPlannedScript(Platform& platform, const RenderRequest& request,
                               const RenderPlan& plan) {
    const auto failed = [](std::wstring why) {
        RenderStart start;
        start.failure = std::move(why);
        return start;
    };
    // Checked before anything is written: the running script reads this very file.
    if (platform.renderJobRunning()) return failed(std::wstring(RenderStillRunningMessage));
    // No night of this program's runs: a hold it kept (of a night not followed to its end)
    // guards nothing, and would keep this very write out.
    platform.letGoOfScript();
    if (plan.refusal) {
        if (plan.rewriteRefused) WriteRenderScript(platform, plan.script.bytes);
        return failed(*plan.refusal);
    }

    // Every job line would fail at once, and a shutdown follow two minutes later. An empty table
    // calls no renderer: its script only shuts down, or does nothing.
    const auto missingRenderer = [&](const std::wstring& scriptFolder) -> std::optional<std::wstring> {
        if (request.rows.empty()) return std::nullopt;
        const std::wstring renderer =
            ResolveFrom(scriptFolder, request.installFolder + L"\\3dsmaxcmd.exe");
        if (platform.fileExists(renderer)) return std::nullopt;
        return L"找不到3dsMax的渲染程序：" + renderer + L"，请检查3dsMax的安装路径。";
    };
    const std::wstring programScripts = ProgramScriptFolder(platform);
    if (auto missing = missingRenderer(programScripts)) return failed(std::move(*missing));

    const ScriptFileWrite written = WriteRenderScript(platform, plan.script.bytes);
    if (written.held) return failed(std::wstring(RenderStillRunningMessage));
    const std::wstring& scriptPath = written.path;
    if (scriptPath.empty()) {
        return failed(L"无法写入渲染脚本：" + programScripts + L"\\" + std::wstring(ScriptFileName));
    }
    const std::wstring scriptFolder(FolderOf(scriptPath));
    // A relative install folder is found from the folder the script runs in.
    const std::wstring renderer = request.installFolder + L"\\3dsmaxcmd.exe";
    if (ResolveFrom(scriptFolder, renderer) != ResolveFrom(programScripts, renderer)) {
        if (auto missing = missingRenderer(scriptFolder)) return failed(std::move(*missing));
    }
    NightFiles night;
    if (request.night) {
        night = BeginNight(platform, scriptFolder, *request.night, plan.way == RenderWay::Local);
    }
    ProcessLaunch launch =
        ScriptLaunch(platform.systemFolder(), scriptFolder, platform.scriptCodec().codePage());
    launch.outputFile = night.logPath;
    // Held before cmd first reads it, until the night ends; where it cannot be held, the night
    // renders all the same.
    platform.holdScript(scriptPath);
    if (!platform.startInRenderJob(launch)) {
        platform.letGoOfScript();
        // A record that no render follows would pass for the last night.
        if (!night.recordPath.empty()) platform.deleteFile(night.recordPath);
        return failed(L"无法启动渲染脚本：" + scriptPath);
    }
    RenderStart start;
    if (!night.folder.empty()) {
        // Without its plan the night renders all the same; it only cannot be offered again.
        if (KeepPlan(platform, night.planPath, PlanOf(platform, request, plan.way, scriptPath))) {
            start.planPath = night.planPath;
        }
        PruneNights(platform, night);
    }
    start.started = true;
    start.scriptPath = scriptPath;
    start.besideProgram = scriptFolder == programScripts;
    start.recordPath = night.recordPath;
    start.logPath = night.logPath;
    return start;
}

RenderStart StartRender(Platform& platform, const RenderRequest& request,
                        const BackburnerSettings* backburner) {
    RenderWayChoice choice;
    if (backburner) {
        choice.way = RenderWay::Backburner;
        choice.backburner = *backburner;
    }
    return StartPlannedScript(platform, request, PlanRender(platform, request, choice));
}

void CancelShutdown(Platform& platform) {
    platform.startProcess(SystemCommand(platform, L"shutdown.exe", L"-a",
                                        WindowStyle::MinimizedWithFocus));
}

RenderJobEnd CancelRender(Platform& platform) { return platform.endRenderJob(); }

}  // namespace ravolen
