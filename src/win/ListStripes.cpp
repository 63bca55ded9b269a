#include "win/ListStripes.h"

#include <algorithm>

#include "base/Handles.h"

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

}  // namespace

LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw) {
    const HWND list = draw.nmcd.hdr.hwndFrom;
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPREPAINT: {
            const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
            const auto state = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                                            LVIS_SELECTED);
            if (state & LVIS_SELECTED) return CDRF_DODEFAULT;
            draw.clrTextBk = BandColour(stripes, row);
            return CDRF_NEWFONT;
        }
        case CDDS_POSTPAINT: RuleEmptyPart(stripes, list, draw.nmcd.hdc); return CDRF_DODEFAULT;
        default: return CDRF_DODEFAULT;
    }
}

}  // namespace ravolen::win
