#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "app/TableSelection.h"

namespace ravolen {

// The job table's keys and context menu: the commands' keys go to the window while the table has
// the focus (Space ticks, Enter opens the job editor rather than pressing the window's button),
// and the menu opens from the mouse, Shift+F10 or the menu key.
class TableKeys {
public:
    explicit TableKeys(const TableSelection& selection) : selection_(selection) {}

    void bind(HWND list) { list_ = list; }
    // The window's answer to a key (true: taken), and to a context menu asked for at a point on
    // the screen (from the keyboard: the point of the keyboard's row).
    void onKey(std::function<bool(UINT key)> key) { key_ = std::move(key); }
    void onContextMenu(std::function<void(POINT screen)> menu) { menu_ = std::move(menu); }

    // The list's message, answered when it is one of these.
    std::optional<LRESULT> message(UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool listKey(UINT key);
    void contextMenuAt(LPARAM where);

    const TableSelection& selection_;
    HWND list_ = nullptr;
    std::function<bool(UINT)> key_;
    std::function<void(POINT)> menu_;
    bool keyTaken_ = false;  // the character the taken key makes is not the list's either
    UINT menuKeyUp_ = 0;     // the key that opened the context menu, whose release is its too
};

}  // namespace ravolen
