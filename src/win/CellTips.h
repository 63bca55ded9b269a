#pragma once

#include <windows.h>

#include <string>


namespace ravolen::win {

// A tip over a report list view's cell whose text its column cuts (a path shortened in its
// middle, a long name): the whole text, shown as the mouse rests on the cell.
class CellTips {
public:
    CellTips() = default;
    ~CellTips();
    CellTips(const CellTips&) = delete;
    CellTips& operator=(const CellTips&) = delete;

    // Makes the tip for `list`; the list works on without tips when they cannot be made.
    void attach(HWND list);
    // The list's own messages, handed on by its owner's subclass of it, which the tip follows the
    // mouse by: one subclass on the list rather than three (the tip's, the owner's, this one's),
    // as every message to a subclassed control costs a lookup of its subclasses.
    void relay(UINT message, WPARAM wParam, LPARAM lParam);

private:
    void onMouseMove(POINT at);

    HWND list_ = nullptr;
    HWND tooltip_ = nullptr;
    int row_ = -1;
    int column_ = -1;
};

}  // namespace ravolen::win
