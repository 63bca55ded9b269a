#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/TableKeys.h"
#include "app/TableSelection.h"
#include "document/Commands.h"
#include "document/History.h"
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
// editor (EditableList) writes its cells into the rows; the selection stays on its rows while rows
// come and go, and is apart from the ticks. Every change of rows but a tick is a step of the
// document's history, which 撤销 undoes.
// Rows are counted from 1 here, as the rest of the window counts them; positions from 0.
class JobTableView final : private JobRowsObserver, private EditedRows {
public:
    JobTableView(JobRows& rows, History& history) : rows_(rows), history_(history) {}
    ~JobTableView();
    JobTableView(const JobTableView&) = delete;
    JobTableView& operator=(const JobTableView&) = delete;

    // Binds the list (created with LVS_OWNERDATA and LVS_EX_CHECKBOXES) and the in-place editor,
    // gives the list its columns and measures its stripes. Raises ListError where a control
    // refuses.
    void bind(HWND list, HWND editor, int dpi);

    // The rows, with an open cell edit written into them first: for every command that reads the
    // table.
    JobRows& rows();
    // The rows as they stand, an open edit left open (the status labels, the tests).
    const JobRows& shown() const { return rows_; }

    // A change of rows as one step of 撤销 (nothing is kept when it changed nothing; a tick is no
    // change). The open cell edit is written first, as a step of its own.
    using Join = History::Join;
    template <typename Change>
    void change(Change&& change, Join join = Join::None) {
        JobRows& rows = this->rows();
        history_.step([&] { change(rows); }, join);
    }

    int count() const { return static_cast<int>(rows_.count()); }
    RenderJob job(int row) const { return rows_.job(static_cast<std::size_t>(row - 1)); }
    std::vector<RenderJob> all() const { return rows_.jobs(); }
    // Appends a row as the table's last and returns its position.
    int append(const RenderJob& job) { return static_cast<int>(rows().append(JobRow{job, false, nullptr, 0})) + 1; }

    // The selected rows and the keyboard's row.
    TableSelection& selection() { return selection_; }
    const TableSelection& selection() const { return selection_; }

    // The selected rows ticked or unticked.
    void tickSelected(bool ticked);

    // 上移, 下移, 移到最前, 移到最后, and a drop before the row at `before` (the count: after
    // the last): the selected rows, which stay selected; false when none could move.
    using Move = RowMove;
    bool moveSelected(Move move, std::size_t before = 0);

    // The keys the table's commands take while it has the focus, and its context menu.
    void onKey(std::function<bool(UINT key)> key) { keys_.onKey(std::move(key)); }
    void onContextMenu(std::function<void(POINT screen)> menu) { keys_.onContextMenu(std::move(menu)); }
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
    void onChanged(std::function<void(const RowsChange&)> changed) { changed_ = std::move(changed); }

private:
    void rowsChanged(const RowsChange& change) override;
    std::uint64_t rowKey(int row) override;
    int rowWithKey(std::uint64_t key, int hint) override;
    void writeCell(int row, int column, const std::wstring& text) override;
    std::optional<LVHITTESTINFO> hitAt(POINT at) override;

    std::optional<LRESULT> listMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Gives the list the rows' count when rows came or went since it last had it. Setting the
    // count of a visible list costs milliseconds (its scroll bars), so rows appended one at a time
    // by a caller set it once, before the list next does or answers anything.
    void settleCount();
    // A tick set through the list's messages: row from 0, or -1 for every row.
    void tickFromState(int row, UINT stateImage);
    void giveText(NMLVDISPINFOW& info) const;
    // Whether one of the rows there holds something other than 默认 in an optional column.
    bool anyOptionalCells(const std::vector<RowSpan>& spans) const;
    int findText(const NMLVFINDITEMW& find) const;
    // The rows that changed, repainted where they are visible.
    void repaint(const std::vector<RowSpan>& spans);
    void measureStripes();
    // While the vertical scroll bar shows, Max文件 gives up what the six columns need to stay
    // clear of it (no column under the bar, no horizontal bar); without it every column is as
    // designed. A width the user dragged is left as it is.
    void fitColumns();

    JobRows& rows_;
    History& history_;
    HWND list_ = nullptr;
    EditableList editor_;
    win::CellTips tips_;  // the whole text of a cell its column cuts; goes after the subclass relaying to it
    win::Subclass listMessages_;
    std::optional<win::ListStripes> stripes_;
    mutable win::PathCells paths_;  // the paths, given shortened while the list paints
    TableSelection selection_{rows_};
    TableKeys keys_{selection_};
    bool countDue_ = false;      // rows came or went since the list was given their count
    int ownInput_ = 0;           // inside the list's own click or key: its state changes are its own
    // The last press of the button on the list: where, on which row, whether on its box, and the
    // box's tick then.
    struct Press {
        POINT at{};
        int row = -1;
        bool onBox = false;
        std::optional<bool> tickedBefore;
    };
    std::optional<Press> press_;
    std::function<void(const RowsChange&)> changed_;
    bool optionalShown_ = false;
    int dpi_ = 96;
    int fittedWidth_ = -1;  // the scene column's width as fitColumns left it
};

}  // namespace ravolen
