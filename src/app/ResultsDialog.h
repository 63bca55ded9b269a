#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "app/JobTableView.h"
#include "jobs/Results.h"
#include "platform/Platform.h"
#include "win/Form.h"

namespace ravolen {

// 渲染结果: every row of the job table with its expected output and whether it is on disk. The
// disk is read when the dialog opens and on 刷新; 勾选已完成 ticks exactly the rows whose output
// exists, so that "-" then leaves the unfinished ones.
class ResultsDialog final : public win::Form {
public:
    ResultsDialog(Platform& platform, JobTableHost& table) : platform_(platform), table_(table) {}
    ~ResultsDialog() override { destroyWindow(); }

    // Creates the dialog over `owner`, reads the disk and shows it; false when Windows refused.
    bool create(HWND owner);
    // Reads the disk again and shows the dialog in front.
    void show();

private:
    bool onCommand(int id, int code) override;

    void onRefreshClicked();
    // Lists the rows with what was found of them.
    void showResults(const std::vector<RenderJob>& rows, const std::vector<RenderResult>& results);
    void onTickFinishedClicked();
    void onCloseClicked();

    static const win::CommandRoute<ResultsDialog> Commands[];

    Platform& platform_;
    JobTableHost& table_;
};

}  // namespace ravolen
