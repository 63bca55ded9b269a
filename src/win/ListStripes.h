#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ravolen::win {

// Bands of two colours one row high behind a report list view: each row lies on the band of its
// own parity wherever the list is scrolled, and the list's empty part is ruled on in the same
// bands. The selected row keeps the system's selection colours.
struct ListStripes {
    COLORREF odd;    // rows 1, 3, 5, ...
    COLORREF even;   // rows 2, 4, 6, ...
    int bandHeight;  // pixels; rules an empty list, where no row can be measured
    // The rows the list painted in the paint under way, as it told them: the empty part is found
    // from them rather than by asking the list.
    struct Painted {
        int last = -1;  // none
        RECT bounds{};  // the last row's
    };
    mutable Painted painted;
    mutable HWND header = nullptr;  // the list's, once asked: asking costs a message each paint

    bool operator==(const ListStripes& other) const {
        return odd == other.odd && even == other.even && bandHeight == other.bandHeight;
    }
};

// The answer to the list view's NM_CUSTOMDRAW, which its parent receives.
LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw);

// The path cells of an owner-data report list view, shown as the list paints them: too long for
// its column, a path loses characters in its middle and keeps its beginning (the drive) and its
// file name ("D:\项目\...\客厅.max"), as DrawTextW's DT_PATH_ELLIPSIS shortens it; a file name
// longer than the column itself ends in an ellipsis too.
// The list draws the short text itself: only while it paints are its questions for a cell's text
// (LVN_GETDISPINFOW) answered short. Any other time the answer is the whole text, so whatever
// else reads the list (another program, the tips, a copy, the in-place editor) reads it whole.
class PathCells {
public:
    // Bit k set: the cells of column k + 1 hold paths.
    explicit PathCells(unsigned columns = 0) : columns_(columns) {}

    // Told of each of the list's NM_CUSTOMDRAW: it paints from CDDS_PREPAINT until
    // CDDS_POSTPAINT, which the answer to CDDS_PREPAINT asks for (CDRF_NOTIFYPOSTPAINT).
    void noteDraw(const NMLVCUSTOMDRAW& draw);

    // What to give the list for a cell of `column` (from 0) whose text is `whole`: `whole`
    // itself, or the path shortened to fit while the list paints, measured in `font` (null: the
    // list's own) once for each text and width.
    const std::wstring& shown(int column, const std::wstring& whole, HFONT font = nullptr);

private:
    struct Paint {
        HDC dc;
        HFONT font;
    };
    // The texts already shortened for one width and one font: empty where the whole fits.
    struct Fitted {
        int width;
        HFONT font;
        std::unordered_map<std::wstring, std::wstring> texts;
    };
    Fitted& fittedFor(int width, HFONT font);

    unsigned columns_;
    std::optional<Paint> paint_;  // while the list paints
    HWND list_ = nullptr;
    HWND header_ = nullptr;
    LOGFONTW face_{};  // the list's font as the texts were measured in it
    int widths_[32]{};  // each path column's width as its room was measured; -1: not yet
    int rooms_[32]{};   // the width a path has in each path column; -1 where unknown
    std::vector<Fitted> fitted_;
};

}  // namespace ravolen::win
