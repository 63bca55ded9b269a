#include "listcontrol/clsList.h"

#include <commctrl.h>

#include <algorithm>
#include <span>

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

void clsList::textbox(HWND vData) {
    mvartext = vData;
    textBinding_ = win::ReflectionBinding(vData, this);
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
