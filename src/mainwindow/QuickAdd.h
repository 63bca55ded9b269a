#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "render/JobTable.h"

namespace ravolen {

// The scene's name as an output name starts: every ".max" taken out, as written (Room.MAX keeps
// its extension; a.max.old.max gives a.old).
std::wstring SceneBaseName(std::wstring_view fileName);

// The rows quick add appends for an open-file dialog's answer (one full path, or the folder and
// the names), in the dialog's order: camera and sizes "默认", the unified output folder, and the
// scene's base name followed by the unified image format.
std::vector<RenderJob> QuickAddJobs(const std::vector<std::wstring>& answer,
                                    std::wstring_view outputFolder, std::wstring_view format);

}  // namespace ravolen
