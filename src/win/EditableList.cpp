#include "win/EditableList.h"

#include <commctrl.h>

#include <algorithm>
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

void clsList::requireList() const {
    if (!mvarlist) throw ListError(ListError::Kind::NotBound, "no list view is bound");
}

int clsList::toPixels(double twips) const { return win::TwipsToPixels(twips, dpi_); }

void clsList::list(HWND vData) {
    mvarlist = vData;
    listBinding_ = win::ReflectionBinding(vData, this);
    dpi_ = win::ScreenDpi();
    ChangeStyle(vData, GWL_STYLE, LVS_EDITLABELS | LVS_TYPEMASK, LVS_SHOWSELALWAYS | LVS_REPORT);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(vData, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
}

float clsList::toTwips(int pixels) const {
    return static_cast<float>(win::PixelsToTwips(pixels, dpi_));
}

void clsList::bindEditor(HWND edit) {
    mvartext = edit;
    textBinding_ = win::ReflectionBinding(edit, this);
    textKeys_.attach(edit, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return editorMessage(message, wParam, lParam);
    });
}

void clsList::textbox(HWND vData) {
    bindEditor(vData);
    ChangeStyle(vData, GWL_STYLE, WS_BORDER, 0);
    ChangeStyle(vData, GWL_EXSTYLE, WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, 0);
    textBack_ = RGB(255, 255, 255);
    textFore_ = GetSysColor(COLOR_WINDOWTEXT);
    ShowWindow(vData, SW_HIDE);
    SetWindowTextW(vData, L"");
}

void clsList::addcolumn(std::wstring_view col_name, std::wstring_view col_key, double col_width,
                        bool col_grow, bool col_edit, std::int16_t col_align, bool col_show) {
    requireList();
    if (column(col_key)) throw ListError(ListError::Kind::DuplicateKey, "column key in use");

    auto settings = std::make_unique<clsColumnSettings>();
    settings->colwidth(col_width);
    settings->align(col_align);
    settings->edit(col_edit);
    settings->grow(col_grow);
    settings->show(col_show);

    const int position = win::ListView(mvarlist).columnCount();
    std::wstring caption(col_name);
    LVCOLUMNW header{};
    header.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    header.fmt = ColumnFormat(col_align);
    header.cx = toPixels(col_width);
    header.pszText = caption.data();
    header.iSubItem = position;
    const auto inserted = SendMessageW(mvarlist, LVM_INSERTCOLUMNW, static_cast<WPARAM>(position),
                                       reinterpret_cast<LPARAM>(&header));
    if (inserted < 0) throw ListError(ListError::Kind::ControlRefused, "column not added");

    settings->index(static_cast<std::int16_t>(inserted + 1));
    mvarcolumn = settings.get();
    mvarcolumns.emplace_back(std::wstring(col_key), std::move(settings));
}

void clsList::additem(std::wstring_view item_text, const ListArray& item_subitems) {
    requireList();
    win::ListView rows(mvarlist);
    const std::wstring text(item_text);
    const int row = rows.appendRow(std::span(&text, 1));
    if (row == 0) throw ListError(ListError::Kind::ControlRefused, "row not added");
    const int columns = rows.columnCount();
    for (int i = 1; i <= item_subitems.upperBound() + 1; ++i) {
        if (i < columns) rows.setCell(row, i + 1, ListValueText(item_subitems.at(i - 1)));
    }
}

void clsList::removeitem(std::int16_t index) {
    requireList();
    if (!SendMessageW(mvarlist, LVM_DELETEITEM, static_cast<WPARAM>(index - 1), 0)) {
        throw ListError(ListError::Kind::SubscriptOutOfRange, "no row at that position");
    }
}

void clsList::Resize() {
    requireList();
    double fixed = 0;
    for (const auto& [key, settings] : mvarcolumns) {
        mvarcolumn = settings.get();
        if (!mvarcolumn->grow()) fixed += mvarcolumn->colwidth();
    }
    RECT bounds{};
    GetWindowRect(mvarlist, &bounds);
    const double width = win::PixelsToTwips(bounds.right - bounds.left, dpi_);
    for (const auto& [key, settings] : mvarcolumns) {
        mvarcolumn = settings.get();
        if (!mvarcolumn->grow()) continue;
        // A width below 0 would ask the list view to size the column to its contents.
        const int pixels = std::max(0, toPixels(width - fixed - 330));
        SendMessageW(mvarlist, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(mvarcolumn->index() - 1),
                     MAKELPARAM(pixels, 0));
    }
}

const clsColumnSettings* clsList::column(std::wstring_view col_key) const {
    for (const auto& [key, settings] : mvarcolumns) {
        if (key == col_key) return settings.get();
    }
    return nullptr;
}

clsColumnSettings* clsList::column(std::wstring_view col_key) {
    return const_cast<clsColumnSettings*>(std::as_const(*this).column(col_key));
}

std::optional<LRESULT> clsList::reflectNotify(NMHDR& header) {
    if (header.hwndFrom != mvarlist) return std::nullopt;
    // A row that goes takes its open edit with it, before anything can reuse its place.
    if (header.code == LVN_DELETEALLITEMS ||
        (header.code == LVN_DELETEITEM && mvaritem &&
         reinterpret_cast<NMLISTVIEW&>(header).lParam == *mvaritem)) {
        discardEdit();
        return std::nullopt;
    }
    if (header.code != NM_CLICK && header.code != NM_RCLICK) return std::nullopt;
    // Any button: the list view reports the click once the button is up, where it was released.
    const POINT at = reinterpret_cast<NMITEMACTIVATE&>(header).ptAction;
    // A click on a row commits an open edit first, so that one click also opens the cell it hit.
    if (rowAt(at) >= 0) mvarlist_Click();
    mvarlist_MouseUp(toTwips(at.x), toTwips(at.y));
    return std::nullopt;
}

bool clsList::reflectCommand(HWND control, int code) {
    if (control != mvartext) return false;
    if (code == EN_SETFOCUS) mvartext_GotFocus();
    if (code == EN_KILLFOCUS) mvartext_LostFocus();
    return false;
}

std::optional<LRESULT> clsList::editorMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETDLGCODE: {
            // Enter and Escape belong to the box: the dialog manager must not turn them into a
            // press of the window's buttons.
            LRESULT code = win::Subclass::Next(mvartext, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key && key->message == WM_KEYDOWN &&
                (key->wParam == VK_RETURN || key->wParam == VK_ESCAPE)) {
                code |= DLGC_WANTMESSAGE;
            }
            return code;
        }
        case WM_CHAR: {
            auto KeyAscii = static_cast<wchar_t>(wParam);
            mvartext_KeyPress(KeyAscii);
            if (KeyAscii == 0) return 0;
            return std::nullopt;
        }
        case WM_KEYUP: mvartext_KeyUp(static_cast<int>(wParam)); return std::nullopt;
        default: return std::nullopt;
    }
}

int clsList::rowAt(POINT point) const {
    RECT first{};
    const auto header = reinterpret_cast<HWND>(SendMessageW(mvarlist, LVM_GETHEADER, 0, 0));
    if (header && SendMessageW(header, HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) {
        MapWindowPoints(header, mvarlist, reinterpret_cast<POINT*>(&first), 2);
        point.x = first.left + 1;  // a row counts across its whole width
    }
    LVHITTESTINFO hit{};
    hit.pt = point;
    const auto row = static_cast<int>(SendMessageW(mvarlist, LVM_SUBITEMHITTEST, 0,
                                                   reinterpret_cast<LPARAM>(&hit)));
    return row >= 0 && (hit.flags & LVHT_ONITEM) ? row : -1;
}

int clsList::editedRow() const {
    if (!mvaritem) return 0;
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = *mvaritem;
    return static_cast<int>(SendMessageW(mvarlist, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(&find))) + 1;
}

LPARAM clsList::rowSerial(int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row - 1;
    SendMessageW(mvarlist, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    if (item.lParam != 0) return item.lParam;
    item.lParam = ++lastSerial_;
    SendMessageW(mvarlist, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

void clsList::commitEdit() {
    if (!mvartext || !mvaritem || !IsWindowVisible(mvartext)) return;
    finishEdit(GetFocus() == mvartext);
}

void clsList::discardEdit() {
    if (!mvartext) return;
    const bool focused = GetFocus() == mvartext;
    mvaritem.reset();
    mvarediting = false;
    ShowWindow(mvartext, SW_HIDE);
    win::SetText(mvartext, L"");
    if (focused) SetFocus(mvarlist);
}

void clsList::colourEditor(int background, int text) {
    textBack_ = GetSysColor(background);
    textFore_ = GetSysColor(text);
    InvalidateRect(mvartext, nullptr, TRUE);
}

void clsList::alignEditor(std::int16_t align) {
    const LONG_PTR wanted = align == 1 ? ES_RIGHT : align == 2 ? ES_CENTER : ES_LEFT;
    const LONG_PTR style = GetWindowLongPtrW(mvartext, GWL_STYLE);
    if ((style & (ES_CENTER | ES_RIGHT)) == wanted) return;
    // An edit box takes its alignment when it is created only: a new box takes the old one's
    // place, id, font and position in the z-order.
    const HWND old = mvartext;
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

void clsList::coverCell(int row, int column) {
    RECT cell{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(mvarlist, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    const float T = toTwips(cell.top);
    const float H = toTwips(cell.bottom - cell.top);
    RECT outer{};
    GetWindowRect(mvarlist, &outer);
    MapWindowPoints(nullptr, GetParent(mvarlist), reinterpret_cast<POINT*>(&outer), 2);
    const float listLeft = toTwips(outer.left);
    const float listTop = toTwips(outer.top);
    const auto header = reinterpret_cast<HWND>(SendMessageW(mvarlist, LVM_GETHEADER, 0, 0));
    RECT bounds{};
    if (!SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column - 1),
                      reinterpret_cast<LPARAM>(&bounds))) {
        return;
    }
    MapWindowPoints(header, mvarlist, reinterpret_cast<POINT*>(&bounds), 2);
    const float L = toTwips(bounds.left);
    const float W = toTwips(bounds.right - bounds.left);
    // Inset in the cell, centred on the row; never lower than a line of its text, which a row of
    // a large font would otherwise cut.
    const float height = std::max(H - 120, toTwips(LineHeight(mvartext)));
    SetWindowPos(mvartext, HWND_TOP, toPixels(listLeft + L + 70),
                 toPixels(listTop + T + (H - height) / 2), toPixels(W - 100), toPixels(height),
                 SWP_NOACTIVATE);
}

void clsList::scale(int dpi) {
    dpi_ = dpi;
    const int row = editedRow();
    if (mvartext && IsWindowVisible(mvartext) && row > 0 && mvarcol >= 1) coverCell(row - 1, mvarcol);
}

void clsList::mvarlist_Click() {
    if (mvarediting) {
        wchar_t enter = 13;
        mvartext_KeyPress(enter);
    }
}

void clsList::mvarlist_MouseUp(float x, float y) {
    if (!mvarlist || !mvartext) throw ListError(ListError::Kind::NotBound, "controls not bound");
    const POINT at{toPixels(x), toPixels(y)};
    const int row = rowAt(at);
    if (row < 0) return;
    if (mvarediting) {
        wchar_t enter = 13;
        mvartext_KeyPress(enter);
        return;
    }

    const auto header = reinterpret_cast<HWND>(SendMessageW(mvarlist, LVM_GETHEADER, 0, 0));

    for (const auto& [key, settings] : mvarcolumns) {
        mvarcolumn = settings.get();
        RECT bounds{};
        if (!SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(mvarcolumn->index() - 1),
                          reinterpret_cast<LPARAM>(&bounds))) {
            continue;
        }
        MapWindowPoints(header, mvarlist, reinterpret_cast<POINT*>(&bounds), 2);
        const float L = toTwips(bounds.left);
        const float W = toTwips(bounds.right - bounds.left);
        if (x < L || x > L + W) continue;
        if (!mvarcolumn->edit()) {
            mvarcol = -1;
            continue;
        }
        alignEditor(mvarcolumn->align());
        coverCell(row, mvarcolumn->index());
        mvaroldtext = win::ListView(mvarlist).cell(row + 1, mvarcolumn->index());
        win::SetText(mvartext, mvaroldtext);
        colourEditor(COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT);
        ShowWindow(mvartext, SW_SHOW);
        SetFocus(mvartext);
        SendMessageW(mvartext, EM_SETSEL, 0, -1);
        const win::ListView rows(mvarlist);
        const int selected = rows.selectedRow();
        mvaritem = rowSerial(selected > 0 ? selected : row + 1);
        mvarcol = mvarcolumn->index();
    }
}

void clsList::mvartext_GotFocus() {
    mvarediting = true;
    colourEditor(COLOR_BTNFACE, COLOR_WINDOWTEXT);
    SendMessageW(mvartext, EM_SETSEL, 0, -1);
}

void clsList::mvartext_LostFocus() { colourEditor(COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT); }

void clsList::mvartext_KeyPress(wchar_t& KeyAscii) {
    if (!mvaritem) return;
    if (KeyAscii != 13 && KeyAscii != 27) return;
    if (KeyAscii == 27) win::SetText(mvartext, mvaroldtext);
    KeyAscii = 0;  // taken: the box would only beep
    finishEdit(true);
}

void clsList::finishEdit(bool focusList) {
    std::wstring text = win::WindowText(mvartext);
    for (const auto& [key, settings] : mvarcolumns) {
        if (settings->index() != mvarcol) continue;
        if (settings->Format_Numeric()) {
            const double number = LeadingNumber(text);
            text = settings->Format_String().empty() ? NumberText(number)
                                                     : FormatNumber(number, settings->Format_String());
            win::SetText(mvartext, text);
        }
        break;
    }
    // A row removed while the edit was open takes the edit with it.
    const int row = editedRow();
    const bool written = row > 0 && mvarcol >= 1;
    if (written) win::ListView(mvarlist).setCell(row, mvarcol, text);
    if (focusList) SetFocus(mvarlist);
    ShowWindow(mvartext, SW_HIDE);
    mvarediting = false;
    mvaritem.reset();
    win::SetText(mvartext, L"");
    if (written && edited_) edited_();
}

void clsList::mvartext_KeyUp(int KeyCode) {
    if (KeyCode != VK_UP && KeyCode != VK_DOWN) return;
    wchar_t enter = 13;
    mvartext_KeyPress(enter);
    SetFocus(mvarlist);
    // The list moves its selection as it does for the key itself.
    SendMessageW(mvarlist, WM_KEYDOWN, static_cast<WPARAM>(KeyCode), 1);
    SendMessageW(mvarlist, WM_KEYUP, static_cast<WPARAM>(KeyCode), static_cast<LPARAM>(0xC0000001));
}

HBRUSH clsList::reflectColour(HWND control, HDC dc) {
    if (control != mvartext) return nullptr;
    if (textBrushColour_ != textBack_) {
        textBrush_.reset(CreateSolidBrush(textBack_));
        textBrushColour_ = textBack_;
    }
    SetTextColor(dc, textFore_);
    SetBkColor(dc, textBack_);
    return textBrush_.get();
}

}  // namespace ravolen
