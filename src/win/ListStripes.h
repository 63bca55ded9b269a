#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

namespace ravolen::win {

// Bands of two colours one row high behind a report list view: each row lies on the band of its
// own parity wherever the list is scrolled, and the list's empty part is ruled on in the same
// bands. The selected row keeps the system's selection colours.
struct ListStripes {
    COLORREF odd;    // rows 1, 3, 5, ...
    COLORREF even;   // rows 2, 4, 6, ...
    int bandHeight;  // pixels; rules an empty list, where no row can be measured
    // Bit k set: the cells of column k + 1 hold paths, drawn by DrawPathCell.
    unsigned pathColumns = 0;

    bool operator==(const ListStripes&) const = default;
};

// A cell's whole text (row and column from 0), read where the list's owner keeps it: asking the
// list costs it a round of LVN_GETDISPINFOW for every path cell of every row it paints.
using CellText = std::function<std::wstring(int row, int column)>;
// Which path cells of the row being drawn were found cut as it was about to be drawn, so that
// they are measured once, not again when they are drawn over.
struct PathCuts {
    int row = -1;
    unsigned columns = 0;
};

// The answer to the list view's NM_CUSTOMDRAW, which its parent receives; `text` null: the list
// is asked.
LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw, PathCuts& cuts,
                        const CellText& text = {});

// Draws the cell a custom draw has reached (CDDS_SUBITEM | CDDS_ITEMPREPAINT) as a path: too long
// for its column, it loses characters in its middle and keeps its file name. In the draw's text
// colours, or the system's selection colours on a selected row, and the font selected into the
// draw's DC. Only the picture is shortened: the list's text stays whole for every reader, the
// in-place editor and other programs alike. Returns CDRF_SKIPDEFAULT.
LRESULT DrawPathCell(NMLVCUSTOMDRAW& draw);

}  // namespace ravolen::win
