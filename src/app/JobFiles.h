#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "app/JobTableView.h"
#include "document/Document.h"
#include "platform/Platform.h"

namespace ravolen {

// Rows from files (快速添加, files dropped from Explorer, 打开任务列表) and the table saved as a job
// list. New scenes take the unified folder and format the document holds.
class JobFiles {
public:
    JobFiles(Platform& platform, JobTableView& table) : platform_(platform), table_(table) {}

    // The table's list, which takes the focus after rows are added.
    void attach(HWND list) { list_ = list; }
    void quickAdd();
    void openJobList();
    void saveJobList();
    // Files dropped from Explorer: scenes added as quick add adds them, folders opened one level.
    void drop(HDROP drop);
    // The rows files dropped or pasted make; what is not a scene is counted and told.
    std::vector<RenderJob> jobsOfFiles(const std::vector<std::wstring>& paths);

private:
    // Appends rows as every add path does: the selection on the last one, the focus on the table.
    void append(std::vector<RenderJob> added);
    // Rows made one at a time as they go in.
    void append(std::size_t count, const std::function<RenderJob(std::size_t)>& job);

    Platform& platform_;
    JobTableView& table_;
    HWND list_ = nullptr;
};

}  // namespace ravolen
