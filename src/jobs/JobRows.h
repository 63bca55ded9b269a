#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"
#include "jobs/RowsChange.h"
#include "jobs/UnifiedSettings.h"

namespace ravolen {

// What a row keeps for the unified settings: its own output folder and extension, saved when a
// unified box was ticked and given back when it is unticked. A row added after the tick has none.
struct SavedValues {
    std::optional<std::wstring> folder;
    std::optional<std::wstring> extension;

    bool operator==(const SavedValues&) const = default;
};
// A row's saved values, shared by the row and the snapshots that hold it; null where it has none.
using SharedSavedValues = std::shared_ptr<const SavedValues>;

// A row's lasting identity: given when the row comes, kept while it is taken out and put back,
// never given to another row.
using RowId = std::uint64_t;

// One row of the job table as values.
struct JobRow {
    RenderJob job;
    bool ticked = false;
    SharedSavedValues saved;
    RowId id = 0;  // given by the rows; what an appended row brings here is not read
};

namespace rows_detail {
struct StoredRow;
using Block = std::vector<StoredRow>;
}  // namespace rows_detail

// The rows as values at one moment, with the unified folder and format they are read under. A copy
// is cheap (it shares the rows' blocks, which nothing changes once a snapshot may read them) and
// stays as it was whatever the rows do next, so the session's thread reads one while the window's
// thread goes on, and a step of 撤销 is one. A position past the last row reads as an empty row.
class JobRowsSnapshot {
public:
    std::size_t count() const { return count_; }
    // The row's own values: its cells as written, its tick, saved values and id.
    JobRow row(std::size_t position) const;
    // The row as every reader sees it: under the ticked unified folder and format.
    RenderJob job(std::size_t position) const;
    std::wstring cell(std::size_t position, int column) const;
    bool ticked(std::size_t position) const;
    SharedSavedValues saved(std::size_t position) const;
    RowId id(std::size_t position) const;
    // Every row as seen, and one column's cells as seen, from the first row on.
    std::vector<RenderJob> jobs() const;
    std::vector<std::wstring> column(int column) const;
    // Where the row with this id stands (`hint` is looked at first), or nothing when it is gone.
    std::optional<std::size_t> find(RowId id, std::size_t hint = 0) const;
    const UnifiedChoice& unified() const { return unified_; }

private:
    friend class JobRows;
    const rows_detail::StoredRow* at(std::size_t position) const;

    // The rows in order, a block at a time; starts_[b] is the position of block b's first row.
    std::vector<std::shared_ptr<rows_detail::Block>> blocks_;
    std::vector<std::size_t> starts_;
    UnifiedChoice unified_;
    std::size_t count_ = 0;
};

// The job table's rows, the only store of jobs: every table operation, each told to the observers
// as one change. The rows are a sequence of blocks of row values; a change makes new blocks for
// what it changes and never writes a block a snapshot may read, so a step of 撤销 costs a few
// hundred pointers however many rows stand. The rows live on one thread (the window's); a
// snapshot goes to any other.
class JobRows : private JobRowsSnapshot {
public:
    // `blockRows`: the most rows one block holds, and so the most rows a change copies (small in
    // tests, to reach the edges of blocks with few rows).
    explicit JobRows(std::size_t blockRows = 256);
    JobRows(const JobRows&) = delete;
    JobRows& operator=(const JobRows&) = delete;

    using JobRowsSnapshot::cell;
    using JobRowsSnapshot::column;
    using JobRowsSnapshot::count;
    using JobRowsSnapshot::find;
    using JobRowsSnapshot::id;
    using JobRowsSnapshot::job;
    using JobRowsSnapshot::jobs;
    using JobRowsSnapshot::row;
    using JobRowsSnapshot::saved;
    using JobRowsSnapshot::ticked;
    using JobRowsSnapshot::unified;
    JobRowsSnapshot snapshot() const;

    // Rows at the end (quick add, drops, job lists, the job editor, the session), each with its
    // own values and a new id, told as one insertion however many come. One row returns its
    // position; `make(i)` gives row i of `count` as it is needed, so the rows never stand in
    // memory twice.
    std::size_t append(JobRow row);
    void append(std::vector<RenderJob> jobs);
    void append(std::size_t count, const std::function<JobRow(std::size_t)>& make);

    // The in-place editor's cell, written as the row's own (nothing when it reads so already; a
    // folder written under the ticked unified folder is also the one unticking gives back); a
    // tick; 勾选已完成's ticks, row k ticked exactly when entry k is true (rows past the entries
    // keep theirs). A position past the last row changes nothing.
    void setCell(std::size_t position, int column, std::wstring text);
    void setTicked(std::size_t position, bool ticked);
    void setTicks(const std::vector<bool>& ticked);

    // The unified boxes. Typing in a ticked box changes what every row reads and no row. Ticking
    // keeps each row's own folder or extension among its saved values; unticking makes each row's
    // own what it showed, its saved folder or extension where it has one (the saved values stay).
    void unify(UnifiedChoice unified);

    // "-", 清空, 删除: the ticked rows, every row, or the rows at these ascending positions go;
    // how many went.
    std::size_t takeTicked();
    std::size_t takeAll();
    std::size_t take(const std::vector<std::size_t>& positions);
    // New rows (pasted, copies) with their own values, each with a new id, at their positions in
    // the table as it becomes (ascending, clamped to the end), told as one insertion.
    struct PlacedRow {
        std::size_t position;
        JobRow row;
    };
    void insert(std::vector<PlacedRow> rows);
    // The rows at ascending positions `from` go to ascending positions `to` of the table as it
    // becomes, in their order, with their ticks and ids: told as their removal and insertion.
    void move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to);
    // 撤销 and 重做: the rows and the unified boxes as the snapshot holds them, except that a row
    // that stands in both keeps the tick it has now, as a tick is no step.
    void restore(const JobRowsSnapshot& to);

    // An observer is told every change from now until it unwatches, which it does before it goes.
    void watch(JobRowsObserver& observer);
    void unwatch(JobRowsObserver& observer);

private:
    using Block = rows_detail::Block;
    using StoredRow = rows_detail::StoredRow;

    template <typename Change>
    bool changeRow(std::size_t position, Change change);
    template <typename Needs, typename Change>
    RowSpan changeRows(Needs needs, Change change);
    template <typename Taking>
    std::size_t takeWhere(Taking taking, std::vector<StoredRow>* out = nullptr,
                          std::vector<std::size_t>* where = nullptr);
    template <typename Position, typename Make>
    void placeAt(std::size_t rowCount, Position positionOf, Make make);
    void place(JobRow row);
    void appended(std::size_t first);
    void restart();
    void tell(RowsChange change);

    std::size_t blockRows_;
    // Whether the last block is this table's alone (no snapshot was taken since it was made), so
    // rows appended one at a time go into it rather than into a copy of it each.
    mutable bool lastOwned_ = false;
    RowId nextId_ = 1;
    std::vector<JobRowsObserver*> observers_;
};

}  // namespace ravolen
