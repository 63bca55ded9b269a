#pragma once

#include <windows.h>

#include <vector>

#include "jobs/JobTable.h"
#include "win/ListView.h"

namespace ravolen {

// The job table as render jobs. The list view's rows are the only store of the jobs: this reads
// and writes them there and keeps no copy.
class JobTableView {
public:
    explicit JobTableView(HWND listView) : list_(listView) {}

    int count() const { return list_.rowCount(); }
    RenderJob job(int row) const;
    std::vector<RenderJob> all() const;
    // Every row's scene, output folder and output name, the rest left empty: what the results
    // are about, read column by column.
    std::vector<RenderJob> outputs() const;
    // Appends a row and returns its position.
    int append(const RenderJob& job);
    // Ticks row k + 1 exactly when entry k is true, repainting once.
    void tick(const std::vector<bool>& ticked);
    // Takes the selection off every row.
    void deselectAll();
    // Selects the last row, makes it the keyboard's row and scrolls it into view.
    void selectLast();

    // The rows themselves, for what is not about jobs (checks, selection).
    win::ListView list() const { return list_; }

private:
    win::ListView list_;
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
