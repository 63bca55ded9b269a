#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

namespace ravolen::win {

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

    std::wstring cell(int row, int column) const;
    void setCell(int row, int column, std::wstring_view text);
    // Appends a row holding `cells` from column 1 on; returns its position.
    int appendRow(std::span<const std::wstring> cells);
    void removeRow(int row);
    void clear();

    bool checked(int row) const;
    void setChecked(int row, bool checked);
    bool selected(int row) const;
    void setSelected(int row, bool selected);
    // The first selected row, or 0 when none is.
    int selectedRow() const;

private:
    HWND hwnd_;
};

}  // namespace ravolen::win
