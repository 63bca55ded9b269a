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
    // Makes the row the keyboard's row (its focus rectangle) and scrolls it into view.
    void focusRow(int row) const;

    // The row's serial (its item data): given when the row is inserted, never handed out twice in
    // this process, and kept through every change of position. A row inserted by other means gets
    // one when it is first asked for.
    LPARAM rowSerial(int row) const;

private:
    HWND hwnd_;
};

}  // namespace ravolen::win
