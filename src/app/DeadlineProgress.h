#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/FarmDialog.h"
#include "farm/FarmJobs.h"
#include "platform/Platform.h"
#include "jobs/JobTable.h"
#include "win/Form.h"
#include "win/Worker.h"

namespace ravolen {

// Hands the rows to Deadline one after another, in a small window that shows the row being
// submitted, how many are done, and 停止 (its close box alike), which stops after the current
// submission. Each row's job info and plugin info files go to bat\deadline, and one run of
// deadlinecommand.exe takes them, bounded by the settings' time limit; the end is one message with how many
// were accepted and why each other row was refused.
class DeadlineProgress final : public win::Form {
public:
    // `files` holds row k's job files, composed by the render's plan.
    DeadlineProgress(Platform& platform, std::vector<RenderJob> rows,
                     std::vector<DeadlineRowFiles> files, DeadlineChoice choice,
                     std::function<void()> finished)
        : platform_(platform), rows_(std::move(rows)), files_(std::move(files)),
          choice_(std::move(choice)), finished_(std::move(finished)) {}
    // Ends the tool's processes of a row under way, and waits for its thread Worker::StopBound at most.
    ~DeadlineProgress() override;

    // Shows the window in front of `owner` and submits the rows, one per turn of the message loop.
    bool start(HWND owner);
    bool done() const { return done_; }
    // True while rows are still being handed over (not yet at the closing message).
    bool running() const { return hwnd() && !done_; }
    // Ends the tool's processes of the row under way and submits no further row; no message.
    void abandon();
    // A line added to the closing message.
    void addNote(std::wstring note) { note_ = std::move(note); }

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool onCommand(int id, int code) override;

    void submitNext();
    // The tool's answer for the row under way, back on the window's thread.
    void submitted();
    void finish();
    void onStopClicked();

    // What the window and the thread of one row share; the thread keeps it alive for itself.
    struct Turn {
        std::atomic<bool> stop{false};
        std::optional<ProcessOutput> answer;
    };

    static const win::CommandRoute<DeadlineProgress> Commands[];

    Platform& platform_;
    std::vector<RenderJob> rows_;
    std::vector<DeadlineRowFiles> files_;
    DeadlineChoice choice_;
    std::function<void()> finished_;
    std::size_t next_ = 0;
    int accepted_ = 0;
    std::wstring refused_;  // one line per refused row
    std::wstring note_;
    // The tool runs on a thread of its own, so that the window paints and 停止 is heard while
    // Deadline takes its seconds for a row.
    win::Worker worker_;
    std::shared_ptr<Turn> turn_;
    bool stopping_ = false;
    bool done_ = false;
};

}  // namespace ravolen
