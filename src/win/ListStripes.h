#pragma once

#include <windows.h>
#include <commctrl.h>

namespace ravolen::win {

// Bands of two colours one row high behind a report list view: each row lies on the band of its
// own parity wherever the list is scrolled, and the list's empty part is ruled on in the same
// bands. The selected row keeps the system's selection colours.
struct ListStripes {
    COLORREF odd;    // rows 1, 3, 5, ...
    COLORREF even;   // rows 2, 4, 6, ...
    int bandHeight;  // pixels; rules an empty list, where no row can be measured

    bool operator==(const ListStripes&) const = default;
};

// The answer to the list view's NM_CUSTOMDRAW, which its parent receives.
LRESULT DrawListStripes(const ListStripes& stripes, NMLVCUSTOMDRAW& draw);

}  // namespace ravolen::win
