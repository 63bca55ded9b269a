#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace ravolen::win {

inline constexpr int TwipsPerInch = 1440;

inline int TwipsToPixels(double twips, int dpi) {
    return static_cast<int>(twips * dpi / TwipsPerInch + (twips < 0 ? -0.5 : 0.5));
}

enum class ControlKind { Frame, Button, Label, TextBox, CheckBox, ListView };

struct FontSpec {
    double points = 0;  // 0: the window's own font
    bool bold = false;
};

// One control of a window's layout table. Positions are twips relative to the container's client
// area; a frame's client area starts at the frame's own top-left corner.
struct ControlSpec {
    ControlKind kind;
    int id;
    std::wstring_view name;
    std::wstring_view container;  // empty: the window itself
    int left, top, width, height;
    int tabIndex;
    std::wstring_view caption;
    FontSpec font{};
    std::optional<COLORREF> textColour{};
    std::wstring_view tooltip{};
};

}  // namespace ravolen::win
