#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/JobRows.h"
#include "platform/Platform.h"
#include "session/BackgroundWriter.h"
#include "session/Session.h"

namespace ravolen {

// The session: the table and the settings saved within a moment of a change, composed and written
// on a thread of their own, and put back at the next start. A file that could not be read or kept
// is never written over; a save that fails is told once, until one succeeds again.
class SessionKeeper {
public:
    // What the keeper asks of the window, on the window's thread.
    struct Sources {
        std::function<JobRowsSnapshot()> rows;
        std::function<SessionSettings()> settings;
        std::function<void()> settle;     // before a save after a change: a finished cell edit goes in
        std::function<void()> settleNow;  // before a save that cannot wait: any open cell edit goes in
    };
    // What the last run left, read at start-up.
    struct Restored {
        SessionSettings settings;
        std::vector<RenderJob> rows;
        std::wstring message;  // about damaged or unreadable files; empty when there is none
    };

    SessionKeeper(Platform& platform, Sources sources);
    SessionKeeper(const SessionKeeper&) = delete;
    SessionKeeper& operator=(const SessionKeeper&) = delete;

    // The window the timer and the failure message go to (`IdTimerSession`, WmSessionSaveFailed);
    // null once it goes, after the last save.
    void attach(HWND window);
    // Reads both files over the window's defaults; from then on every change is saved, unless a
    // file could not be read or kept.
    Restored restore(const SessionSettings& defaults);

    // Something the session holds changed: saved SessionDelay later, with every change made
    // meanwhile. The timer calls saveDue.
    void changed();
    void saveDue();
    // Saved now, on this thread, within the writer's bound: before the program or Windows ends.
    void saveNow();
    // After the last save: nothing more is saved.
    void stop();
    // A save could not write a file: told once until one succeeds again.
    void onSaveFailed();

    std::wstring rowsPath() const { return platform_.userDataFolder() + L"\\session.csv"; }
    std::wstring settingsPath() const { return platform_.userDataFolder() + L"\\settings.ini"; }
    // True once the writer has nothing posted or under way, waiting at most `bound`.
    bool written(std::chrono::milliseconds bound) { return writer_.idle(bound); }

    // The longest a change waits before the session is saved.
    static constexpr unsigned SessionDelay = 500;

private:
    BackgroundWriter::Compose snapshot();

    // The file a save could not write, from the writer's thread to the window.
    struct SaveFailure {
        std::mutex lock;
        HWND window = nullptr;
        std::wstring path;
        void report(const std::wstring& failed);
        std::wstring take();
    };

    Platform& platform_;
    Sources sources_;
    HWND window_ = nullptr;
    bool ready_ = false;  // restored: from now on the table is saved
    bool due_ = false;    // a change waits for the timer
    bool failureTold_ = false;
    std::shared_ptr<SaveFailure> failure_ = std::make_shared<SaveFailure>();
    // Last: it stops (with a bound) before anything its writes could read goes.
    BackgroundWriter writer_;
};

}  // namespace ravolen
