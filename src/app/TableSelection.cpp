#include "app/TableSelection.h"

#include <algorithm>
#include <utility>

namespace ravolen {

void TableSelection::bind(HWND list, std::function<void()> settleCount,
                          std::function<void(std::size_t before)> dropped) {
    list_ = list;
    settleCount_ = std::move(settleCount);
    dropped_ = std::move(dropped);
}

const std::vector<std::size_t>& TableSelection::positions() const {
    if (!positionsDue_) return positions_;
    positionsDue_ = false;
    positions_.clear();
    if (selected_.empty()) return positions_;
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
            positions_.push_back(*now);
            ++entry;
        }
        std::sort(positions_.begin(), positions_.end());
        return positions_;
    }
    const JobRowsSnapshot rows = rows_.snapshot();
    for (std::size_t position = 0; position < rows.count() && positions_.size() < selected_.size(); ++position) {
        const auto entry = selected_.find(rows.id(position));
        if (entry == selected_.end()) continue;
        entry->second = position;
        positions_.push_back(position);
    }
    return positions_;
}

int TableSelection::firstRow() const {
    const std::vector<std::size_t>& selected = positions();
    return selected.empty() ? 0 : static_cast<int>(selected.front()) + 1;
}

std::vector<RenderJob> TableSelection::jobs() const {
    std::vector<RenderJob> jobs;
    for (const std::size_t position : positions()) jobs.push_back(rows_.job(position));
    return jobs;
}

std::optional<std::size_t> TableSelection::current() const {
    const std::vector<std::size_t>& selected = positions();
    if (selected.empty()) return std::nullopt;
    if (focused_.row >= 0 && selected_.count(focused_.id)) return static_cast<std::size_t>(focused_.row);
    return selected.front();
}

void TableSelection::select(const std::vector<std::size_t>& positions) {
    mark(positions);
    if (positions_.empty()) return;
    following_ = true;
    const auto first = static_cast<int>(positions_.front());
    ListView_SetItemState(list_, first, LVIS_FOCUSED, LVIS_FOCUSED);
    focused_ = {first, rows_.id(positions_.front())};
    ListView_EnsureVisible(list_, static_cast<int>(positions_.back()), FALSE);
    ListView_EnsureVisible(list_, first, FALSE);
    following_ = false;
}

void TableSelection::mark(const std::vector<std::size_t>& positions) {
    settleCount_();
    const bool wasFollowing = std::exchange(following_, true);
    unselectAll();
    selected_.clear();
    positions_.clear();
    positionsDue_ = false;
    for (const std::size_t position : positions) {
        if (position >= rows_.count()) continue;
        ListView_SetItemState(list_, static_cast<int>(position), LVIS_SELECTED, LVIS_SELECTED);
        selected_.emplace(rows_.id(position), position);
        positions_.push_back(position);
    }
    following_ = wasFollowing;
}

void TableSelection::selectAll() {
    settleCount_();
    ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void TableSelection::deselectAll() {
    settleCount_();
    unselectAll();
}

void TableSelection::selectLast() {
    if (rows_.count() > 0) select({rows_.count() - 1});
}

// Only the rows the list holds selected lose it: taking it from every row at once costs Wine a
// pass that sets each of a hundred thousand rows.
void TableSelection::unselectAll() {
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

// Wine's list deselects the other rows of a plain click by taking the selection off every row in
// turn (a pass over a hundred thousand rows) whenever any is selected: the selected rows, known
// here, lose it first. A press on one of several selected rows may begin dragging them all, and
// keeps them.
void TableSelection::beforeClick(std::size_t row) {
    const std::vector<std::size_t>& selected = positions();  // where each selected row is now
    if (selected.size() > 1 && std::binary_search(selected.begin(), selected.end(), row)) return;
    unselectAll();
}

void TableSelection::follow(bool reselect) {
    following_ = true;
    if (reselect && !selected_.empty()) {
        positionsDue_ = true;
        const std::vector<std::size_t> now = positions();
        mark(now);  // ids of rows gone are gone with them
    }
    if (focused_.row >= 0) {
        const std::optional<std::size_t> now = rows_.find(focused_.id, static_cast<std::size_t>(focused_.row));
        if (!now || static_cast<int>(*now) != focused_.row) {
            ListView_SetItemState(list_, focused_.row, 0, LVIS_FOCUSED);
            if (now) ListView_SetItemState(list_, static_cast<int>(*now), LVIS_FOCUSED, LVIS_FOCUSED);
            focused_ = now ? Mark{static_cast<int>(*now), focused_.id} : Mark{};
        }
    }
    following_ = false;
}

void TableSelection::noted(const NMLISTVIEW& change) {
    if (following_ || !(change.uChanged & LVIF_STATE)) return;
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

void TableSelection::noted(const NMLVODSTATECHANGE& range) {
    if (following_ || !((range.uNewState ^ range.uOldState) & LVIS_SELECTED) || range.iFrom < 0) return;
    selectionNoted(static_cast<std::size_t>(range.iFrom), static_cast<std::size_t>(range.iTo),
                   (range.uNewState & LVIS_SELECTED) != 0);
}

void TableSelection::selectionNoted(std::size_t first, std::size_t last, bool selected) {
    positionsDue_ = true;
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

void TableSelection::beginDrag(POINT at, int band) {
    if (positions().empty()) return;
    dragging_ = true;
    band_ = band;
    SetCapture(list_);
    dragTo(at);
}

std::optional<LRESULT> TableSelection::dragMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!dragging_) return std::nullopt;
    switch (message) {
        case WM_MOUSEMOVE:
            dragTo({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            return 0;
        case WM_LBUTTONUP:
            endDrag(true);
            return 0;
        case WM_CAPTURECHANGED:
            endDrag(false);
            return std::nullopt;
        case WM_KEYDOWN:
            if (wParam != VK_ESCAPE) return std::nullopt;
            endDrag(false);
            return 0;
        default: return std::nullopt;
    }
}

void TableSelection::dragTo(POINT point) {
    RECT client{};
    GetClientRect(list_, &client);
    const int band = std::max(band_, 1);
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

void TableSelection::endDrag(bool drop) {
    dragging_ = false;
    const std::optional<std::size_t> at = std::exchange(drop_, std::nullopt);
    InvalidateRect(list_, nullptr, FALSE);
    if (GetCapture() == list_) ReleaseCapture();
    if (drop && at) dropped_(*at);
}

void TableSelection::drawDropLine(HDC dc) const {
    if (!drop_ || rows_.count() == 0) return;
    const std::size_t row = std::min(*drop_, rows_.count() - 1);
    RECT bounds{LVIR_BOUNDS, 0, 0, 0};
    if (!SendMessageW(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds))) return;
    const int y = *drop_ < rows_.count() ? bounds.top : bounds.bottom;
    RECT client{};
    GetClientRect(list_, &client);
    const RECT line{client.left, y - 1, client.right, y + 1};
    FillRect(dc, &line, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

}  // namespace ravolen
