#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/JobTable.h"

namespace ravolen {

// What a row keeps for the unified settings: its own output folder and extension, saved when a
// unified box was ticked and given back when it is unticked. A row added after the tick has none.
struct SavedValues {
    std::optional<std::wstring> folder;
    std::optional<std::wstring> extension;

    bool operator==(const SavedValues&) const = default;
};
// A row's saved values, shared by the row, what was taken of it and snapshots; null where it has none.
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

// A change of one column's cells that each row reads through when asked, so that changing a whole
// column costs as little for a hundred thousand rows as for ten. It runs on whichever thread reads
// the rows (a snapshot's too), so it is pure and holds only values of its own.
class CellRule {
public:
    virtual ~CellRule() = default;
    virtual std::wstring apply(const std::wstring& cell) const = 0;
    // This change followed by `later` as one change, or null where the two make none: typing in a
    // box then keeps one change per column instead of one per keystroke.
    virtual std::shared_ptr<const CellRule> then(const CellRule& later) const;
};
using SharedCellRule = std::shared_ptr<const CellRule>;
// A rule of a plain function; it makes one change with no other.
SharedCellRule MakeCellRule(std::function<std::wstring(const std::wstring&)> change);

// Rows by position from 0, as an owner-data list view numbers its items: `count` rows from `first`.
// Columns stay numbered from 1 (JobColumnScene ...).
struct RowSpan {
    std::size_t first = 0;
    std::size_t count = 0;

    bool operator==(const RowSpan&) const = default;
};

// A column as a bit of a mask of columns.
constexpr unsigned ColumnBit(int column) { return 1u << (column - 1); }

// What one operation changed, told once when it is done; an operation that changed nothing tells
// nothing. The saved values are not shown and not told.
struct RowsChange {
    enum class Kind {
        Inserted,  // `rows`: where the new rows stand in the table as it is now
        Removed,   // `rows`: where the rows that went stood in the table as it was
        Cells,     // `rows`: one span from the first to the last row whose text changed, or
                   // every row for a layer (fillColumn, changeColumn, typing, unified folder ticked)
        Ticks,     // `rows`: one span from the first to the last row whose tick changed
        Replaced,  // every row as 撤销 or 重做 brought the table back; `rows`: where the rows
                   // now stand that are not as they were just before (the others are)
    };
    Kind kind = Kind::Cells;
    std::vector<RowSpan> rows;  // ascending
    unsigned columns = 0;       // Cells: the ColumnBit of each column changed

    bool operator==(const RowsChange&) const = default;
};

// Told what changed, after it changed. From inside a notification it may read the rows, but not
// change them nor watch or unwatch.
class JobRowsObserver {
public:
    virtual void rowsChanged(const RowsChange& change) = 0;

protected:
    ~JobRowsObserver() = default;
};

// Where rows at ascending positions `from` of a table of `count` rows go when they move one place up
// or down (a row blocked by the end or by a moved row before it stays), to the ends, or to stand
// before the row at `before` (`count`: after the last), in their order.
enum class RowMove { Up, Down, First, Last, Before };
std::vector<std::size_t> MovedPositions(const std::vector<std::size_t>& from, std::size_t count, RowMove move,
                                        std::size_t before = 0);

namespace rows_detail {
struct StoredRow;
struct Block;
struct ColumnLayers;
// Counts the layers made: a cell written at generation g reads through the layers made after g.
using Generation = std::uint32_t;
}  // namespace rows_detail

// The rows as values at one moment. A copy is cheap (it shares the rows' blocks, which nothing
// changes while they are shared) and stays as it was whatever the rows do next, so the session's
// thread reads one while the window's thread goes on. A position past the last row reads as an
// empty row.
class JobRowsSnapshot {
public:
    std::size_t count() const { return count_; }
    JobRow row(std::size_t position) const;
    RenderJob job(std::size_t position) const;
    std::wstring cell(std::size_t position, int column) const;
    bool ticked(std::size_t position) const;
    SharedSavedValues saved(std::size_t position) const;
    RowId id(std::size_t position) const;
    // Every row's cells, and one column's cells, from the first row on.
    std::vector<RenderJob> jobs() const;
    std::vector<std::wstring> column(int column) const;
    // Where the row with this id stands (`hint` is looked at first), or nothing when it is gone.
    std::optional<std::size_t> find(RowId id, std::size_t hint = 0) const;

private:
    friend class JobRows;
    const rows_detail::StoredRow* at(std::size_t position) const;

    // The rows in order, a block at a time; starts_[b] is the position of block b's first row.
    std::vector<std::shared_ptr<rows_detail::Block>> blocks_;
    std::vector<std::size_t> starts_;
    // Per column, the changes of the whole column that older cells read through (null: none).
    std::array<std::shared_ptr<const rows_detail::ColumnLayers>, JobColumnCount> layers_;
    std::size_t count_ = 0;
};

// The job table's rows, the only store of jobs: every table operation, each told to the observers
// as one change. A column changed as a whole is kept as a layer over the cells rather than written
// into every row, so a keystroke in a ticked unified box costs the same at any row count; a cell
// written later reads its own text again. The rows live on one thread (the window's); a snapshot,
// which copies a few hundred pointers, goes to any other.
class JobRows : private JobRowsSnapshot {
public:
    // `blockRows`: the most rows one block holds, and so the most rows a change copies because a
    // snapshot still reads them (small in tests, to reach the edges of blocks with few rows).
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
    JobRowsSnapshot snapshot() const { return *this; }

    // Rows at the end (quick add, drops, job lists, the job editor, the session), each with a new
    // id, told as one insertion however many come. One row returns its position; `make(i)` gives
    // row i of `count` as it is needed, so the rows never stand in memory twice.
    std::size_t append(JobRow row);
    void append(std::vector<RenderJob> jobs);
    void append(std::size_t count, const std::function<JobRow(std::size_t)>& make);

    // The in-place editor's cell; a tick; 勾选已完成's ticks, row k ticked exactly when entry k
    // is true (rows past the entries keep theirs). A position past the last row changes nothing.
    void setCell(std::size_t position, int column, std::wstring text);
    void setTicked(std::size_t position, bool ticked);
    void setTicks(const std::vector<bool>& ticked);

    // A whole column: every row reads `value`; every row's cell as `rule` changes it; row k gets
    // cells[k] (rows past the cells keep theirs). The first two touch no row.
    void fillColumn(int column, std::wstring value);
    void changeColumn(int column, SharedCellRule rule);
    void setColumn(int column, std::vector<std::wstring> cells);

    // The unified output folder and image format (their check boxes) by UnifiedSettings' rules.
    // Ticking keeps each row's own folder or extension among its saved values, then changes the
    // column; unticking gives each row that has one its own back, and the saved values stay.
    // Typing in a ticked box is fillColumn for the folder and changeUnifiedFormat for the format
    // (`applied`: the format the names were last given).
    void tickUnifiedFolder(std::wstring_view unified);
    void untickUnifiedFolder();
    void tickUnifiedFormat(std::wstring_view format);
    void changeUnifiedFormat(std::wstring_view applied, std::wstring_view format);
    void untickUnifiedFormat(std::wstring_view applied);

    // A row taken out ("-", 清空) as it read then, with its tick, saved values and id.
    struct TakenRow {
        std::size_t position;  // in the table as it was
        JobRow row;
    };
    // The ticked rows, every row, or the rows at these ascending positions, in ascending order of
    // position.
    std::vector<TakenRow> takeTicked();
    std::vector<TakenRow> takeAll();
    std::vector<TakenRow> take(const std::vector<std::size_t>& positions);
    // 撤销: rows taken out (each once) go back in ascending order, each at its position (clamped
    // to the end), as they were taken: column changes made while they were out do not reach them.
    void putBack(std::vector<TakenRow> rows);
    // New rows (pasted, copies), each with a new id, at their positions in the table as it becomes
    // (ascending, clamped to the end), told as one insertion.
    void insert(std::vector<TakenRow> rows);
    // The rows at ascending positions `from` go to ascending positions `to` of the table as it
    // becomes, in their order, with their ticks and ids: told as their removal and insertion.
    void move(const std::vector<std::size_t>& from, const std::vector<std::size_t>& to);
    // 撤销 and 重做: the rows as the snapshot holds them (cells, order, ids, saved values), except
    // that a row that stands in both keeps the tick it has now, as a tick is no step. A block the
    // two share costs nothing.
    void restore(const JobRowsSnapshot& to);

    // An observer is told every change from now until it unwatches, which it does before it goes.
    void watch(JobRowsObserver& observer);
    void unwatch(JobRowsObserver& observer);

private:
    using Generation = rows_detail::Generation;

    rows_detail::Block& own(std::size_t block);
    rows_detail::StoredRow& writable(std::size_t position);
    void place(JobRow row);
    void appended(std::size_t first);
    void write(rows_detail::StoredRow& row, int column, std::wstring text);
    template <typename Needs, typename Apply>
    void changeRows(std::size_t end, Needs needs, Apply apply);
    template <typename Taking, typename Out>
    std::vector<RowSpan> removeWhere(Taking taking, Out out);
    template <typename Taking>
    std::vector<TakenRow> takeWhere(Taking taking);
    template <typename Position, typename Make>
    void placeAt(std::size_t rowCount, Position positionOf, Make make);
    template <typename Own>
    void giveBack(int column, std::optional<std::wstring> SavedValues::*kept, Own own);
    void fill(int column, std::wstring value);
    void settle(int column);
    void tidy();
    void restart();
    void tell(RowsChange change);

    std::size_t blockRows_;
    Generation generation_ = 0;
    // Per column, the generation at which a cell of it was last written.
    std::array<Generation, JobColumnCount> lastWritten_{};
    RowId nextId_ = 1;
    std::vector<JobRowsObserver*> observers_;
};

}  // namespace ravolen
