#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jobs/JobRows.h"
#include "jobs/JobTable.h"
#include "jobs/KeptLine.h"
#include "win/ListView.h"

namespace ravolen {

// A row taken out of the table with everything it carries, to be put back as it was.
struct TakenRow {
    int position;  // from 1, in the table as it was
    bool checked;
    // Its cells: the job list line (JobListLine) a save kept of them, or, without one, as read
    // from the row. Composing lines for thousands of rows would cost "-" more than removing them.
    std::shared_ptr<const std::string> line;
    RenderJob job;  // when there is no line
    SharedSavedValues saved;
};

// One row as the session saves it: its job list line, its saved values, and the changes of its
// cells its line does not hold yet (null: none).
struct RowSnapshot {
    std::shared_ptr<const std::string> line;
    SharedSavedValues saved;
    SharedPendingChanges pending;
};
// The row's line as its cells stand: its line with the pending changes made to it.
std::shared_ptr<const std::string> CurrentLine(const RowSnapshot& row);

// The job table: the only code that touches its list view. The cells live in the list view; each
// row also carries, by its serial (which no other row ever has), its saved unified values and its
// cells as their job list line, which the session save takes instead of reading the row again. A
// row that goes takes both along, and a row put back brings them back, so nothing is kept in step
// with row positions. The line is made by the first save after the row came (a line for every
// row from the start would cost memory for rows never saved), dropped by every change of one of
// its cells (setColumn, cellEdited), and made again when next needed. A column changed in every row
// by one rule (setColumnEverywhere, setColumn with the rule) keeps the lines: each row notes the
// change beside its line.
class JobTableView {
public:
    explicit JobTableView(HWND listView = nullptr) : list_(listView) {}
    JobTableView(const JobTableView&) = delete;
    JobTableView& operator=(const JobTableView&) = delete;

    void bind(HWND listView) { list_ = win::ListView(listView); }

    int count() const { return list_.rowCount(); }
    RenderJob job(int row) const;
    std::vector<RenderJob> all() const;
    // Every row's scene, output folder and output name, the rest left empty: what the results
    // are about, read column by column.
    std::vector<RenderJob> outputs() const;
    // Appends a row and returns its position.
    int append(const RenderJob& job, SavedValues saved = {});
    // Ticks row k + 1 exactly when entry k is true, repainting once.
    void tick(const std::vector<bool>& ticked);
    // Takes the selection off every row.
    void deselectAll();
    // Selects the last row, makes it the keyboard's row and scrolls it into view.
    void selectLast();

    // The cells of one column from row 1 on, and writing them back (only those that differ);
    // `everyCell`, where given, is how every row's cell was changed into the new one.
    std::vector<std::wstring> column(int column) const { return list_.column(column); }
    void setColumn(int column, const std::vector<std::wstring>& cells,
                   const std::vector<std::wstring>& before,
                   std::function<std::wstring(const std::wstring&)> everyCell = nullptr);
    // One value in every row of a column: the rows keep their lines (read again by no save).
    void setColumnEverywhere(int column, const std::wstring& value);
    // A cell the in-place editor wrote: the row's copy is read again when next needed.
    void cellEdited(int row);

    // Every row's saved folder and extension (none where it has none), from row 1 on, and giving
    // them from row 1 on.
    std::vector<std::optional<std::wstring>> savedFolders() const;
    std::vector<std::optional<std::wstring>> savedExtensions() const;
    void setSavedFolders(const std::vector<std::wstring>& folders) { setSaved(folders, &SavedValues::folder); }
    void setSavedExtensions(const std::vector<std::wstring>& extensions) {
        setSaved(extensions, &SavedValues::extension);
    }

    // The ticked rows, or every row, taken out in ascending order; and rows put back where they
    // were (ascending, each clamped to the end), with their tick and what they carry.
    std::vector<TakenRow> takeTicked();
    std::vector<TakenRow> takeAll();
    void putBack(const std::vector<TakenRow>& rows);
    // A row removed by other means: what it carried goes with it.
    void forget(LPARAM serial) { rows_.erase(serial); }
    void forgetAll() { rows_.clear(); }
    // Rows came or went, by whatever code (the list view's insert and delete notifications).
    void rowsMoved() { orderKnown_ = false; }

    // Every row's cells and saved values, from the copies where they are current.
    std::vector<RowSnapshot> snapshot();

    // The rows themselves, for what is not about their texts (checks, selection).
    win::ListView list() const { return list_; }

private:
    struct Carried {
        std::shared_ptr<const std::string> line;  // null: read from the cells when next needed
        SharedSavedValues saved;
        SharedPendingChanges pending;  // made to the cells since the line was made
    };
    int insert(int row, const RenderJob& job, Carried carried);
    // What the row carries, its line read now when it has none.
    Carried& carried(int row, LPARAM serial);
    TakenRow take(int row, bool checked);
    // Every row with a line notes the change beside it.
    void note(CellChange change);
    template <typename Value>
    std::vector<std::optional<std::wstring>> saved(Value value) const;
    void setSaved(const std::vector<std::wstring>& values, std::optional<std::wstring> SavedValues::*which);

    // Every row's serial from row 1 on, read again after rows came or went.
    const std::vector<LPARAM>& order() const;

    win::ListView list_;
    std::unordered_map<LPARAM, Carried> rows_;
    mutable std::vector<LPARAM> order_;
    mutable bool orderKnown_ = false;
};

// What the job dialog and the results dialog need of the window that holds the job table; no
// window reaches another's controls.
class JobTableHost {
public:
    // Appends the job as the table's last row.
    virtual void addJob(const RenderJob& job) = 0;
    // Takes the selection off every row, selects the last one and gives the table the focus.
    virtual void selectLastJob() = 0;
    // Every row's scene, output folder and output name, with an open cell edit written first.
    virtual std::vector<RenderJob> jobOutputs() = 0;
    // Ticks row k + 1 exactly when entry k is true.
    virtual void tickJobs(const std::vector<bool>& ticked) = 0;

protected:
    ~JobTableHost() = default;
};

}  // namespace ravolen
