#include "app/JobRows.h"

namespace ravolen {

RenderJob JobRows::job(int row) const {
    std::array<std::wstring, JobColumnCount> cells;
    for (int column = 1; column <= JobColumnCount; ++column) {
        cells[static_cast<std::size_t>(column - 1)] = list_.cell(row, column);
    }
    return JobFromCells(std::move(cells));
}

std::vector<RenderJob> JobRows::all() const {
    const int rows = count();
    std::vector<RenderJob> jobs;
    jobs.reserve(static_cast<std::size_t>(rows));
    for (int row = 1; row <= rows; ++row) jobs.push_back(job(row));
    return jobs;
}

int JobRows::append(const RenderJob& job) {
    const auto cells = JobCells(job);
    return list_.appendRow(cells);
}

}  // namespace ravolen
