#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ravolen::win {

// A serial no row has had before.
LPARAM NewRowSerial();

// The rows of a report-style list view, addressed as the rest of the program counts them: rows
// from 1, column 1 the item text and column k + 1 the sub-item k.
class ListView {
public:
    explicit ListView(HWND hwnd) : hwnd_(hwnd) {}

    HWND hwnd() const { return hwnd_; }

    int rowCount() const;
    int columnCount() const;
    // Appends a column; `format` is LVCFMT_LEFT, LVCFMT_RIGHT or LVCFMT_CENTER.
    void addColumn(std::wstring_view caption, int widthPixels, int format);
    // Gives every column the width it had at `fromDpi`, as long in inches at `toDpi`; widths the
    // user dragged stay his.
    void rescaleColumns(int fromDpi, int toDpi);

    std::wstring cell(int row, int column) const;
    void setCell(int row, int column, std::wstring_view text);
    // The cells of one column from row 1 on.
    std::vector<std::wstring> column(int column) const;
    // Writes the cells of one column from row 1 on, only those that differ from `before`.
    void setColumn(int column, const std::vector<std::wstring>& cells,
                   const std::vector<std::wstring>& before);
    // Appends a row holding `cells` from column 1 on; returns its position.
    int appendRow(std::span<const std::wstring> cells);
    // Inserts a row holding `cells` at position `row` (rowCount() + 1 appends) with `serial` as
    // its rowSerial(); returns its position, or 0 when the list refused it.
    int insertRow(int row, std::span<const std::wstring> cells, LPARAM serial = NewRowSerial());
    void removeRow(int row);
    void clear();

    bool checked(int row) const;
    void setChecked(int row, bool checked);
    bool selected(int row) const;
    void setSelected(int row, bool selected);
    // The first selected row, or 0 when none is.
    int selectedRow() const;

    // An id that stays with the row while rows before it come and go, and the row that has it
    // now, or 0 when the row is gone.
    UINT rowId(int row) const;
    int rowWithId(UINT id) const;

    // The row's serial (its item data): given when the row is inserted, never handed out twice in
    // this process, and kept through every change of position. A row inserted by other means gets
    // one when it is first asked for.
    LPARAM rowSerial(int row) const;

private:
    HWND hwnd_;
};

// While it lives, the list has no keyboard row; it gets it back afterwards if that row is still
// there. Deleting rows before the keyboard's row otherwise moves the mark, and scrolls to it,
// once per row.
class FocusMarkSuspended {
public:
    explicit FocusMarkSuspended(HWND list);
    ~FocusMarkSuspended();
    FocusMarkSuspended(const FocusMarkSuspended&) = delete;
    FocusMarkSuspended& operator=(const FocusMarkSuspended&) = delete;

private:
    HWND list_;
    std::optional<UINT> id_;  // of the keyboard's row
};

// Keeps a window from repainting while it lives, then repaints it once: changing thousands of
// rows of a visible list view otherwise costs milliseconds a row.
class RedrawSuspended {
public:
    explicit RedrawSuspended(HWND hwnd) : hwnd_(hwnd) { SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0); }
    ~RedrawSuspended() {
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
    RedrawSuspended(const RedrawSuspended&) = delete;
    RedrawSuspended& operator=(const RedrawSuspended&) = delete;

private:
    HWND hwnd_;
};

}  // namespace ravolen::win
