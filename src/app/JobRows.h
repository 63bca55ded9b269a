#pragma once

#include <windows.h>

#include <vector>

#include "jobs/JobTable.h"
#include "win/ListView.h"

namespace ravolen {

// The job table as render jobs. The list view's rows are the only store of the jobs: this reads
// and writes them there and keeps no copy.
class JobRows {
public:
    explicit JobRows(HWND listView) : list_(listView) {}

    int count() const { return list_.rowCount(); }
    RenderJob job(int row) const;
    std::vector<RenderJob> all() const;
    // Appends a row and returns its position.
    int append(const RenderJob& job);

    // The rows themselves, for what is not about jobs (checks, selection).
    win::ListView list() const { return list_; }

private:
    win::ListView list_;
};

}  // namespace ravolen
