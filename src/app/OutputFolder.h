#pragma once

#include <string>

#include "platform/Platform.h"

namespace ravolen {

// Opens a row's output folder in Explorer. A folder that is not there yet (nothing rendered into
// it) is made first when the artist says so; every failure is said in a box. True when Explorer
// was asked to show it.
bool OpenOutputFolder(Platform& platform, const std::wstring& folder);

// Opens a rendered image in the viewer Windows has for it; a box says so when it cannot.
bool OpenImage(Platform& platform, const std::wstring& image);

}  // namespace ravolen
