#include "render/RenderCommand.h"

#include <cwctype>

#include "render/RenderScript.h"

namespace ravolen {
namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

ProcessLaunch SystemCommand(Platform& platform, std::wstring_view program,
                            std::wstring_view arguments, WindowStyle style) {
    const std::wstring path = platform.systemFolder() + L"\\" + std::wstring(program);
    return ProcessLaunch{path, L"\"" + path + L"\" " + std::wstring(arguments), L"", style};
}

}  // namespace

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

bool StartRender(Platform& platform, const RenderRequest& request,
                 const BackburnerSettings* backburner) {
    // Checked before anything is written: the running script reads this very file.
    if (platform.renderJobRunning()) {
        platform.showMessage(std::wstring(RenderStillRunningMessage));
        return false;
    }

    const std::wstring scriptFolder = platform.programFolder() + L"\\" + std::wstring(ScriptFolderName);
    const std::wstring scriptPath = scriptFolder + L"\\" + std::wstring(ScriptFileName);
    const ComposedScript script = ComposeRenderScript(
        request.installFolder, request.rows, request.shutdownAfterwards, platform.scriptCodec(),
        backburner);

    if (script.refusal) {
        // The file is rewritten even for a refused table, so it never holds an older, complete
        // script that a user might mistake for the current one.
        if (platform.createFolder(scriptFolder)) platform.writeFile(scriptPath, script.bytes);
        platform.showMessage(RefusalMessage(*script.refusal));
        return false;
    }

    // Every job line would fail at once, and a shutdown follow two minutes later. An empty table
    // calls no renderer: its script only shuts down, or does nothing.
    if (!request.rows.empty()) {
        const std::wstring renderer =
            ResolveFrom(scriptFolder, request.installFolder + L"\\3dsmaxcmd.exe");
        if (!platform.fileExists(renderer)) {
            platform.showMessage(L"找不到3dsMax的渲染程序：" + renderer + L"，请检查3dsMax的安装路径。");
            return false;
        }
    }

    if (!platform.createFolder(scriptFolder) || !platform.writeFile(scriptPath, script.bytes)) {
        platform.showMessage(L"无法写入渲染脚本：" + scriptPath);
        return false;
    }
    if (!platform.startInRenderJob(ScriptLaunch(platform.systemFolder(), scriptFolder))) {
        platform.showMessage(L"无法启动渲染脚本：" + scriptPath);
        return false;
    }
    return true;
}

void CancelShutdown(Platform& platform) {
    platform.startProcess(SystemCommand(platform, L"shutdown.exe", L"-a",
                                        WindowStyle::MinimizedWithFocus));
}

void CancelRender(Platform& platform) {
    if (platform.endRenderJob() != RenderJobEnd::Unavailable) return;
    for (std::wstring_view image : {L"cmd.exe", L"3dsmaxcmd.exe", L"3dsmax.exe"}) {
        platform.startProcess(SystemCommand(platform, L"taskkill.exe",
                                            L"/f /im " + std::wstring(image), WindowStyle::Hidden));
    }
}

}  // namespace ravolen
