#pragma once

#include <cstddef>
#include <vector>

#include "jobs/JobRows.h"
#include "jobs/JobTable.h"

namespace ravolen {

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
    // The job editor's OK for the row it was opened on (by its id).
    virtual void replaceJob(RowId id, const RenderJob& job) = 0;
    // Makes row `position` + 1 the only selected row and the keyboard's, scrolls to it and gives
    // the table the focus; nothing when the table has no such row.
    virtual void selectJob(std::size_t position) = 0;

protected:
    ~JobTableHost() = default;
};

}  // namespace ravolen
