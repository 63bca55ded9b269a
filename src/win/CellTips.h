#pragma once

#include <windows.h>

#include <string>

#include "win/Subclass.h"

namespace ravolen::win {

// A tip over a report list view's cell whose text its column cuts (a path shortened in its
// middle, a long name): the whole text, shown as the mouse rests on the cell.
class CellTips {
public:
    CellTips() = default;
    ~CellTips();
    CellTips(const CellTips&) = delete;
    CellTips& operator=(const CellTips&) = delete;

    // Follows the mouse over `list`; the list works on without tips when they cannot be made.
    void attach(HWND list);

private:
    void onMouseMove(POINT at);

    HWND list_ = nullptr;
    HWND tooltip_ = nullptr;
    Subclass mouse_;
    int row_ = -1;
    int column_ = -1;
};

}  // namespace ravolen::win
