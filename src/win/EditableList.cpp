#include "win/EditableList.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <span>

#include "values/NumericFormat.h"
#include "win/Controls.h"
#include "win/Layout.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

int ColumnFormat(std::int16_t align) {
    switch (align) {
        case 1: return LVCFMT_RIGHT;
        case 2: return LVCFMT_CENTER;
        default: return LVCFMT_LEFT;
    }
}

// The height of a line of the control's text, in pixels.
int LineHeight(HWND control) {
    const HDC dc = GetDC(control);
    if (!dc) return 0;
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return metrics.tmHeight;
}

void ChangeStyle(HWND hwnd, int which, LONG_PTR remove, LONG_PTR add) {
    const LONG_PTR style = GetWindowLongPtrW(hwnd, which);
    const LONG_PTR changed = (style & ~remove) | add;
    if (changed == style) return;
    SetWindowLongPtrW(hwnd, which, changed);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void EditableList::requireList() const {
    if (!list_) throw ListError(ListError::Kind::NotBound, "no list view is bound");
}

int EditableList::toPixels(double twips) const { return win::TwipsToPixels(twips, dpi_); }

void EditableList::bindList(HWND list) {
    list_ = list;
    listBinding_ = win::ReflectionBinding(list, this);
    dpi_ = win::ScreenDpi();
    ChangeStyle(list, GWL_STYLE, LVS_EDITLABELS | LVS_TYPEMASK, LVS_SHOWSELALWAYS | LVS_REPORT);
    header_ = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
}

float EditableList::toTwips(int pixels) const {
    return static_cast<float>(win::PixelsToTwips(pixels, dpi_));
}

void EditableList::attachEditor(HWND editor) {
    editor_ = editor;
    textBinding_ = win::ReflectionBinding(editor, this);
    textKeys_.attach(editor, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return editorMessage(message, wParam, lParam);
    });
}

void EditableList::bindEditor(HWND editor) {
    attachEditor(editor);
    ChangeStyle(editor, GWL_STYLE, WS_BORDER, 0);
    ChangeStyle(editor, GWL_EXSTYLE, WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, 0);
    textBack_ = RGB(255, 255, 255);
    textFore_ = GetSysColor(COLOR_WINDOWTEXT);
    ShowWindow(editor, SW_HIDE);
    SetWindowTextW(editor, L"");
}

void EditableList::addColumn(std::wstring_view name, std::wstring_view key, double widthTwips,
                             bool grow, bool edit, std::int16_t align, bool show) {
    requireList();
    if (column(key)) throw ListError(ListError::Kind::DuplicateKey, "column key in use");

    auto settings = std::make_unique<ColumnSettings>();
    settings->widthTwips(widthTwips);
    settings->align(align);
    settings->edit(edit);
    settings->grow(grow);
    settings->show(show);

    const int position = win::ListView(list_).columnCount();
    std::wstring caption(name);
    LVCOLUMNW header{};
    header.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    header.fmt = ColumnFormat(align);
    header.cx = toPixels(widthTwips);
    header.pszText = caption.data();
    header.iSubItem = position;
    const auto inserted = SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(position),
                                       reinterpret_cast<LPARAM>(&header));
    if (inserted < 0) throw ListError(ListError::Kind::ControlRefused, "column not added");

    settings->index(static_cast<std::int16_t>(inserted + 1));
    column_ = settings.get();
    columns_.emplace_back(std::wstring(key), std::move(settings));
}

void EditableList::removeColumn(std::wstring_view key) {
    requireList();
    const auto found = std::find_if(columns_.begin(), columns_.end(), [&](const auto& c) { return c.first == key; });
    if (found == columns_.end()) return;
    discardEdit();
    const std::int16_t index = found->second->index();
    SendMessageW(list_, LVM_DELETECOLUMN, static_cast<WPARAM>(index - 1), 0);
    column_ = nullptr;
    columns_.erase(found);
    for (const auto& [columnKey, settings] : columns_) {
        if (settings->index() > index) settings->index(static_cast<std::int16_t>(settings->index() - 1));
    }
}

void EditableList::addRow(std::span<const std::wstring> cells) {
    requireList();
    win::ListView rows(list_);
    // The row's text is its first cell, so a list without columns still takes one.
    const auto columns = static_cast<std::size_t>(std::max(rows.columnCount(), 1));
    if (rows.appendRow(cells.first(std::min(cells.size(), columns))) == 0) {
        throw ListError(ListError::Kind::ControlRefused, "row not added");
    }
}

void EditableList::removeRow(int row) {
    requireList();
    if (!SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(row - 1), 0)) {
        throw ListError(ListError::Kind::NoSuchRow, "no row at that position");
    }
}

void EditableList::resizeColumns() {
    requireList();
    double fixed = 0;
    for (const auto& [key, settings] : columns_) {
        column_ = settings.get();
        if (!column_->grow()) fixed += column_->widthTwips();
    }
    RECT bounds{};
    GetWindowRect(list_, &bounds);
    const double width = win::PixelsToTwips(bounds.right - bounds.left, dpi_);
    for (const auto& [key, settings] : columns_) {
        column_ = settings.get();
        if (!column_->grow()) continue;
        // A width below 0 would ask the list view to size the column to its contents.
        const int pixels = std::max(0, toPixels(width - fixed - 330));
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column_->index() - 1),
                     MAKELPARAM(pixels, 0));
    }
}

const ColumnSettings* EditableList::column(std::wstring_view key) const {
    for (const auto& [columnKey, settings] : columns_) {
        if (columnKey == key) return settings.get();
    }
    return nullptr;
}

ColumnSettings* EditableList::column(std::wstring_view key) {
    return const_cast<ColumnSettings*>(std::as_const(*this).column(key));
}

std::optional<LRESULT> EditableList::reflectNotify(NMHDR& header) {
    if (header.hwndFrom != list_) return std::nullopt;
    // A row that goes takes its open edit with it, before anything can reuse its place.
    if (header.code == LVN_DELETEALLITEMS ||
        (header.code == LVN_DELETEITEM && item_ &&
         static_cast<std::uint64_t>(reinterpret_cast<NMLISTVIEW&>(header).lParam) == *item_)) {
        discardEdit();
        return std::nullopt;
    }
    if (header.code != NM_CLICK && header.code != NM_RCLICK) return std::nullopt;
    // Any button: the list view reports the click once the button is up, where it was released.
    const POINT at = reinterpret_cast<NMITEMACTIVATE&>(header).ptAction;
    // The cell under the point, found by one hit test where it lies on one.
    LVHITTESTINFO hit{};
    hit.pt = at;
    if (const std::optional<LVHITTESTINFO> known = rows_ ? rows_->hitAt(at) : std::nullopt) {
        hit = *known;
    } else {
        SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    }
    const int row = hit.iItem >= 0 && (hit.flags & LVHT_ONITEM) ? hit.iItem : rowAt(at);
    // A click on a row commits an open edit first, so that one click also opens the cell it hit.
    if (row >= 0) onListClicked();
    // Only a plain left click opens a cell: a right click asks for the menu, Shift and Ctrl select.
    const UINT keys = reinterpret_cast<NMITEMACTIVATE&>(header).uKeyFlags;
    if (header.code == NM_RCLICK || (keys & (LVKF_SHIFT | LVKF_CONTROL))) return std::nullopt;
    openCellAt(at, row, hit.iItem == row ? std::optional<int>(hit.iSubItem) : std::nullopt);
    return std::nullopt;
}

bool EditableList::reflectCommand(HWND control, int code) {
    if (control != editor_) return false;
    if (code == EN_SETFOCUS) onEditorFocused();
    if (code == EN_KILLFOCUS) onEditorFocusLost();
    return false;
}

std::optional<LRESULT> EditableList::editorMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            // Enter and Escape belong to the box: the dialog manager must not turn them into a
            // press of the window's buttons.
            LRESULT code = win::Subclass::Next(editor_, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key && key->message == WM_KEYDOWN &&
                (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE)) {
                code |= DLGC_WANTMESSAGE;
            }
            return code;
        }
        case WM_CHAR: {
            auto typed = static_cast<wchar_t>(wParam);
            onEditorKeyPress(typed);
            if (typed == 0) return 0;
            return std::nullopt;
        }
        case WM_KEYUP: onEditorKeyUp(static_cast<int>(wParam)); return std::nullopt;
        default: return std::nullopt;
    }
}

int EditableList::rowAt(POINT point) const {
    RECT first{};
    if (header_ && SendMessageW(header_, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) {
        MapWindowPoints(header_, list_, reinterpret_cast<POINT*>(&first), 2);
        point.x = first.left + 1;  // a row counts across its whole width
    }
    LVHITTESTINFO hit{};
    hit.pt = point;
    const auto row = static_cast<int>(SendMessageW(list_, LVM_SUBITEMHITTEST, 0,
                                                   reinterpret_cast<LPARAM>(&hit)));
    return row >= 0 && (hit.flags & LVHT_ONITEM) ? row : -1;
}

int EditableList::editedRow() const {
    if (!item_) return 0;
    if (rows_) return rows_->rowWithKey(*item_, itemRow_);
    // Where it was when the edit opened, unless rows came or went since: a search by serial
    // walks every row.
    if (itemRow_ > 0 && static_cast<std::uint64_t>(win::ListView(list_).rowSerial(itemRow_)) == *item_) {
        return itemRow_;
    }
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = static_cast<LPARAM>(*item_);
    return static_cast<int>(SendMessageW(list_, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(&find))) + 1;
}

std::uint64_t EditableList::rowKey(int row) {
    return rows_ ? rows_->rowKey(row) : static_cast<std::uint64_t>(win::ListView(list_).rowSerial(row));
}

void EditableList::rowsRemoved() {
    if (item_ && editedRow() == 0) discardEdit();
}

void EditableList::commitEdit() {
    if (!editor_ || !item_ || !IsWindowVisible(editor_)) return;
    finishEdit(GetFocus() == editor_);
}

void EditableList::discardEdit() {
    if (!editor_) return;
    const bool focused = GetFocus() == editor_;
    item_.reset();
    editing_ = false;
    hideEditor();
    win::SetText(editor_, L"");
    if (focused) SetFocus(list_);
}

void EditableList::colourEditor(int background, int text, bool repaint) {
    const COLORREF back = GetSysColor(background), fore = GetSysColor(text);
    if (back == textBack_ && fore == textFore_) return;
    textBack_ = back;
    textFore_ = fore;
    // A hidden box paints whole when it is shown.
    if (repaint && IsWindowVisible(editor_)) InvalidateRect(editor_, nullptr, TRUE);
}

void EditableList::alignEditor(std::int16_t align) {
    const LONG_PTR wanted = align == 1 ? ES_RIGHT : align == 2 ? ES_CENTER : ES_LEFT;
    const LONG_PTR style = GetWindowLongPtrW(editor_, GWL_STYLE);
    if ((style & (ES_CENTER | ES_RIGHT)) == wanted) return;
    // An edit box takes its alignment when it is created only: a new box takes the old one's
    // place, id, font and position in the z-order.
    const HWND old = editor_;
    const HWND parent = GetParent(old);
    RECT rect{};
    GetWindowRect(old, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    const HWND fresh = CreateWindowExW(
        static_cast<DWORD>(GetWindowLongPtrW(old, GWL_EXSTYLE)), L"EDIT", L"",
        static_cast<DWORD>((style & ~(ES_CENTER | ES_RIGHT | WS_VISIBLE)) | wanted), rect.left,
        rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(old))),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(old, GWLP_HINSTANCE)), nullptr);
    if (!fresh) return;  // the box keeps its alignment
    SendMessageW(fresh, WM_SETFONT, static_cast<WPARAM>(SendMessageW(old, WM_GETFONT, 0, 0)), FALSE);
    SetWindowPos(fresh, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    textKeys_.reset();
    textBinding_.reset();
    DestroyWindow(old);
    bindEditor(fresh);
}

// Hidden as usual, everything under the box repaints: the window and the frame around the table
// too, a third of an edit's time. Over the table's rows alone, the table alone repaints there.
void EditableList::hideEditor() {
    RECT box{}, rows{}, inside{};
    GetWindowRect(editor_, &box);
    GetClientRect(list_, &rows);
    MapWindowPoints(list_, nullptr, reinterpret_cast<POINT*>(&rows), 2);
    if (!IsWindowVisible(editor_) || !IntersectRect(&inside, &box, &rows) || !EqualRect(&inside, &box)) {
        ShowWindow(editor_, SW_HIDE);
        return;
    }
    SetWindowPos(editor_, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOREDRAW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    MapWindowPoints(nullptr, list_, reinterpret_cast<POINT*>(&box), 2);
    RedrawWindow(list_, &box, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void EditableList::coverCell(int row, int column, bool show) {
    RECT cell{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    const float T = toTwips(cell.top);
    const float H = toTwips(cell.bottom - cell.top);
    RECT outer{};
    GetWindowRect(list_, &outer);
    MapWindowPoints(nullptr, GetParent(list_), reinterpret_cast<POINT*>(&outer), 2);
    const float listLeft = toTwips(outer.left);
    const float listTop = toTwips(outer.top);
    RECT bounds{};
    if (!SendMessageW(header_, HDM_GETITEMRECT, static_cast<WPARAM>(column - 1),
                      reinterpret_cast<LPARAM>(&bounds))) {
        if (show) ShowWindow(editor_, SW_SHOW);
        return;
    }
    MapWindowPoints(header_, list_, reinterpret_cast<POINT*>(&bounds), 2);
    const float L = toTwips(bounds.left);
    const float W = toTwips(bounds.right - bounds.left);
    // Inset in the cell, centred on the row; never lower than a line of its text, which a row of
    // a large font would otherwise cut.
    const float height = std::max(H - 120, toTwips(editorLineHeight()));
    SetWindowPos(editor_, HWND_TOP, toPixels(listLeft + L + 70),
                 toPixels(listTop + T + (H - height) / 2), toPixels(W - 100), toPixels(height),
                 SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : 0));
}

int EditableList::editorLineHeight() {
    // Measured once a font: a device context costs more than the rest of opening an edit. The
    // font is known by what it is, since a handle may be reused for another font.
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HGDIOBJ>(SendMessageW(editor_, WM_GETFONT, 0, 0));
    if (handle) GetObjectW(handle, sizeof font, &font);
    if (!lineHeight_ || std::memcmp(&font, &lineHeightFont_, sizeof font) != 0) {
        lineHeight_ = LineHeight(editor_);
        lineHeightFont_ = font;
    }
    return lineHeight_;
}

void EditableList::scale(int dpi) {
    dpi_ = dpi;
    const int row = editedRow();
    if (editor_ && IsWindowVisible(editor_) && row > 0 && editColumn_ >= 1) coverCell(row - 1, editColumn_);
}

void EditableList::onListClicked() {
    if (editing_) {
        wchar_t enter = 13;
        onEditorKeyPress(enter);
    }
}

void EditableList::onListMouseUp(float x, float y) {
    if (!list_ || !editor_) throw ListError(ListError::Kind::NotBound, "controls not bound");
    const POINT at{toPixels(x), toPixels(y)};
    openCellAt(at, rowAt(at), std::nullopt);
}

// The column under the point is found by one hit test rather than by the bounds of every column.
void EditableList::openCellAt(POINT at, int row, std::optional<int> column) {
    if (row < 0) return;
    if (editing_) {
        wchar_t enter = 13;
        onEditorKeyPress(enter);
        return;
    }
    if (!column) {
        LVHITTESTINFO hit{};
        hit.pt = at;
        if (SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == row) column = hit.iSubItem;
    }
    editColumn_ = -1;
    const auto found = std::find_if(columns_.begin(), columns_.end(), [&](const auto& settings) {
        return column && settings.second->index() - 1 == *column;
    });
    if (found == columns_.end() || !found->second->edit()) return;
    column_ = found->second.get();
    alignEditor(column_->align());
    oldText_ = win::ListView(list_).cell(row + 1, column_->index());
    win::SetText(editor_, oldText_);
    // Shown in the colours of the focused box, which it becomes at once: painted once.
    colourEditor(COLOR_BTNFACE, COLOR_WINDOWTEXT);
    coverCell(row, column_->index(), true);  // laid over the cell and shown in one move
    SetFocus(editor_);
    SendMessageW(editor_, EM_SETSEL, 0, -1);
    const win::ListView rows(list_);
    // The row clicked is normally a selected one: known without asking for the selected row,
    // which walks every row.
    const int selected = ListView_GetItemState(list_, row, LVIS_SELECTED) ? row + 1 : rows.selectedRow();
    itemRow_ = selected > 0 ? selected : row + 1;
    item_ = rowKey(itemRow_);
    editColumn_ = column_->index();
}

void EditableList::onEditorFocused() {
    editing_ = true;
    colourEditor(COLOR_BTNFACE, COLOR_WINDOWTEXT);
    SendMessageW(editor_, EM_SETSEL, 0, -1);
}

void EditableList::onEditorFocusLost() { colourEditor(COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT); }

void EditableList::onEditorKeyPress(wchar_t& typed) {
    if (!item_) return;
    if (typed != 13 && typed != 27) return;
    if (typed == 27) win::SetText(editor_, oldText_);
    typed = 0;  // taken: the box would only beep
    finishEdit(true);
}

void EditableList::finishEdit(bool focusList) {
    std::wstring text = win::WindowText(editor_);
    for (const auto& [key, settings] : columns_) {
        if (settings->index() != editColumn_) continue;
        if (settings->numeric()) {
            const double number = LeadingNumber(text);
            text = settings->pattern().empty() ? NumberText(number)
                                               : FormatNumber(number, settings->pattern());
            win::SetText(editor_, text);
        }
        break;
    }
    // A row removed while the edit was open takes the edit with it.
    const int row = editedRow();
    const bool written = row > 0 && editColumn_ >= 1;
    if (written && rows_) rows_->writeCell(row, editColumn_, text);
    if (written && !rows_) win::ListView(list_).setCell(row, editColumn_, text);
    // The colours the box takes on losing the focus, set without a repaint: it hides at once.
    colourEditor(COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, false);
    if (focusList) SetFocus(list_);
    hideEditor();
    editing_ = false;
    item_.reset();
    win::SetText(editor_, L"");
}

void EditableList::onEditorKeyUp(int key) {
    if (key != VK_UP && key != VK_DOWN) return;
    wchar_t enter = 13;
    onEditorKeyPress(enter);
    SetFocus(list_);
    // The list moves its selection as it does for the key itself.
    SendMessageW(list_, WM_KEYDOWN, static_cast<WPARAM>(key), 1);
    SendMessageW(list_, WM_KEYUP, static_cast<WPARAM>(key), static_cast<LPARAM>(0xC0000001));
}

HBRUSH EditableList::reflectColour(HWND control, HDC dc) {
    if (control != editor_) return nullptr;
    if (textBrushColour_ != textBack_) {
        textBrush_.reset(CreateSolidBrush(textBack_));
        textBrushColour_ = textBack_;
    }
    SetTextColor(dc, textFore_);
    SetBkColor(dc, textBack_);
    return textBrush_.get();
}

}  // namespace ravolen
