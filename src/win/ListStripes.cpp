#include "win/ListStripes.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "base/Handles.h"

namespace ravolen::win {
namespace {

COLORREF BandColour(const ListStripes& stripes, int band) {  // band 0 is row 1
    return band % 2 == 0 ? stripes.odd : stripes.even;
}

int HeaderBottom(const ListStripes& stripes, HWND list) {
    if (!stripes.header || GetParent(stripes.header) != list) {
        stripes.header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    }
    const HWND header = stripes.header;
    if (!header || !IsWindowVisible(header)) return 0;
    RECT rect{};
    GetWindowRect(header, &rect);
    MapWindowPoints(nullptr, list, reinterpret_cast<POINT*>(&rect), 2);
    return std::max(0L, rect.bottom);
}

// Everything the rows leave uncovered: the bands below the last row, and to the right of the
// last column beside each row.
void RuleEmptyPart(const ListStripes& stripes, HWND list, HDC dc) {
    // A paint that stays within the rows it painted (a row redrawn) leaves nothing empty to rule.
    const ListStripes::Painted& painted = stripes.painted;
    RECT clip{};
    if (painted.last >= 0 && GetClipBox(dc, &clip) != ERROR && clip.left >= painted.bounds.left &&
        clip.right <= painted.bounds.right && clip.bottom <= painted.bounds.bottom) {
        return;
    }
    RECT client{};
    GetClientRect(list, &client);
    const int top = HeaderBottom(stripes, list);
    int origin = top;  // where row 1 starts, above the view when scrolled
    int height = stripes.bandHeight;
    LONG rowsRight = client.left;
    // Rows painted: every band the paint reaches below the last of them is empty, and every band
    // above it a row, so the list need not be asked.
    const int rows = painted.last >= 0 ? painted.last + 1 : static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (painted.last >= 0 && painted.bounds.bottom > painted.bounds.top) {
        height = painted.bounds.bottom - painted.bounds.top;
        origin = painted.bounds.top - painted.last * height;
        rowsRight = painted.bounds.right;
    } else if (rows > 0) {
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

// The width a path has in its cell: the cell (the first column's label, right of its check box)
// within the list's own margins, a little inside the label, more inside a column of its own.
// Every row's is the same; row 1's is asked.
int PathRoom(HWND list, HDC dc, int column) {
    RECT cell{column == 0 ? LVIR_LABEL : LVIR_BOUNDS, column, 0, 0};
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell))) return -1;
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    const int margins = MulDiv(column == 0 ? 8 : 12, dpi > 0 ? dpi : 96, 96);
    return std::max(0, static_cast<int>(cell.right - cell.left) - margins);
}

// The path as DrawTextW shortens it to `width` in the DC's font: empty where it fits whole.
std::wstring Shortened(HDC dc, const std::wstring& path, int width) {
    SIZE size{};
    if (GetTextExtentPoint32W(dc, path.c_str(), static_cast<int>(path.size()), &size) && size.cx <= width) return {};
    // DrawTextW writes what it would draw over the text, which needs room for an ellipsis more.
    std::wstring shown = path;
    shown.append(4, L'\0');
    RECT room{0, 0, width, static_cast<LONG>(size.cy)};
    DrawTextW(dc, shown.data(), static_cast<int>(path.size()), &room,
              DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT);
    shown.resize(std::wcslen(shown.c_str()));
    return shown;
}

LOGFONTW FaceOf(HFONT font) {
    LOGFONTW face{};
    if (font) GetObjectW(font, sizeof face, &face);
    return face;
}

bool SameFace(const LOGFONTW& one, const LOGFONTW& other) {
    return std::memcmp(&one, &other, sizeof one) == 0;
}

}  // namespace

LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw) {
    const HWND list = draw.nmcd.hdr.hwndFrom;
    switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            stripes.painted = {};
            return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPREPAINT:
            if (static_cast<int>(draw.nmcd.dwItemSpec) > stripes.painted.last) {
                stripes.painted = {static_cast<int>(draw.nmcd.dwItemSpec), draw.nmcd.rc};
            }
            // Told by the list rather than asked: a message to a list its owners subclassed costs
            // Wine a look-up in its server for every subclass, and this comes for every row.
            if (draw.nmcd.uItemState & CDIS_SELECTED) return CDRF_DODEFAULT;
            draw.clrTextBk = BandColour(stripes, static_cast<int>(draw.nmcd.dwItemSpec));
            return CDRF_NEWFONT;
        case CDDS_POSTPAINT: RuleEmptyPart(stripes, list, draw.nmcd.hdc); return CDRF_DODEFAULT;
        default: return CDRF_DODEFAULT;
    }
}

void PathCells::noteDraw(const NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) paint_.reset();
    if (draw.nmcd.dwDrawStage != CDDS_PREPAINT || !columns_) return;
    const HWND list = draw.nmcd.hdr.hwndFrom;
    // The font the list paints in, which it has selected to paint.
    const Paint paint{draw.nmcd.hdc, static_cast<HFONT>(GetCurrentObject(draw.nmcd.hdc, OBJ_FONT))};
    // Texts measured in another font than the list's now are measured again.
    const LOGFONTW face = FaceOf(paint.font);
    if (list != list_ || !SameFace(face, face_)) {
        list_ = list;
        header_ = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        face_ = face;
        fitted_.clear();
        std::fill(std::begin(widths_), std::end(widths_), -1);
    }
    // The rooms are measured again only when a column's width changed: asking the header costs
    // little, asking the list costs a look-up in Wine's server for each subclass its owners put
    // in front of it.
    for (int column = 0; column < 32; ++column) {
        if (!(columns_ >> column & 1u)) continue;
        RECT item{};
        const int width = header_ && SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                                                  reinterpret_cast<LPARAM>(&item))
                              ? static_cast<int>(item.right - item.left)
                              : -1;
        if (width >= 0 && width == widths_[column]) continue;
        rooms_[column] = PathRoom(list, paint.dc, column);
        widths_[column] = rooms_[column] >= 0 ? width : -1;  // a list without rows is asked again
    }
    paint_ = paint;
}

const std::wstring& PathCells::shown(int column, const std::wstring& whole, HFONT font) {
    if (!paint_ || column < 0 || column >= 32 || !(columns_ >> column & 1u) || rooms_[column] < 0 || whole.empty()) {
        return whole;
    }
    if (!font) font = paint_->font;
    Fitted& fitted = fittedFor(rooms_[column], font);
    auto found = fitted.texts.find(whole);
    if (found == fitted.texts.end()) {
        // A screenful of rows is a few dozen texts: many more are rows scrolled past.
        constexpr std::size_t Kept = 1024;
        if (fitted.texts.size() >= Kept) fitted.texts.clear();
        const HGDIOBJ old = font ? SelectObject(paint_->dc, font) : nullptr;
        found = fitted.texts.emplace(whole, Shortened(paint_->dc, whole, fitted.width)).first;
        if (old) SelectObject(paint_->dc, old);
    }
    return found->second.empty() ? whole : found->second;
}

PathCells::Fitted& PathCells::fittedFor(int width, HFONT font) {
    for (Fitted& fitted : fitted_) {
        if (fitted.width == width && fitted.font == font) return fitted;
    }
    // Widths a column was dragged through are let go.
    constexpr std::size_t Widths = 8;
    if (fitted_.size() >= Widths) fitted_.erase(fitted_.begin());
    return fitted_.emplace_back(Fitted{width, font, {}});
}

}  // namespace ravolen::win
