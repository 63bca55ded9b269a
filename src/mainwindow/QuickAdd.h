#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "render/JobTable.h"

namespace ravolen {

// The rows quick add appends for an open-file dialog's answer (one full path, or the folder and
// the names), in the dialog's order: camera and sizes "默认", the unified output folder, and the
// scene's base name followed by the unified image format.
std::vector<RenderJob> QuickAddJobs(const std::vector<std::wstring>& answer,
                                    std::wstring_view outputFolder, std::wstring_view format);

}  // namespace ravolen
