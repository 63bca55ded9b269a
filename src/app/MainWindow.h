#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/InstallationsMenu.h"
#include "app/JobFiles.h"
#include "app/JobTableHost.h"
#include "app/JobTableView.h"
#include "app/Nights.h"
#include "app/SessionKeeper.h"
#include "app/TableCommands.h"
#include "document/Commands.h"
#include "document/Document.h"
#include "document/History.h"
#include "jobs/StatusTexts.h"
#include "platform/LocalTime.h"
#include "platform/Platform.h"
#include "win/Form.h"

namespace ravolen {

class JobDialog;
class ResultsDialog;
LocalTime LocalTimeNow();
long long AwakeSeconds();

// The main window: it lays out the controls, routes their commands and shows one document (the
// rows and every setting). Controls write into the document as they change; the features that act
// on it live in files of their own (Nights, TableCommands, JobFiles, InstallationsMenu).
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
    const Document& document() const { return document_; }
    RenderWay renderWay() const { return document_.settings.way; }
    // The one answer for what a command may do now.
    CommandState commandState(Command command) const;
    // The dialogs while they are shown (the Deadline submission while under way), or null.
    FarmDialog* farmDialog() const { return nights_.farmDialog(); }
    DeadlineProgress* deadlineSubmission() const { return nights_.deadlineSubmission(); }
    ResultsDialog* resultsDialog() const;
    NightOptionsDialog* nightOptionsDialog() const { return nights_.nightOptionsDialog(); }
    JobDialog* jobDialog() const;
    // The countdown before a night cut short goes on unasked, while it counts, or null.
    CountdownWindow* countdown() const { return nights_.countdown(); }
    // The night this program follows (or followed last), or null.
    NightFollower* night() const { return nights_.night(); }
    static constexpr unsigned NightInterval = Nights::NightInterval;
    // The clock the nights are measured by; tests set their own before anything starts.
    std::function<LocalTime()> clock = LocalTimeNow;
    // Seconds the computer was awake, for the watchdog's spans: the clock above moves when
    // Windows changes to or from summer time, and on through a night asleep.
    std::function<long long()> awake = AwakeSeconds;
    // Started by Windows after a restart (RestartArgument): a copy that finds the program already
    // running ends without a word.
    bool startedByRestart = false;

    // The longest a change waits before the session is saved, and the session's files.
    static constexpr unsigned SessionDelay = SessionKeeper::SessionDelay;
    std::wstring sessionRowsPath() const { return session_.rowsPath(); }
    std::wstring sessionSettingsPath() const { return session_.settingsPath(); }
    // True once the session writer has nothing posted or under way, waiting at most `bound`.
    bool sessionWritten(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        return session_.written(bound);
    }
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }

    HACCEL accelerators() const override { return shortcuts_.get(); }

private:
    // MainWindow.cpp: the layout, the menu bar, start-up and the window's messages and commands.
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onCommand(int id, int code) override;
    std::optional<LRESULT> onNotify(NMHDR& header) override;
    void onTimer(UINT_PTR id) override;
    void onDpiChanged(int oldDpi) override;
    HMENU createMenu();
    bool onLoad();  // false when the program is to end without showing the window
    void onExit();
    void openJobDialog();
    void editJob();
    void openResults();

    // MainWindowDocument.cpp: controls into the document, the document shown.
    // True when it was a setting's control (a box typed in, a check box clicked).
    bool controlChanged(int id, int code);
    void showSettings();
    // Every command's state where it shows (`menu`: that menu's items only).
    void showCommands(HMENU menu = nullptr);
    CommandFacts commandFacts(bool clipboard) const;
    void showStatus();
    void statusDue();
    // 撤销 or 重做: the document as the step held it, shown.
    void stepBack(bool redo);
    void addJob(const RenderJob& job) override;
    void selectLastJob() override;
    std::vector<RenderJob> jobOutputs() override;
    void tickJobs(const std::vector<bool>& ticked) override;
    void replaceJob(RowId id, const RenderJob& job) override;
    void selectJob(std::size_t position) override;

    // MainWindowSession.cpp: the document and the window's place as the session keeps them.
    SessionSettings sessionSettings() const;
    void restoreSession();
    void placeWindow(const SessionSettings& settings);

    Platform& platform_;
    Document document_;
    History history_{document_};  // 撤销 and 重做
    JobTableView table_;
    std::unique_ptr<JobDialog> jobDialog_;  // created on first use
    std::unique_ptr<ResultsDialog> results_;
    Nights nights_;
    TableCommands tableCommands_;
    JobFiles files_;
    InstallationsMenu installations_;
    UniqueHandle<AcceleratorTraits> shortcuts_;
    std::wstring sessionFilesMessage_;  // shown once the window shows: files damaged or unreadable
    bool statusDue_ = false;            // WmShowStatus posted and not yet handled
    std::optional<StatusTexts> shownStatus_;
    POINT placed_{};                    // the window's last place, when windowPlaced_
    bool windowPlaced_ = false;
    // 渲染结果's and the log window's sizes from the session, until the results window exists.
    SIZE resultsSize_{};
    SIZE logSize_{};
    // Last: its writer stops (with a bound) before anything its writes could read goes.
    SessionKeeper session_;
};

}  // namespace ravolen
