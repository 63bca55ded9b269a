#include "jobs/KeptLine.h"

#include "jobs/JobListFile.h"
#include "jobs/JobTable.h"

namespace ravolen {

std::shared_ptr<const std::string> LineWithChanges(std::shared_ptr<const std::string> line,
                                                   const SharedPendingChanges& pending) {
    if (!pending || !line) return line;
    const std::optional<RenderJob> job = JobFromListLine(*line);
    if (!job) return line;  // never: the line was made from the row
    auto cells = JobCells(*job);
    for (const CellChange& change : pending->changes) {
        std::wstring& cell = cells[static_cast<std::size_t>(change.column - 1)];
        cell = change.value ? *change.value : change.change(cell);
    }
    return std::make_shared<const std::string>(JobListLine(JobFromCells(std::move(cells))));
}

}  // namespace ravolen
