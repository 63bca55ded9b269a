#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

#include "base/BoxOwner.h"
#include "app/MainWindowFixture.h"
#include "render/RenderCommand.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;

constexpr wchar_t SubmittingMessage[] = L"上一批任务仍在提交到Deadline，请等它完成或点击“停止”。";
constexpr wchar_t ExitQuestion[] = L"正在提交到Deadline，确定要停止提交并退出吗？";

// The night's commands arriving where Windows lets them: inside a box that pumps messages, with
// another program in front, and while a submission runs.
class MainWindowHoldsTest : public MainWindowTest {
protected:
    void addRows(int count = 3) {
        for (int i = 1; i <= count; ++i) {
            form.jobs().append({L"\\\\farm\\scenes\\s" + std::to_wstring(i) + L".max", L"默认",
                                L"\\\\farm\\out", L"s.tga", L"默认", L"默认"});
        }
    }
    void chooseWay(UINT id) {
        SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        test::PumpMessages();
    }
    UINT wayId(int position) const {
        const HMENU render = GetSubMenu(GetMenu(form.hwnd()), 2);
        return GetMenuItemID(GetSubMenu(render, GetMenuItemCount(render) - 2), position);  // 夜间选项 is last
    }
    void chooseDeadline(const wchar_t* timeout = nullptr) {
        chooseWay(wayId(1));
        FarmDialog& dialog = *form.farmDialog();
        win::SetText(dialog.control(L"Path"), L"N:\\Deadline\\deadlinecommand.exe");
        if (timeout) win::SetText(dialog.control(L"Timeout"), timeout);
        Click(dialog.control(L"Ok"));
    }
    // Delivers the submission's own messages until `rows` rows are answered or it is done.
    void submitTurns(int rows = 1000) {
        for (int waited = 0; waited < 10000 && rows > 0 && form.deadlineSubmission(); ++waited) {
            MSG message;
            if (!PeekMessageW(&message, form.deadlineSubmission()->hwnd(), WM_APP + 1, WM_APP + 2,
                              PM_REMOVE)) {
                Sleep(1);
                continue;
            }
            if (message.message == WM_APP + 2) --rows;
            DispatchMessageW(&message);
        }
    }
    // A click whose consequences are left queued, so that the submission's turns are delivered
    // one by one.
    static void Press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
    // Three rows to Deadline, each accepted; returns with the first one answered.
    void submitFirstOfThree() {
        addRows();
        chooseDeadline();
        platform.runAnswer = ProcessOutput{0, "JobID=1\r\n"};
        Press(control(L"renderButton"));
        submitTurns(1);
    }
    // The box pumps messages, as every message box does.
    static void PumpInsideTheBox() { test::PumpMessages(); }
};

TEST_F(MainWindowHoldsTest, TheProgressWindowsCloseBoxStopsAndTellsWhatWasSubmitted) {
    submitFirstOfThree();
    ASSERT_NE(form.deadlineSubmission(), nullptr);
    const HWND progress = form.deadlineSubmission()->hwnd();
    SendMessageW(progress, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(progress)) << "the close box destroyed the window under way";
    submitTurns();
    EXPECT_EQ(platform.runs, 1u);
    EXPECT_EQ(platform.messages.back().text, L"Deadline接受了1个任务，共3个。\n已停止：其余2个没有提交。");
}

TEST_F(MainWindowHoldsTest, EachRowHasTheTimeLimitOfTheDialogAndARowPastItIsRefused) {
    addRows(2);
    chooseWay(wayId(1));
    FarmDialog& dialog = *form.farmDialog();
    EXPECT_EQ(win::WindowText(dialog.control(L"Timeout")), L"120");
    win::SetText(dialog.control(L"Path"), L"N:\\Deadline\\deadlinecommand.exe");
    for (const wchar_t* wrong : {L"9", L"3601", L"", L"1a"}) {
        win::SetText(dialog.control(L"Timeout"), wrong);
        Click(dialog.control(L"Ok"));
        EXPECT_EQ(platform.messages.back().text, L"单个任务超时只能是10到3600之间的整数（秒）。");
        EXPECT_EQ(GetFocus(), dialog.control(L"Timeout"));
    }
    win::SetText(dialog.control(L"Timeout"), L"10");
    Click(dialog.control(L"Ok"));
    EXPECT_EQ(form.farmDialog(), nullptr);

    ProcessOutput late{1, "Connecting to the repository...\r\n"};
    late.timedOut = true;
    platform.runAnswers = {late, ProcessOutput{0, "JobID=2\r\n"}};
    Click(control(L"renderButton"));
    submitTurns();
    ASSERT_EQ(platform.runBounds.size(), 2u);
    EXPECT_EQ(platform.runBounds[0].seconds, 10u);
    EXPECT_NE(platform.runBounds[0].stop, nullptr);
    EXPECT_EQ(platform.messages.back().text,
              L"Deadline接受了1个任务，共2个。\n未被接受：\n第1行 \\\\farm\\scenes\\s1.max："
              L"deadlinecommand在10秒内没有回应");
}

TEST_F(MainWindowHoldsTest, RenderIsRefusedWhileASubmissionRuns) {
    submitFirstOfThree();
    ASSERT_NE(form.deadlineSubmission(), nullptr);
    Press(control(L"renderButton"));
    EXPECT_EQ(platform.messages.back().text, SubmittingMessage);
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(wayId(0), 0), 0);  // not even here
    Press(control(L"renderButton"));
    EXPECT_EQ(platform.messages.back().text, SubmittingMessage);
    EXPECT_TRUE(platform.startedInJob.empty());
    submitTurns();
    EXPECT_EQ(platform.runs, 3u);
}

// Closing the main window mid-batch asks; 否 goes on, 是 ends the row's tool and the program.
TEST_F(MainWindowHoldsTest, ClosingTheMainWindowMidBatchAsksAndEndsTheToolOnlyOnYes) {
    submitFirstOfThree();
    platform.answer = false;
    SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], ExitQuestion);
    ASSERT_NE(form.hwnd(), nullptr);
    submitTurns();
    EXPECT_EQ(platform.runs, 3u);
    EXPECT_EQ(platform.messages.back().text, L"Deadline接受了3个任务，共3个。");

    // The next batch: the tool hangs until it is told to stop, as a silent repository would.
    std::atomic<bool> stopped{false};
    platform.onRun = [&](const ProcessLaunch&, RunBounds bounds) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!bounds.stop->load() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopped = bounds.stop->load();
    };
    Press(control(L"renderButton"));
    for (int i = 0; i < 5000 && platform.runs < 4; ++i) {
        test::PumpMessages();
        Sleep(2);
    }
    ASSERT_EQ(platform.runs, 4u);
    platform.answer = true;
    const std::size_t messages = platform.messages.size();
    Click(control(L"exitButton"));  // 退  出 asks the same
    EXPECT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(form.hwnd(), nullptr);
    EXPECT_TRUE(stopped) << "the row's tool was not told to end";
    EXPECT_EQ(platform.runs, 4u);
    EXPECT_EQ(platform.messages.size(), messages);
}

// The closing message of a submission is open (the artist is in another program) while 渲  染
// is clicked again and then the main window closes: the submission lives until its handler
// returns.
TEST_F(MainWindowHoldsTest, TheSubmissionOutlivesCommandsThatArriveDuringItsClosingMessage) {
    addRows(1);
    chooseDeadline();
    platform.runAnswer = ProcessOutput{0, "JobID=1\r\n"};
    const test::ForeignForeground artistElsewhere;
    Press(control(L"renderButton"));
    ASSERT_NE(form.deadlineSubmission(), nullptr);
    const HWND progress = form.deadlineSubmission()->hwnd();
    const int live = win::Window::LiveCount();
    bool inside = false;
    platform.onMessage = [&](const std::wstring& text) {
        if (!text.starts_with(L"Deadline接受了") || inside) return;
        inside = true;
        PumpInsideTheBox();
        EXPECT_EQ(CurrentBoxOwner, progress);
        SendMessageW(control(L"renderButton"), BM_CLICK, 0, 0);
        EXPECT_EQ(platform.messages.back().text, SubmittingMessage);
        EXPECT_TRUE(IsWindow(progress));
        SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
        EXPECT_EQ(form.hwnd(), nullptr);
        EXPECT_TRUE(platform.questions.empty()) << "nothing is submitted any more";
        // The farm dialog went at once; the submission is still on the stack, and alive.
        EXPECT_EQ(win::Window::LiveCount(), live - 1);
    };
    submitTurns();
    EXPECT_TRUE(inside);
    EXPECT_EQ(win::Window::LiveCount(), live - 2) << "the submission was not deleted afterwards";
}

// 渲染方式 › 提交到… chosen again while the settings dialog's own message is open.
TEST_F(MainWindowHoldsTest, TheFarmDialogOutlivesAChoiceMadeDuringItsMessage) {
    chooseWay(wayId(1));
    FarmDialog* dialog = form.farmDialog();
    const HWND window = dialog->hwnd();
    win::SetText(dialog->control(L"Path"), L"");
    const test::ForeignForeground artistElsewhere;
    int turn = 0;
    platform.onMessage = [&](const std::wstring&) {
        PumpInsideTheBox();
        EXPECT_EQ(CurrentBoxOwner, window);
        if (turn++ == 0) {
            chooseWay(wayId(1));  // the same: it stays as it is
            EXPECT_EQ(form.farmDialog(), dialog);
        } else {
            chooseWay(wayId(2));  // another: this one goes, once its handler returned
            EXPECT_TRUE(IsWindow(window));
            EXPECT_EQ(win::Window::FromHandle(window), dialog);
        }
    };
    Click(dialog->control(L"Ok"));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(form.farmDialog(), dialog);
    Click(dialog->control(L"Ok"));
    EXPECT_FALSE(IsWindow(window));
    ASSERT_NE(form.farmDialog(), nullptr);
    EXPECT_EQ(form.farmDialog()->way(), RenderWay::Backburner);
}

// 退  出 clicked while the job editor tells of a missing field.
TEST_F(MainWindowHoldsTest, TheJobEditorOutlivesAnExitDuringItsMessage) {
    Click(control(L"addJobButton"));
    ASSERT_NE(form.jobDialog(), nullptr);
    JobDialog* editor = form.jobDialog();
    const HWND window = editor->hwnd();
    const test::ForeignForeground artistElsewhere;
    platform.onMessage = [&](const std::wstring&) {
        PumpInsideTheBox();
        EXPECT_EQ(CurrentBoxOwner, window);
        SendMessageW(control(L"exitButton"), BM_CLICK, 0, 0);
        EXPECT_EQ(form.hwnd(), nullptr);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(win::Window::FromHandle(window), editor);
    };
    SendMessageW(editor->control(L"okButton"), BM_CLICK, 0, 0);
    EXPECT_EQ(platform.messages.back().text, L"请将带 * 号的选项补充完成！！");
    EXPECT_FALSE(IsWindow(window));
}

// A handler that fails tells the artist once, from the main window, and the program goes on.
TEST_F(MainWindowHoldsTest, AFailedHandlerIsToldByTheMainWindowAndTheProgramGoesOn) {
    HWND owner = nullptr;
    platform.onMessage = [&](const std::wstring&) { owner = CurrentBoxOwner; };
    platform.beforeDialog = [] { throw std::bad_alloc(); };
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 0), 0), 0), 0);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"程序内部错误：内存不足，刚才的操作没有完成。");
    EXPECT_EQ(owner, form.hwnd());

    // From the ownerless job editor too, and with the failure's own words.
    Click(control(L"addJobButton"));
    platform.beforeDialog = [] { throw std::runtime_error("thread cannot start"); };
    Click(form.jobDialog()->control(L"pickSceneButton"));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, L"程序内部错误：thread cannot start，刚才的操作没有完成。");
    EXPECT_EQ(owner, form.hwnd());

    platform.beforeDialog = nullptr;
    platform.openAnswer = {L"E:\\a.max"};
    Click(control(L"quickAddButton"));
    EXPECT_EQ(form.jobs().count(), 1);
}

TEST_F(MainWindowHoldsTest, AJobListOver64MBIsRefusedBeforeReading) {
    const std::wstring path = L"E:\\lists\\huge.csv";
    platform.openAnswer = {path};
    platform.files[path] = "\xEF\xBB\xBF";
    platform.sizes[path] = (64ull << 20) + 1;
    const UINT open = GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 0), 0);
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(open, 0), 0);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"任务列表文件太大（超过64MB）：" + path);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), L"readFile " + path), 0);

    platform.sizes[path] = 64ull << 20;  // exactly the limit is read
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(open, 0), 0);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), L"readFile " + path), 1);
}

// Where bat cannot be made beside the program, the script goes to the user's own folder and the
// message says where.
TEST_F(MainWindowHoldsTest, AnUnwritableProgramFolderSendsTheScriptsToTheUsersFolder) {
    fillTwoRows();
    // Named once the window is up, so that no session is kept in this test.
    platform.userData = L"C:\\Users\\美术\\AppData\\Local\\Ravolen";
    platform.unwritable = {L"C:\\Tools\\Ravolen\\bat"};
    const std::wstring own = L"C:\\Users\\美术\\AppData\\Local\\Ravolen\\bat";
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, std::wstring(RenderStartedMessage) +
                                             L"\n渲染脚本保存在：" + own + L"\\Render.bat");
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    EXPECT_EQ(platform.startedInJob[0].workingFolder, own);
    EXPECT_TRUE(platform.files.count(own + L"\\Render.bat"));

    // Deadline's files follow the script.
    platform.messages.clear();
    Click(control(L"cancelShutdownButton"));  // 取消关机 enables 渲  染 again
    chooseDeadline();
    platform.runAnswer = ProcessOutput{0, "JobID=1\r\n"};
    platform.answer = true;
    Click(control(L"renderButton"));
    submitTurns();
    EXPECT_EQ(platform.messages.back().text, L"Deadline接受了2个任务，共2个。");
    EXPECT_TRUE(platform.files.count(own + L"\\deadline\\job_2.job"));
    EXPECT_EQ(platform.started.back().workingFolder, own + L"\\deadline");

    // Where the program's folder takes it, nothing changes.
    platform.unwritable.clear();
    platform.messages.clear();
    chooseWay(wayId(0));
    Click(control(L"cancelShutdownButton"));
    Click(control(L"renderButton"));
    EXPECT_EQ(platform.messages.back().text, RenderStartedMessage);
    EXPECT_EQ(platform.startedInJob.back().workingFolder, L"C:\\Tools\\Ravolen\\bat");

    // Run from a network folder, writable or not: cmd cannot run in it (Windows' cmd would start in
    // the Windows folder and find no script), so the user's own folder takes the script.
    platform.folder = L"\\\\srv\\share\\R";
    Click(control(L"cancelShutdownButton"));
    Click(control(L"renderButton"));
    EXPECT_EQ(platform.messages.back().text, std::wstring(RenderStartedMessage) +
                                                 L"\n渲染脚本保存在：" + own + L"\\Render.bat");
    EXPECT_EQ(platform.startedInJob.back().workingFolder, own);
}

}  // namespace
}  // namespace ravolen
