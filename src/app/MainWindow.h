#pragma once

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/JobTableView.h"
#include "app/NightNotice.h"
#include "app/SessionKeeper.h"
#include "farm/FarmJobs.h"
#include "platform/LocalTime.h"
#include "platform/Platform.h"
#include "render/NightGuard.h"
#include "win/Form.h"

namespace ravolen {

// What this header names without needing (the main window's files include them).
class CountdownWindow;
class DeadlineProgress;
class FarmDialog;
class JobDialog;
class NightFollower;
class NightOptionsDialog;
class ResultsDialog;
struct NightView;
struct RenderPlan;
struct RenderRequest;
struct RenderStart;
LocalTime LocalTimeNow();
long long AwakeSeconds();

// The main window: the job table, the settings of the whole run and the command buttons.
class MainWindow final : public win::Form, private JobTableHost {
public:
    explicit MainWindow(Platform& platform);
    ~MainWindow() override;

    enum class Startup {
        Ready,           // created hidden and loaded: show it
        AlreadyRunning,  // another copy runs; the user was told, and this one ends
        Failed,          // Windows refused the window or one of its controls
    };
    Startup create();

    JobTableView& jobs() { return table_; }
    const JobTableView& jobs() const { return table_; }
    RenderWay renderWay() const { return way_; }
    // The farm settings dialog while it is shown, or null.
    FarmDialog* farmDialog() const;
    // The Deadline submission under way, or null.
    DeadlineProgress* deadlineSubmission() const;
    // The results dialog while it exists, or null.
    ResultsDialog* resultsDialog() const;
    // The clock the nights are measured by; tests set their own before anything starts.
    std::function<LocalTime()> clock = LocalTimeNow;
    // Seconds the computer was awake, for the watchdog's spans: the clock above moves when
    // Windows changes to or from summer time, and on through a night asleep.
    std::function<long long()> awake = AwakeSeconds;
    // The 夜间选项 dialog while it is shown, or null.
    NightOptionsDialog* nightOptionsDialog() const;
    // The night this program follows (or followed last), or null.
    NightFollower* night() const { return night_.get(); }
    // The night's timer beats once a second while a render here is followed.
    static constexpr unsigned NightInterval = 1000;
    // The job editor dialog while it exists, or null.
    JobDialog* jobDialog() const;
    // Started by Windows after a restart (RestartArgument): a copy that finds the program already
    // running ends without a word.
    bool startedByRestart = false;
    // The countdown before a night cut short goes on unasked, while it counts, or null.
    CountdownWindow* countdown() const;

    // How often the status labels follow the table.
    static constexpr unsigned StatusInterval = 50;
    // The longest a change waits before the session is saved.
    static constexpr unsigned SessionDelay = SessionKeeper::SessionDelay;
    // The session's files.
    std::wstring sessionRowsPath() const { return session_.rowsPath(); }
    std::wstring sessionSettingsPath() const { return session_.settingsPath(); }
    // True once the session writer has nothing posted or under way, waiting at most `bound`.
    bool sessionWritten(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        return session_.written(bound);
    }
    bool canUndo() const { return table_.canUndo(); }
    bool canRedo() const { return table_.canRedo(); }

    HACCEL accelerators() const override { return shortcuts_.get(); }

private:
    // MainWindow.cpp: the layout, the menu bar, start-up, the window's messages, the settings'
    // buttons and 退  出.
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onCommand(int id, int code) override;
    std::optional<LRESULT> onNotify(NMHDR& header) override;
    void onTimer(UINT_PTR id) override;
    void onDpiChanged(int oldDpi) override;
    HMENU createMenu();
    void listInstallations(HMENU versions);
    // False when the program is to end without showing the window.
    bool onLoad();
    void onPickInstallFolderClicked();
    void onPickUnifiedFolderClicked();
    void onExitClicked();

    // MainWindowTable.cpp: the job table's commands, the unified boxes, the status labels, and
    // the dialogs' way into the table.
    void onAddJobClicked();
    void onRemoveTickedClicked();
    void onClearClicked();
    // 编辑's commands on rows (also the table's context menu and its keys): 撤销 and 重做 go
    // through the table's steps; the clipboard's commands take rows as a spreadsheet holds them.
    void onUndoClicked();
    void onUndoKeyPressed();
    void onRedoClicked();
    void onRedoKeyPressed();
    bool textBoxFocused() const;
    bool copySelected();
    void onCutClicked();
    void onCopyClicked();
    void onPasteClicked();
    void onDeleteClicked();
    void onSelectAllClicked();
    void onDuplicateClicked();
    void onMoveUpClicked();
    void onMoveDownClicked();
    void onMoveFirstClicked();
    void onMoveLastClicked();
    void onEditJobClicked();
    void onTickSelectedClicked();
    void onUntickSelectedClicked();
    void onShowSceneClicked();
    void onOpenOutputFolderClicked();
    bool onTableKey(UINT key);
    bool editCommandApplies(int command) const;
    void greyEditCommands(HMENU menu) const;
    void showTableMenu(POINT screen);
    // 撤销 and 重做 greyed or not as the table's steps stand, after every change.
    void showHistory();
    std::function<void()> unifiedBoxesNow();
    void onUnifiedFolderTicked();
    void onUnifiedFormatTicked();
    void onUnifiedFolderChanged();
    void onUnifiedFormatChanged();
    // 编辑 › 显示帧、场景状态和渲染预设列, and its check mark following the table.
    void onOptionalColumnsClicked();
    void showOptionalColumnsChoice();
    void onStatusTimer();
    void addJob(const RenderJob& job) override;
    void selectLastJob() override;
    std::vector<RenderJob> jobOutputs() override;
    void tickJobs(const std::vector<bool>& ticked) override;
    void replaceJob(RowId id, const RenderJob& job) override;
    void selectJob(std::size_t position) override;

    // MainWindowFiles.cpp: rows from files (快速添加, drops, job lists) and job lists saved.
    void onQuickAddClicked();
    void onOpenJobListClicked();
    void onSaveJobListClicked();
    // Appends rows as every add path does: the selection on the last one, the focus on the table.
    void appendJobs(std::vector<RenderJob> added);
    // Rows made one at a time as they go in.
    void appendJobs(std::size_t count, const std::function<RenderJob(std::size_t)>& job);
    // Files dropped from Explorer: scenes added as quick add adds them, folders opened one level.
    void dropFiles(HDROP drop);
    // The rows files dropped or pasted make: scenes as quick add adds them, folders opened one
    // level; what is not a scene is counted and told.
    std::vector<RenderJob> jobsOfFiles(const std::vector<std::wstring>& paths);

    // MainWindowRender.cpp: 渲  染 by every way, the farm dialogs, cancelling, the results.
    void onRenderClicked();
    void onCancelShutdownClicked();
    void onCancelRenderClicked();
    void onResultsClicked();
    void chooseInstallation(int index);
    void onRenderHereClicked();
    void onDeadlineClicked();
    void onBackburnerClicked();
    void openFarmDialog(RenderWay way);
    void showRenderWay();
    // 渲  染 on Deadline: the plan's refusal or question, then the submission window.
    void submitToDeadline(const RenderRequest& request, const RenderPlan& plan);

    // MainWindowNight.cpp: the night, followed from a render started here or joined when the
    // program starts while one runs; the results dialog is refreshed on the night's timer.
    void followNight(const RenderRequest& request, const RenderStart& started);
    void joinNight();
    void onNightTimer();
    NightView nightView();
    void onNightOptionsClicked();
    // 重新渲染未完成的任务: a night of the table's rows at these positions, after asking.
    void renderRows(const std::vector<std::size_t>& positions);
    // 渲  染's way from a request on: the plan, its question, the start and the night.
    void startRender(RenderRequest& request);

    // MainWindowRestart.cpp: a night cut short (a restart, a power cut) offered again once at
    // start-up, from the plan each night keeps beside its record.
    // The newest night's script, still running outside any render job, taken to be followed.
    bool adoptNightScript();
    void offerCutShortNight();
    void continueNight(const std::vector<std::size_t>& positions, bool shutdown);

    // MainWindowSession.cpp: the constructor and the session (SessionKeeper saves and reads it):
    // what the window holds of it, and a change.
    void sessionChanged() { session_.changed(); }
    SessionSettings sessionSettings() const;
    void restoreSession();
    void applySessionSettings(const SessionSettings& settings);

    static const win::CommandRoute<MainWindow> Commands[];

    Platform& platform_;
    JobRows rows_;  // the job table's rows, which table_ shows
    JobTableView table_;
    bool restoringBoxes_ = false;  // 撤销 puts the unified boxes back: their changes are not new ones
    std::wstring appliedFormat_;  // the format the output names carry while the unified format box is ticked
    std::unique_ptr<JobDialog> jobDialog_;  // created on first use
    std::unique_ptr<ResultsDialog> results_;
    std::unique_ptr<NightFollower> night_;
    bool nightShutsDown_ = false;  // the followed night's script ends in a shutdown
    NightNotice notice_;           // the morning's, from the night that ended without a shutdown
    NightOptions nightOptions_;    // 夜间选项, kept in the session
    std::unique_ptr<NightOptionsDialog> nightOptionsDialog_;
    std::unique_ptr<CountdownWindow> countdown_;
    UINT taskbarButtonCreated_ = 0;  // the message Explorer sends when it made the button anew
    RenderWay way_ = RenderWay::Local;  // every start renders here
    DeadlineChoice deadline_{DefaultDeadlineCommand(platform_.deadlineFolder()), {}};
    BackburnerSettings backburner_;
    std::unique_ptr<FarmDialog> farmDialog_;
    std::unique_ptr<DeadlineProgress> submission_;
    std::vector<MaxInstallation> installations_;  // as the 3dsMax版本 menu lists them
    UniqueHandle<AcceleratorTraits> shortcuts_;
    std::wstring sessionFilesMessage_;  // shown once the window shows: files damaged or unreadable
    int windowLeft_ = 0;
    int windowTop_ = 0;
    // 渲染结果's and the log window's sizes from the session, until the results window exists.
    SIZE resultsSize_{};
    SIZE logSize_{};
    bool windowPlaced_ = false;
    // Last: its writer stops (with a bound) before anything its writes could read goes.
    SessionKeeper session_;
};

}  // namespace ravolen
