#include "render/RenderCommand.h"

#include "render/RenderScript.h"

namespace ravolen {

bool StartRender(Platform& platform, const RenderRequest& request) {
    const std::wstring scriptFolder = platform.programFolder() + L"\\" + std::wstring(ScriptFolderName);
    const std::wstring scriptPath = scriptFolder + L"\\" + std::wstring(ScriptFileName);

    const ComposedScript script = ComposeRenderScript(
        request.installFolder, request.rows, request.shutdownAfterwards, platform.scriptCodec());

    // The file is rewritten even for a refused table, so it never holds an older, complete
    // script that a user might mistake for the current one.
    if (!platform.createFolder(scriptFolder) || !platform.writeFile(scriptPath, script.bytes)) {
        platform.showMessage(L"无法写入渲染脚本：" + scriptPath);
        return false;
    }
    if (script.refusal) {
        platform.showMessage(RefusalMessage(*script.refusal));
        return false;
    }
    if (!platform.startProcess(ScriptLaunch(platform.systemFolder(), scriptFolder))) {
        platform.showMessage(L"无法启动渲染脚本：" + scriptPath);
        return false;
    }
    return true;
}

}  // namespace ravolen
