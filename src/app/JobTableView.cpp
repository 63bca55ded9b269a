#include "app/JobTableView.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <climits>

#include "jobs/JobListFile.h"

namespace ravolen {

RenderJob JobTableView::job(int row) const {
    std::array<std::wstring, JobColumnCount> cells;
    for (int column = 1; column <= JobColumnCount; ++column) {
        cells[static_cast<std::size_t>(column - 1)] = list_.cell(row, column);
    }
    return JobFromCells(std::move(cells));
}

std::vector<RenderJob> JobTableView::all() const {
    const int rows = count();
    std::vector<RenderJob> jobs;
    jobs.reserve(static_cast<std::size_t>(rows));
    for (int row = 1; row <= rows; ++row) jobs.push_back(job(row));
    return jobs;
}

std::vector<RenderJob> JobTableView::outputs() const {
    std::vector<std::wstring> scenes = list_.column(JobColumnScene);
    std::vector<std::wstring> folders = list_.column(JobColumnOutputFolder);
    std::vector<std::wstring> names = list_.column(JobColumnOutputName);
    std::vector<RenderJob> rows(scenes.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].scene = std::move(scenes[i]);
        rows[i].outputFolder = std::move(folders[i]);
        rows[i].outputName = std::move(names[i]);
    }
    return rows;
}

int JobTableView::insert(int row, const RenderJob& job, Carried carried) {
    const LPARAM serial = win::NewRowSerial();
    const auto cells = JobCells(job);
    const int placed = list_.insertRow(row, cells, serial);
    if (placed == 0) return 0;
    // A new row's copy of its cells is taken by the first save that needs it: holding a copy of
    // every row from the start would cost as much memory as the rows themselves.
    if (carried.line || carried.saved) rows_[serial] = std::move(carried);
    return placed;
}

int JobTableView::append(const RenderJob& job, SavedValues saved) {
    const bool any = saved.folder || saved.extension;
    return insert(INT_MAX, job,
                  {nullptr, any ? std::make_shared<const SavedValues>(std::move(saved)) : nullptr, nullptr});
}

void JobTableView::tick(const std::vector<bool>& ticked) {
    const win::RedrawSuspended batch(list_.hwnd());
    for (std::size_t i = 0; i < ticked.size(); ++i) {
        list_.setChecked(static_cast<int>(i) + 1, ticked[i]);
    }
}

void JobTableView::deselectAll() { ListView_SetItemState(list_.hwnd(), -1, 0, LVIS_SELECTED); }

void JobTableView::selectLast() {
    const int last = count() - 1;
    if (last < 0) return;
    ListView_SetItemState(list_.hwnd(), last, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_.hwnd(), last, FALSE);
}

void JobTableView::setColumn(int column, const std::vector<std::wstring>& cells,
                             const std::vector<std::wstring>& before,
                             std::function<std::wstring(const std::wstring&)> everyCell) {
    const std::size_t rows = std::min(cells.size(), static_cast<std::size_t>(count()));
    for (std::size_t i = 0; i < rows; ++i) {
        if (i < before.size() && before[i] == cells[i]) continue;
        list_.setCell(static_cast<int>(i) + 1, column, cells[i]);
    }
    if (rows_.empty()) return;  // without lines there is nothing to keep current
    if (everyCell && rows == static_cast<std::size_t>(count())) {
        note({column, std::nullopt, std::move(everyCell)});
        return;
    }
    const std::vector<LPARAM>& serials = order();
    for (std::size_t i = 0; i < rows; ++i) {
        if (i < before.size() && before[i] == cells[i]) continue;
        const auto found = rows_.find(serials[i]);
        if (found != rows_.end()) {  // read when next needed
            found->second.line.reset();
            found->second.pending.reset();
        }
    }
}

void JobTableView::setColumnEverywhere(int column, const std::wstring& value) {
    const int rows = count();
    for (int row = 1; row <= rows; ++row) list_.setCell(row, column, value);
    if (!rows_.empty()) note({column, value, nullptr});
}

void JobTableView::note(CellChange change) {
    // Rows that had the same pending changes share the new ones: one new set for each old set
    // (after the first keystroke, one for the whole table), not one per row.
    std::vector<std::pair<SharedPendingChanges, SharedPendingChanges>> made;
    for (const LPARAM serial : order()) {
        const auto found = rows_.find(serial);
        if (found == rows_.end() || !found->second.line) continue;
        SharedPendingChanges& pending = found->second.pending;
        auto same = std::find_if(made.begin(), made.end(), [&](const auto& m) { return m.first == pending; });
        if (same == made.end()) {
            PendingChanges changes = pending ? *pending : PendingChanges{};
            if (change.value) {  // what the column had before does not count any more
                std::erase_if(changes.changes, [&](const CellChange& c) { return c.column == change.column; });
            }
            changes.changes.push_back(change);
            same = made.insert(made.end(), {pending, std::make_shared<const PendingChanges>(std::move(changes))});
        }
        pending = same->second;
    }
}

void JobTableView::cellEdited(int row) {
    const auto found = rows_.find(list_.rowSerial(row));
    if (found != rows_.end()) {
        found->second.line.reset();
        found->second.pending.reset();
    }
}

std::shared_ptr<const std::string> CurrentLine(const RowSnapshot& row) {
    return LineWithChanges(row.line, row.pending);
}

template <typename Value>
std::vector<std::optional<std::wstring>> JobTableView::saved(Value value) const {
    const std::vector<LPARAM>& serials = order();
    std::vector<std::optional<std::wstring>> saved(serials.size());
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const auto found = rows_.find(serials[i]);
        if (found != rows_.end() && found->second.saved) saved[i] = value(*found->second.saved);
    }
    return saved;
}

std::vector<std::optional<std::wstring>> JobTableView::savedFolders() const {
    return saved([](const SavedValues& values) { return values.folder; });
}

std::vector<std::optional<std::wstring>> JobTableView::savedExtensions() const {
    return saved([](const SavedValues& values) { return values.extension; });
}

void JobTableView::setSaved(const std::vector<std::wstring>& values,
                            std::optional<std::wstring> SavedValues::*which) {
    const std::vector<LPARAM>& serials = order();
    const std::size_t rows = std::min(values.size(), serials.size());
    for (std::size_t i = 0; i < rows; ++i) {
        SharedSavedValues& saved = rows_[serials[i]].saved;
        SavedValues changed = saved ? *saved : SavedValues{};
        changed.*which = values[i];
        saved = std::make_shared<const SavedValues>(std::move(changed));
    }
}

const std::vector<LPARAM>& JobTableView::order() const {
    const auto rows = static_cast<std::size_t>(count());
    if (orderKnown_ && order_.size() == rows) return order_;
    order_.resize(rows);
    for (std::size_t i = 0; i < rows; ++i) order_[i] = list_.rowSerial(static_cast<int>(i) + 1);
    orderKnown_ = true;
    return order_;
}

JobTableView::Carried& JobTableView::carried(int row, LPARAM serial) {
    Carried& carried = rows_[serial];
    if (!carried.line) {
        std::string line = JobListLine(job(row));
        line.shrink_to_fit();  // kept as long as the row: no room to grow
        carried.line = std::make_shared<const std::string>(std::move(line));
    }
    return carried;
}

TakenRow JobTableView::take(int row, bool checked) {
    TakenRow taken{row, checked, nullptr, {}, nullptr};
    if (const auto found = rows_.find(list_.rowSerial(row)); found != rows_.end()) {
        if (!found->second.pending) taken.line = std::move(found->second.line);
        taken.saved = std::move(found->second.saved);
        rows_.erase(found);
    }
    if (!taken.line) taken.job = job(row);
    return taken;
}

// From the last row to the first, so that no row still to be visited moves.
std::vector<TakenRow> JobTableView::takeTicked() {
    std::vector<TakenRow> taken;
    {
        const win::RedrawSuspended batch(list_.hwnd());
        const win::FocusMarkSuspended keyboardRow(list_.hwnd());
        for (int row = count(); row >= 1; --row) {
            if (!list_.checked(row)) continue;
            taken.push_back(take(row, true));
            list_.removeRow(row);
        }
    }
    std::reverse(taken.begin(), taken.end());
    return taken;
}

std::vector<TakenRow> JobTableView::takeAll() {
    std::vector<TakenRow> taken;
    taken.reserve(static_cast<std::size_t>(count()));
    for (int row = 1, rows = count(); row <= rows; ++row) taken.push_back(take(row, list_.checked(row)));
    list_.clear();
    rows_.clear();
    return taken;
}

void JobTableView::putBack(const std::vector<TakenRow>& rows) {
    const win::RedrawSuspended batch(list_.hwnd());
    for (const TakenRow& row : rows) {
        const int at = std::min(row.position, count() + 1);
        const std::optional<RenderJob> job = row.line ? JobFromListLine(*row.line) : row.job;
        if (!job) continue;  // never: the line was made from the row
        const int placed = insert(at, *job, {row.line, row.saved, nullptr});
        if (placed != 0) list_.setChecked(placed, row.checked);
    }
}

std::vector<RowSnapshot> JobTableView::snapshot() {
    const std::vector<LPARAM>& serials = order();
    std::vector<RowSnapshot> rows(serials.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const Carried& from = carried(row, serials[i]);
        rows[i] = {from.line, from.saved, from.pending};
    }
    return rows;
}

}  // namespace ravolen
