#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/Handles.h"
#include "win/Layout.h"
#include "win/Window.h"

namespace ravolen::win {

// One line of a window's command table: the handler for a control id and notification code.
template <typename Owner>
struct CommandRoute {
    int id;
    int code;
    void (Owner::*handler)();
};

// Calls the handler that `routes` holds for the id and code; true when there was one.
template <typename Owner>
bool RouteCommand(Owner& owner, std::span<const CommandRoute<Owner>> routes, int id, int code) {
    for (const CommandRoute<Owner>& route : routes) {
        if (route.id == id && route.code == code) {
            (owner.*route.handler)();
            return true;
        }
    }
    return false;
}

// A fixed-size top-level window whose controls come from a layout table, with the keyboard of a
// dialog box. All fonts are 宋体 (GB2312 character set), as the window was designed with.
// Notifications go first to the control's reflector (see Reflection.h), then to the handlers.
class Form : public Window {
public:
    // The control of that name in the layout table, or null.
    HWND control(std::wstring_view name) const;
    // The control of that id, or null.
    HWND item(int id) const { return GetDlgItem(hwnd(), id); }
    int dpi() const { return dpi_; }

    // Lays the window out for `dpi`: fonts of that size, every control where its table puts it
    // (grown at that scale where its caption would not fit, the controls right of it moved
    // along) and the client area around them all. The window keeps its top-left corner, or takes
    // `suggested`'s, which Windows gives with WM_DPICHANGED.
    void layOutFor(int dpi, const RECT* suggested = nullptr);

    // A resizable window's client area in twips as the artist made it, {0, 0} while it is as
    // designed; and the window given such a size again: never smaller than designed, nor larger
    // than the work area of its screen.
    SIZE chosenSizeTwips() const;
    void chooseSizeTwips(SIZE twips);

protected:
    Form();
    // Destroys the window while the form's fonts still exist.
    ~Form() override;

    // Creates the hidden window with a client area of the given twips, centred on the screen; a
    // menu bar lies above the client area, which keeps its size. The window owns the menu.
    // `owner`, when given, keeps the window in front of it.
    bool createForm(const wchar_t* className, std::wstring_view caption, int clientWidthTwips,
                    int clientHeightTwips, double fontPoints, HMENU menu = nullptr,
                    HWND owner = nullptr);
    // Creates every control of the table in tab-index order, containers below what they hold,
    // and lays the window out at its monitor's DPI. The table outlives the window.
    // False when any control could not be created: the window is then unusable as a whole.
    bool createControls(std::span<const ControlSpec> layout);
    // Lets the artist resize the window by its border (before createControls): the controls
    // follow its edges as their table's `grow` says. Its smallest size is the designed one, or
    // the screen's work area where that is smaller.
    void allowResizing();
    // After the client area changed size (the controls have followed).
    virtual void onResized();

    // After the window was laid out at a new DPI, for what its table does not hold; the list
    // views' columns have followed already.
    virtual void onDpiChanged(int oldDpi);

    // A WM_COMMAND no reflector took; true when handled. Enter and Escape arrive as the default
    // button's id and IDCANCEL.
    virtual bool onCommand(int id, int code);
    // A WM_NOTIFY no reflector took.
    virtual std::optional<LRESULT> onNotify(NMHDR& header);
    virtual void onTimer(UINT_PTR id);

    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The window's font of that style at its scale, kept while the window lives.
    HFONT font(FontSpec style) { return font(style, dpi_); }

private:
    HFONT font(FontSpec style, int dpi);
    // Each control's rectangle in the client area at `dpi`, in the table's order.
    std::vector<RECT> placeControls(int dpi);
    SIZE clientSizeFor(const std::vector<RECT>& controls, int dpi) const;
    // The window's outer size when it is laid out for `dpi`.
    SIZE windowSizeFor(int dpi);
    // Lays the window out; without a corner, centred on the work area.
    void arrange(int dpi, std::optional<POINT> topLeft);
    DWORD style() const;
    // Puts every control where its table says for a client area of `client` pixels.
    void placeInClient(SIZE client);
    void addTooltip(HWND control, std::wstring_view text);
    LRESULT defaultButton() const;
    LRESULT colour(UINT message, HDC dc, HWND control);

    int dpi_;
    double windowFontPoints_ = 9;
    std::span<const ControlSpec> layout_;
    int clientWidthTwips_ = 0;
    int clientHeightTwips_ = 0;
    bool menu_ = false;
    SIZE windowSize_{};  // the size the window is given, which may exceed the screen's
    bool resizable_ = false;
    std::vector<RECT> placed_;  // each control's designed rectangle at the current scale
    SIZE designedClient_{};     // the client area those rectangles were made for
    SIZE smallestWindow_{};     // of a resizable window
    SIZE extraTwips_{};         // how much larger than designed a resizable window's client is
    // By DPI, tenths of a point and weight.
    std::map<std::tuple<int, int, bool>, FontHandle> fonts_;
    std::map<std::wstring, int, std::less<>> controls_;  // ids by name: a control may be re-created
    std::map<HWND, COLORREF> textColours_;
    HWND tooltip_ = nullptr;
    HWND focus_ = nullptr;  // the control that had the focus when the window was deactivated
    int defaultButton_ = 0;
};

}  // namespace ravolen::win
