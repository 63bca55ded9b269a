#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/NightFollower.h"
#include "platform/RenderJobFollower.h"
#include "platform/Win32Platform.h"
#include "render/NightLog.h"
#include "render/NightWatch.h"
#include "render/RenderScript.h"
#include "support/RealPlatform.h"
#include "support/WindowTest.h"

namespace ravolen {
namespace {

LocalTime ClockNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

using namespace test;  // the helpers for the real file system and processes
using Kind = RenderJobEvent::Kind;

bool EndsWithName(const std::wstring& path, std::wstring_view name) {
    const std::size_t separator = path.find_last_of(L'\\');
    const std::wstring last = path.substr(separator == std::wstring::npos ? 0 : separator + 1);
    return CompareStringOrdinal(last.c_str(), -1, std::wstring(name).c_str(), -1, TRUE) ==
           CSTR_EQUAL;
}

std::size_t ThreadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    std::size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

bool CanOpen(DWORD processId) {
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    return static_cast<bool>(process);
}

// A night of four rows run by Wine's own cmd and the stand-in renderer, the script where the
// program keeps it, its output in the night's log.
class RenderJobFollowTest : public testing::Test {
protected:
    void SetUp() override {
        // Wine keeps a job's name while its ended processes are still being let go of: the
        // night of another test process must be gone, or this one joins it.
        EXPECT_TRUE(WaitFor([] {
            return !KernelHandle(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE,
                                                L"Local\\Ravolen.RenderJob.5B0F7E2C"));
        }));
        ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(scripts.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_STANDIN).c_str(), renderer.c_str(), FALSE));
        for (int i = 1; i <= 4; ++i) {
            const std::wstring scene = L"场景 " + std::to_wstring(i);
            rows.push_back({temp.path() + L"\\" + scene + L" & 100%.max", L"默认",
                            temp.path() + L"\\out", L"row" + std::to_wstring(i) + L".tga", L"默认",
                            L"默认"});
        }
    }
    void TearDown() override {
        Win32Platform platform;
        platform.endRenderJob();
        EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    }

    // Each call takes a little while, as a real renderer does, so that its start is seen.
    void plan(std::wstring_view extra) const {
        WriteWholeFile(install + L"\\3dsmaxcmd-plan",
                   Utf8(L"1 print 第一行 row 1\r\n"
                             L"1 console\r\n"
                             L"1 wait 300\r\n"
                             L"2 print 缺少贴图：map.png\r\n"
                             L"2 print-utf16 Error: 找不到插件 上\r\n"
                             L"2 exit 3\r\n"
                             L"2 wait 300\r\n"
                             L"3 no-output\r\n"
                             L"3 wait 300\r\n"
                             L"4 print-utf16 最后 row 4\r\n"
                             L"4 wait 300\r\n" +
                             std::wstring(extra)));
    }
    bool start(Win32Platform& platform) const {
        const ComposedScript script = ComposeRenderScript(install, rows, false, platform.scriptCodec());
        if (!platform.writeFile(scripts + L"\\Render.bat", script.bytes)) return false;
        ProcessLaunch launch =
            ScriptLaunch(platform.systemFolder(), scripts, platform.scriptCodec().codePage());
        launch.outputFile = logFile;
        return platform.startInRenderJob(launch);
    }
    std::size_t calls() const {
        const std::wstring log = install + L"\\3dsmaxcmd-calls.log";
        return Exists(log) ? ReadCalls(log).size() : 0;
    }
    // Taken every 50 ms, as the window takes them once a second, until the job has no process
    // left or `until` holds.
    template <typename Until>
    static void Collect(Win32Platform& platform, std::vector<RenderJobEvent>& events, Until until) {
        for (int i = 0; i < 3600; ++i) {  // three minutes at most
            for (RenderJobEvent& event : platform.takeRenderJobEvents()) events.push_back(event);
            if ((!events.empty() && events.back().kind == Kind::NoneLeft) || until(events)) return;
            Sleep(50);
        }
    }
    static void Collect(Win32Platform& platform, std::vector<RenderJobEvent>& events) {
        Collect(platform, events, [](const auto&) { return false; });
    }
    std::vector<RenderJobEvent> renderers(const std::vector<RenderJobEvent>& events) const {
        std::vector<RenderJobEvent> found;
        for (const RenderJobEvent& event : events) {
            if (event.kind == Kind::Started && SameWindowsPath(event.imagePath, renderer)) {
                found.push_back(event);
            }
        }
        return found;
    }
    static std::optional<std::int32_t> ExitOf(const std::vector<RenderJobEvent>& events,
                                              unsigned long processId) {
        for (const RenderJobEvent& event : events) {
            if (event.kind == Kind::Exited && event.processId == processId) return event.exitCode;
        }
        return std::nullopt;
    }

    const TempFolder temp{L"ravolen-follow"};
    const std::wstring install = temp.path() + L"\\Max 渲染";
    const std::wstring renderer = install + L"\\3dsmaxcmd.exe";
    const std::wstring scripts = temp.path() + L"\\bat";
    const std::wstring logFile = scripts + L"\\20261207-230105.log";
    std::vector<RenderJob> rows;
};

TEST_F(RenderJobFollowTest, EachProcessOfTheNightIsSeenWithItsExitCodeAndItsWordsAreKept) {
    plan(L"");
    const LocalTime before = ClockNow();
    Win32Platform platform;
    ASSERT_TRUE(start(platform));
    ASSERT_TRUE(platform.followRenderJob());
    EXPECT_TRUE(platform.followingThroughPort());
    std::vector<RenderJobEvent> events;
    Collect(platform, events);

    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::NoneLeft);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const auto& e) { return e.kind == Kind::NoneLeft; }),
              1);
    const std::vector<RenderJobEvent> calls = renderers(events);
    std::string started;
    for (const RenderJobEvent& event : events) {
        started += std::to_string(static_cast<int>(event.kind)) + " " +
                   std::to_string(event.processId) + " " + std::to_string(event.exitCode) + " " +
                   Utf8(event.imagePath) + "\n";
    }
    ASSERT_EQ(calls.size(), 4u) << started;
    std::vector<std::optional<std::int32_t>> codes;
    for (const RenderJobEvent& call : calls) {
        EXPECT_FALSE(call.joined);
        codes.push_back(ExitOf(events, call.processId));
    }
    EXPECT_EQ(codes, (std::vector<std::optional<std::int32_t>>{0, 3, 0, 0}));
    // Each renderer ends before the next starts, in the order of the script.
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
        const auto exited = std::find_if(events.begin(), events.end(), [&](const auto& e) {
            return e.kind == Kind::Exited && e.processId == calls[i].processId;
        });
        const auto next = std::find(events.begin(), events.end(), calls[i + 1]);
        EXPECT_LT(exited, next);
    }
    // The script itself: the first process of the job, and among the last to end.
    const RenderJobEvent& script = events.front();
    EXPECT_EQ(script.kind, Kind::Started);
    EXPECT_TRUE(EndsWithName(script.imagePath, L"cmd.exe")) << Utf8(script.imagePath);
    EXPECT_EQ(script.processId, platform.lastScript().processId);
    EXPECT_EQ(ExitOf(events, script.processId), 0);
    // Every moment told lies within the night (a start time misread would show as the year 21086).
    const LocalTime after = ClockNow();
    for (const RenderJobEvent& event : events) {
        EXPECT_LE(before, event.at) << Utf8(event.imagePath);
        EXPECT_LE(event.at, after) << Utf8(event.imagePath);
    }

    // The night as the window follows it.
    NightWatch watch(scripts, install, rows, script.at);
    for (const RenderJobEvent& event : events) {
        switch (event.kind) {
            case Kind::Started: watch.processStarted(event.processId, event.imagePath, event.at); break;
            case Kind::Exited:
                watch.processExited(event.processId, event.exitCode, event.at, [&](std::size_t row) {
                    return Exists(rows[row].outputFolder + L"\\" + rows[row].outputName);
                });
                break;
            case Kind::NoneLeft: watch.end(event.at); break;
        }
    }
    std::vector<RowPhase> phases;
    for (const RowState& state : watch.states()) phases.push_back(state.phase);
    EXPECT_EQ(phases, (std::vector<RowPhase>{RowPhase::Finished, RowPhase::Failed,
                                             RowPhase::NoOutput, RowPhase::Finished}));
    EXPECT_EQ(watch.states()[1].exitCode, 3);
    EXPECT_TRUE(watch.ended());

    // The log: cmd's echo of each job line, then what that row's renderer printed, as it came.
    const std::vector<std::wstring> lines = DecodeLog(ReadFile(logFile), platform.scriptCodec());
    const auto position = [&](std::wstring_view text) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::wstring& line) {
                                return line.find(text) != std::wstring::npos;
                            }) -
               lines.begin();
    };
    std::vector<std::ptrdiff_t> order;
    for (std::wstring_view text : {L"场景 1 & 100%.max", L"第一行 row 1", L"场景 2 & 100%.max",
                                   L"缺少贴图：map.png", L"Error: 找不到插件 上",
                                   L"场景 3 & 100%.max", L"场景 4 & 100%.max", L"最后 row 4"}) {
        order.push_back(position(text));
        EXPECT_LT(order.back(), static_cast<std::ptrdiff_t>(lines.size())) << Utf8(text);
    }
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_EQ(lines[static_cast<std::size_t>(order[4])], L"Error: 找不到插件 上");
    // A default terminal shows a new console's window whatever it was asked: the night has none.
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"console-window no"), lines.end());

    platform.stopFollowingRenderJob();
    EXPECT_TRUE(platform.takeRenderJobEvents().empty());
}

// The program ended while row 2 renders, and was started again.
TEST_F(RenderJobFollowTest, AProgramStartedAgainFindsTheRunningRowAndFollowsTheRest) {
    plan(L"2 wait 8000\r\n");
    const LocalTime before = ClockNow();
    const std::size_t threadsBefore = ThreadsOfThisProcess();
    DWORD second = 0;
    {
        Win32Platform first;
        ASSERT_TRUE(start(first));
        ASSERT_TRUE(first.followRenderJob());
        EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 1);
        std::vector<RenderJobEvent> events;
        Collect(first, events, [&](const auto& seen) { return renderers(seen).size() == 2; });
        ASSERT_EQ(renderers(events).size(), 2u);
        second = renderers(events)[1].processId;
    }  // the first program ends: its thread and the handles it kept go with it
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);

    Win32Platform later;
    ASSERT_TRUE(later.followRenderJob());
    EXPECT_FALSE(later.followingThroughPort());
    // Told first, in the order they started: the script before its renderer (Wine's console
    // host may come between).
    const std::vector<RenderJobEvent> joined = later.takeRenderJobEvents();
    ASSERT_GE(joined.size(), 2u);
    for (const RenderJobEvent& event : joined) {
        EXPECT_EQ(event.kind, Kind::Started);
        EXPECT_TRUE(event.joined);
        EXPECT_FALSE(event.commandLine.empty()) << Utf8(event.imagePath);
        EXPECT_LE(before, event.at) << Utf8(event.imagePath);
        EXPECT_LE(event.at, ClockNow()) << Utf8(event.imagePath);
    }
    EXPECT_TRUE(EndsWithName(joined.front().imagePath, L"cmd.exe"))
        << Utf8(joined.front().imagePath);
    const RenderJobEvent& running = joined.back();
    EXPECT_EQ(running.processId, second);
    EXPECT_TRUE(SameWindowsPath(running.imagePath, renderer)) << Utf8(running.imagePath);
    EXPECT_EQ(RowOfCommandLine(running.commandLine, install, rows), 1u)
        << Utf8(running.commandLine);

    // The night ends between two looks: the follower alone still holds the renderer...
    ASSERT_TRUE(WaitFor([&] { return !later.renderJobRunning(); }));
    EXPECT_EQ(calls(), 4u);
    EXPECT_TRUE(CanOpen(second));
    // ... for its exit code, and lets go of it once that is told.
    std::vector<RenderJobEvent> events;
    Collect(later, events);
    EXPECT_EQ(ExitOf(events, second), 3);
    EXPECT_TRUE(WaitFor([&] { return !CanOpen(second); }));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::NoneLeft);
    EXPECT_TRUE(later.takeRenderJobEvents().empty());
}

// The watchdog's reading and ending, against Wine's cmd and the stand-in: the processor time of
// a working renderer grows (Wine 8's GetProcessTimes of another process reads 0; the system's
// process list reads truly), and ending a row ends its renderer and what it started with 1460,
// while the script goes on to the next row.
TEST_F(RenderJobFollowTest, TheRowsTreeIsReadWorkingAndEndedAloneAndTheNightGoesOn) {
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_STANDIN).c_str(), (install + L"\\3dsmax.exe").c_str(), FALSE));
    plan(L"1 child\r\n1 busy 1500\r\n1 wait 120000\r\n");
    Win32Platform platform;
    ASSERT_TRUE(start(platform));
    ASSERT_TRUE(platform.followRenderJob());
    std::vector<RenderJobEvent> events;
    Collect(platform, events, [&](const auto& seen) { return renderers(seen).size() == 1; });
    ASSERT_EQ(renderers(events).size(), 1u);
    const DWORD first = renderers(events)[0].processId;

    // Read while it works, then while it waits with its child.
    std::vector<std::vector<ProcessTime>> readings;
    for (int i = 0; i < 40; ++i) {
        if (auto times = platform.renderTreeTimes(first)) readings.push_back(*times);
        Sleep(100);
    }
    ASSERT_GE(readings.size(), 30u);
    const auto total = [](const std::vector<ProcessTime>& times) {
        unsigned long long sum = 0;
        for (const ProcessTime& time : times) sum += time.time;
        return sum;
    };
    EXPECT_EQ(readings.front().front().processId, first);
    // The renderer and the 3ds Max it started (with, under Wine, the console host of that one).
    EXPECT_GE(readings.back().size(), 2u);
    EXPECT_GT(total(readings.back()), total(readings.front()) + 5'000'000)
        << "half a second of work at least: " << total(readings.front()) << " then "
        << total(readings.back());
    // What the other way answers here, for the record.
    const KernelHandle opened(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, first));
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(opened.get(), &created, &exited, &kernel, &user);
    unsigned long long bytes = 0;
    for (const ProcessTime& time : readings.back()) bytes += time.bytes;
    std::printf("processor time read: %llu then %llu (100 ns) over %zu processes, %llu bytes moved; "
                "GetProcessTimes user %lu kernel %lu\n",
                total(readings.front()), total(readings.back()), readings.back().size(), bytes,
                user.dwLowDateTime, kernel.dwLowDateTime);
    // A stranger is no part of the row, nor is the script.
    EXPECT_FALSE(platform.renderTreeTimes(GetCurrentProcessId()));
    const DWORD script = platform.lastScript().processId;
    EXPECT_TRUE(platform.renderTreeTimes(script));

    EXPECT_TRUE(platform.endRenderTree(first, 1460));
    Collect(platform, events);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, Kind::NoneLeft);
    EXPECT_EQ(ExitOf(events, first), 1460);
    EXPECT_EQ(ExitOf(events, script), 0);
    EXPECT_EQ(renderers(events).size(), 4u);
    EXPECT_EQ(calls(), 4u);
    EXPECT_FALSE(platform.endRenderTree(first, 1460));  // gone
}

// Retry lines as Wine's cmd runs them: a crash's negative code is tried again, the watchdog's
// 1460 is not, a success is not; each try is a renderer of its own, told apart by position.
TEST_F(RenderJobFollowTest, AFailedRowIsTriedAgainByTheScriptAndEachTryIsItsOwnLine) {
    WriteWholeFile(install + L"\\3dsmaxcmd-plan", Utf8(L"1 exit -1073741819\r\n"
                                                     L"3 exit 1460\r\n"
                                                     L"5 exit 3\r\n"
                                                     L"6 exit 3\r\n"));
    Win32Platform platform;
    const ComposedScript script =
        ComposeRenderScript(install, rows, false, platform.scriptCodec(), nullptr, 1);
    ASSERT_TRUE(platform.writeFile(scripts + L"\\Render.bat", script.bytes));
    ProcessLaunch launch = ScriptLaunch(platform.systemFolder(), scripts, platform.scriptCodec().codePage());
    launch.outputFile = logFile;
    ASSERT_TRUE(platform.startInRenderJob(launch));
    ASSERT_TRUE(platform.followRenderJob());
    std::vector<RenderJobEvent> events;
    Collect(platform, events);
    EXPECT_EQ(calls(), 6u);
    NightWatch watch(scripts, install, rows, ClockNow(), 1);
    std::vector<int> rowsOfLines;
    std::vector<std::int32_t> codes;
    for (const RenderJobEvent& event : events) {
        if (event.kind == Kind::Started) {
            watch.processStarted(event.processId, event.imagePath, event.at);
        } else if (event.kind == Kind::Exited) {
            if (const auto line = watch.processExited(event.processId, event.exitCode, event.at,
                                                      [](std::size_t) { return true; })) {
                rowsOfLines.push_back(line->row);
                codes.push_back(*line->exitCode);
            }
        }
    }
    EXPECT_EQ(rowsOfLines, (std::vector<int>{1, 1, 2, 3, 4, 4}));
    EXPECT_EQ(codes, (std::vector<std::int32_t>{-1073741819, 0, 1460, 0, 3, 3}));
}

TEST_F(RenderJobFollowTest, StoppingEndsTheFollowingAndTheNightGoesOn) {
    plan(L"2 wait 3000\r\n");
    Win32Platform platform;
    const std::size_t threadsBefore = ThreadsOfThisProcess();
    ASSERT_TRUE(start(platform));
    ASSERT_TRUE(platform.followRenderJob());
    EXPECT_TRUE(platform.followRenderJob());  // once is enough
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 1);
    std::vector<RenderJobEvent> events;
    Collect(platform, events, [&](const auto& seen) { return renderers(seen).size() == 2; });
    ASSERT_EQ(renderers(events).size(), 2u);
    const DWORD second = renderers(events)[1].processId;

    platform.stopFollowingRenderJob();
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
    EXPECT_TRUE(platform.takeRenderJobEvents().empty());
    ASSERT_TRUE(WaitFor([&] { return calls() == 3; }));
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    // Wine lets go of an ended process's last traces a moment later; a kept handle never.
    EXPECT_TRUE(WaitFor([&] { return !CanOpen(second); }))
        << "the renderer's handle was kept after following stopped";
    EXPECT_EQ(calls(), 4u);
    EXPECT_TRUE(platform.takeRenderJobEvents().empty());
}

// A job nested in the render job (3ds Max or a licence helper may make one) tells the render
// job's port when it empties, with no sign of which job it was; and Windows may lose a message.
// The job itself is asked before the night ends.
TEST_F(RenderJobFollowTest, OnlyTheJobItselfSaysTheNightIsOver) {
    plan(L"4 wait 1500\r\n");
    Win32Platform platform;
    ASSERT_TRUE(start(platform));
    ASSERT_TRUE(platform.followRenderJob());
    std::vector<RenderJobEvent> events;
    Collect(platform, events, [&](const auto& seen) { return renderers(seen).size() == 1; });
    ASSERT_TRUE(PostQueuedCompletionStatus(platform.renderJobPort(), JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO,
                                           Win32Platform::RenderJobPortKey, nullptr));
    Collect(platform, events, [&](const auto& seen) { return renderers(seen).size() == 4; });
    ASSERT_EQ(renderers(events).size(), 4u) << "the night was taken as over";
    ASSERT_NE(events.back().kind, Kind::NoneLeft);
    // From the last row on, every message is lost to the follower.
    while (platform.renderJobRunning()) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED value = nullptr;
        GetQueuedCompletionStatus(platform.renderJobPort(), &message, &key, &value, 20);
    }
    Collect(platform, events);
    ASSERT_EQ(events.back().kind, Kind::NoneLeft);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const auto& e) { return e.kind == Kind::NoneLeft; }),
              1);
    EXPECT_EQ(ExitOf(events, renderers(events)[3].processId), 0);
}

// The install folder typed as an 8.3 name still names the renderer: each row is found.
TEST_F(RenderJobFollowTest, AnInstallFolderTypedAsItsShortNameStillFindsTheRows) {
    plan(L"");
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetShortPathNameW(install.c_str(), buffer, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::wstring shortInstall(buffer, length);
    ASSERT_NE(shortInstall, install);
    Win32Platform platform;
    EXPECT_TRUE(platform.sameFile(shortInstall + L"\\3dsmaxcmd.exe", renderer));
    EXPECT_FALSE(platform.sameFile(renderer, platform.systemFolder() + L"\\cmd.exe"));
    EXPECT_FALSE(platform.sameFile(renderer + L".missing", renderer + L".missing"));

    const ComposedScript script = ComposeRenderScript(shortInstall, rows, false, platform.scriptCodec());
    ASSERT_TRUE(platform.writeFile(scripts + L"\\Render.bat", script.bytes));
    ASSERT_TRUE(platform.startInRenderJob(
        ScriptLaunch(platform.systemFolder(), scripts, platform.scriptCodec().codePage())));
    const std::unique_ptr<NightFollower> night =
        NightFollower::Start(platform, nullptr, scripts, shortInstall, rows, ClockNow(), L"", L"");
    ASSERT_TRUE(night);
    for (int i = 0; i < 1800 && night->following(); ++i) {
        night->tick();
        Sleep(100);
    }
    std::vector<RowPhase> phases;
    for (const RowState& state : night->watch().states()) phases.push_back(state.phase);
    EXPECT_EQ(phases, (std::vector<RowPhase>{RowPhase::Finished, RowPhase::Failed,
                                             RowPhase::NoOutput, RowPhase::Finished}));
}

// A 3ds Max the last row's renderer left running would keep the job, and so the night, open for
// its ten minutes: it is ended as the renderer exits and named, and the night ends with its script.
TEST_F(RenderJobFollowTest, WhatARowLeavesRunningIsEndedAndNamedAndTheNightEndsWithItsScript) {
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_STANDIN).c_str(), (install + L"\\3dsmax.exe").c_str(), FALSE));
    plan(L"4 child\r\n");
    Win32Platform platform;
    ASSERT_TRUE(start(platform));
    const std::unique_ptr<NightFollower> night =
        NightFollower::Start(platform, nullptr, scripts, install, rows, ClockNow(), L"", L"");
    ASSERT_TRUE(night);
    for (int i = 0; i < 600 && night->following(); ++i) {  // a minute at most
        night->tick();
        Sleep(100);
    }
    EXPECT_FALSE(night->following());
    const std::vector<std::wstring> notes = night->view().notes;
    ASSERT_FALSE(notes.empty());
    EXPECT_TRUE(notes.back().starts_with(L"第4个任务的渲染程序结束后仍在运行的进程已被结束：")) << Utf8(notes.back());
    EXPECT_NE(notes.back().find(L"3dsmax.exe"), std::wstring::npos) << Utf8(notes.back());
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
}

TEST_F(RenderJobFollowTest, WithoutARenderNothingIsFollowed) {
    Win32Platform platform;
    EXPECT_FALSE(platform.followRenderJob());
    EXPECT_TRUE(platform.takeRenderJobEvents().empty());
    platform.stopFollowingRenderJob();
}

// The script's cmd inherits its job and its output file, and no other handle of the program.
TEST_F(RenderJobFollowTest, TheScriptInheritsItsJobAndItsOutputAndNothingElse) {
    plan(L"");
    const std::wstring hold = install + L"\\3dsmaxcmd-hold";
    WriteWholeFile(hold, "");
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const KernelHandle stray(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(stray);

    Win32Platform platform;
    ASSERT_TRUE(start(platform));
    ASSERT_TRUE(WaitFor([&] { return calls() == 1; }));
    const Win32Platform::ScriptStart script = platform.lastScript();
    ASSERT_NE(script.outputHandle, nullptr);
    const KernelHandle process(OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION,
                                           FALSE, script.processId));
    ASSERT_TRUE(process);
    const auto copyOf = [&](HANDLE value) {
        HANDLE copy = nullptr;
        return KernelHandle(DuplicateHandle(process.get(), value, GetCurrentProcess(), &copy, 0,
                                            FALSE, DUPLICATE_SAME_ACCESS)
                                ? copy
                                : nullptr);
    };
    const KernelHandle output = copyOf(script.outputHandle);
    ASSERT_TRUE(output) << "the script holds no handle at the value it inherited";
    BY_HANDLE_FILE_INFORMATION held{}, log{};
    const FileHandle opened(CreateFileW(logFile.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(opened) << "the log cannot be read while the night writes it";
    ASSERT_TRUE(GetFileInformationByHandle(output.get(), &held));
    ASSERT_TRUE(GetFileInformationByHandle(opened.get(), &log));
    EXPECT_EQ(held.nFileIndexLow, log.nFileIndexLow);
    EXPECT_EQ(held.nFileIndexHigh, log.nFileIndexHigh);
    // cmd reads the script in the code page it was written in, whatever the console's settings.
    EXPECT_NE(ProcessCommandLine(process.get(), script.processId)
                  .find(L"\\chcp.com\" " + std::to_wstring(platform.scriptCodec().codePage()) +
                        L" >nul 2>nul & .\\Render.bat"),
              std::wstring::npos);
    const KernelHandle job = copyOf(script.jobHandle);
    ASSERT_TRUE(job);
    BOOL inside = FALSE;
    ASSERT_TRUE(IsProcessInJob(process.get(), job.get(), &inside));
    EXPECT_TRUE(inside);
    // At the stray handle's value the script holds nothing, or something else.
    if (const KernelHandle other = copyOf(stray.get())) {
        SetEvent(other.get());
        EXPECT_EQ(WaitForSingleObject(stray.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the script inherited a handle not meant for it";
    }
    DeleteFileW(hold.c_str());
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    EXPECT_EQ(calls(), 4u);
}

TEST(Win32Platform, AppendingAddsAtTheEndAndDeletingRemoves) {
    const TempFolder temp(L"ravolen-append");
    Win32Platform platform;
    const std::wstring path = temp.path() + L"\\记录.csv";
    EXPECT_TRUE(platform.appendFile(path, "a,b\r\n"));  // made where missing
    EXPECT_TRUE(platform.appendFile(path, "c,d\r\n"));
    EXPECT_TRUE(platform.appendFile(path, ""));
    EXPECT_EQ(ReadFile(path), "a,b\r\nc,d\r\n");
    {
        // Held open by a reader that lets others write, as the results dialog reads it.
        const FileHandle reader(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        EXPECT_TRUE(platform.appendFile(path, "e\r\n"));
        // Held without sharing the delete: it stays.
        EXPECT_FALSE(platform.deleteFile(path));
        EXPECT_TRUE(Exists(path));
    }
    EXPECT_EQ(ReadFile(path), "a,b\r\nc,d\r\ne\r\n");
    EXPECT_FALSE(platform.appendFile(temp.path() + L"\\missing\\x.csv", "x"));
    EXPECT_TRUE(platform.deleteFile(path));
    EXPECT_FALSE(Exists(path));
    EXPECT_TRUE(platform.deleteFile(path));  // nothing there: nothing left to delete
}

// Whatever the shell offers, the calls with a real window come back; where it offers the taskbar,
// each is accepted.
// Shell_NotifyIcon fails under Wine's null driver and works under Xvfb: what the shell answered is
// recorded, and nothing is left behind either way; the flash needs no shell at all.
TEST(Win32Platform, TheNightsNotificationIsShownWhereTheShellCanAndTheButtonFlashes) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"Ravolen", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        Win32Platform platform;
        const std::wstring summary = L"渲染完成：10个任务，8个已完成，2个失败";
        const bool shown = platform.showNotification(window, WM_APP + 24, summary, summary);
        RecordProperty("notification", shown ? "shown" : "refused");
        // Added again without a balloon, with a tip longer than a tip holds, cut before a
        // character outside the basic plane.
        const std::wstring tip = std::wstring(126, L'夜') + L"\U0001F319" + summary;
        EXPECT_EQ(platform.showNotification(window, WM_APP + 24, tip, L""), shown);
        platform.flashTaskbarButton(window);
        platform.removeNotification(window);
        platform.removeNotification(window);  // twice is harmless
    }
    DestroyWindow(window);
}

// For a picture under Xvfb (scripts/screenshot.sh with this test as its command): the notification
// as the morning finds it.
TEST(Win32Platform, DISABLED_HoldsTheNightsNotificationForAPicture) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"RavolenV1.0    --Quorth",
                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 500, 300, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    Win32Platform platform;
    const std::wstring summary = L"渲染完成：10个任务，8个已完成，2个失败";
    EXPECT_TRUE(platform.showNotification(window, WM_APP + 24, summary, summary));
    platform.flashTaskbarButton(window);
    PumpMessagesFor(20000);
    platform.removeNotification(window);
    DestroyWindow(window);
}

TEST(Win32Platform, TaskbarProgressIsShownOnARealWindow) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"Ravolen", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        Win32Platform platform;
        using State = TaskbarProgress::State;
        std::vector<long> answers;
        for (const TaskbarProgress progress :
             {TaskbarProgress{State::Normal, 0, 4}, TaskbarProgress{State::Normal, 1, 4},
              TaskbarProgress{State::Error, 2, 4}, TaskbarProgress{State::Error, 9, 4},
              TaskbarProgress{State::None, 0, 0}, TaskbarProgress{State::Normal, 0, 0}}) {
            platform.showTaskbarProgress(window, progress);
            answers.push_back(platform.lastTaskbarAnswer());
        }
        RecordProperty("taskbar", std::to_string(answers.front()));
        if (SUCCEEDED(answers.front())) {
            for (const long answer : answers) EXPECT_TRUE(SUCCEEDED(answer)) << std::hex << answer;
        }
    }
    DestroyWindow(window);
}

}  // namespace
}  // namespace ravolen
