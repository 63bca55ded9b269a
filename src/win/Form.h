#pragma once

#include <windows.h>

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "win/Handles.h"
#include "win/Layout.h"
#include "win/Window.h"

namespace ravolen::win {

// A fixed-size top-level window whose controls come from a layout table. All fonts are 宋体
// (GB2312 character set), as the window was designed with.
class Form : public Window {
public:
    // The control of that name in the layout table, or null.
    HWND control(std::wstring_view name) const;
    int dpi() const { return dpi_; }

protected:
    Form();
    // Destroys the window while the form's fonts and handlers still exist.
    ~Form() override;

    // Creates the hidden window with a client area of the given twips, centred on the screen.
    bool createForm(const wchar_t* className, std::wstring_view caption, int clientWidthTwips,
                    int clientHeightTwips, double fontPoints);
    // Creates the controls in tab-index order, which makes the Tab key follow that order.
    void createControls(std::span<const ControlSpec> layout);

    virtual void onCommand(int id, int code) = 0;

    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HFONT font(FontSpec style);
    void addTooltip(HWND control, std::wstring_view text);
    void pressFocusedButton();

    int dpi_;
    double windowFontPoints_ = 9;
    std::map<std::pair<int, bool>, Font> fonts_;  // by tenths of a point and weight
    std::map<std::wstring, HWND, std::less<>> controls_;
    std::map<HWND, COLORREF> textColours_;
    HWND tooltip_ = nullptr;
    HWND focus_ = nullptr;  // the control that had the focus when the window was deactivated
};

}  // namespace ravolen::win
