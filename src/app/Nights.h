#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/NightNotice.h"
#include "document/Document.h"
#include "platform/LocalTime.h"
#include "platform/Platform.h"

namespace ravolen {

class CountdownWindow;
class DeadlineProgress;
class FarmDialog;
class NightFollower;
class NightOptionsDialog;
struct NightView;
struct RenderPlan;

// The nights the main window starts, follows and offers again: 渲  染 by every way, the farm and
// night options dialogs, the night followed here or joined at start-up, 取消关机 and 取消渲染, and a
// night Windows cut short offered once at the next start. It reads the rows and settings from the
// document and keeps the render latch there; the window only routes to it.
class Nights {
public:
    // What the nights tell the window.
    struct Host {
        std::function<void()> commandsChanged;  // the latch or the way changed
        std::function<void()> settingsChanged;  // a dialog or a continued night changed settings
        std::function<void()> showResults;      // the morning's notice was clicked
        std::function<void(bool changed)> beat;  // the night's timer beat (changed: rows' states)
        std::function<void()> settle;  // an open cell edit written into the rows before they are read
    };
    Nights(Platform& platform, Document& document, const std::function<LocalTime()>& clock,
           const std::function<long long()>& awake, Host host);
    ~Nights();
    Nights(const Nights&) = delete;
    Nights& operator=(const Nights&) = delete;

    // The window's; joins a night under way (after the session put the rows back), else offers
    // a night cut short once the window shows.
    void attach(HWND window);
    void join();
    // Lets go of every window and the night (the render goes on).
    void close();

    void render();
    // 重新渲染未完成的任务: a night of the table's rows at these positions, after asking.
    void renderRows(const std::vector<std::size_t>& positions);
    void cancelShutdown();
    void cancelRender();
    void openFarmDialog(RenderWay way);
    void openNightOptions();
    // The night's messages (its timer, the notice, Windows' session end and power, Explorer's
    // taskbar): an answer when the message was the night's alone.
    std::optional<LRESULT> onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void beat();
    NightView view();
    // False while a Deadline submission runs; asks first.
    bool mayExit();

    NightFollower* night() const { return night_.get(); }
    FarmDialog* farmDialog() const;
    DeadlineProgress* deadlineSubmission() const;
    NightOptionsDialog* nightOptionsDialog() const;
    CountdownWindow* countdown() const;

    static constexpr unsigned NightInterval = 1000;

private:
    bool nightRuns() const;
    void start(RenderRequest& request);
    void submitToDeadline(const RenderRequest& request, const RenderPlan& plan);
    void follow(const RenderRequest& request, const std::wstring& scriptFolder,
                const std::wstring& recordPath, const std::wstring& logPath);
    void followFrom(std::unique_ptr<NightFollower> night);
    bool adoptNightScript();
    void offerCutShortNight();
    void continueNight(const std::vector<std::size_t>& positions, bool shutdown);

    Platform& platform_;
    Document& document_;
    const std::function<LocalTime()>& clock_;
    const std::function<long long()>& awake_;
    Host host_;
    HWND window_ = nullptr;
    std::unique_ptr<NightFollower> night_;
    NightNotice notice_;  // the morning's, from the night that ended without a shutdown
    UINT taskbarButtonCreated_ = 0;  // the message Explorer sends when it made the button anew
    std::unique_ptr<FarmDialog> farmDialog_;
    std::unique_ptr<DeadlineProgress> submission_;
    std::unique_ptr<NightOptionsDialog> nightOptionsDialog_;
    std::unique_ptr<CountdownWindow> countdown_;
};

}  // namespace ravolen
