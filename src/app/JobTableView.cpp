#include "app/JobTableView.h"

#include <commctrl.h>

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

int JobTableView::append(const RenderJob& job) {
    const auto cells = JobCells(job);
    return list_.appendRow(cells);
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

}  // namespace ravolen
