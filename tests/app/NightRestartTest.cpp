#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/CountdownWindow.h"
#include "app/MainWindowFixture.h"
#include "app/MainWindowIds.h"
#include "jobs/JobListFile.h"
#include "render/NightPlan.h"
#include "render/NightRecord.h"
#include "render/RenderScript.h"
#include "session/Session.h"
#include "support/Fixtures.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;
using Kind = RenderJobEvent::Kind;
using Texts = std::vector<std::wstring>;

const std::wstring Install = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
const std::wstring Renderer = Install + L"\\3dsmaxcmd.exe";
const std::wstring Logs = L"C:\\Tools\\Ravolen\\bat\\logs";
const std::wstring Night = Logs + L"\\20261207-230000";
const std::wstring UserData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";

RenderJob Row(const std::wstring& name) {
    return {L"E:\\" + name + L".max", L"默认", L"F:\\out", name + L".tga", L"默认", L"默认"};
}

class NightRestartTest : public MainWindowTest {};

// The power request and the restart registration are held exactly while the night is followed:
// made as it starts, the reason following the row under way, both let go as it ends or is
// cancelled (such a night is never offered again); a program closed mid-night lets the
// machine sleep but stays registered, as the night goes on without it.
TEST_F(NightRestartTest, ThePowerRequestAndTheRestartAreHeldWhileTheNightIsFollowed) {
    EXPECT_EQ(platform.nightHolds, Texts{L"unregisterRestart"});  // a start without a night
    enum class End { Finished, Cancelled, ProgramClosed };
    const struct {
        End end;
        Texts after;
    } cases[] = {
        {End::Finished, {L"letSleep", L"unregisterRestart"}},
        {End::Cancelled, {L"letSleep", L"unregisterRestart"}},
        {End::ProgramClosed, {L"letSleep"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.end));
        test::FakePlatform local;
        MainWindow window(local);
        ASSERT_EQ(window.create(), MainWindow::Startup::Ready);
        ShowWindow(window.hwnd(), SW_SHOW);
        test::PumpMessages();
        local.nightHolds.clear();
        for (const wchar_t* name : {L"a", L"b", L"c"}) window.jobs().append(Row(name));
        Click(window.control(L"renderButton"));
        const Texts begun{L"registerRestart", L"keepAwake Ravolen 正在渲染：第1个，共3个"};
        EXPECT_EQ(local.nightHolds, begun);
        const auto beat = [&] {
            SendMessageW(window.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
            test::PumpMessages();
        };
        const auto event = [&](Kind kind, unsigned long pid) {
            local.jobEvents.push_back({kind, pid, kind == Kind::Started ? Renderer : L"", L"", false,
                                       0, {2026, 12, 7, 23, 0, 0}});
        };
        event(Kind::Started, 101);
        beat();
        event(Kind::Exited, 101);
        event(Kind::Started, 102);
        beat();
        Texts expected = begun;
        expected.push_back(L"keepAwake Ravolen 正在渲染：第2个，共3个");
        EXPECT_EQ(local.nightHolds, expected);
        switch (c.end) {
            case End::Finished:
                event(Kind::Exited, 102);
                event(Kind::NoneLeft, 0);
                beat();
                break;
            case End::Cancelled:
                local.jobEnd = RenderJobEnd::Ended;
                Click(window.control(L"cancelRenderButton"));
                break;
            case End::ProgramClosed:
                DestroyWindow(window.hwnd());
                test::PumpMessages();
                break;
        }
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(local.nightHolds, expected);
        // A night seen to end or cancelled is never offered again; one left to run on is judged at
        // the next start.
        std::optional<NightPlan> plan;
        for (const auto& [path, bytes] : local.files) {
            if (path.ends_with(L".plan")) plan = ReadPlan(bytes);
        }
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->rows.size(), 3u);
        EXPECT_EQ(plan->offered, c.end != End::ProgramClosed);
        if (window.hwnd()) DestroyWindow(window.hwnd());
        test::PumpMessages();
        EXPECT_EQ(local.nightHolds, expected);  // nothing more on the way out
    }
}

// A night whose script ended mid-way (the machine restarted) is offered once after the window
// shows; 是 renders exactly the rows left, as the table holds them, with the night's shutdown.
TEST_F(NightRestartTest, ANightCutShortIsOfferedOnceAndYesRendersTheRowsLeft) {
    const std::vector<RenderJob> rows{Row(L"a"), Row(L"b"), Row(L"c"), Row(L"d")};
    NightPlan plan;
    plan.installFolder = Install;
    plan.rows = rows;
    plan.numbers = {1, 2, 3, 4};
    plan.shutdownAfterwards = true;
    plan.scriptProcessId = 500;
    plan.scriptStarted = 77;
    plan.nightStarted = 1000;
    const auto echo = [](const RenderJob& row) {
        return "C:\\Tools\\Ravolen\\bat>" + *test::Cp936().encode(JobLineText(Install, row)) + "\r\n";
    };
    // The program was closed as the night began: only cmd's log tells that row 1 ended (it
    // failed, leaving no output) when row 2 started.
    const std::string log = echo(rows[0]) + "rendering a\r\n\r\n" + echo(rows[1]) + "rendering b\r\n";
    const std::string record = RecordHeaderBytes();
    const std::wstring question = L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。要继续渲染剩下的3个任务吗？";

    const struct Case {
        const char* what;
        bool answer;
        std::vector<unsigned long long> outputs;  // when a.tga, b.tga, … were written; 0: never
        bool scriptRuns;
        Texts questions;
        bool renders;
        // 继续中断的渲染时不再询问: the countdown instead, ended by this button ("": run out).
        bool unasked = false;
        const wchar_t* button = L"";
        // The table as the session kept it (empty: the night's rows), and the rows 是 renders
        // (empty: b, c and d).
        std::vector<RenderJob> table = {};
        std::vector<RenderJob> rendered = {};
        std::wstring message = {};  // said instead of a question
    } cases[] = {
        {"cut short, 是", true, {}, false, {question}, true},
        {"cut short, 否", false, {}, false, {question}, false},
        {"its output before the night is not its own", true, {0, 900}, false, {question}, true},
        {"finished while the program was closed", true, {0, 1600, 1700, 1800}, false, {}, false},
        {"its script still runs", true, {}, true, {}, false},
        {"unasked, 立即开始", true, {}, false, {}, true, true, L"StartNow"},
        {"unasked, 取消", true, {}, false, {}, false, true, L"Cancel"},
        {"unasked, the minute runs out", true, {}, false, {}, true, true, L""},
        {"the table changed: found by their cells, identical rows in order", true, {}, false,
         {L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。剩下的3个任务中，表格里还有2个。要继续渲染这2个任务吗？"},
         true, false, L"", {Row(L"d"), Row(L"x"), Row(L"c"), Row(L"c"), Row(L"a")}, {Row(L"c"), Row(L"d")}},
        {"the table holds none of them", true, {}, false, {}, false, false, L"", {Row(L"a"), Row(L"x")}, {},
         L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。剩下的3个任务已不在表格中。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakePlatform other;
        other.userData = UserData;
        other.answer = c.answer;
        other.files = {{UserData + L"\\session.csv", SaveJobList(c.table.empty() ? rows : c.table)},
                       {Night + L".plan", PlanBytes(plan)},
                       {Night + L".csv", record},
                       {Night + L".log", log}};
        other.folderContents[Logs] = {{L"20261207-230000.csv", false, 0, 0},
                                      {L"20261207-230000.log", false, 0, 0},
                                      {L"20261207-230000.plan", false, 0, 0}};
        for (std::size_t i = 0; i < c.outputs.size(); ++i) {
            if (c.outputs[i] == 0) continue;
            other.folderContents[L"F:\\out"].push_back({rows[i].outputName, false, 2048, c.outputs[i]});
        }
        if (c.scriptRuns) other.runningProcesses = {500};
        if (c.unasked) {
            SessionSettings settings;
            settings.installFolder = Install;
            settings.night.continueUnasked = true;
            other.files[UserData + L"\\settings.ini"] = SaveSessionSettings(settings);
        }
        {
            MainWindow next(other);
            ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
            ShowWindow(next.hwnd(), SW_SHOW);
            test::PumpMessages();
            EXPECT_EQ(other.questions, c.questions);
            // A script that still runs outside any job is taken up and followed, never started again.
            EXPECT_EQ(std::count(other.calls.begin(), other.calls.end(), L"adoptScript 500"), c.scriptRuns ? 1 : 0);
            if (c.scriptRuns) {
                EXPECT_TRUE(other.following);
            }
            if (!c.message.empty()) {
                ASSERT_EQ(other.messages.size(), 1u);
                EXPECT_EQ(other.messages[0].text, c.message);
            }
            if (c.unasked) {
                CountdownWindow* countdown = next.countdown();
                ASSERT_NE(countdown, nullptr);
                const HWND text = countdown->control(L"Text");
                EXPECT_EQ(win::WindowText(text), L"60秒后继续渲染剩下的3个任务…");
                EXPECT_TRUE(other.startedInJob.empty());
                if (*c.button) {
                    Click(countdown->control(c.button));
                } else {
                    for (int beat = 1; beat < CountdownWindow::Seconds; ++beat) {
                        SendMessageW(countdown->hwnd(), WM_TIMER, CountdownWindow::IdTimerCountdown, 0);
                    }
                    EXPECT_EQ(win::WindowText(text), L"1秒后继续渲染剩下的3个任务…");
                    EXPECT_TRUE(other.startedInJob.empty());
                    SendMessageW(countdown->hwnd(), WM_TIMER, CountdownWindow::IdTimerCountdown, 0);
                }
                test::PumpMessages();
                EXPECT_EQ(next.countdown(), nullptr);
            }
            ASSERT_EQ(other.startedInJob.size(), c.renders ? 1u : 0u);
            if (c.renders) {
                std::string expected;
                const std::vector<RenderJob> rendered =
                    c.rendered.empty() ? std::vector<RenderJob>(rows.begin() + 1, rows.end()) : c.rendered;
                for (const RenderJob& row : rendered) {
                    expected += *test::Cp936().encode(JobLineText(Install, row)) + "\n\r\n";
                }
                const std::string script = other.files[ScriptPath];
                EXPECT_TRUE(script.starts_with(expected)) << script;
                EXPECT_NE(script.find("shutdown -s -t 120"), std::string::npos);
                EXPECT_TRUE(win::IsChecked(next.control(L"shutdownCheck")));
            }
            DestroyWindow(next.hwnd());
            test::PumpMessages();
        }
        // Offered once: a later start asks nothing of the same night.
        if (!c.questions.empty() || c.unasked || !c.message.empty()) {
            EXPECT_TRUE(ReadPlan(other.files[Night + L".plan"])->offered);
            other.questions.clear();
            other.startedInJob.clear();
            other.folderContents[Logs] = {{L"20261207-230000.csv", false, 0, 0},
                                          {L"20261207-230000.plan", false, 0, 0}};
            MainWindow again(other);
            ASSERT_EQ(again.create(), MainWindow::Startup::Ready);
            ShowWindow(again.hwnd(), SW_SHOW);
            test::PumpMessages();
            EXPECT_TRUE(other.questions.empty());
            DestroyWindow(again.hwnd());
            test::PumpMessages();
        }
    }
}

}  // namespace
}  // namespace ravolen
