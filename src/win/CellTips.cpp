#include "win/CellTips.h"

#include <commctrl.h>
#include <windowsx.h>

#include "win/ListView.h"

namespace ravolen::win {
namespace {

constexpr UINT_PTR ToolId = 1;

TTTOOLINFOW ToolOf(HWND list, wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = 0;  // the mouse's messages are relayed
    tool.hwnd = list;
    tool.uId = ToolId;
    tool.lpszText = text;
    return tool;
}

// The text's width in the list's font, and the room the list gives it inside the cell.
bool Cut(HWND list, const std::wstring& text, const RECT& cell, int column) {
    const HDC dc = GetDC(list);
    if (!dc) return false;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    const int margins = MulDiv(column == 0 ? 8 : 12, dpi > 0 ? dpi : 96, 96);
    return size.cx > cell.right - cell.left - margins;
}

}  // namespace

CellTips::~CellTips() {
    if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
}

void CellTips::attach(HWND list) {
    if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
    list_ = list;
    row_ = column_ = -1;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, list, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!tooltip_) return;
    wchar_t empty[] = L"";
    TTTOOLINFOW tool = ToolOf(list, empty);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CellTips::relay(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!tooltip_ || !((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_MOUSELEAVE)) return;
    if (message == WM_MOUSEMOVE) onMouseMove({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    if (message == WM_MOUSELEAVE) {
        row_ = column_ = -1;
        return;
    }
    MSG relayed{list_, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    GetCursorPos(&relayed.pt);
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// The tool is the cell under the mouse: moved onto another cell, the tip is that cell's, and
// shows nothing where the column shows the whole text.
void CellTips::onMouseMove(POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem == row_ && hit.iSubItem == column_) return;
    row_ = hit.iItem;
    column_ = hit.iSubItem;
    std::wstring text;
    RECT cell{};
    if (row_ >= 0 && column_ >= 0) {
        cell = {column_ == 0 ? LVIR_LABEL : LVIR_BOUNDS, column_, 0, 0};
        if (SendMessageW(list_, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row_), reinterpret_cast<LPARAM>(&cell))) {
            text = ListView(list_).cell(row_ + 1, column_ + 1);
            if (!Cut(list_, text, cell, column_)) text.clear();
        }
    }
    SendMessageW(tooltip_, TTM_POP, 0, 0);
    TTTOOLINFOW tool = ToolOf(list_, text.data());
    tool.rect = cell;
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace ravolen::win
