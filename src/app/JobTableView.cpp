#include "app/JobTableView.h"

#include "win/Layout.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace ravolen {
namespace {

// Posted to the list when its count is due, so that it is set even if nothing else asks for it.
constexpr UINT WmSettleCount = WM_APP + 40;
constexpr UINT Unticked = 1;  // the state images of the check boxes
constexpr UINT Ticked = 2;
constexpr COLORREF OddBand = RGB(227, 241, 226);
constexpr COLORREF EvenBand = RGB(255, 255, 255);

// A full-row list reports a hit anywhere in the row as on every part of it: only the box is the box.
bool OnBox(const LVHITTESTINFO& hit) { return (hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON; }

UINT StateImage(UINT state) { return (state & LVIS_STATEIMAGEMASK) >> 12; }

}  // namespace

JobTableView::~JobTableView() {
    if (list_) rows_.unwatch(*this);
}

void JobTableView::bind(HWND list, HWND editor, int dpi) {
    if (list_) rows_.unwatch(*this);
    list_ = list;
    dpi_ = dpi;
    editor_.bindList(list);
    editor_.scale(dpi);
    editor_.bindEditor(editor);
    editor_.bindRows(this);
    keys_.bind(list);
    selection_.bind(list, [this] { settleCount(); }, [this](std::size_t before) { moveSelected(Move::Before, before); });
    for (const JobColumn& column : JobColumns) {
        if (!column.show) continue;
        editor_.addColumn(column.caption, column.key, column.widthTwips, column.grow, column.edit,
                          static_cast<std::int16_t>(column.align), column.show);
    }
    optionalShown_ = false;
    // An owner-data list asks for the check boxes' state only with its image in the callback mask.
    SendMessageW(list, LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK, 0);
    listMessages_.attach(list, [this](UINT message, WPARAM wParam, LPARAM lParam) {
        return listMessage(message, wParam, lParam);
    });
    tips_.attach(list);
    rows_.watch(*this);
    SendMessageW(list, LVM_SETITEMCOUNT, rows_.count(), LVSICF_NOSCROLL);
    measureStripes();
    fittedWidth_ = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
    fitColumns();
}

JobRows& JobTableView::rows() {
    editor_.commitEdit();
    return rows_;
}

void JobTableView::tickSelected(bool ticked) {
    const std::vector<std::size_t>& positions = selection_.positions();
    if (positions.empty()) return;
    std::vector<bool> ticks(rows_.count());
    for (std::size_t position = 0; position < ticks.size(); ++position) ticks[position] = rows_.ticked(position);
    for (const std::size_t position : positions) ticks[position] = ticked;
    rows().setTicks(ticks);
}

bool JobTableView::moveSelected(Move move, std::size_t before) {
    const std::vector<std::size_t> positions = selection_.positions();
    if (positions.empty()) return false;
    const std::vector<std::size_t> to = MovedPositions(positions, rows_.count(), move, before);
    if (to == positions) return false;
    change([&](JobRows& rows) { rows.move(positions, to); });
    selection_.select(to);
    return true;
}

void JobTableView::showOptionalColumns(bool shown) {
    if (shown == optionalShown_ || !list_) return;
    optionalShown_ = shown;
    for (int column = JobBaseColumnCount + 1; column <= JobColumnCount; ++column) {
        const JobColumn& settings = JobColumns[static_cast<std::size_t>(column - 1)];
        if (shown) {
            editor_.addColumn(settings.caption, settings.key, settings.widthTwips, settings.grow, settings.edit,
                              static_cast<std::int16_t>(settings.align), true);
        } else {
            editor_.removeColumn(settings.key);
        }
    }
    InvalidateRect(list_, nullptr, TRUE);
    fitColumns();
}

void JobTableView::scale(int dpi) {
    dpi_ = dpi;
    editor_.scale(dpi);
    measureStripes();
    fittedWidth_ = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));  // as the form scaled it
    fitColumns();
}

void JobTableView::fitColumns() {
    if (!list_) return;
    const int scene = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0));
    if (scene != fittedWidth_) return;  // the user's own width
    int wanted = win::TwipsToPixels(JobColumns[0].widthTwips, dpi_);
    if (!optionalShown_ && (GetWindowLongPtrW(list_, GWL_STYLE) & WS_VSCROLL)) {
        RECT client{};
        GetClientRect(list_, &client);
        int others = 0;
        for (int column = 1; column < JobBaseColumnCount; ++column) {
            others += static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        }
        wanted = std::max(std::min(wanted, static_cast<int>(client.right) - others), wanted / 4);
    }
    if (wanted != scene) SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(wanted, 0));
    fittedWidth_ = wanted;
}

// The bands take their height from a row, so one stands in while an empty list is measured.
void JobTableView::measureStripes() {
    const bool empty = rows_.count() == 0;
    if (empty) SendMessageW(list_, LVM_SETITEMCOUNT, 1, LVSICF_NOSCROLL);
    RECT first{LVIR_BOUNDS, 0, 0, 0};
    int band = stripes_ ? stripes_->bandHeight : 0;
    if (SendMessageW(list_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first))) band = first.bottom - first.top;
    if (empty) SendMessageW(list_, LVM_SETITEMCOUNT, 0, LVSICF_NOSCROLL);
    stripes_ = win::ListStripes{OddBand, EvenBand, band, {}, nullptr};  // nothing painted yet
    // Paths keep their file names however narrow their columns; measured again in the font now.
    paths_ = win::PathCells(1u << (JobColumnScene - 1) | 1u << (JobColumnOutputFolder - 1));
    InvalidateRect(list_, nullptr, TRUE);
}

std::optional<LRESULT> JobTableView::notify(NMHDR& header) {
    switch (header.code) {
        case LVN_GETDISPINFOW:
            giveText(reinterpret_cast<NMLVDISPINFOW&>(header));
            return 0;
        case LVN_ODFINDITEMW:
            return findText(reinterpret_cast<NMLVFINDITEMW&>(header));
        case LVN_ITEMCHANGED:
            selection_.noted(reinterpret_cast<NMLISTVIEW&>(header));
            return std::nullopt;
        case LVN_ODSTATECHANGED:
            selection_.noted(reinterpret_cast<NMLVODSTATECHANGE&>(header));
            return std::nullopt;
        case LVN_BEGINDRAG:
            selection_.beginDrag(reinterpret_cast<NMLISTVIEW&>(header).ptAction, stripes_ ? stripes_->bandHeight : 16);
            return std::nullopt;
        case NM_CUSTOMDRAW: {
            if (!stripes_) return std::nullopt;
            auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
            paths_.noteDraw(draw);
            const LRESULT answer = win::DrawListStripes(*stripes_, draw);
            if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) selection_.drawDropLine(draw.nmcd.hdc);
            return answer;
        }
        case NM_CLICK:
        case NM_DBLCLK: {
            // The list ticks nothing itself: a click on a box is the rows' change. Released where
            // it was pressed, the press's hit stands (a hit test costs the list a walk of its columns).
            const POINT at = reinterpret_cast<NMITEMACTIVATE&>(header).ptAction;
            Press press;
            if (press_ && press_->at.x == at.x && press_->at.y == at.y) {
                press = *press_;
            } else {
                LVHITTESTINFO hit{};
                hit.pt = at;
                press.row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
                press.onBox = press.row >= 0 && OnBox(hit);
                if (press_ && press_->row == press.row) press.tickedBefore = press_->tickedBefore;
            }
            if (press.onBox) {
                const auto row = static_cast<std::size_t>(press.row);
                rows().setTicked(row, !press.tickedBefore.value_or(rows_.ticked(row)));
            }
            press_.reset();
            return std::nullopt;
        }
        case LVN_KEYDOWN:
            // Space ticks the selected rows as the keyboard's row becomes: all alike.
            if (reinterpret_cast<NMLVKEYDOWN&>(header).wVKey == VK_SPACE) {
                const std::optional<std::size_t> current = selection_.current();
                int row = current ? static_cast<int>(*current) : -1;
                if (row < 0) row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
                if (row < 0) return std::nullopt;
                if (selection_.positions().size() > 1) {
                    tickSelected(!rows_.ticked(static_cast<std::size_t>(row)));
                } else {
                    rows().setTicked(static_cast<std::size_t>(row), !rows_.ticked(static_cast<std::size_t>(row)));
                }
            }
            return std::nullopt;
        default: return std::nullopt;
    }
}

// The list's own messages: a tick or a text set from outside goes into the rows, which an
// owner-data list would otherwise drop.
std::optional<LRESULT> JobTableView::listMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    settleCount();
    tips_.relay(message, wParam, lParam);
    if (const std::optional<LRESULT> answer = selection_.dragMessage(message, wParam, lParam)) return answer;
    if (const std::optional<LRESULT> answer = keys_.message(message, wParam, lParam)) return answer;
    switch (message) {
        case WmSettleCount: return 0;
        case LVM_SETITEMSTATE:
        case LVM_SETITEMW: {
            auto* item = reinterpret_cast<LVITEMW*>(lParam);
            if (!item) return std::nullopt;
            const bool state = message == LVM_SETITEMSTATE || (item->mask & LVIF_STATE);
            if (!state || !(item->stateMask & LVIS_STATEIMAGEMASK)) return std::nullopt;
            const int row = message == LVM_SETITEMSTATE ? static_cast<int>(wParam) : item->iItem;
            if (ownInput_ == 0) tickFromState(row, StateImage(item->state));
            LVITEMW rest = *item;  // the other bits the list keeps itself
            rest.stateMask &= ~static_cast<UINT>(LVIS_STATEIMAGEMASK);
            if (rest.stateMask == 0 && (message == LVM_SETITEMSTATE || rest.mask == LVIF_STATE)) return TRUE;
            return win::Subclass::Next(list_, message, wParam, reinterpret_cast<LPARAM>(&rest));
        }
        case LVM_SETITEMTEXTW: {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            const auto row = static_cast<std::size_t>(wParam);
            if (!item || !item->pszText || item->pszText == LPSTR_TEXTCALLBACKW || row >= rows_.count() ||
                item->iSubItem < 0 || item->iSubItem >= JobColumnCount) {
                return FALSE;
            }
            const std::wstring text = item->pszText;
            change([&](JobRows& rows) { rows.setCell(row, item->iSubItem + 1, text); });
            return TRUE;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_KEYDOWN: {
            // Whatever the list does to a box while it handles its own click or key is not a tick
            // of its owner's: that tick comes from the click or the key.
            if (message != WM_KEYDOWN) {
                LVHITTESTINFO hit{};
                hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                const auto row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
                press_ = Press{hit.pt, row, row >= 0 && OnBox(hit), std::nullopt};
                if (press_->onBox) press_->tickedBefore = rows_.ticked(static_cast<std::size_t>(row));
                // A press on a box only ticks: the selection stays as the list leaves it.
                if (row >= 0 && !press_->onBox && !(wParam & (MK_SHIFT | MK_CONTROL))) {
                    selection_.beforeClick(static_cast<std::size_t>(row));
                }
            }
            ++ownInput_;
            const LRESULT answer = win::Subclass::Next(list_, message, wParam, lParam);
            --ownInput_;
            return answer;
        }
        default: return std::nullopt;
    }
}

void JobTableView::tickFromState(int row, UINT stateImage) {
    if (stateImage != Unticked && stateImage != Ticked) return;
    const bool ticked = stateImage == Ticked;
    if (row >= 0) {
        rows().setTicked(static_cast<std::size_t>(row), ticked);
        return;
    }
    rows().setTicks(std::vector<bool>(rows_.count(), ticked));
}

void JobTableView::giveText(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if (item.iItem < 0) return;
    const auto row = static_cast<std::size_t>(item.iItem);
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring whole = rows_.cell(row, item.iSubItem + 1);
        const std::wstring& text = paths_.shown(item.iSubItem, whole);
        const std::size_t length = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
        std::wmemcpy(item.pszText, text.data(), length);
        item.pszText[length] = L'\0';
    }
    if ((item.mask & LVIF_STATE) && (item.stateMask & LVIS_STATEIMAGEMASK)) {
        item.state = (item.state & ~static_cast<UINT>(LVIS_STATEIMAGEMASK)) |
                     INDEXTOSTATEIMAGEMASK(rows_.ticked(row) ? Ticked : Unticked);
    }
}

// Typing in the list goes to the first row from the keyboard's row on whose scene starts with
// what was typed, as in a list that holds its own texts.
int JobTableView::findText(const NMLVFINDITEMW& find) const {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz) return -1;
    const std::size_t typed = std::wcslen(find.lvfi.psz);
    const std::size_t rows = rows_.count();
    const std::size_t start = find.iStart >= 0 ? static_cast<std::size_t>(find.iStart) : 0;
    for (std::size_t k = 0; k < rows; ++k) {
        const std::size_t row = (start + k) % rows;
        if (row < start && !(find.lvfi.flags & LVFI_WRAP)) break;
        const std::wstring scene = rows_.cell(row, JobColumnScene);
        const bool partial = (find.lvfi.flags & LVFI_PARTIAL) != 0;
        if (partial ? scene.size() >= typed && _wcsnicmp(scene.c_str(), find.lvfi.psz, typed) == 0
                    : _wcsicmp(scene.c_str(), find.lvfi.psz) == 0) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void JobTableView::rowsChanged(const RowsChange& change) {
    if (!list_) return;
    using Kind = RowsChange::Kind;
    if (change.kind == Kind::Inserted || change.kind == Kind::Removed || change.kind == Kind::Replaced) {
        if (!countDue_) PostMessageW(list_, WmSettleCount, 0, 0);
        countDue_ = true;
        if (change.kind != Kind::Inserted) editor_.rowsRemoved();
        if (change.kind != Kind::Removed && !optionalShown_ && anyOptionalCells(change.rows)) {
            showOptionalColumns(true);
        }
        // Rows added after every row leave the selected ones where they stand.
        std::size_t added = 0;
        for (const RowSpan& span : change.rows) added += span.count;
        const bool appended = change.kind == Kind::Inserted && !change.rows.empty() &&
                              change.rows.front().first >= rows_.count() - added;
        selection_.follow(!appended);
        InvalidateRect(list_, nullptr, FALSE);
    } else {
        repaint(change.rows);
    }
    if (changed_) changed_(change);
}

bool JobTableView::anyOptionalCells(const std::vector<RowSpan>& spans) const {
    for (const RowSpan& span : spans) {
        for (std::size_t row = span.first; row < span.first + span.count; ++row) {
            for (int column = JobBaseColumnCount + 1; column <= JobColumnCount; ++column) {
                if (rows_.cell(row, column) != DefaultMarker) return true;
            }
        }
    }
    return false;
}

void JobTableView::settleCount() {
    if (!countDue_ || !list_) return;
    countDue_ = false;
    SendMessageW(list_, LVM_SETITEMCOUNT, rows_.count(), LVSICF_NOSCROLL);
    fitColumns();  // the vertical scroll bar may have come or gone
}

void JobTableView::repaint(const std::vector<RowSpan>& spans) {
    // A few rows are redrawn as they are (the list passes over those out of view); many are first
    // cut to the rows in view.
    if (spans.size() == 1 && spans.front().count <= 64) {
        SendMessageW(list_, LVM_REDRAWITEMS, spans.front().first, spans.front().first + spans.front().count - 1);
        return;
    }
    const auto top = static_cast<std::size_t>(std::max<LRESULT>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0), 0));
    const std::size_t end = top + static_cast<std::size_t>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0)) + 1;
    for (const RowSpan& span : spans) {
        const std::size_t first = std::max(span.first, top);
        const std::size_t last = std::min(span.first + span.count, end);
        if (first < last) SendMessageW(list_, LVM_REDRAWITEMS, first, last - 1);
    }
}

std::uint64_t JobTableView::rowKey(int row) { return rows_.id(static_cast<std::size_t>(row - 1)); }

int JobTableView::rowWithKey(std::uint64_t key, int hint) {
    const auto found = rows_.find(key, hint > 0 ? static_cast<std::size_t>(hint - 1) : 0);
    return found ? static_cast<int>(*found) + 1 : 0;
}

// A click released where it was pressed on a box is on the box: the first column's, no cell.
std::optional<LVHITTESTINFO> JobTableView::hitAt(POINT at) {
    if (!press_ || !press_->onBox || press_->at.x != at.x || press_->at.y != at.y) return std::nullopt;
    LVHITTESTINFO hit{};
    hit.pt = at;
    hit.flags = LVHT_ONITEMSTATEICON;
    hit.iItem = press_->row;
    return hit;
}

void JobTableView::writeCell(int row, int column, const std::wstring& text) {
    history_.step([&] { rows_.setCell(static_cast<std::size_t>(row - 1), column, text); });
}

}  // namespace ravolen
