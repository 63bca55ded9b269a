#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/JobTableView.h"
#include "platform/Platform.h"

namespace ravolen {

// 编辑's commands on rows, which the table's context menu and its keys share: 撤销 and 重做 through
// the document's steps, the clipboard's commands taking rows as a spreadsheet holds them, and the
// commands on the selected rows. Whether one applies is the window's one answer (`applies`).
class TableCommands {
public:
    struct Host {
        std::function<bool(int command)> applies;
        std::function<void(HMENU menu)> showCommands;  // greys a menu's items as `applies` says
        std::function<void()> editJob;                  // the job editor on the current row
        std::function<void(bool redo)> stepBack;        // 撤销 or 重做
        // The rows files pasted from Explorer make, as their drop makes them.
        std::function<std::vector<RenderJob>(const std::vector<std::wstring>& paths)> jobsOfFiles;
    };
    TableCommands(Platform& platform, JobTableView& table, Host host)
        : platform_(platform), table_(table), host_(std::move(host)) {}

    void attach(HWND window) { window_ = window; }
    // A command of 编辑 by its menu id (`code` 1: from its shortcut key); false for any other id.
    bool run(int id, int code);
    // The keys of 编辑's commands while the table has the focus: true when taken.
    bool onKey(UINT key);
    void showMenu(POINT screen);

private:
    bool textBoxFocused() const;
    bool copySelected();
    void paste();
    void removeSelected();
    void duplicateSelected();
    void insertAfterSelection(std::vector<RenderJob> jobs);
    void showScene();
    void openOutputFolder();

    Platform& platform_;
    JobTableView& table_;
    Host host_;
    HWND window_ = nullptr;
};

}  // namespace ravolen
