#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace ravolen::win {

inline constexpr int TwipsPerInch = 1440;

inline int TwipsToPixels(double twips, int dpi) {
    return static_cast<int>(twips * dpi / TwipsPerInch + (twips < 0 ? -0.5 : 0.5));
}

inline double PixelsToTwips(int pixels, int dpi) {
    return static_cast<double>(pixels) * TwipsPerInch / dpi;
}

// The screen's logical pixels per inch: the system's, which windows start from.
int ScreenDpi();

// The pixels per inch of the monitor the window is on, where Windows tells them per window
// (Windows 10 1607 and later); elsewhere the screen's.
int WindowDpi(HWND hwnd);

// Turns a client rectangle into its window's, the frame and menu bar measured for `dpi` where
// Windows measures them per DPI; elsewhere at the screen's.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, int dpi);

enum class ControlKind { Frame, Button, Label, TextBox, CheckBox, ComboBox, ListView };

// The room a control of that kind and size leaves its caption, in pixels at `dpi`: its size
// less the frame, margins and check box Windows draws around the text.
SIZE CaptionRoom(ControlKind kind, SIZE control, int dpi);

// Where a text's ink lies below the top of its line, in the font selected into `dc`: a line is
// higher than most glyphs reach. {0, 0} for a text without ink.
struct InkSpan {
    int top = 0;
    int bottom = 0;
};
InkSpan TextInk(HDC dc, std::wstring_view text);

// Where a control goes when its window, made resizable, is larger or smaller than designed: it
// keeps its place and size unless told to follow the right or bottom edge.
enum Grow : unsigned {
    GrowNone = 0,
    GrowWidth = 1,   // its right edge follows the window's
    GrowHeight = 2,  // its bottom edge follows the window's
    MoveRight = 4,   // it moves along with the right edge
    MoveDown = 8,    // it moves along with the bottom edge
};

struct FontSpec {
    double points = 0;  // 0: the window's own font
    bool bold = false;
};

// One control of a window's layout table, written with designated initializers. Positions are
// twips relative to the container's client area; a frame's client area starts at the frame's own
// top-left corner. Controls are created in tab-index order, which is the order Tab follows.
struct ControlSpec {
    ControlKind kind;
    int id;
    std::wstring_view name;
    std::wstring_view container{};  // empty: the window itself
    int left = 0, top = 0, width = 0, height = 0;
    int tabIndex = 0;
    std::wstring_view caption{};
    FontSpec font{};
    std::optional<COLORREF> textColour{};
    std::wstring_view tooltip{};
    bool visible = true;
    bool defaultButton = false;  // Enter presses it unless another button has the focus
    bool onTop = false;          // lies above every sibling, whatever its place in the tab order
    DWORD style = 0;             // further styles of the control's own class
    DWORD listViewExStyle = 0;   // LVS_EX_* of a list view
    unsigned grow = GrowNone;    // in a resizable window (Grow)
};

}  // namespace ravolen::win
