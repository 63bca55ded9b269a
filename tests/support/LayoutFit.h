#pragma once

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/WindowTest.h"
#include "win/Controls.h"
#include "win/Layout.h"

namespace ravolen::test {

// Measures a text with a control's own font: one line, or wrapped at `wrapWidth` when given.
inline SIZE TextSize(HWND control, const std::wstring& text, int wrapWidth = 0) {
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, wrapWidth, 0};
    const UINT wrap = wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | wrap);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

inline int LineHeightOf(HWND control) { return TextSize(control, L"国Ag").cy; }

// Where the text's ink lies in its line, in the control's own font.
inline win::InkSpan Ink(HWND control, const std::wstring& text) {
    const HDC dc = GetDC(control);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const win::InkSpan ink = win::TextInk(dc, text);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return ink;
}

// What does not fit in a window laid out at `dpi`: each direct child that reaches past the client
// area, and each caption, label, button text or column caption that its control would cut (a
// label wraps its words, as a static control does). One line per fault, empty when all fit.
inline std::vector<std::string> LayoutFaults(HWND window, int dpi) {
    std::vector<std::string> faults;
    RECT client{};
    GetClientRect(window, &client);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(child, className, 64);
        const std::wstring kind = className;
        const std::wstring text = win::WindowText(child);
        const std::string name = Utf8(kind + L" \"" + text + L"\"");
        if (kind == TOOLTIPS_CLASSW) continue;

        // A drop-down combo box's window is its field; its list drops only when opened.
        const RECT rect = ClientRectIn(child, window);
        RECT inside{};
        IntersectRect(&inside, &rect, &client);
        if (!EqualRect(&inside, &rect)) faults.push_back(name + " reaches past the client area");
        if (_wcsicmp(className, L"ComboBox") == 0) {
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            GetComboBoxInfo(child, &info);
            if (LineHeightOf(child) > info.rcItem.bottom - info.rcItem.top) {
                faults.push_back(name + " cuts its line");
            }
            continue;
        }

        RECT own{};
        GetClientRect(child, &own);
        const SIZE size{own.right, own.bottom};
        const LONG style = static_cast<LONG>(GetWindowLongPtrW(child, GWL_STYLE));
        if (_wcsicmp(className, L"Edit") == 0) {
            if (LineHeightOf(child) > size.cy) faults.push_back(name + " cuts its line");
        } else if (_wcsicmp(className, L"Static") == 0) {
            if ((style & SS_TYPEMASK) == SS_BITMAP || text.empty()) continue;
            // Lines from the top; the last one's ink must lie inside.
            const SIZE wrapped = TextSize(child, text, size.cx);
            const int line = LineHeightOf(child);
            const int lines = std::max(1, static_cast<int>(wrapped.cy / line));
            const int bottom = (lines - 1) * line + Ink(child, text).bottom;
            if (wrapped.cx > size.cx || bottom > size.cy) {
                faults.push_back(name + " is cut: its text needs " + std::to_string(wrapped.cx) +
                                 "x" + std::to_string(bottom) + " of " +
                                 std::to_string(size.cx) + "x" + std::to_string(size.cy));
            }
        } else if (_wcsicmp(className, L"Button") == 0) {
            if (text.empty()) continue;
            const LONG type = style & BS_TYPEMASK;
            const win::ControlKind control = type == BS_GROUPBOX ? win::ControlKind::Frame
                                             : type == BS_AUTOCHECKBOX || type == BS_CHECKBOX
                                                 ? win::ControlKind::CheckBox
                                                 : win::ControlKind::Button;
            const SIZE room = win::CaptionRoom(control, size, dpi);
            // Centred on the control's height.
            const win::InkSpan ink = Ink(child, text);
            const SIZE needed{TextSize(child, text).cx, ink.bottom - ink.top};
            if (needed.cx > room.cx || (control != win::ControlKind::Frame && needed.cy > room.cy)) {
                faults.push_back(name + " is cut: its text needs " + std::to_string(needed.cx) +
                                 "x" + std::to_string(needed.cy) + " of " +
                                 std::to_string(room.cx) + "x" + std::to_string(room.cy));
            }
        } else if (kind == WC_LISTVIEWW) {
            const auto header = reinterpret_cast<HWND>(SendMessageW(child, LVM_GETHEADER, 0, 0));
            const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < columns; ++i) {
                wchar_t caption[64] = {};
                HDITEMW column{};
                column.mask = HDI_TEXT | HDI_WIDTH;
                column.pszText = caption;
                column.cchTextMax = 64;
                SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&column));
                // The header keeps a margin of three edges on either side of a caption.
                const int margin = 2 * 3 * MulDiv(2, dpi, 96);
                if (TextSize(header, caption).cx + margin > column.cxy) {
                    faults.push_back(name + " column \"" + Utf8(caption) + "\" is cut");
                }
            }
        }
    }
    return faults;
}

}  // namespace ravolen::test
