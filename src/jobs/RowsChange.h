#pragma once

#include <cstddef>
#include <vector>

namespace ravolen {

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
                   // every row for the unified boxes
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

}  // namespace ravolen
