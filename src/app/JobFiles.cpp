#include "app/JobFiles.h"

#include <utility>

#include "jobs/JobListFile.h"
#include "jobs/QuickAdd.h"
#include "jobs/Workbook.h"
#include "platform/SystemLibrary.h"

namespace ravolen {

// Workbooks first: a spreadsheet program keeps their cells as typed, where it changes a CSV's.
constexpr std::wstring_view JobListOpenFilter =
    L"任务列表 (*.xlsx;*.csv)|*.xlsx;*.csv|任务列表工作簿 (*.xlsx)|*.xlsx|任务列表 CSV (*.csv)|*.csv|"
    L"All Files (*.*)|*.*";
constexpr std::wstring_view JobListSaveFilter = L"任务列表工作簿 (*.xlsx)|*.xlsx|任务列表 CSV (*.csv)|*.csv";

// The largest job list file that is read at all.
constexpr unsigned long long MaxJobListBytes = 64ull << 20;

// Quick add: one row per file chosen, in the dialog's order, the last one selected.
void JobFiles::quickAdd() {
    const std::vector<std::wstring> answer =
        platform_.openFiles({std::wstring(SceneFileDialogTitle), std::wstring(SceneFileFilter),
                             SceneFileFilterIndex, true});
    if (answer.empty()) return;
    const std::wstring folder = table_.shown().unified().folder;
    const std::wstring format = table_.shown().unified().format;
    append(QuickAddCount(answer), [&](std::size_t i) { return QuickAddJob(answer, i, folder, format); });
}

void JobFiles::append(std::vector<RenderJob> added) {
    if (added.empty()) return;
    table_.selection().deselectAll();
    table_.change([&](JobRows& rows) { rows.append(std::move(added)); });
    table_.selection().selectLast();
    SetFocus(list_);
}

void JobFiles::append(std::size_t count, const std::function<RenderJob(std::size_t)>& job) {
    table_.selection().deselectAll();
    table_.change([&](JobRows& rows) {
        rows.append(count, [&](std::size_t i) { return JobRow{job(i), false, nullptr, 0}; });
    });
    table_.selection().selectLast();
    SetFocus(list_);
}

void JobFiles::drop(HDROP drop) {
    std::vector<std::wstring> paths;
    const auto query = SystemFunctionOf<decltype(DragQueryFileW)>(L"shell32.dll", "DragQueryFileW");
    const auto finish = SystemFunctionOf<decltype(DragFinish)>(L"shell32.dll", "DragFinish");
    if (!query || !finish) return;
    const UINT count = query(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(query(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(query(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(std::move(path));
    }
    finish(drop);
    append(jobsOfFiles(paths));
}

std::vector<RenderJob> JobFiles::jobsOfFiles(const std::vector<std::wstring>& paths) {
    const DroppedScenes dropped = SortOutDropped(
        paths, [this](const std::wstring& path) { return platform_.folderEntries(path); });
    std::vector<RenderJob> added;
    const std::wstring folder = table_.shown().unified().folder;
    const std::wstring format = table_.shown().unified().format;
    for (const std::wstring& scene : dropped.scenes) {
        const auto jobs = QuickAddJobs({scene}, folder, format);
        added.insert(added.end(), jobs.begin(), jobs.end());
    }
    // Never a silent loss.
    if (dropped.skipped > 0) {
        platform_.showMessage(L"已跳过" + std::to_wstring(dropped.skipped) + L"个不是Max文件的项目。");
    }
    return added;
}

void JobFiles::openJobList() {
    const std::vector<std::wstring> answer = platform_.openFiles(
        {L"打开任务列表", std::wstring(JobListOpenFilter), 1, false});
    if (answer.size() != 1) return;
    const std::wstring& path = answer.front();
    // Refused before reading: a file that large is no job list, and reading it could exhaust
    // the memory.
    if (const auto size = platform_.fileSize(path); size && *size > MaxJobListBytes) {
        platform_.showMessage(L"任务列表文件太大（超过64MB）：" + path);
        return;
    }
    const std::optional<std::string> bytes = platform_.readFile(path);
    if (!bytes) {
        platform_.showMessage(JobListFaultMessage(path, {1, L"无法打开文件"}));
        return;
    }
    auto opened = OpensAsWorkbook(path, *bytes) ? OpenJobWorkbook(*bytes) : OpenJobList(*bytes);
    if (const auto* fault = std::get_if<JobListFault>(&opened)) {
        platform_.showMessage(JobListFaultMessage(path, *fault));
        return;
    }
    // Rows from a file get no saved entries, as rows added after a tick.
    append(std::move(std::get<std::vector<RenderJob>>(opened)));
}

void JobFiles::saveJobList() {
    table_.commitEdit();
    // The dialog answers the name as typed; the extension typed, else the type chosen, decides.
    const SaveFileChoice choice =
        platform_.chooseSaveFile({L"保存任务列表", std::wstring(JobListSaveFilter)});
    if (choice.path.empty()) return;
    const JobListSaveTarget target = JobListSaveTargetOf(choice.path, choice.filterIndex);
    const std::wstring& path = target.path;
    if (platform_.fileExists(path) && !platform_.ask(L"文件已存在：" + path + L"\n要替换它吗？")) {
        return;
    }
    const std::string bytes = target.workbook ? SaveJobWorkbook(table_.all()) : SaveJobList(table_.all());
    if (!platform_.replaceFile(path, bytes)) {
        platform_.showMessage(L"无法保存任务列表：" + path);
    }
}

}  // namespace ravolen
