#include "win/ListView.h"

#include <commctrl.h>

#include <atomic>
#include <climits>

#include "win/Layout.h"

namespace ravolen::win {

int ListView::rowCount() const {
    return static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
}

int ListView::columnCount() const {
    const auto header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
    return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void ListView::addColumn(std::wstring_view caption, int widthPixels, int format) {
    std::wstring text(caption);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = widthPixels;
    column.pszText = text.data();
    column.iSubItem = columnCount();
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column.iSubItem),
                 reinterpret_cast<LPARAM>(&column));
}

void ListView::rescaleColumns(int fromDpi, int toDpi) {
    for (int column = 0, count = columnCount(); column < count; ++column) {
        const auto width = static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, column, 0));
        const int scaled = TwipsToPixels(PixelsToTwips(width, fromDpi), toDpi);
        SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(scaled, 0));
    }
}

std::wstring ListView::cell(int row, int column) const {
    // One buffer for every reading on this thread: a snapshot of the table reads many thousands.
    thread_local std::wstring text(256, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column - 1;
        item.cchTextMax = static_cast<int>(text.size());
        item.pszText = text.data();
        const auto length = static_cast<std::size_t>(SendMessageW(
            hwnd_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row - 1), reinterpret_cast<LPARAM>(&item)));
        // A full buffer may mean the text was cut: ask again with more room.
        if (length + 1 < text.size()) return std::wstring(text.data(), length);
        text.resize(text.size() * 2);
    }
}

void ListView::setCell(int row, int column, std::wstring_view text) {
    std::wstring buffer(text);
    LVITEMW item{};
    item.iSubItem = column - 1;
    item.pszText = buffer.data();
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row - 1),
                 reinterpret_cast<LPARAM>(&item));
}

std::vector<std::wstring> ListView::column(int column) const {
    const int rows = rowCount();
    std::vector<std::wstring> cells;
    cells.reserve(static_cast<std::size_t>(rows));
    for (int row = 1; row <= rows; ++row) cells.push_back(cell(row, column));
    return cells;
}

int ListView::appendRow(std::span<const std::wstring> cells) {
    return insertRow(INT_MAX, cells);  // past the end: appended, without asking for the count first
}

int ListView::insertRow(int row, std::span<const std::wstring> cells, LPARAM serial) {
    std::wstring first = cells.empty() ? std::wstring() : cells.front();
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row - 1;
    item.pszText = first.data();
    item.lParam = serial;
    const auto index =
        static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return 0;
    // A new row's other cells are empty already.
    for (std::size_t column = 2; column <= cells.size(); ++column) {
        if (cells[column - 1].empty()) continue;
        setCell(index + 1, static_cast<int>(column), cells[column - 1]);
    }
    return index + 1;
}

void ListView::removeRow(int row) {
    SendMessageW(hwnd_, LVM_DELETEITEM, static_cast<WPARAM>(row - 1), 0);
}

void ListView::clear() { SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0); }

bool ListView::checked(int row) const {
    const auto state = SendMessageW(hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(row - 1),
                                    LVIS_STATEIMAGEMASK);
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void ListView::setChecked(int row, bool checked) {
    ListView_SetCheckState(hwnd_, row - 1, checked ? TRUE : FALSE);
}

bool ListView::selected(int row) const {
    return (SendMessageW(hwnd_, LVM_GETITEMSTATE, static_cast<WPARAM>(row - 1), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

void ListView::setSelected(int row, bool selected) {
    ListView_SetItemState(hwnd_, row - 1, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

int ListView::selectedRow() const {
    return static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                         LVNI_SELECTED)) + 1;
}

void ListView::focusRow(int row) const {
    ListView_SetItemState(hwnd_, row - 1, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_EnsureVisible(hwnd_, row - 1, FALSE);
}

LPARAM ListView::rowSerial(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row - 1;
    if (!SendMessageW(hwnd_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    if (item.lParam != 0) return item.lParam;
    item.lParam = NewRowSerial();
    SendMessageW(hwnd_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

LPARAM NewRowSerial() {
    static std::atomic<LPARAM> last{0};
    return ++last;
}

}  // namespace ravolen::win
