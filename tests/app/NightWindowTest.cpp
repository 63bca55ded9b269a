#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/LogWindow.h"
#include "app/MainWindowFixture.h"
#include "app/MainWindowIds.h"
#include "app/NightOptionsDialog.h"
#include "app/ResultsDialog.h"
#include "jobs/JobListFile.h"
#include "render/NightGuard.h"
#include "render/NightPlan.h"
#include "render/NightRecord.h"
#include "render/RenderScript.h"
#include "session/Session.h"
#include "support/Fixtures.h"
#include "win/Controls.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using test::Click;
using Kind = RenderJobEvent::Kind;
using State = TaskbarProgress::State;

const std::wstring Install = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
const std::wstring Renderer = Install + L"\\3dsmaxcmd.exe";
const std::wstring Cmd = L"C:\\windows\\system32\\cmd.exe";
const std::wstring Logs = L"C:\\Tools\\Ravolen\\bat\\logs";
const std::wstring RecordPath = Logs + L"\\20261207-230000.csv";
const std::wstring LogPath = Logs + L"\\20261207-230000.log";

LocalTime At(int hour, int minute, int second) { return {2026, 12, 7, hour, minute, second}; }
LocalTime Next(int hour, int minute, int second) { return {2026, 12, 8, hour, minute, second}; }
// The moment `seconds` after `time`, within the month.
LocalTime Later(LocalTime time, long long seconds) {
    const long long of = time.hour * 3600LL + time.minute * 60 + time.second + seconds;
    time.day += static_cast<int>(of / 86400);
    time.hour = static_cast<int>(of % 86400 / 3600);
    time.minute = static_cast<int>(of % 3600 / 60);
    time.second = static_cast<int>(of % 60);
    return time;
}
constexpr unsigned long long Second = 10'000'000;  // of processor time, in 100 ns
using Ended = std::vector<std::pair<unsigned long, unsigned>>;

RenderJob Row(const std::wstring& name) {
    return {L"E:\\" + name + L".max", L"默认", L"F:\\out", name + L".tga", L"默认", L"默认"};
}

std::string Utf16(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

class NightWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        form.clock = [this] { return now; };
        form.awake = [this] { return awake(); };
    }
    // The seconds the computer was awake: the clock's, less the hours it was put forward and the
    // time it slept.
    long long awake() const { return SecondsBetween(At(0, 0, 0), now) - putForward - asleep; }

    void fourRows() {
        for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) form.jobs().append(Row(name));
    }
    void started(unsigned long pid, const std::wstring& image, LocalTime at) {
        platform.jobEvents.push_back({Kind::Started, pid, image, L"", false, 0, at});
    }
    void exited(unsigned long pid, std::int32_t code, LocalTime at) {
        platform.jobEvents.push_back({Kind::Exited, pid, L"", L"", false, code, at});
    }
    void noneLeft(LocalTime at) { platform.jobEvents.push_back({Kind::NoneLeft, 0, L"", L"", false, 0, at}); }
    void output(const std::wstring& name) {
        platform.folderContents[L"F:\\out"].push_back({name, false, 2048, 0});
    }
    // One beat of the night's timer, at `at` on the clock.
    void tick(LocalTime at) {
        now = at;
        SendMessageW(form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
        test::PumpMessages();
    }
    // Beats once a minute on to `at`, as often as the watchdog needs to see no break; the renderer
    // `working`, when given, uses a whole processor all along.
    void tickUntil(LocalTime at, unsigned long working = 0) {
        do {
            const LocalTime next = std::min(Later(now, 60), at);
            if (working != 0) work(working);
            tick(next);
        } while (now < at);
    }
    void work(unsigned long renderer) {
        std::vector<ProcessTime>& times = platform.treeTimes[renderer];
        if (times.empty()) times.push_back({renderer});
        times[0].time += 60 * Second;
    }
    void render() {
        now = At(23, 0, 0);
        Click(control(L"renderButton"));
    }
    ResultsDialog* openResults() { return OpenResults(form); }
    static ResultsDialog* OpenResults(MainWindow& window) {
        ChooseMenuItem(window.hwnd(), L"渲染结果(V)…");
        return window.resultsDialog();
    }
    NightOptionsDialog* openOptions() {
        ChooseMenuItem(form.hwnd(), L"夜间选项(N)…");
        return form.nightOptionsDialog();
    }
    static constexpr const wchar_t* OptionFields[] = {L"Hung", L"LongestHours", L"LongestMinutes", L"Retries"};
    // 夜间选项 as the artist sets them: the dialog's fields in turn, then 确定.
    void chooseOptions(const std::vector<std::wstring>& texts) {
        NightOptionsDialog* dialog = openOptions();
        ASSERT_NE(dialog, nullptr);
        setOptions(dialog, texts);
        Click(dialog->control(L"Ok"));
    }
    static std::vector<std::wstring> OptionTexts(NightOptionsDialog* dialog) {
        std::vector<std::wstring> texts;
        for (const wchar_t* field : OptionFields) texts.push_back(win::WindowText(dialog->control(field)));
        return texts;
    }
    static void setOptions(NightOptionsDialog* dialog, const std::vector<std::wstring>& texts) {
        for (std::size_t i = 0; i < texts.size(); ++i) win::SetText(dialog->control(OptionFields[i]), texts[i]);
    }
    static std::vector<std::wstring> States(ResultsDialog* results) {
        return win::ListView(results->control(L"List")).column(3);
    }
    static std::wstring Summary(ResultsDialog* results) {
        return win::WindowText(results->control(L"Summary"));
    }
    // How each row is drawn: in red, and in bold, as the list's custom draw is answered.
    static std::vector<std::pair<bool, bool>> Looks(ResultsDialog* results) {
        const HWND list = results->control(L"List");
        const HDC dc = CreateCompatibleDC(nullptr);
        const HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
        std::vector<std::pair<bool, bool>> looks;
        for (int row = 0; row < ListView_GetItemCount(list); ++row) {
            NMLVCUSTOMDRAW draw{};
            draw.nmcd.hdr = {list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), static_cast<UINT>(NM_CUSTOMDRAW)};
            draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
            draw.nmcd.hdc = dc;
            draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
            draw.clrText = CLR_DEFAULT;
            SendMessageW(results->hwnd(), WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
            LOGFONTW face{};
            GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof face, &face);
            looks.emplace_back(draw.clrText == RGB(192, 0, 0), face.lfWeight >= FW_BOLD);
        }
        SelectObject(dc, original);  // the window's font is not left in the DC
        DeleteDC(dc);
        return looks;
    }
    std::string record() {
        const auto found = platform.files.find(RecordPath);
        return found == platform.files.end() ? std::string() : found->second;
    }
    int callsOf(const std::wstring& call) const {
        return static_cast<int>(std::count(platform.calls.begin(), platform.calls.end(), call));
    }
    // Every read of the file since the calls were last cleared, whichever way.
    std::vector<std::wstring> readsOf(const std::wstring& path) const {
        std::vector<std::wstring> reads;
        for (const std::wstring& call : platform.calls) {
            if (call.starts_with(L"read") && call.find(path) != std::wstring::npos) reads.push_back(call);
        }
        return reads;
    }

    LocalTime now = At(23, 0, 0);
    long long putForward = 0;
    long long asleep = 0;
};

using Texts = std::vector<std::wstring>;

TEST_F(NightWindowTest, TheNightIsFollowedRowByRowIntoTheRecordTheDialogAndTheTaskbar) {
    fourRows();
    render();
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    EXPECT_EQ(platform.startedInJob[0].outputFile, LogPath);  // the renderer's own words
    EXPECT_EQ(record(), RecordHeaderBytes());
    EXPECT_TRUE(platform.following);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, RenderStartedMessage);

    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"等待", L"等待", L"等待", L"等待"}));

    started(100, Cmd, At(23, 0, 0));  // the script's cmd is no row
    started(101, Renderer, At(23, 0, 5));
    tick(At(23, 0, 10));
    EXPECT_EQ(States(results), (Texts{L"渲染中（已用时 0:00:05）", L"等待", L"等待", L"等待"}));
    EXPECT_EQ(Summary(results), L"第1个，共4个 · 已用时 0:00:10 · 失败0个");

    output(L"a.tga");
    exited(101, 0, At(23, 10, 0));
    started(102, Renderer, At(23, 10, 1));
    tick(At(23, 10, 2));
    // Each row's line is on the disk as the row ends.
    EXPECT_EQ(record(), RecordHeaderBytes() +
                            "1,E:\\a.max,2026-12-07 23:00:05,2026-12-07 23:10:00,0:09:55,0,F:\\out\\a.tga,\r\n");
    exited(102, 3, At(23, 20, 0));
    started(103, Renderer, At(23, 20, 1));
    tick(At(23, 20, 31));
    EXPECT_EQ(States(results),
              (Texts{L"已完成", L"失败（退出码 3）", L"渲染中（已用时 0:00:30）", L"等待"}));
    EXPECT_EQ(Summary(results), L"第3个，共4个 · 已用时 0:20:31 · 失败1个");
    // The failed row in red, the running one in bold.
    EXPECT_EQ(Looks(results), (std::vector<std::pair<bool, bool>>{{false, false}, {true, false},
                                                                   {false, true}, {false, false}}));
    const win::ListView list(results->control(L"List"));
    EXPECT_EQ(list.cell(1, 4), L"2.0 KB");  // size and time from the disk, as without a night
    EXPECT_EQ(list.cell(2, 4), L"");

    exited(103, 0, At(23, 30, 0));  // and no c.tga
    started(104, Renderer, At(23, 30, 1));
    tick(At(23, 30, 2));
    output(L"d.tga");
    exited(104, 0, At(23, 40, 0));
    exited(100, 0, At(23, 40, 0));
    tick(At(23, 40, 1));
    noneLeft(At(23, 40, 1));
    tick(At(23, 45, 0));

    EXPECT_EQ(States(results), (Texts{L"已完成", L"失败（退出码 3）", L"没有输出", L"已完成"}));
    EXPECT_EQ(Summary(results), L"第4个，共4个 · 已用时 0:40:01 · 失败1个");
    EXPECT_EQ(record(),
              RecordHeaderBytes() +
                  "1,E:\\a.max,2026-12-07 23:00:05,2026-12-07 23:10:00,0:09:55,0,F:\\out\\a.tga,\r\n"
                  "2,E:\\b.max,2026-12-07 23:10:01,2026-12-07 23:20:00,0:09:59,3,,\r\n"
                  "3,E:\\c.max,2026-12-07 23:20:01,2026-12-07 23:30:00,0:09:59,0,,\r\n"
                  "4,E:\\d.max,2026-12-07 23:30:01,2026-12-07 23:40:00,0:09:59,0,F:\\out\\d.tga,\r\n");
    EXPECT_EQ(callsOf(L"appendFile " + RecordPath), 4);

    const HWND window = form.hwnd();
    using Shown = std::vector<std::pair<HWND__*, TaskbarProgress>>;
    EXPECT_EQ(platform.taskbar, (Shown{{window, {State::Normal, 0, 4}},
                                       {window, {State::Normal, 1, 4}},
                                       {window, {State::Error, 2, 4}},
                                       {window, {State::Error, 3, 4}},
                                       {window, {State::Error, 4, 4}},
                                       {window, {State::None, 0, 0}}}));
    EXPECT_FALSE(platform.following);

    // Explorer made the taskbar button anew: the progress shows again.
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
    ASSERT_EQ(platform.taskbar.size(), 7u);
    EXPECT_EQ(platform.taskbar.back().second, (TaskbarProgress{State::None, 0, 0}));
    // The night is over: later beats take nothing.
    exited(999, 1, At(23, 50, 0));
    tick(At(23, 50, 0));
    EXPECT_EQ(platform.jobEvents.size(), 1u);
}

TEST_F(NightWindowTest, CancellingMarksTheRowUnderWayCancelledAndStopsFollowing) {
    fourRows();
    render();
    for (unsigned long pid = 101; pid <= 103; ++pid) {
        const int minute = static_cast<int>(pid - 101) * 10;
        started(pid, Renderer, At(23, minute, 1));
        output(std::wstring(1, static_cast<wchar_t>(L'a' + (pid - 101))) + L".tga");
        exited(pid, 0, At(23, minute + 9, 0));
    }
    started(104, Renderer, At(23, 30, 1));
    tick(At(23, 30, 2));
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"已完成", L"已完成", L"已完成", L"渲染中（已用时 0:00:01）"}));

    platform.jobEnd = RenderJobEnd::Ended;
    platform.calls.clear();
    now = At(23, 35, 0);
    Click(control(L"cancelRenderButton"));
    const std::wstring planPath = Logs + L"\\20261207-230000.plan";  // never offered again
    EXPECT_EQ(platform.calls, (Texts{L"endRenderJob", L"appendFile " + RecordPath,
                                     L"stopFollowingRenderJob", L"appendFile " + planPath}));
    EXPECT_EQ(States(results), (Texts{L"已完成", L"已完成", L"已完成", L"已取消"}));
    EXPECT_EQ(Summary(results), L"第4个，共4个 · 已用时 0:35:00 · 失败0个 · 已取消");
    EXPECT_EQ(Looks(results).back(), std::make_pair(true, false));
    EXPECT_TRUE(record().ends_with("4,E:\\d.max,2026-12-07 23:30:01,2026-12-07 23:35:00,0:04:59,,,\r\n"));
    EXPECT_EQ(platform.taskbar.back().second, (TaskbarProgress{State::None, 0, 0}));
    EXPECT_FALSE(platform.following);
    EXPECT_FALSE(platform.holding);

    // The renderer's end by the cancel changes nothing afterwards.
    exited(104, 1, At(23, 35, 1));
    tick(At(23, 36, 0));
    EXPECT_EQ(States(results), (Texts{L"已完成", L"已完成", L"已完成", L"已取消"}));
    EXPECT_EQ(callsOf(L"appendFile " + RecordPath), 1);
}

// Once the script has ended, 渲  染 may start the next night, unless the night was to end in a
// shutdown: then it waits for 取消关机 as before.
TEST_F(NightWindowTest, RenderIsOfferedAgainWhenTheNightEndsWithoutAShutdown) {
    fourRows();
    const HWND button = control(L"renderButton");
    for (const bool shutdown : {false, true}) {
        SCOPED_TRACE(shutdown ? "shutdown ticked" : "shutdown unticked");
        if (win::IsChecked(control(L"shutdownCheck")) != shutdown) test::Click(control(L"shutdownCheck"));
        render();
        ASSERT_TRUE(platform.following);
        EXPECT_FALSE(IsWindowEnabled(button));
        EXPECT_EQ(platform.holding, ScriptPath);
        started(100, Cmd, At(23, 0, 0));
        started(101, Renderer, At(23, 0, 1));
        output(L"a.tga");
        exited(101, 0, At(23, 10, 0));
        tick(At(23, 10, 1));
        EXPECT_FALSE(IsWindowEnabled(button)) << "the script goes on";
        exited(100, 0, At(23, 10, 2));
        noneLeft(At(23, 10, 2));
        tick(At(23, 10, 3));
        EXPECT_FALSE(platform.following);
        EXPECT_FALSE(platform.holding) << "the next night, of any copy, may write the script";
        EXPECT_EQ(IsWindowEnabled(button) != FALSE, !shutdown);
        // The morning's first look: a notification and the taskbar button flashing, unless the
        // machine is going down (how long it stays: the next test).
        if (!shutdown) {
            ASSERT_EQ(platform.notifications.size(), 1u);
            EXPECT_EQ(platform.notifications[0].window, form.hwnd());
            EXPECT_EQ(platform.notifications[0].balloon, L"渲染完成：4个任务，1个已完成，3个失败");
            EXPECT_EQ(platform.flashes, std::vector<HWND__*>{form.hwnd()});
            EXPECT_EQ(form.resultsDialog(), nullptr);
        } else {
            EXPECT_EQ(platform.notifications.size(), 1u) << "nothing more with a shutdown";
            EXPECT_EQ(platform.flashes.size(), 1u);
        }
        // The box ticked afterwards changes nothing of the night that ended.
        Click(control(L"shutdownCheck"));
        tick(At(23, 10, 4));
        EXPECT_EQ(IsWindowEnabled(button) != FALSE, !shutdown);
    }
    Click(control(L"cancelShutdownButton"));
    EXPECT_TRUE(IsWindowEnabled(button));
}

// The morning's notice stays until the artist is there: a balloon timed out (a toast gone in
// seconds, or kept in the notification centre with its icon) leaves the icon with the summary in
// its tip, and Explorer started again has it added anew, without a balloon. A click on the icon
// or its balloon (opening 渲染结果) or the window activated takes it away, for good.
TEST_F(NightWindowTest, TheMorningNoticeStaysUntilItIsClickedOrTheWindowActivated) {
    fourRows();
    SendMessageW(control(L"shutdownCheck"), BM_SETCHECK, BST_UNCHECKED, 0);
    const HWND window = form.hwnd();
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    const std::wstring summary = L"渲染完成：4个任务，1个已完成，3个失败";
    const auto activate = [&](WPARAM state) {
        SendMessageW(window, WM_ACTIVATE, state, 0);
        test::PumpMessages();
    };
    const auto shellSays = [&](UINT event) {
        PostMessageW(window, mainwindow::WmNightNotice, 0, MAKELPARAM(event, 1));
        test::PumpMessages();
    };
    // Before any night ends there is nothing to take away or add again.
    activate(WA_ACTIVE);
    SendMessageW(window, taskbarCreated, 0, 0);
    EXPECT_TRUE(platform.notifications.empty());
    EXPECT_EQ(platform.notificationsRemoved, 0);

    struct Way {
        const char* name;
        UINT event;  // from the shell; 0: the window activated instead
        bool opensResults;
    };
    for (const Way& way : {Way{"balloon clicked", NIN_BALLOONUSERCLICK, true},
                           Way{"icon clicked", NIN_SELECT, true},
                           Way{"icon chosen by keyboard", NIN_KEYSELECT, true},
                           Way{"icon's context menu", WM_CONTEXTMENU, true},
                           Way{"icon's button let go", WM_LBUTTONUP, true},
                           Way{"window activated", 0, false}}) {
        SCOPED_TRACE(way.name);
        platform.notifications.clear();
        platform.notificationsRemoved = 0;
        render();
        started(100, Cmd, At(23, 0, 0));
        started(101, Renderer, At(23, 0, 1));
        output(L"a.tga");
        exited(101, 0, At(23, 10, 0));
        exited(100, 0, At(23, 10, 2));
        noneLeft(At(23, 10, 2));
        tick(At(23, 10, 3));
        ASSERT_EQ(platform.notifications.size(), 1u);
        EXPECT_EQ(platform.notifications[0].tip, summary);
        EXPECT_EQ(platform.notifications[0].balloon, summary);

        // Nothing the artist did: the balloon shown and timed out, the mouse over the icon, the
        // window left.
        for (const UINT event : {UINT{NIN_BALLOONSHOW}, UINT{NIN_BALLOONTIMEOUT}, UINT{NIN_BALLOONHIDE},
                                 UINT{WM_MOUSEMOVE}, UINT{NIN_POPUPOPEN}}) {
            shellSays(event);
        }
        activate(WA_INACTIVE);
        EXPECT_EQ(platform.notificationsRemoved, 0);
        // Explorer started again: the same icon and tip, without a second balloon.
        SendMessageW(window, taskbarCreated, 0, 0);
        ASSERT_EQ(platform.notifications.size(), 2u);
        EXPECT_EQ(platform.notifications[1].window, window);
        EXPECT_EQ(platform.notifications[1].callbackMessage, platform.notifications[0].callbackMessage);
        EXPECT_EQ(platform.notifications[1].tip, summary);
        EXPECT_EQ(platform.notifications[1].balloon, L"");
        EXPECT_FALSE(form.resultsDialog() && IsWindowVisible(form.resultsDialog()->hwnd()));

        if (way.event != 0) {
            shellSays(way.event);
        } else {
            activate(WA_CLICKACTIVE);
        }
        EXPECT_EQ(platform.notificationsRemoved, 1);
        ResultsDialog* results = form.resultsDialog();
        EXPECT_EQ(results != nullptr && IsWindowVisible(results->hwnd()), way.opensResults);
        if (results) ShowWindow(results->hwnd(), SW_HIDE);
        // Gone for good: the rest of the click, Explorer again and the window activated again
        // neither add it nor open anything.
        shellSays(NIN_SELECT);
        SendMessageW(window, taskbarCreated, 0, 0);
        activate(WA_ACTIVE);
        EXPECT_EQ(platform.notifications.size(), 2u);
        EXPECT_EQ(platform.notificationsRemoved, 1);
        EXPECT_FALSE(form.resultsDialog() && IsWindowVisible(form.resultsDialog()->hwnd()));
    }
}

TEST_F(NightWindowTest, AProgramStartedDuringTheRenderJoinsItFromTheRecordAndTheCommandLine) {
    // The first program rendered and went; the session kept the rows.
    platform.userData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";
    const std::vector<RenderJob> rows{Row(L"a"), Row(L"b"), Row(L"c"), Row(L"d")};
    platform.files[platform.userData + L"\\session.csv"] = SaveJobList(rows);
    platform.folderContents[Logs] = {{L"20261206-220000.csv", false, 10, 0},
                                     {L"20261207-230000.csv", false, 10, 0},
                                     {L"20261207-230000.log", false, 10, 0}};
    RecordLine first{1, L"E:\\a.max", At(23, 0, 5), At(23, 10, 0), 0, L"F:\\out\\a.tga"};
    platform.files[RecordPath] = RecordHeaderBytes() + RecordLineBytes(first);
    platform.renderRunning = true;
    std::wstring commandLine = JobLineText(Install, rows[1]);
    platform.jobEvents.push_back({Kind::Started, 200, Cmd, L"cmd.exe /c Render.bat", true, 0, At(23, 0, 0)});
    platform.jobEvents.push_back({Kind::Started, 202, Renderer, commandLine, true, 0, At(23, 10, 1)});
    output(L"a.tga");

    MainWindow again(platform);
    again.clock = [this] { return now; };
    again.awake = [this] { return awake(); };
    ASSERT_EQ(again.create(), MainWindow::Startup::Ready);
    ShowWindow(again.hwnd(), SW_SHOW);
    ASSERT_NE(again.night(), nullptr);
    EXPECT_TRUE(platform.following);
    EXPECT_EQ(platform.holding, ScriptPath) << "held again, as the copy that started it held it";
    EXPECT_EQ(again.jobs().count(), 4);
    SendMessageW(again.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
    now = At(23, 12, 1);
    ResultsDialog* results = OpenResults(again);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"已完成", L"渲染中（已用时 0:02:00）", L"等待", L"等待"}));
    EXPECT_EQ(Summary(results), L"第2个，共4个 · 已用时 0:12:01 · 失败0个");
    EXPECT_EQ(platform.taskbar.back(),
              (std::pair<HWND__*, TaskbarProgress>{again.hwnd(), {State::Normal, 1, 4}}));

    // Row 2 ends: its line follows row 1's in the same record.
    exited(202, 0, At(23, 20, 0));
    output(L"b.tga");
    SendMessageW(again.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
    EXPECT_EQ(record(), RecordHeaderBytes() + RecordLineBytes(first) +
                            "2,E:\\b.max,2026-12-07 23:10:01,2026-12-07 23:20:00,0:09:59,0,F:\\out\\b.tga,\r\n");

    // Row 3 started and ended between two looks at the job; row 4's renderer, told with its
    // command line, is row 4 all the same, and row 3 is 未完成, not row 4's.
    platform.jobEvents.push_back(
        {Kind::Started, 204, Renderer, JobLineText(Install, rows[3]), false, 0, At(23, 30, 0)});
    now = At(23, 31, 0);
    SendMessageW(again.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
    test::PumpMessages();
    EXPECT_EQ(States(results),
              (Texts{L"已完成", L"已完成", L"未完成", L"渲染中（已用时 0:01:00）"}));
    DestroyWindow(again.hwnd());
    test::PumpMessages();
    EXPECT_FALSE(platform.following) << "the program went; the render goes on";
    EXPECT_TRUE(platform.holding) << "let go only as the program ends";
}

// A line the disk refuses (a backup tool or the indexer holds the record) waits and is written
// in order on a later beat; one still refused as the night ends is named in the log window.
TEST_F(NightWindowTest, ALineTheDiskRefusesIsWrittenLaterInOrderAndTheNightGoesOn) {
    fourRows();
    render();
    started(101, Renderer, At(23, 0, 5));
    exited(101, 0, At(23, 10, 0));
    started(102, Renderer, At(23, 10, 1));
    platform.failWrite = true;  // the share went away
    tick(At(23, 10, 2));
    platform.failWrite = false;
    exited(102, 3, At(23, 20, 0));
    tick(At(23, 20, 1));
    EXPECT_EQ(record(), RecordHeaderBytes() +
                            "1,E:\\a.max,2026-12-07 23:00:05,2026-12-07 23:10:00,0:09:55,0,,\r\n"
                            "2,E:\\b.max,2026-12-07 23:10:01,2026-12-07 23:20:00,0:09:59,3,,\r\n");
    EXPECT_EQ(platform.messages.size(), 1u) << "only the started message";
    EXPECT_TRUE(platform.following);
    EXPECT_EQ(form.night()->watch().states()[0].phase, RowPhase::NoOutput);

    started(103, Renderer, At(23, 20, 2));
    platform.failWrite = true;
    exited(103, 0, At(23, 30, 0));
    noneLeft(At(23, 30, 1));
    tick(At(23, 30, 2));
    EXPECT_FALSE(platform.following);
    EXPECT_EQ(form.night()->view().notes.back(),
              L"渲染记录未能写入（" + RecordPath + L"）：第3个任务 E:\\c.max 没有输出");
}

// Windows ends the session (an update's restart) while row 2 of 4 renders, closing processes in
// no set order: its renderer is ended, cmd runs the retry and row 3, which fail at once. Nothing
// is recorded as failed; the row cut gets its line, the script is ended, the program stays
// registered to come back, and the next start offers the night from row 2. A shutdown cancelled
// records what failed meanwhile as it was.
TEST_F(NightWindowTest, AShutdownRecordsNoFailureEndsTheScriptAndLeavesTheNightToBeOffered) {
    const std::wstring planPath = Logs + L"\\20261207-230000.plan";
    const std::string firstLine = "1,E:\\a.max,2026-12-07 23:00:05,2026-12-07 23:10:00,0:09:55,0,F:\\out\\a.tga,\r\n";
    for (const bool ending : {true, false}) {
        SCOPED_TRACE(ending ? "the session ends" : "the shutdown is cancelled");
        test::FakePlatform local;
        MainWindow window(local);
        window.clock = [this] { return now; };
        window.awake = [this] { return awake(); };
        ASSERT_EQ(window.create(), MainWindow::Startup::Ready);
        for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) window.jobs().append(Row(name));
        now = At(23, 0, 0);
        Click(window.control(L"renderButton"));
        const auto event = [&](Kind kind, unsigned long pid, std::int32_t code, LocalTime at) {
            local.jobEvents.push_back({kind, pid, kind == Kind::Started ? Renderer : L"", L"", false, code, at});
        };
        const auto beat = [&](LocalTime at) {
            now = at;
            SendMessageW(window.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
            test::PumpMessages();
        };
        local.folderContents[L"F:\\out"] = {{L"a.tga", false, 2048, 0}};
        event(Kind::Started, 101, 0, At(23, 0, 5));
        event(Kind::Exited, 101, 0, At(23, 10, 0));
        event(Kind::Started, 102, 0, At(23, 10, 1));
        beat(At(23, 10, 2));
        local.nightHolds.clear();
        local.calls.clear();

        EXPECT_TRUE(SendMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, 0));
        event(Kind::Exited, 102, 1, At(23, 20, 0));
        event(Kind::Started, 103, 0, At(23, 20, 1));
        event(Kind::Exited, 103, 1, At(23, 20, 1));
        beat(At(23, 20, 2));
        EXPECT_EQ(local.files[RecordPath], RecordHeaderBytes() + firstLine) << "no failure while Windows closes";
        now = At(23, 20, 3);
        SendMessageW(window.hwnd(), WM_ENDSESSION, ending, 0);
        const std::string failed = "2,E:\\b.max,2026-12-07 23:10:01,2026-12-07 23:20:00,0:09:59,1,,\r\n"
                                   "3,E:\\c.max,2026-12-07 23:20:01,2026-12-07 23:20:01,0:00:00,1,,\r\n";
        const std::string cut = "2,E:\\b.max,2026-12-07 23:10:01,2026-12-07 23:20:03,0:10:02,,,关机中断\r\n";
        EXPECT_EQ(local.files[RecordPath], RecordHeaderBytes() + firstLine + (ending ? cut : failed));
        EXPECT_EQ(std::count(local.calls.begin(), local.calls.end(), L"endRenderJob"), ending ? 1 : 0);
        EXPECT_EQ(local.following, !ending);
        EXPECT_EQ(std::count(local.nightHolds.begin(), local.nightHolds.end(), L"unregisterRestart"), 0);
        const auto plan = ReadPlan(local.files[planPath]);
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->cutAt(), ending ? std::optional<std::size_t>(1) : std::nullopt);
        EXPECT_FALSE(plan->offered);
        if (ending) {
            // The job's end that follows is the shutdown's, not the night's.
            event(Kind::NoneLeft, 0, 0, At(23, 20, 4));
            beat(At(23, 20, 5));
            EXPECT_FALSE(ReadPlan(local.files[planPath])->offered);
            DestroyWindow(window.hwnd());
            test::PumpMessages();
            local.folderContents[Logs] = {{L"20261207-230000.csv", false, 0, 0},
                                          {L"20261207-230000.plan", false, 0, 0}};
            local.questions.clear();
            MainWindow next(local);
            ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
            for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) next.jobs().append(Row(name));
            ShowWindow(next.hwnd(), SW_SHOW);
            test::PumpMessages();
            EXPECT_EQ(local.questions,
                      Texts{L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。要继续渲染剩下的3个任务吗？"});
            DestroyWindow(next.hwnd());
            test::PumpMessages();
        } else {
            DestroyWindow(window.hwnd());
            test::PumpMessages();
        }
    }
}

// The night ends when its script ends: what a row's renderer left running is ended as the
// renderer exits, what is left in the job when the script ends is ended then, each named in the
// log window; the night is over and 渲  染 may start the next one.
TEST_F(NightWindowTest, TheNightEndsWithItsScriptAndWhatItsProcessesLeftIsEndedAndNamed) {
    form.jobs().append(Row(L"a"));
    render();
    const unsigned long script = platform.script->processId;
    started(script, Cmd, At(23, 0, 0));
    started(101, Renderer, At(23, 0, 1));
    started(102, Install + L"\\3dsmax.exe", At(23, 0, 2));
    platform.leftOf[101] = {102};
    output(L"a.tga");
    exited(101, 0, At(23, 10, 0));
    tick(At(23, 10, 1));
    EXPECT_EQ(platform.leftAsked, std::vector<unsigned long>{101});
    started(103, L"C:\\Windows\\System32\\WerFault.exe", At(23, 10, 2));
    exited(script, 0, At(23, 10, 3));
    platform.jobEnd = RenderJobEnd::Ended;
    platform.calls.clear();
    tick(At(23, 10, 4));
    EXPECT_EQ(callsOf(L"endRenderJob"), 1);
    EXPECT_FALSE(platform.following);
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
    EXPECT_EQ(form.night()->view().notes, (Texts{L"第1个任务的渲染程序结束后仍在运行的进程已被结束：3dsmax.exe",
                                                 L"渲染脚本结束后仍在运行的进程已被结束：WerFault.exe"}));
    EXPECT_EQ(ReadPlan(platform.files[Logs + L"\\20261207-230000.plan"])->notes,
              std::vector<PlanNote>{{PlanNote::Kind::ScriptEnded}});
}

TEST_F(NightWindowTest, AProgramStartedDuringABackburnerSubmissionFollowsNothing) {
    platform.renderRunning = true;
    // The newest night's plan says where its rows went; its script is not read to learn it.
    NightPlan plan;
    plan.rows = {Row(L"a")};
    plan.numbers = {1};
    plan.way = NightWay::Backburner;
    platform.files[Logs + L"\\20261208-010000.plan"] = PlanBytes(plan);
    platform.folderContents[Logs] = {{L"20261207-230000.csv", false, 10, 0},
                                     {L"20261208-010000.plan", false, 10, 0}};
    MainWindow again(platform);
    ASSERT_EQ(again.create(), MainWindow::Startup::Ready);
    EXPECT_EQ(again.night(), nullptr);
    EXPECT_FALSE(platform.following);
    EXPECT_TRUE(platform.taskbar.empty());
    DestroyWindow(again.hwnd());
    test::PumpMessages();
}

TEST_F(NightWindowTest, WithoutARenderTheDialogShowsTheLastRecordJoinedWithTheDisk) {
    fourRows();
    platform.folderContents[Logs] = {{L"20261207-230000.csv", false, 10, 0},
                                     {L"20261206-230000.csv", false, 10, 0}};
    platform.files[RecordPath] =
        RecordHeaderBytes() +
        RecordLineBytes({1, L"E:\\a.max", At(23, 0, 5), At(23, 10, 0), 0, L"F:\\out\\a.tga"}) +
        RecordLineBytes({2, L"E:\\b.max", At(23, 10, 1), At(23, 20, 0), -1, L""}) +
        RecordLineBytes({3, L"E:\\other.max", At(23, 20, 1), At(23, 30, 0), 0, L""}) +
        // A row number the table never had (a hand-edited record) asks for nothing.
        RecordLineBytes({2000000000, L"E:\\x.max", At(23, 30, 1), At(23, 40, 0), 0, L""});
    output(L"a.tga");
    output(L"d.tga");
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    // Row 3 of the record was another scene: the table's row 3 goes by the disk.
    EXPECT_EQ(States(results), (Texts{L"已完成", L"失败（退出码 -1）", L"未完成", L"已完成"}));
    EXPECT_EQ(Summary(results), L"上次渲染：共3个 · 完成1个 · 失败1个");
    EXPECT_FALSE(IsWindowEnabled(results->control(L"Log"))) << "that night left no log";
}

// The list holds no texts of its own: it asks the dialog for those in view. A beat repaints only
// the rows that changed, and keeps the selection, keyboard row and scroll position.
TEST_F(NightWindowTest, ABeatRepaintsOnlyChangedRowsAndKeepsSelectionAndScroll) {
    for (int i = 1; i <= 80; ++i) form.jobs().append(Row(L"r" + std::to_wstring(i)));
    render();
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    const HWND list = results->control(L"List");
    win::ListView view(list);
    ASSERT_EQ(view.rowCount(), 80);
    EXPECT_TRUE(GetWindowLongW(list, GWL_STYLE) & LVS_OWNERDATA);
    EXPECT_EQ(view.cell(50, 2), L"F:\\out\\r50.tga");
    SetFocus(list);
    view.setSelected(60, true);
    LVITEMW focus{};
    focus.stateMask = LVIS_FOCUSED;
    focus.state = LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 59, reinterpret_cast<LPARAM>(&focus));
    SendMessageW(list, LVM_ENSUREVISIBLE, 70, FALSE);
    const LRESULT top = SendMessageW(list, LVM_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 0);

    // What a beat leaves to repaint in the list, before anything paints.
    const auto beat = [&](LocalTime at) {
        RedrawWindow(results->hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        now = at;
        SendMessageW(form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
        const HRGN dirty = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(list, dirty, FALSE);
        RECT box{};
        const int kind = GetRgnBox(dirty, &box);
        DeleteObject(dirty);
        return kind == NULLREGION ? RECT{} : box;
    };
    started(101, Renderer, At(23, 0, 5));
    const RECT unseen = beat(At(23, 0, 9));
    EXPECT_TRUE(IsRectEmpty(&unseen)) << "row 1 is out of view";
    EXPECT_EQ(view.cell(1, 3), L"渲染中（已用时 0:00:04）");
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), top);
    EXPECT_EQ(view.selectedRow(), 60);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 59);

    SendMessageW(list, LVM_ENSUREVISIBLE, 0, FALSE);
    RECT first{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    const RECT repainted = beat(At(23, 0, 10));
    RECT outside{};
    EXPECT_FALSE(IsRectEmpty(&repainted));
    EXPECT_FALSE(SubtractRect(&outside, &repainted, &first)) << "only row 1 repaints";
    test::PumpMessages();
    EXPECT_EQ(view.cell(1, 3), L"渲染中（已用时 0:00:05）");
    EXPECT_EQ(view.selectedRow(), 60);
}

// Typing in the list goes to the next row whose scene begins with what was typed, as in any list.
TEST_F(NightWindowTest, TypingInTheResultsGoesToTheSceneTyped) {
    for (const wchar_t* name : {L"lobby", L"hall", L"roof", L"hall2"}) {
        form.jobs().append({std::wstring(name) + L".max", L"默认", L"F:\\out", L"x.tga", L"默认", L"默认"});
    }
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    const HWND list = results->control(L"List");
    SetFocus(list);
    const auto type = [&](std::wstring_view text) {
        for (const wchar_t c : text) {
            MSG key{list, WM_CHAR, c, 1, 0, {}};
            win::DispatchLoopMessage(key);
        }
        return SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED);
    };
    EXPECT_EQ(type(L"HALL2"), 3) << "the whole of what was typed, in any case";
    Sleep(1500);  // a pause starts a new search
    EXPECT_EQ(type(L"h"), 1) << "the next after the row in focus, wrapping";
}

TEST_F(NightWindowTest, TheLogWindowShowsAMixedLogAndFollowsWhatIsAdded) {
    fourRows();
    render();
    const std::string cmdEcho = *platform.scriptCodec().encode(L"C:\\Tools\\Ravolen\\bat>\"3dsmaxcmd\" 场景\r\n");
    platform.files[LogPath] = cmdEcho + Utf16(L"缺少贴图 上.png\r\n") + "half a li";
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    ASSERT_TRUE(IsWindowEnabled(results->control(L"Log")));
    Click(results->control(L"Log"));
    LogWindow* log = results->logWindow();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(IsWindowVisible(log->hwnd()));
    EXPECT_EQ(win::WindowText(log->hwnd()), L"渲染日志 - 20261207-230000.log");
    const HWND text = log->control(L"Text");
    EXPECT_EQ(win::WindowText(text), L"C:\\Tools\\Ravolen\\bat>\"3dsmaxcmd\" 场景\r\n缺少贴图 上.png");
    EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)), sizeof face, &face);
    EXPECT_EQ(face.lfPitchAndFamily & 3, FIXED_PITCH);
    EXPECT_EQ(std::wstring(face.lfFaceName), L"NSimSun");

    // Only what was added is taken; the waiting half line is finished by it.
    platform.calls.clear();
    const std::size_t before = platform.files[LogPath].size();
    const std::string added = "ne\r\n" + Utf16(L"第二行\r\n");
    platform.files[LogPath] += added;
    tick(At(23, 0, 1));
    EXPECT_EQ(readsOf(LogPath), (Texts{L"readFileFrom " + LogPath + L" " + std::to_wstring(before) +
                                       L" " + std::to_wstring(added.size())}));
    EXPECT_EQ(win::WindowText(text),
              L"C:\\Tools\\Ravolen\\bat>\"3dsmaxcmd\" 场景\r\n缺少贴图 上.png\r\nhalf a line\r\n第二行");
    const DWORD end = static_cast<DWORD>(GetWindowTextLengthW(text));
    DWORD start = 0;
    DWORD stop = 0;
    SendMessageW(text, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&stop));
    EXPECT_EQ(start, end) << "scrolled to the end";
    // Nothing added: nothing read.
    platform.calls.clear();
    tick(At(23, 0, 2));
    EXPECT_EQ(readsOf(LogPath), Texts{});

    // Tab goes from the text to 关  闭; Escape closes.
    SetFocus(text);
    test::PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), log->control(L"Close"));
    test::PressKey(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(log->hwnd()));
}

// However the renderer's writes fall (inside a code page character, a UTF-16 unit or either kind
// of line end), the window shows exactly the whole text, and a look reads only the bytes added
// since the one before.
TEST(LogWindow, ALogThatGrowsAtAnyByteShowsExactlyItsWholeText) {
    test::FakePlatform platform;
    const std::wstring path = L"C:\\Tools\\Ravolen\\bat\\logs\\night.log";
    const auto narrow = [&](std::wstring_view text) { return *platform.scriptCodec().encode(text); };
    // "上" is 0A 4E in UTF-16: a line feed's byte inside a character.
    const std::string log = narrow(L"C:\\bat>\"3dsmaxcmd\" 场景\r\n") + Utf16(L"缺少贴图 上.png\r\n") +
                            narrow(L"完成 0\r\n") + Utf16(L"\xFEFF渲染结束\r\n");
    const std::wstring whole = L"C:\\bat>\"3dsmaxcmd\" 场景\r\n缺少贴图 上.png\r\n完成 0\r\n渲染结束";
    LogWindow window(platform);
    ASSERT_TRUE(window.create(nullptr));
    const HWND text = window.control(L"Text");
    for (std::size_t cut = 0; cut <= log.size(); ++cut) {
        SCOPED_TRACE(cut);
        platform.files[path] = log.substr(0, cut);
        window.open(path, true);
        platform.calls.clear();
        platform.files[path] = log;
        window.follow(true);
        std::vector<std::wstring> reads;
        for (const std::wstring& call : platform.calls) {
            if (call.starts_with(L"read")) reads.push_back(call);
        }
        EXPECT_EQ(reads, cut == log.size()
                             ? std::vector<std::wstring>{}
                             : std::vector<std::wstring>{L"readFileFrom " + path + L" " + std::to_wstring(cut) +
                                                         L" " + std::to_wstring(log.size() - cut)});
        EXPECT_EQ(win::WindowText(text), whole);
    }
    DestroyWindow(window.hwnd());
}

TEST_F(NightWindowTest, TheNewestThirtyNightsAreKeptAndARecordThatCannotBeWrittenStopsNothing) {
    fourRows();
    std::vector<FolderEntry>& entries = platform.folderContents[Logs];
    for (int day = 1; day <= 31; ++day) {
        wchar_t name[32];
        swprintf(name, 32, L"202611%02d-220000", day);
        entries.push_back({std::wstring(name) + L".csv", false, 1, 0});
        entries.push_back({std::wstring(name) + L".log", false, 1, 0});
    }
    entries.push_back({L"notes.txt", false, 1, 0});
    render();
    Texts deleted;
    for (const std::wstring& call : platform.calls) {
        if (call.starts_with(L"deleteFile ")) deleted.push_back(call.substr(11));
    }
    EXPECT_EQ(deleted, (Texts{Logs + L"\\20261101-220000.csv", Logs + L"\\20261101-220000.log",
                              Logs + L"\\20261102-220000.csv", Logs + L"\\20261102-220000.log"}));

    // Where bat\logs cannot be made, the render starts all the same, without a record.
    test::FakePlatform locked;
    locked.unwritable = {Logs};
    MainWindow other(locked);
    ASSERT_EQ(other.create(), MainWindow::Startup::Ready);
    other.jobs().append(Row(L"a"));
    Click(other.control(L"renderButton"));
    ASSERT_EQ(locked.startedInJob.size(), 1u);
    EXPECT_EQ(locked.startedInJob[0].outputFile, L"");
    ASSERT_EQ(locked.messages.size(), 1u);
    EXPECT_EQ(locked.messages[0].text,
              std::wstring(RenderStartedMessage) +
                  L"\n无法写入渲染记录，本次渲染的结果不会被记录（渲染照常进行）。");
    EXPECT_TRUE(locked.following);
    DestroyWindow(other.hwnd());
    test::PumpMessages();
}

TEST_F(NightWindowTest, ClosingTheDialogWhileTheNightGoesOnLeavesNothingDangling) {
    fourRows();
    render();
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    platform.files[LogPath] = "line\r\n";
    Click(results->control(L"Log"));
    const int live = win::Window::LiveCount();
    // The close box destroys the dialog's window; the beats go on.
    SendMessageW(results->hwnd(), WM_CLOSE, 0, 0);
    test::PumpMessages();
    started(101, Renderer, At(23, 0, 5));
    tick(At(23, 0, 6));
    exited(101, 0, At(23, 5, 0));
    tick(At(23, 5, 1));
    EXPECT_EQ(win::Window::LiveCount(), live);
    EXPECT_EQ(form.night()->watch().states()[0].phase, RowPhase::NoOutput);
    // Opened again, it shows where the night is.
    results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"没有输出", L"等待", L"等待", L"等待"}));
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// 夜间选项 is the last item of the 渲染 menu: one dialog for the watchdog's limits and the retries.
// OK takes only whole numbers in range, names the field otherwise, and keeps them in the session.
class NightOptionsTest : public NightWindowTest {
protected:
    void SetUp() override {
        platform.userData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";
        NightWindowTest::SetUp();
    }
};

TEST_F(NightOptionsTest, AreOneDialogKeptInTheSessionAndTheScriptTriesAgain) {
    const HMENU menu = GetSubMenu(GetMenu(form.hwnd()), mainwindow::RenderMenuPosition);
    const int last = GetMenuItemCount(menu) - 1;
    wchar_t caption[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(last), caption, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(caption), L"夜间选项(&N)…");
    NightOptionsDialog* dialog = openOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(win::WindowText(dialog->hwnd()), L"夜间选项");
    EXPECT_EQ(OptionTexts(dialog), (Texts{L"20", L"0", L"0", L"0"}));
    const HWND unasked = dialog->control(L"ContinueUnasked");
    EXPECT_EQ(win::WindowText(unasked), L"继续中断的渲染时不再询问");
    EXPECT_FALSE(win::IsChecked(unasked));

    struct Refused {
        const wchar_t* field;
        const wchar_t* text;
        const wchar_t* message;
    };
    const Refused refused[] = {
        {L"Hung", L"241", L"无响应超时只能是0到240之间的整数（分钟）。"},
        {L"Hung", L"", L"无响应超时只能是0到240之间的整数（分钟）。"},
        {L"LongestHours", L"100", L"单个任务最长时间的小时只能是0到99之间的整数。"},
        {L"LongestMinutes", L"60", L"单个任务最长时间的分钟只能是0到59之间的整数。"},
        {L"Retries", L"4", L"失败后重试只能是0到3之间的整数。"},
        {L"Retries", L"-1", L"失败后重试只能是0到3之间的整数。"},
    };
    for (const Refused& one : refused) {
        setOptions(dialog, {L"20", L"0", L"0", L"0"});
        win::SetText(dialog->control(one.field), one.text);
        platform.messages.clear();
        Click(dialog->control(L"Ok"));
        ASSERT_EQ(platform.messages.size(), 1u) << one.field;
        EXPECT_EQ(platform.messages[0].text, one.message);
        EXPECT_EQ(GetFocus(), dialog->control(one.field));
        EXPECT_TRUE(IsWindowVisible(dialog->hwnd()));
    }
    setOptions(dialog, {L"45", L"2", L"30", L"1"});
    Click(unasked);
    Click(dialog->control(L"Ok"));
    EXPECT_FALSE(IsWindowVisible(dialog->hwnd()));
    test::PumpMessagesFor(MainWindow::SessionDelay + 300);
    ASSERT_TRUE(form.sessionWritten());
    std::string settings;
    {
        const std::lock_guard guard(platform.lock);
        settings = platform.files[form.sessionSettingsPath()];
    }
    const auto saved = ReadSessionSettings(settings, SessionSettings{});
    EXPECT_EQ(saved.value.night, (NightOptions{45, 150, 1, true}));
    // Opened again, it shows them; Cancel changes nothing.
    dialog = openOptions();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(OptionTexts(dialog), (Texts{L"45", L"2", L"30", L"1"}));
    EXPECT_TRUE(win::IsChecked(dialog->control(L"ContinueUnasked")));
    win::SetText(dialog->control(L"Retries"), L"3");
    Click(dialog->control(L"Cancel"));

    // The script tries each row once more.
    form.jobs().append(Row(L"a"));
    render();
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    const std::string script = platform.files[ScriptPath];
    EXPECT_EQ(ReadPlan(platform.files[Logs + L"\\20261207-230000.plan"])->retries, 1)
        << "a program that joins the night reads its tries from the plan";
    EXPECT_NE(script.find(std::string(RetryPrefix)), std::string::npos);
}

// The watchdog: a row that makes no progress for 无响应超时 has its renderer tree ended with 1460,
// one under way past 单个任务最长时间 too, and the night goes on; a row that works for hours is
// left alone. Each reads why in 渲染结果 and in the record.
TEST_F(NightWindowTest, AHungRowAndATooLongRowAreEndedAndTheNightGoesOn) {
    chooseOptions({L"20", L"2", L"0", L"0"});
    for (const wchar_t* name : {L"a", L"b", L"c"}) form.jobs().append(Row(name));
    render();
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);

    // Row 1 wakes now and then: 3 seconds of a processor in 20 minutes.
    started(100, Cmd, At(23, 0, 0));
    started(101, Renderer, At(23, 0, 5));
    platform.treeTimes[101] = {{101, Second}};
    tick(At(23, 0, 10));
    platform.treeTimes[101] = {{101, 2 * Second}, {150, Second / 2}};
    tickUntil(At(23, 10, 5));
    tick(At(23, 10, 6));  // no reading between readings
    EXPECT_TRUE(platform.endedTrees.empty());
    platform.treeTimes[101] = {{101, 3 * Second}};
    tickUntil(At(23, 20, 5));
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}}));
    tick(At(23, 20, 6));
    EXPECT_EQ(platform.endedTrees.size(), 1u) << "told once";
    EXPECT_EQ(States(results)[0], L"渲染中（已用时 0:20:01）");

    // Ended with the watchdog's code; the script goes on to row 2, which works for hours.
    exited(101, 1460, At(23, 20, 7));
    started(102, Renderer, At(23, 20, 8));
    tick(At(23, 20, 9));
    EXPECT_EQ(States(results), (Texts{L"无响应，已结束（20分钟没有进展）", L"渲染中（已用时 0:00:01）", L"等待"}));
    EXPECT_EQ(Summary(results), L"第2个，共3个 · 已用时 0:20:09 · 失败1个");
    EXPECT_TRUE(record().ends_with(
        "1,E:\\a.max,2026-12-07 23:00:05,2026-12-07 23:20:07,0:20:02,1460,,"
        "无响应，已结束（20分钟没有进展）\r\n"));
    EXPECT_EQ(platform.taskbar.back().second, (TaskbarProgress{State::Error, 1, 3}));
    tickUntil(Next(1, 20, 0), 102);
    EXPECT_EQ(platform.endedTrees.size(), 1u) << "a working row is never hung";
    tick(Next(1, 20, 9));
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}, {102, 1460}}));
    exited(102, 1460, Next(1, 20, 10));
    started(103, Renderer, Next(1, 20, 11));
    output(L"c.tga");
    exited(103, 0, Next(1, 30, 0));
    exited(100, 0, Next(1, 30, 0));
    noneLeft(Next(1, 30, 1));
    tick(Next(1, 30, 2));
    EXPECT_EQ(States(results), (Texts{L"无响应，已结束（20分钟没有进展）", L"超时，已结束（超过2小时）", L"已完成"}));
    EXPECT_TRUE(record().ends_with(
        "2,E:\\b.max,2026-12-07 23:20:08,2026-12-08 01:20:10,2:00:02,1460,,超时，已结束（超过2小时）\r\n"
        "3,E:\\c.max,2026-12-08 01:20:11,2026-12-08 01:30:00,0:09:49,0,F:\\out\\c.tga,\r\n"));
    // The record reads back as the dialog showed it, when the night is no longer followed.
    DestroyWindow(form.hwnd());
    test::PumpMessages();
    platform.folderContents[Logs] = {{L"20261207-230000.csv", false, 10, 0}};
    const NightView last = LastNight(platform, 3);
    ASSERT_EQ(last.states.size(), 3u);
    EXPECT_EQ(RowStateText(*last.states[0], At(23, 0, 0)), L"无响应，已结束（20分钟没有进展）");
    EXPECT_EQ(RowStateText(*last.states[1], At(23, 0, 0)), L"超时，已结束（超过2小时）");
}

// Summer time begins in the middle of a row: the watchdog counts the seconds that passed, not the
// hour the clock jumped, and ends the row at its real 2 hours.
TEST_F(NightWindowTest, AClockPutForwardForSummerTimeCountsOnlyTheTimeThatPassed) {
    chooseOptions({L"20", L"2", L"0", L"0"});
    fourRows();
    render();
    started(100, Cmd, At(23, 0, 0));
    started(101, Renderer, At(23, 0, 5));
    tickUntil(Next(0, 50, 0), 101);
    putForward = 3600;
    work(101);
    tick(Next(1, 50, 20));  // 0:50:20 as it really is
    tickUntil(Next(1, 52, 0), 101);
    EXPECT_TRUE(platform.endedTrees.empty()) << "1:52 under way, not 2:52";
    tickUntil(Next(2, 0, 0), 101);
    EXPECT_TRUE(platform.endedTrees.empty());
    tickUntil(Next(2, 0, 10), 101);
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}}));
}

// A night asleep moves the clock on the wall (and the count of ticks) but not the time awake: the
// watchdog judges nothing by it, in the middle of a row or before its first look at one.
TEST_F(NightWindowTest, TimeAsleepIsNeitherWithoutProgressNorUnderWay) {
    chooseOptions({L"20", L"2", L"0", L"0"});
    fourRows();
    render();
    started(100, Cmd, At(23, 0, 0));
    started(101, Renderer, At(23, 0, 5));
    platform.treeTimes[101] = {{101, Second}};
    tickUntil(At(23, 10, 5));
    asleep += 8 * 3600;
    tick(Next(7, 10, 10));
    tickUntil(Next(7, 20, 0));
    EXPECT_TRUE(platform.endedTrees.empty()) << "at 7:20, 19:55 awake, not 8 hours";
    tickUntil(Next(7, 20, 30));
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}}));

    // Row 2 starts, and the computer sleeps before the watchdog first looks at it.
    exited(101, 1460, Next(7, 20, 31));
    started(102, Renderer, Next(7, 20, 32));
    platform.treeTimes[102] = {{102, Second}};
    asleep += 3 * 3600;
    tick(Next(10, 20, 35));
    tickUntil(Next(12, 20, 0), 102);
    EXPECT_EQ(platform.endedTrees.size(), 1u) << "at 12:20, under 2 hours awake, not 5";
    tickUntil(Next(12, 21, 0), 102);
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}, {102, 1460}}));
}

// A row without progress, or under way too long, in which the program stood still for a while (the
// awake clock jumped, as under Modern Standby) or Windows said it slept: the hang span starts
// again after the break, and the break is not under way.
TEST_F(NightWindowTest, ABreakStartsTheHangSpanAgainAndIsNotUnderWay) {
    chooseOptions({L"20", L"0", L"40", L"0"});
    struct BreakCase {
        const char* what;
        long long jump;  // seconds awake from the look before the break to the one after it
        bool power;      // Windows says it slept and woke
        bool working;
        long long endedAt;  // seconds after the row's start
    };
    const BreakCase cases[] = {
        {"a minute is no break", 60, false, false, 1200},
        {"90 seconds are a break", 90, false, false, 690 + 1200},
        {"Windows slept and woke", 60, true, false, 660 + 1200},
        {"the break is not under way", 90, false, true, 2400 + 90 + 60},
    };
    for (int row = 0; row < 4; ++row) form.jobs().append(Row(std::wstring(1, static_cast<wchar_t>(L'a' + row))));
    render();
    started(100, Cmd, At(23, 0, 0));
    unsigned long renderer = 100;
    for (const BreakCase& c : cases) {
        if (renderer != 100) exited(renderer, 1460, now);
        const LocalTime start = Later(now, 1);
        started(++renderer, Renderer, start);
        platform.treeTimes[renderer] = {{renderer, Second}};
        const unsigned long working = c.working ? renderer : 0;
        tick(start);
        tickUntil(Later(start, 600), working);
        if (c.power) {
            SendMessageW(form.hwnd(), WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
            SendMessageW(form.hwnd(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        }
        if (c.working) work(renderer);
        tick(Later(start, 600 + c.jump));
        const std::size_t ended = platform.endedTrees.size();
        tickUntil(Later(start, c.endedAt - 60), working);
        EXPECT_EQ(platform.endedTrees.size(), ended) << c.what;
        tickUntil(Later(start, c.endedAt), working);
        EXPECT_EQ(platform.endedTrees.size(), ended + 1) << c.what;
    }
}

// A renderer that waits on a slow share uses next to no processor: the bytes its tree moves, and
// frames appearing in its output folder, are progress too.
TEST_F(NightWindowTest, BytesMovedAndFramesWrittenAreProgress) {
    struct ProgressCase {
        const char* what;
        unsigned long long bytesAMinute;
        bool frames;  // one every 10 minutes
        bool hung;
    };
    const ProgressCase cases[] = {
        {"a scene read from a share", 60 * 1024, false, false},
        {"frames written", 0, true, false},
        {"neither", 40 * 1024, false, true},
    };
    for (const wchar_t* name : {L"a", L"b", L"c"}) form.jobs().append(Row(name));
    render();
    started(100, Cmd, At(23, 0, 0));
    unsigned long renderer = 100;
    for (const ProgressCase& c : cases) {
        if (renderer != 100) exited(renderer, 0, now);
        const LocalTime start = Later(now, 1);
        started(++renderer, Renderer, start);
        platform.treeTimes[renderer] = {{renderer, Second, 0}};
        tick(start);
        const std::size_t ended = platform.endedTrees.size();
        for (int minute = 1; minute <= 40; ++minute) {
            platform.treeTimes[renderer][0].bytes += c.bytesAMinute;
            if (c.frames && minute % 10 == 0) output(L"frame" + std::to_wstring(minute) + L".tga");
            tick(Later(start, minute * 60));
        }
        EXPECT_EQ(platform.endedTrees.size(), ended + (c.hung ? 1 : 0)) << c.what;
    }
}

// Where the processor time cannot be read, the hang rule ends nothing and the log window says so
// once; a tree that will not end is said too, and the night is followed on.
TEST_F(NightWindowTest, WithoutProcessorTimesNothingIsEndedAndTheLogWindowSaysSoOnce) {
    fourRows();
    render();
    platform.files[LogPath] = "line\r\n";
    started(101, Renderer, At(23, 0, 5));
    for (int minute = 1; minute <= 50; minute += 7) tick(At(23, minute, 0));
    EXPECT_TRUE(platform.endedTrees.empty());
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    Click(results->control(L"Log"));
    ASSERT_NE(results->logWindow(), nullptr);
    const HWND text = results->logWindow()->control(L"Text");
    const std::wstring said =
        L"[Ravolen] 无法读取渲染程序的处理器时间，无响应超时不起作用：不会因无响应而结束任何任务。";
    EXPECT_EQ(win::WindowText(text), L"line\r\n" + said);
    tick(At(23, 55, 0));
    EXPECT_EQ(win::WindowText(text), L"line\r\n" + said);

    // Readable again, the row is hung; the tree will not end: said, and asked no more.
    platform.treeTimes[101] = {{101, Second}};
    platform.treesEnd = false;
    tick(At(23, 56, 0));
    tickUntil(Next(0, 17, 0));
    EXPECT_EQ(platform.endedTrees, (Ended{{101, 1460}}));
    tick(Next(0, 18, 0));
    EXPECT_EQ(platform.endedTrees.size(), 1u);
    EXPECT_EQ(win::WindowText(text), L"line\r\n" + said + L"\r\n[Ravolen] 无法结束第1个任务的渲染程序，它仍在运行。");
    EXPECT_TRUE(platform.following);
    EXPECT_EQ(States(results)[0], L"渲染中（已用时 1:17:55）");
}

// 重新渲染未完成的任务: the rows that did not finish, exactly as the table holds them, in a new
// night after a question; the new night's rows show and are recorded where the table has them.
TEST_F(NightWindowTest, RenderingTheUnfinishedAgainStartsExactlyThoseRows) {
    fourRows();
    render();
    started(101, Renderer, At(23, 0, 1));
    output(L"a.tga");
    exited(101, 0, At(23, 10, 0));
    started(102, Renderer, At(23, 10, 1));
    exited(102, 3, At(23, 20, 0));
    started(103, Renderer, At(23, 20, 1));
    exited(103, 0, At(23, 30, 0));  // and no c.tga
    noneLeft(At(23, 30, 1));         // row 4 never ran
    tick(At(23, 30, 2));
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"已完成", L"失败（退出码 3）", L"没有输出", L"未完成"}));
    const HWND button = results->control(L"RenderUnfinished");
    EXPECT_EQ(win::WindowText(button), L"重新渲染未完成的任务");

    // Asked first: 否 starts nothing.
    platform.answer = false;
    Click(button);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], L"将重新渲染3个未完成的任务（已渲染的帧会保留），是否开始？");
    EXPECT_EQ(platform.startedInJob.size(), 1u);

    platform.answer = true;
    now = At(23, 40, 0);
    Click(button);
    ASSERT_EQ(platform.startedInJob.size(), 2u);
    const std::string script = platform.files[ScriptPath];
    std::string expected;
    for (const wchar_t* name : {L"b", L"c", L"d"}) {
        expected += *platform.scriptCodec().encode(JobLineText(Install, Row(name))) + "\n\r\n";
    }
    EXPECT_EQ(script, expected + "\r\n");
    // The rows stay in the table as they were; the new night shows where they stand.
    EXPECT_EQ(form.jobs().count(), 4);
    tick(At(23, 40, 1));
    EXPECT_EQ(States(results), (Texts{L"已完成", L"等待", L"等待", L"等待"}));
    started(201, Renderer, At(23, 40, 2));
    output(L"b.tga");
    exited(201, 0, At(23, 45, 0));
    started(202, Renderer, At(23, 45, 1));
    tick(At(23, 45, 2));
    EXPECT_EQ(States(results), (Texts{L"已完成", L"已完成", L"渲染中（已用时 0:00:01）", L"等待"}));
    const std::wstring secondRecord = Logs + L"\\20261207-234000.csv";
    EXPECT_EQ(platform.files[secondRecord],
              RecordHeaderBytes() +
                  "2,E:\\b.max,2026-12-07 23:40:02,2026-12-07 23:45:00,0:04:58,0,F:\\out\\b.tga,\r\n");

    // Nothing unfinished: said so, nothing asked.
    platform.questions.clear();
    for (const wchar_t* name : {L"c", L"d"}) output(std::wstring(name) + L".tga");
    exited(202, 0, At(23, 50, 0));
    started(203, Renderer, At(23, 50, 1));
    exited(203, 0, At(23, 55, 0));
    noneLeft(At(23, 55, 1));
    tick(At(23, 55, 2));
    platform.messages.clear();
    Click(button);
    EXPECT_TRUE(platform.questions.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"没有未完成的任务。");
}

// A night under way as the artist finds it late in the evening: each row's state, the summary and
// the log as the windows show them. With RAVOLEN_HOLD_FOR_PICTURE set, the windows then stay on
// the screen for a while, for a picture under a display.
TEST_F(NightWindowTest, ALiveNightShowsEachRowTheSummaryAndTheLog) {
    const wchar_t* names[] = {L"大堂_日景", L"大堂_夜景", L"走廊", L"客房A", L"客房B", L"餐厅",
                              L"泳池", L"外立面_鸟瞰", L"外立面_人视", L"屋顶花园"};
    for (const wchar_t* name : names) form.jobs().append(Row(name));
    render();
    platform.folderContents[L"F:\\out"] = {{L"大堂_日景.tga", false, 6'291'456, 134'100'000'000'000'000ull},
                                           {L"走廊.tga", false, 5'872'025, 134'100'030'000'000'000ull}};
    started(100, Cmd, At(23, 0, 0));
    started(101, Renderer, At(23, 0, 3));
    exited(101, 0, At(23, 24, 10));
    started(102, Renderer, At(23, 24, 11));
    exited(102, 3, At(23, 24, 40));
    started(103, Renderer, At(23, 24, 41));
    exited(103, 0, At(23, 51, 2));
    started(104, Renderer, At(23, 51, 3));
    tick(At(23, 59, 27));
    std::string log = *platform.scriptCodec().encode(
        L"C:\\Tools\\Ravolen\\bat>\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" "
        L"\"E:\\大堂_夜景.max\" -continueOnError -outputName:F:\\out\\大堂_夜景.tga\r\n");
    log += Utf16(L"错误：缺少外部文件 maps\\大理石_02.jpg\r\n许可证：无法连接到服务器，退出代码 3\r\n");
    log += *platform.scriptCodec().encode(L"\r\nC:\\Tools\\Ravolen\\bat>\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\客房A.max\"\r\n");
    log += Utf16(L"Rendering frame 0 of 0\r\n渲染进度 47%\r\n");
    platform.files[LogPath] = log;
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(States(results), (Texts{L"已完成", L"失败（退出码 3）", L"已完成", L"渲染中（已用时 0:08:24）", L"等待",
                                      L"等待", L"等待", L"等待", L"等待", L"等待"}));
    EXPECT_EQ(Summary(results), L"第4个，共10个 · 已用时 0:59:27 · 失败1个");
    Click(results->control(L"Log"));
    ASSERT_NE(results->logWindow(), nullptr);
    EXPECT_EQ(win::WindowText(results->logWindow()->control(L"Text")),
              L"C:\\Tools\\Ravolen\\bat>\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" "
              L"\"E:\\大堂_夜景.max\" -continueOnError -outputName:F:\\out\\大堂_夜景.tga\r\n"
              L"错误：缺少外部文件 maps\\大理石_02.jpg\r\n许可证：无法连接到服务器，退出代码 3\r\n\r\n"
              L"C:\\Tools\\Ravolen\\bat>\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\客房A.max\"\r\n"
              L"Rendering frame 0 of 0\r\n渲染进度 47%\r\n"
              // This platform tells no processor times: the watchdog says once that it cannot judge.
              L"[Ravolen] 无法读取渲染程序的处理器时间，无响应超时不起作用：不会因无响应而结束任何任务。");
    if (!std::getenv("RAVOLEN_HOLD_FOR_PICTURE")) return;
    MoveWindow(form.hwnd(), 0, 0, 300, 200, TRUE);
    RECT frame{};
    GetWindowRect(results->hwnd(), &frame);
    SetWindowPos(results->logWindow()->hwnd(), nullptr, frame.left - 40, frame.top + 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(results->hwnd());
    for (int second = 0; second < 24; ++second) {
        if (second == 12) SetForegroundWindow(results->logWindow()->hwnd());
        tick(At(23, 59, 28 + second % 30));
        test::PumpMessagesFor(1000);
    }
}

}  // namespace
}  // namespace ravolen
