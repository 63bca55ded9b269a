#include "win/ListStripes.h"

#include <algorithm>
#include <string>

#include "base/Handles.h"
#include "win/ListView.h"

namespace ravolen::win {
namespace {

COLORREF BandColour(const ListStripes& stripes, int band) {  // band 0 is row 1
    return band % 2 == 0 ? stripes.odd : stripes.even;
}

int HeaderBottom(HWND list) {
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (!header || !IsWindowVisible(header)) return 0;
    RECT rect{};
    GetWindowRect(header, &rect);
    MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&rect), 2);
    return std::max(0L, rect.bottom);
}

// Everything the rows leave uncovered: the bands below the last row, and to the right of the
// last column beside each row.
void RuleEmptyPart(const ListStripes& stripes, HWND list, HDC dc) {
    RECT client{};
    GetClientRect(list, &client);
    const int top = HeaderBottom(list);
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));

    int origin = top;  // where row 1 starts, above the view when scrolled
    int height = stripes.bandHeight;
    LONG rowsRight = client.left;
    if (rows > 0) {
        RECT first{LVIR_BOUNDS, 0, 0, 0};
        if (SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) {
            origin = first.top;
            height = first.bottom - first.top;
            rowsRight = first.right;
        }
    }
    if (height <= 0) return;

    // One brush for each colour, whatever the number of bands in view.
    const BrushHandle odd(CreateSolidBrush(stripes.odd));
    const BrushHandle even(CreateSolidBrush(stripes.even));
    for (int band = std::max(0, (top - origin) / height);; ++band) {
        RECT rect{band < rows ? rowsRight : client.left, origin + band * height, client.right,
                  origin + (band + 1) * height};
        if (rect.top >= client.bottom) break;
        rect.top = std::max(rect.top, static_cast<LONG>(top));
        if (rect.left >= rect.right || rect.top >= rect.bottom) continue;
        const HBRUSH brush = (band % 2 == 0 ? odd : even).get();
        if (brush) FillRect(dc, &rect, brush);
    }
}

bool IsPathColumn(const ListStripes& stripes, int column) {
    return column >= 0 && column < 32 && (stripes.pathColumns >> column) & 1u;
}

bool Selected(HWND list, int row) {
    return (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// Where a path cell's text goes: the cell (the first column's label, right of its check box)
// within the list's own margins, a little inside the label, more inside a column of its own.
bool PathRoom(HWND list, HDC dc, int row, int column, RECT& cell, RECT& room) {
    cell = {column == 0 ? LVIR_LABEL : LVIR_BOUNDS, column, 0, 0};
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell))) {
        return false;
    }
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    room = cell;
    room.left += MulDiv(column == 0 ? 2 : 6, dpi > 0 ? dpi : 96, 96);
    room.right -= MulDiv(6, dpi > 0 ? dpi : 96, 96);
    return true;
}

std::wstring TextOf(HWND list, int row, int column, const CellText& text) {
    return text ? text(row, column) : ListView(list).cell(row + 1, column + 1);
}

// Whether the path in the cell is wider than its room: only then is it drawn here. Drawing a
// cell of its own costs the list a notification for every cell of the row, which a list that
// repaints its rows on every keystroke notices.
bool PathCut(HWND list, HDC dc, int row, int column, const CellText& cellText) {
    RECT cell{};
    RECT room{};
    if (!PathRoom(list, dc, row, column, cell, room)) return false;
    const std::wstring text = TextOf(list, row, column, cellText);
    SIZE size{};
    return GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) &&
           size.cx > room.right - room.left;
}

LRESULT DrawPath(NMLVCUSTOMDRAW& draw, int column, bool overRow, const CellText& cellText);

unsigned PathsCut(const ListStripes& stripes, HWND list, HDC dc, int row, const CellText& text) {
    unsigned cut = 0;
    for (int column = 0; column < 32 && (stripes.pathColumns >> column); ++column) {
        if (IsPathColumn(stripes, column) && PathCut(list, dc, row, column, text)) cut |= 1u << column;
    }
    return cut;
}

}  // namespace

LRESULT DrawPathCell(NMLVCUSTOMDRAW& draw) { return DrawPath(draw, draw.iSubItem, false, {}); }

namespace {

// The path cell drawn over what the list drew (`overRow`: its check box is there already).
LRESULT DrawPath(NMLVCUSTOMDRAW& draw, int column, bool overRow, const CellText& cellText) {
    const HWND list = draw.nmcd.hdr.hwndFrom;
    const HDC dc = draw.nmcd.hdc;
    const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
    RECT cell{};
    RECT room{};
    if (!PathRoom(list, dc, row, column, cell, room)) return CDRF_DODEFAULT;
    const std::wstring text = TextOf(list, row, column, cellText);

    COLORREF back = draw.clrTextBk;
    COLORREF fore = draw.clrText;
    if (Selected(list, row)) {
        // As the list shows a selection: its colours while it has the focus, quieter without.
        const bool focused = GetFocus() == list;
        back = GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        fore = GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_BTNTEXT);
    }
    if (back == CLR_DEFAULT || back == CLR_NONE) back = static_cast<COLORREF>(SendMessageW(list, LVM_GETTEXTBKCOLOR, 0, 0));
    if (back == CLR_DEFAULT || back == CLR_NONE) back = GetSysColor(COLOR_WINDOW);
    if (fore == CLR_DEFAULT) fore = static_cast<COLORREF>(SendMessageW(list, LVM_GETTEXTCOLOR, 0, 0));
    if (fore == CLR_DEFAULT) fore = GetSysColor(COLOR_WINDOWTEXT);

    RECT fill = cell;
    // The first column holds the row's check box left of its label, which the list no longer
    // draws once the cell is skipped: it is drawn here, where the list puts it.
    const bool box = column == 0 && !overRow;
    const auto states = box ? reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_STATE, 0)) : nullptr;
    RECT icon{LVIR_ICON, 0, 0, 0};
    if (box && SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&icon))) {
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
        fill.left = bounds.left;
    }
    // The grid's lines lie on the cells' right and bottom edges.
    if (SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES) {
        fill.right = std::max(fill.left, fill.right - 1);
        fill.bottom = std::max(fill.top, fill.bottom - 1);
    }
    const COLORREF oldBack = SetBkColor(dc, back);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &fill, nullptr, 0, nullptr);
    // An owner-data list asks its owner for the check box's state: only where it is drawn.
    const auto state = states ? static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK)) : 0u;
    int imageWidth = 0;
    int imageHeight = 0;
    if (states && (state >> 12) > 0 &&
        ImageList_GetIconSize(states, &imageWidth, &imageHeight)) {
        ImageList_Draw(states, static_cast<int>(state >> 12) - 1, dc, icon.left - imageWidth,
                       icon.top + (icon.bottom - icon.top - imageHeight) / 2, ILD_TRANSPARENT);
    }
    const COLORREF oldFore = SetTextColor(dc, fore);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    if (room.right > room.left) {
        // A file name longer than the column itself ends in an ellipsis too.
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &room,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_END_ELLIPSIS);
    }
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldFore);
    SetBkColor(dc, oldBack);
    return CDRF_SKIPDEFAULT;
}

}  // namespace

LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw, PathCuts& cuts, const CellText& text) {
    const HWND list = draw.nmcd.hdr.hwndFrom;
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPREPAINT:
        case CDDS_SUBITEM | CDDS_ITEMPREPAINT: {
            const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
            const bool cell = (draw.nmcd.dwDrawStage & CDDS_SUBITEM) != 0;
            // Each cell is told its colour again: a cell's colours may stay for the next.
            const bool selected = Selected(list, row);
            if (!selected) draw.clrTextBk = BandColour(stripes, row);
            const LRESULT own = selected ? CDRF_DODEFAULT : CDRF_NEWFONT;
            // A row with a path too long for its cell is drawn over once the list has drawn it:
            // one notification a row, where drawing the cells apart costs one for every cell.
            if (cell || !stripes.pathColumns) return own;
            // Measured in the list's font, as they are drawn.
            const HFONT font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
            const HGDIOBJ old = font ? SelectObject(draw.nmcd.hdc, font) : nullptr;
            cuts = {row, PathsCut(stripes, list, draw.nmcd.hdc, row, text)};
            if (old) SelectObject(draw.nmcd.hdc, old);
            return own | (cuts.columns ? CDRF_NOTIFYPOSTPAINT : 0);
        }
        case CDDS_ITEMPOSTPAINT: {
            const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
            if (!Selected(list, row)) draw.clrTextBk = BandColour(stripes, row);
            draw.clrText = CLR_DEFAULT;
            const HFONT font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
            const HGDIOBJ old = font ? SelectObject(draw.nmcd.hdc, font) : nullptr;
            const unsigned cut = cuts.row == row ? cuts.columns : PathsCut(stripes, list, draw.nmcd.hdc, row, text);
            for (int column = 0; column < 32 && (cut >> column); ++column) {
                if (cut & (1u << column)) DrawPath(draw, column, true, text);
            }
            if (old) SelectObject(draw.nmcd.hdc, old);
            return CDRF_DODEFAULT;
        }
        case CDDS_POSTPAINT: RuleEmptyPart(stripes, list, draw.nmcd.hdc); return CDRF_DODEFAULT;
        default: return CDRF_DODEFAULT;
    }
}

}  // namespace ravolen::win
