#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "jobs/JobRows.h"

namespace ravolen {

// The job table's selected rows and the keyboard's row, kept by id as the list tells them, so
// they stay on their rows while rows come and go. Asking an owner-data list which rows it holds
// selected walks its rows: the selection is learnt from its notices instead, and written to it
// row by row where the table knows which rows hold it.
class TableSelection {
public:
    explicit TableSelection(const JobRows& rows) : rows_(rows) {}
    TableSelection(const TableSelection&) = delete;
    TableSelection& operator=(const TableSelection&) = delete;

    // The list, what gives it the rows' count before the selection is written to it, and what
    // moves the selected rows to stand before the row at `before` when they are dropped there.
    void bind(HWND list, std::function<void()> settleCount, std::function<void(std::size_t before)> dropped);

    // Every selected position in order; the first selected row counted from 1 (or 0); their jobs.
    const std::vector<std::size_t>& positions() const;
    int firstRow() const;
    std::vector<RenderJob> jobs() const;
    // The keyboard's row when it is selected, else the first selected one; nothing without a
    // selection.
    std::optional<std::size_t> current() const;
    // These rows selected and no others, the keyboard's row on the first, scrolled into view.
    void select(const std::vector<std::size_t>& positions);
    void selectAll();
    void deselectAll();
    void selectLast();

    // Before the list's own plain click on `row`, which leaves that row the only one selected.
    void beforeClick(std::size_t row);
    // The list's notices of its rows' states.
    void noted(const NMLISTVIEW& change);
    void noted(const NMLVODSTATECHANGE& range);
    // After rows came or went: the selection written to the list again (unless rows were only
    // added after every row) and the keyboard's row moved to where its row is now.
    void follow(bool reselect);

    // Dragging the selected rows, begun by the list at `at` over rows `band` pixels high: the
    // list's mouse and keys while it lasts (the drop line follows the mouse, the button drops the
    // rows where it shows, Esc or a lost capture ends it); where they would drop now; the line.
    void beginDrag(POINT at, int band);
    std::optional<LRESULT> dragMessage(UINT message, WPARAM wParam, LPARAM lParam);
    std::optional<std::size_t> dropPosition() const { return drop_; }
    void drawDropLine(HDC dc) const;

private:
    // The rows at these positions selected and no others, the list's view left where it is.
    void mark(const std::vector<std::size_t>& positions);
    void unselectAll();
    void selectionNoted(std::size_t first, std::size_t last, bool selected);
    void dragTo(POINT point);
    void endDrag(bool drop);

    const JobRows& rows_;
    HWND list_ = nullptr;
    std::function<void()> settleCount_;
    std::function<void(std::size_t)> dropped_;
    // The selected rows by id, each with where it was last seen; and their positions in order,
    // found again when asked after a change.
    mutable std::unordered_map<RowId, std::size_t> selected_;
    mutable std::vector<std::size_t> positions_;
    mutable bool positionsDue_ = false;
    // The keyboard's row, by position and by id.
    struct Mark {
        int row = -1;
        RowId id = 0;
    };
    Mark focused_;
    bool following_ = false;  // writing the selection itself: its notices are not noted
    bool dragging_ = false;
    int band_ = 16;
    std::optional<std::size_t> drop_;
};

}  // namespace ravolen
