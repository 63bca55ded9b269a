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

int JobTableView::append(const RenderJob& job, SavedValues saved) {
    JobRow row;
    row.job = job;
    if (saved.folder || saved.extension) row.saved = std::make_shared<const SavedValues>(std::move(saved));
    return static_cast<int>(rows().append(std::move(row))) + 1;
}

int JobTableView::selectedRow() const {
    const std::vector<std::size_t>& positions = selection();
    return positions.empty() ? 0 : static_cast<int>(positions.front()) + 1;
}

const std::vector<std::size_t>& JobTableView::selection() const {
    if (!selectionDue_) return selection_;
    selectionDue_ = false;
    selection_.clear();
    if (selected_.empty()) return selection_;
    // A few rows are found where they were last seen, or near; many by one pass over the rows.
    constexpr std::size_t Few = 64;
    if (selected_.size() <= Few) {
        for (auto entry = selected_.begin(); entry != selected_.end();) {
            const std::optional<std::size_t> now = rows_.find(entry->first, entry->second);
            if (!now) {  // the row went
                entry = selected_.erase(entry);
                continue;
            }
            entry->second = *now;
            selection_.push_back(*now);
            ++entry;
        }
        std::sort(selection_.begin(), selection_.end());
        return selection_;
    }
    const JobRowsSnapshot rows = rows_.snapshot();
    for (std::size_t position = 0; position < rows.count() && selection_.size() < selected_.size(); ++position) {
        const auto entry = selected_.find(rows.id(position));
        if (entry == selected_.end()) continue;
        entry->second = position;
        selection_.push_back(position);
    }
    return selection_;
}

std::vector<RenderJob> JobTableView::selectedJobs() const {
    std::vector<RenderJob> jobs;
    for (const std::size_t position : selection()) jobs.push_back(rows_.job(position));
    return jobs;
}

std::optional<std::size_t> JobTableView::currentRow() const {
    const std::vector<std::size_t>& positions = selection();
    if (positions.empty()) return std::nullopt;
    if (focused_.row >= 0 && selected_.count(focused_.id)) return static_cast<std::size_t>(focused_.row);
    return positions.front();
}

void JobTableView::select(const std::vector<std::size_t>& positions) {
    mark(positions);
    if (selection_.empty()) return;
    following_ = true;
    const auto first = static_cast<int>(selection_.front());
    ListView_SetItemState(list_, first, LVIS_FOCUSED, LVIS_FOCUSED);
    focused_ = {first, rows_.id(selection_.front())};
    ListView_EnsureVisible(list_, static_cast<int>(selection_.back()), FALSE);
    ListView_EnsureVisible(list_, first, FALSE);
    following_ = false;
}

void JobTableView::mark(const std::vector<std::size_t>& positions) {
    settleCount();
    const bool wasFollowing = std::exchange(following_, true);
    unselectAll();
    selected_.clear();
    selection_.clear();
    selectionDue_ = false;
    for (const std::size_t position : positions) {
        if (position >= rows_.count()) continue;
        ListView_SetItemState(list_, static_cast<int>(position), LVIS_SELECTED, LVIS_SELECTED);
        selected_.emplace(rows_.id(position), position);
        selection_.push_back(position);
    }
    following_ = wasFollowing;
}

void JobTableView::selectAll() {
    settleCount();
    ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void JobTableView::deselectAll() {
    settleCount();
    unselectAll();
}

// Only the rows the list holds selected lose it, found from the first: taking it from every row
// at once costs Wine a pass that sets each of a hundred thousand rows.
void JobTableView::unselectAll() {
    constexpr LRESULT Few = 64;
    // Where the list holds them selected, as it last told: no walk at all. Asking the list for the
    // next selected row walks from the first in Wine.
    if (selected_.size() <= static_cast<std::size_t>(Few)) {
        std::vector<int> rows;  // apart from the map, which the list's notices change as it goes
        for (const auto& entry : selected_) rows.push_back(static_cast<int>(entry.second));
        for (const int row : rows) ListView_SetItemState(list_, row, 0, LVIS_SELECTED);
    }
    const LRESULT left = SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0);
    if (left == 0) return;
    if (left > Few) {
        ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
        return;
    }
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) {
        ListView_SetItemState(list_, row, 0, LVIS_SELECTED);
    }
}

// A plain click leaves its row the only one selected. Wine's list deselects the others by taking
// the selection off every row in turn (a pass over a hundred thousand rows) whenever any is
// selected: the selected rows, known here, lose it first. A press on one of several selected rows
// may begin dragging them all, and keeps them.
void JobTableView::clearSelectionBeforeClick(std::size_t row) {
    const std::vector<std::size_t>& positions = selection();  // where each selected row is now
    if (positions.size() > 1 && std::binary_search(positions.begin(), positions.end(), row)) return;
    unselectAll();
}

void JobTableView::selectLast() {
    if (count() > 0) select({rows_.count() - 1});
}

void JobTableView::reselect() {
    if (selected_.empty()) return;
    selectionDue_ = true;
    const std::vector<std::size_t> positions = selection();
    mark(positions);  // ids of rows gone are gone with them
}

bool JobTableView::removeTicked() {
    bool taken = false;
    change([&](JobRows& rows) { taken = rows.takeTicked() > 0; });
    return taken;
}

bool JobTableView::clear() {
    bool taken = false;
    change([&](JobRows& rows) { taken = rows.takeAll() > 0; });
    return taken;
}

// The row that followed the last one deleted takes the selection, as in Explorer.
bool JobTableView::removeSelected() {
    const std::vector<std::size_t> positions = selection();
    if (positions.empty()) return false;
    change([&](JobRows& rows) { rows.take(positions); });
    const std::size_t next = positions.back() + 1 - positions.size();
    if (rows_.count() > 0) select({std::min(next, rows_.count() - 1)});
    return true;
}

bool JobTableView::duplicateSelected() {
    const std::vector<std::size_t> positions = selection();
    if (positions.empty()) return false;
    std::vector<JobRows::PlacedRow> copies;
    std::vector<std::size_t> placed;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        JobRow copy = rows_.row(positions[k]);
        copy.ticked = false;  // a tick is the artist's choice of rows, not part of the job
        copies.push_back({positions[k] + k + 1, std::move(copy)});
        placed.push_back(positions[k] + k + 1);
    }
    change([&](JobRows& rows) { rows.insert(std::move(copies)); });
    select(placed);
    return true;
}

void JobTableView::insertAfterSelection(std::vector<RenderJob> jobs) {
    if (jobs.empty()) return;
    const std::vector<std::size_t>& positions = selection();
    const std::size_t at = positions.empty() ? rows_.count() : positions.back() + 1;
    std::vector<JobRows::PlacedRow> added;
    std::vector<std::size_t> placed;
    for (RenderJob& job : jobs) {
        placed.push_back(at + added.size());
        added.push_back({at + added.size(), JobRow{std::move(job), false, nullptr, 0}});
    }
    change([&](JobRows& rows) { rows.insert(std::move(added)); });
    select(placed);
}

bool JobTableView::replaceJob(RowId id, const RenderJob& job) {
    const std::optional<std::size_t> position = rows().find(id, currentRow().value_or(0));
    if (!position) return false;
    const auto cells = JobCells(job);
    change([&](JobRows& rows) {
        for (int column = 1; column <= JobColumnCount; ++column) {
            rows.setCell(*position, column, cells[static_cast<std::size_t>(column - 1)]);
        }
    });
    return true;
}

void JobTableView::tickSelected(bool ticked) {
    const std::vector<std::size_t>& positions = selection();
    if (positions.empty()) return;
    std::vector<bool> ticks(rows_.count());
    for (std::size_t position = 0; position < ticks.size(); ++position) ticks[position] = rows_.ticked(position);
    for (const std::size_t position : positions) ticks[position] = ticked;
    rows().setTicks(ticks);
}

bool JobTableView::canMove(Move move) const {
    const std::vector<std::size_t>& positions = selection();
    return !positions.empty() && MovedPositions(positions, rows_.count(), move) != positions;
}

bool JobTableView::moveSelected(Move move, std::size_t before) {
    const std::vector<std::size_t> positions = selection();
    if (positions.empty()) return false;
    const std::vector<std::size_t> to = MovedPositions(positions, rows_.count(), move, before);
    if (to == positions) return false;
    change([&](JobRows& rows) { rows.move(positions, to); });
    select(to);
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
            if (!following_) noteSelection(reinterpret_cast<NMLISTVIEW&>(header));
            return std::nullopt;
        case LVN_ODSTATECHANGED: {
            const auto& range = reinterpret_cast<NMLVODSTATECHANGE&>(header);
            if (!following_ && ((range.uNewState ^ range.uOldState) & LVIS_SELECTED) && range.iFrom >= 0) {
                selectionNoted(static_cast<std::size_t>(range.iFrom), static_cast<std::size_t>(range.iTo),
                               (range.uNewState & LVIS_SELECTED) != 0);
            }
            return std::nullopt;
        }
        case LVN_BEGINDRAG:
            if (!selection().empty()) {
                dragging_ = true;
                SetCapture(list_);
                dragTo(reinterpret_cast<NMLISTVIEW&>(header).ptAction);
            }
            return std::nullopt;
        case NM_CUSTOMDRAW: {
            if (!stripes_) return std::nullopt;
            auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
            paths_.noteDraw(draw);
            const LRESULT answer = win::DrawListStripes(*stripes_, draw);
            if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT && drop_) drawDropLine(draw.nmcd.hdc);
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
                int row = currentRow() ? static_cast<int>(*currentRow()) : -1;
                if (row < 0) row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
                if (row < 0) return std::nullopt;
                if (selection().size() > 1) {
                    tickSelected(!rows_.ticked(static_cast<std::size_t>(row)));
                } else {
                    toggle(row);
                }
            }
            return std::nullopt;
        default: return std::nullopt;
    }
}

void JobTableView::toggle(int row) {
    const auto position = static_cast<std::size_t>(row);
    rows().setTicked(position, !rows_.ticked(position));
}

// The list's own messages: a tick or a text set from outside goes into the rows, which an
// owner-data list would otherwise drop.
std::optional<LRESULT> JobTableView::listMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    settleCount();
    tips_.relay(message, wParam, lParam);
    switch (message) {
        case WmSettleCount: return 0;
        case WM_GETDLGCODE: {
            // Enter opens the job editor on the row rather than pressing the window's button.
            LRESULT code = win::Subclass::Next(list_, message, wParam, lParam);
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
            // Shift+F10 and the menu key open the menu here, and their release goes nowhere: left
            // to the system, F10's would then open the menu bar.
            if (message == WM_SYSKEYDOWN || (message == WM_KEYUP && wParam == VK_APPS)) {
                if ((wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0) || wParam == VK_APPS) {
                    if (menu_) contextMenuAt(-1);
                    menuKeyUp_ = static_cast<UINT>(wParam);
                    return 0;
                }
            }
            if (message != WM_SYSKEYDOWN) {
                if (wParam == std::exchange(menuKeyUp_, 0)) return 0;
                return std::nullopt;
            }
            keyTaken_ = listKey(static_cast<UINT>(wParam));
            if (keyTaken_) return 0;
            return std::nullopt;
        case WM_CHAR:
        case WM_SYSCHAR:
            if (std::exchange(keyTaken_, false)) return 0;
            return std::nullopt;
        case WM_MOUSEMOVE:
            if (!dragging_) return std::nullopt;
            dragTo({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            return 0;
        case WM_LBUTTONUP:
            if (!dragging_) return std::nullopt;
            endDrag(true);
            return 0;
        case WM_CAPTURECHANGED:
            if (dragging_) endDrag(false);
            return std::nullopt;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != list_ || !menu_) return std::nullopt;
            contextMenuAt(lParam);
            return 0;
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
            if (message == WM_KEYDOWN) {
                if (dragging_ && wParam == VK_ESCAPE) {
                    endDrag(false);
                    return 0;
                }
                keyTaken_ = listKey(static_cast<UINT>(wParam));
                if (keyTaken_) return 0;
            }
            // Whatever the list does to a box while it handles its own click or key is not a tick
            // of its owner's: that tick comes from the click or the key.
            if (message != WM_KEYDOWN) {
                LVHITTESTINFO hit{};
                hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                const auto row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
                press_ = Press{hit.pt, row, row >= 0 && OnBox(hit), std::nullopt};
                if (press_->onBox) press_->tickedBefore = rows_.ticked(static_cast<std::size_t>(row));
                if (row >= 0 && !(wParam & (MK_SHIFT | MK_CONTROL))) clearSelectionBeforeClick(static_cast<std::size_t>(row));
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
    following_ = true;
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
        if (!appended) reselect();
        followSelection();
        InvalidateRect(list_, nullptr, FALSE);
    } else {
        repaint(change.rows);
    }
    following_ = false;
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

void JobTableView::noteSelection(const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE)) return;
    const UINT changed = change.uNewState ^ change.uOldState;
    if (changed & LVIS_SELECTED) {
        const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
        if (change.iItem < 0) {
            if (rows_.count() > 0) selectionNoted(0, rows_.count() - 1, selected);
        } else {
            selectionNoted(static_cast<std::size_t>(change.iItem), static_cast<std::size_t>(change.iItem), selected);
        }
    }
    if (changed & LVIS_FOCUSED) {
        if (change.uNewState & LVIS_FOCUSED) {
            if (change.iItem >= 0 && static_cast<std::size_t>(change.iItem) < rows_.count()) {
                focused_ = {change.iItem, rows_.id(static_cast<std::size_t>(change.iItem))};
            }
        } else if (change.iItem < 0 || change.iItem == focused_.row) {
            focused_ = {};
        }
    }
}

void JobTableView::selectionNoted(std::size_t first, std::size_t last, bool selected) {
    selectionDue_ = true;
    last = std::min(last, rows_.count() - 1);
    if (first == 0 && last + 1 >= rows_.count()) {
        selected_.clear();
        if (!selected) return;
        selected_.reserve(rows_.count());
    }
    for (std::size_t position = first; position <= last && position < rows_.count(); ++position) {
        if (selected) {
            selected_.insert_or_assign(rows_.id(position), position);
        } else {
            selected_.erase(rows_.id(position));
        }
    }
}

void JobTableView::followSelection() {
    if (focused_.row < 0) return;
    const std::optional<std::size_t> now = rows_.find(focused_.id, static_cast<std::size_t>(focused_.row));
    if (now && static_cast<int>(*now) == focused_.row) return;
    ListView_SetItemState(list_, focused_.row, 0, LVIS_FOCUSED);
    if (now) ListView_SetItemState(list_, static_cast<int>(*now), LVIS_FOCUSED, LVIS_FOCUSED);
    focused_ = now ? Mark{static_cast<int>(*now), focused_.id} : Mark{};
}

bool JobTableView::listKey(UINT key) {
    if (key == VK_SPACE || key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) return false;
    return key_ && key_(key);
}

void JobTableView::contextMenuAt(LPARAM where) {
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {  // from the keyboard: below the keyboard's row, or the list's corner
        RECT client{};
        GetClientRect(list_, &client);
        at = {client.left + 8, client.top + 8};
        if (const std::optional<std::size_t> row = currentRow()) {
            ListView_EnsureVisible(list_, static_cast<int>(*row), FALSE);
            RECT bounds{LVIR_LABEL, 0, 0, 0};
            if (SendMessageW(list_, LVM_GETITEMRECT, *row, reinterpret_cast<LPARAM>(&bounds))) {
                at = {bounds.left + 8, bounds.bottom};
            }
        }
        ClientToScreen(list_, &at);
    }
    menu_(at);
}

void JobTableView::dragTo(POINT point) {
    RECT client{};
    GetClientRect(list_, &client);
    const int band = stripes_ ? std::max(stripes_->bandHeight, 1) : 16;
    // Near an edge the list scrolls, so rows out of sight can be reached.
    RECT header{};
    if (const auto bar = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0))) GetWindowRect(bar, &header);
    const int top = client.top + static_cast<int>(header.bottom - header.top);
    if (point.y < top + band / 2) SendMessageW(list_, LVM_SCROLL, 0, -band);
    if (point.y > client.bottom - band / 2) SendMessageW(list_, LVM_SCROLL, 0, band);
    std::size_t before = rows_.count();
    LVHITTESTINFO hit{};
    hit.pt = {client.left + 2, point.y};
    const auto row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row >= 0) {
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
        before = static_cast<std::size_t>(row) + (point.y >= (bounds.top + bounds.bottom) / 2 ? 1 : 0);
    } else if (point.y < top) {
        before = static_cast<std::size_t>(std::max<LRESULT>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0), 0));
    }
    if (drop_ != before) {
        drop_ = before;
        InvalidateRect(list_, nullptr, FALSE);
    }
}

void JobTableView::endDrag(bool drop) {
    dragging_ = false;
    const std::optional<std::size_t> at = std::exchange(drop_, std::nullopt);
    InvalidateRect(list_, nullptr, FALSE);
    if (GetCapture() == list_) ReleaseCapture();
    if (drop && at) moveSelected(Move::Before, *at);
}

void JobTableView::drawDropLine(HDC dc) const {
    if (rows_.count() == 0) return;
    const std::size_t row = std::min(*drop_, rows_.count() - 1);
    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    if (!SendMessageW(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds))) return;
    const int y = *drop_ < rows_.count() ? bounds.top : bounds.bottom;
    RECT client{};
    GetClientRect(list_, &client);
    const RECT line{client.left, y - 1, client.right, y + 1};
    FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

std::uint64_t JobTableView::rowKey(int row) { return rows_.id(static_cast<std::size_t>(row - 1)); }

int JobTableView::rowWithKey(std::uint64_t key, int hint) {
    const auto found = rows_.find(key, hint > 0 ? static_cast<std::size_t>(hint - 1) : 0);
    return found ? static_cast<int>(*found) + 1 : 0;
}

void JobTableView::writeCell(int row, int column, const std::wstring& text) {
    history_.step([&] { rows_.setCell(static_cast<std::size_t>(row - 1), column, text); });
}

}  // namespace ravolen
