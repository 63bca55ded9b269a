#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "render/JobTable.h"

namespace ravolen {

struct RenderRequest {
    std::wstring installFolder;
    std::vector<RenderJob> rows;
    bool shutdownAfterwards = false;
};

// Writes bat\Render.bat beside the program and starts it hidden. Returns true once the script
// runs; otherwise it has told the user why and started nothing.
bool StartRender(Platform& platform, const RenderRequest& request);

inline constexpr std::wstring_view RenderStartedMessage =
    L"所有渲染任务已经开始，你可以回去睡大觉了。。";

}  // namespace ravolen
