#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/JobRows.h"
#include "jobs/JobTable.h"
#include "win/CellTips.h"
#include "win/EditableList.h"
#include "win/ListStripes.h"
#include "win/ListView.h"
#include "win/Subclass.h"

namespace ravolen {

// The job table on the screen: an owner-data list view that shows the rows (JobRows) and asks them
// for every text and tick it paints, so a change costs what is visible rather than what the table
// holds. The only code that sends messages to the table's list view. Ticks are the rows' own: a
// click on a box or Space ticks the row, and so does a tick set from another program through
// LVM_SETITEMSTATE or LVM_SETITEMW, as automation and accessibility tools set it. The in-place
// editor (EditableList) writes its cells into the rows; the selection stays on its row while rows
// come and go. Rows are counted from 1 here, as the rest of the window counts them.
class JobTableView final : private JobRowsObserver, private EditedRows {
public:
    explicit JobTableView(JobRows& rows) : rows_(rows) {}
    ~JobTableView();
    JobTableView(const JobTableView&) = delete;
    JobTableView& operator=(const JobTableView&) = delete;

    // Binds the list (created with LVS_OWNERDATA and LVS_EX_CHECKBOXES) and the in-place editor,
    // gives the list its columns and measures its stripes. Raises ListError where a control
    // refuses.
    void bind(HWND list, HWND editor, int dpi);

    // The rows, with an open cell edit written into them first: for every change and every
    // command that reads the table.
    JobRows& rows();
    // The rows as they stand, an open edit left open (the status labels, the tests).
    const JobRows& shown() const { return rows_; }

    int count() const { return static_cast<int>(rows_.count()); }
    RenderJob job(int row) const { return rows_.job(static_cast<std::size_t>(row - 1)); }
    std::vector<RenderJob> all() const { return rows_.jobs(); }
    // Appends a row as the table's last and returns its position.
    int append(const RenderJob& job, SavedValues saved = {});
    // The first selected row, or 0.
    int selectedRow() const;
    // Takes the selection off every row; selects the last row, makes it the keyboard's row and
    // scrolls it into view.
    void deselectAll();
    void selectLast();

    // "-" and 清空: the rows they take are kept for 撤销, which puts them back where they were;
    // false when there was nothing to take or to put back.
    bool removeTicked();
    bool clear();
    bool undo();
    bool canUndo() const { return undo_.has_value(); }

    // The optional columns (帧, 场景状态, 渲染预设): shown by the artist's choice, and by themselves
    // when rows come that use them.
    void showOptionalColumns(bool shown);
    bool optionalColumnsShown() const { return optionalShown_; }

    // An open cell edit written, or closed unwritten.
    void commitEdit() { editor_.commitEdit(); }
    // After a change of the window's DPI: the editor and the stripes follow.
    void scale(int dpi);
    // The list's notifications, sent to the window that holds it.
    std::optional<LRESULT> notify(NMHDR& header);

    // The list view itself, for what is about the control rather than the rows (selection, focus,
    // reading cells as another program does).
    win::ListView list() const { return win::ListView(list_); }

    // Told after every change of the rows, once the list shows it.
    void onChanged(std::function<void()> changed) { changed_ = std::move(changed); }

private:
    void rowsChanged(const RowsChange& change) override;
    std::uint64_t rowKey(int row) override;
    int rowWithKey(std::uint64_t key, int hint) override;
    void writeCell(int row, int column, const std::wstring& text) override;

    std::optional<LRESULT> listMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Gives the list the rows' count when rows came or went since it last had it. Setting the
    // count of a visible list costs milliseconds (its scroll bars), so rows appended one at a time
    // by a caller set it once, before the list next does or answers anything.
    void settleCount();
    // A tick set through the list's messages: row from 0, or -1 for every row.
    void tickFromState(int row, UINT stateImage);
    void toggle(int row);
    void giveText(NMLVDISPINFOW& info) const;
    // Whether one of the rows there holds something other than 默认 in an optional column.
    bool anyOptionalCells(const std::vector<RowSpan>& spans) const;
    int findText(const NMLVFINDITEMW& find) const;
    // The rows that changed, repainted where they are visible.
    void repaint(const std::vector<RowSpan>& spans);
    // The selection and the keyboard's row back on the rows that had them, wherever they are now.
    void followSelection();
    void noteSelection(const NMLISTVIEW& change);
    void measureStripes();
    // While the vertical scroll bar shows, Max文件 gives up what the six columns need to stay
    // clear of it (no column under the bar, no horizontal bar); without it every column is as
    // designed. A width the user dragged is left as it is.
    void fitColumns();

    JobRows& rows_;
    HWND list_ = nullptr;
    EditableList editor_;
    win::Subclass listMessages_;
    std::optional<win::ListStripes> stripes_;
    win::CellTips tips_;  // the whole text of a cell its column cuts
    std::optional<std::vector<JobRows::TakenRow>> undo_;  // ascending positions
    // The selected row and the keyboard's row, by position and by id, as the list last told them:
    // asking the list walks its rows.
    struct Mark {
        int row = -1;
        RowId id = 0;
    };
    Mark selected_;
    Mark focused_;
    bool countDue_ = false;      // rows came or went since the list was given their count
    bool following_ = false;     // moving the selection itself: its notifications are not noted
    int ownInput_ = 0;           // inside the list's own click or key: its state changes are its own
    std::optional<bool> tickBeforeClick_;  // the clicked row's tick when the button went down
    std::function<void()> changed_;
    bool optionalShown_ = false;
    int dpi_ = 96;
    int fittedWidth_ = -1;  // the scene column's width as fitColumns left it
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
    // Makes row `position` + 1 the only selected row and the keyboard's, scrolls to it and gives
    // the table the focus; nothing when the table has no such row.
    virtual void selectJob(std::size_t position) = 0;

protected:
    ~JobTableHost() = default;
};

}  // namespace ravolen
