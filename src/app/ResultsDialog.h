#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/JobTableHost.h"
#include "app/LogWindow.h"
#include "app/NightFollower.h"
#include "jobs/Results.h"
#include "platform/Platform.h"
#include "win/CellTips.h"
#include "win/Form.h"
#include "win/ListStripes.h"
#include "win/Subclass.h"

namespace ravolen {

// How a row of the results stands out.
enum class RowLook { Plain, Failed, Running };

// 渲染结果: every row of the job table with its expected output and whether it is on disk, and
// what the night says of it: the night this program follows, live, or the last night's record.
// The table and the disk are read when the dialog opens and on 刷新; 勾选已完成 ticks exactly the
// rows whose output exists, so that "-" then leaves the unfinished ones.
class ResultsDialog final : public win::Form {
public:
    // What the dialog is told of the night, asked each time it shows it.
    using NightSource = std::function<NightView()>;
    // Starts a night of the table's rows at these positions (from 0), after asking.
    using RenderRows = std::function<void(const std::vector<std::size_t>&)>;

    // The sizes the artist gave the results and the log window (client areas in twips; {0, 0}
    // as designed), kept from one run to the next.
    struct Sizes {
        SIZE results{};
        SIZE log{};
    };

    ResultsDialog(Platform& platform, JobTableHost& table, NightSource night = {},
                  RenderRows renderRows = {})
        : platform_(platform), table_(table), night_(std::move(night)),
          renderRows_(std::move(renderRows)) {}
    ~ResultsDialog() override;

    // Creates the dialog over `owner`, reads the disk and shows it; false when Windows refused.
    bool create(HWND owner);
    // Reads the disk again and shows the dialog in front.
    void show();
    // Once a second while a night is followed: the night's states again, rewriting only the cells
    // that changed. The disk is read again only when `rowEnded`; the table is not read at all
    // (an edit under way in it stays undisturbed). The log window follows its file.
    void refreshNight(bool rowEnded);

    // The sizes to open the windows at, before create; and the sizes they have now.
    void restoreSizes(const Sizes& sizes) { sizes_ = sizes; }
    Sizes sizes() const;

    // The log window while it exists, or null.
    LogWindow* logWindow() const { return log_ && log_->hwnd() ? log_.get() : nullptr; }

private:
    static constexpr std::size_t ColumnCount = 5;
    using RowTexts = std::array<std::wstring, ColumnCount>;

    void onResized() override;
    void onDpiChanged(int oldDpi) override;
    void fitColumns();
    // Failed rows in red, the running row in bold.
    LRESULT drawList(NMLVCUSTOMDRAW& draw);
    RowLook lookOf(std::size_t row) const { return row < looks_.size() ? looks_[row] : RowLook::Plain; }
    // The font a row is drawn in, and its paths measured in.
    HFONT rowFont(std::size_t row) { return font({0, lookOf(row) == RowLook::Running}); }

    bool onCommand(int id, int code) override;
    std::optional<LRESULT> onNotify(NMHDR& header) override;
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The row from `start` on (wrapping) whose scene begins with what was typed in the list.
    int findRow(const NMLVFINDITEMW& find) const;

    void onRefreshClicked();
    // Reads the table's rows and their outputs on disk.
    void readRows();
    // Shows the rows with what was found of them and what the night says.
    void showResults();
    void onTickFinishedClicked();
    void onLogClicked();
    // 重新渲染未完成的任务: the rows that did not finish, as the state column says.
    void onRenderUnfinishedClicked();
    void onCloseClicked();
    // Double-click or Enter on a row: its image, when it has one, in the viewer Windows has for it.
    void openImage(int row);
    // The context menu of the selected row, at `at` (screen) or below the row when `at` is -1.
    void showRowMenu(LPARAM at);

    static const win::CommandRoute<ResultsDialog> Commands[];

    Platform& platform_;
    JobTableHost& table_;
    NightSource night_;
    RenderRows renderRows_;
    std::vector<RenderJob> rows_;
    std::vector<RenderResult> results_;
    // What the list shows, row by row: it holds no texts of its own and asks for them as it
    // paints, so that ten thousand rows cost no more to show than the few in view.
    std::vector<RowTexts> shown_;
    std::vector<RowLook> looks_;  // entry k for shown_[k]
    win::PathCells paths_{0b11};   // Max文件 and 输出文件
    std::wstring logPath_;
    std::unique_ptr<LogWindow> log_;
    win::CellTips tips_;      // before the subclass that relays to it, so it goes after it
    win::Subclass listKeys_;  // Enter on a row reaches the list rather than the close button
    Sizes sizes_;
    bool created_ = false;
};

}  // namespace ravolen
