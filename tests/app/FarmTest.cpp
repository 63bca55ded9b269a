#include <windows.h>

#include <gtest/gtest.h>

#include "app/MainWindowFixture.h"
#include "farm/FarmJobs.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;

std::wstring MenuText(HMENU menu, UINT id) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, id, text, 128, MF_BYCOMMAND);
    return text;
}

class FarmTest : public MainWindowTest {
protected:
    HMENU ways() const {
        const HMENU render = GetSubMenu(GetMenu(form.hwnd()), 2);
        return GetSubMenu(render, GetMenuItemCount(render) - 2);  // 夜间选项 is last
    }
    UINT way(int position) const { return GetMenuItemID(ways(), position); }
    bool checked(int position) const {
        return (GetMenuState(ways(), static_cast<UINT>(position), MF_BYPOSITION) & MF_CHECKED) != 0;
    }
    FarmDialog& open(int position) {
        SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(way(position), 0), 0);
        test::PumpMessages();
        return *form.farmDialog();
    }
    static HWND field(FarmDialog& dialog, const wchar_t* name) { return dialog.control(name); }
    void addRows() {
        form.jobs().append({L"\\\\farm\\scenes\\lobby.max", L"默认", L"N:\\out", L"lobby.tga", L"默认", L"默认"});
        form.jobs().append({L"C:\\local\\hall.max", L"Camera01", L"N:\\out", L"hall.tga", L"1920", L"1080"});
        form.jobs().append({L"N:\\场景\\lobby.max", L"默认", L"D:\\本地输出", L"x.tga", L"默认", L"默认"});
    }
    // Delivers the submission's own messages until `rows` rows are answered or it is done.
    void submitTurns(int rows = 1000) {
        for (int waited = 0; waited < 10000 && rows > 0 && form.deadlineSubmission(); ++waited) {
            MSG message;
            if (!PeekMessageW(&message, form.deadlineSubmission()->hwnd(), WM_APP + 1, WM_APP + 2,
                              PM_REMOVE)) {
                Sleep(1);  // the tool runs on its own thread
                continue;
            }
            if (message.message == WM_APP + 2) --rows;
            DispatchMessageW(&message);
        }
    }
};

TEST_F(FarmTest, TheSettingsAreCheckedAndOkChoosesTheFarmCancelNot) {
    EXPECT_EQ(MenuText(ways(), way(0)), L"本机渲染");
    EXPECT_EQ(MenuText(ways(), way(1)), L"提交到Deadline…");
    EXPECT_EQ(MenuText(ways(), way(2)), L"提交到Backburner…");
    EXPECT_TRUE(checked(0));

    FarmDialog& deadline = open(1);
    EXPECT_EQ(win::WindowText(deadline.hwnd()), L"提交到Deadline");
    EXPECT_EQ(win::WindowText(field(deadline, L"Priority")), L"50");
    const std::pair<const wchar_t*, const wchar_t*> wrong[] = {
        {L"1a", L"优先级只能是0到100之间的整数。"}, {L"101", L"优先级只能是0到100之间的整数。"},
        {L"", L"优先级只能是0到100之间的整数。"}};
    win::SetText(field(deadline, L"Path"), L"D:\\Deadline10\\bin\\deadlinecommand.exe");
    for (const auto& [priority, message] : wrong) {
        win::SetText(field(deadline, L"Priority"), priority);
        Click(field(deadline, L"Ok"));
        EXPECT_EQ(platform.messages.back().text, message);
        EXPECT_EQ(GetFocus(), field(deadline, L"Priority"));
    }
    win::SetText(field(deadline, L"Path"), L"");
    win::SetText(field(deadline, L"Priority"), L"0");
    Click(field(deadline, L"Ok"));
    EXPECT_EQ(platform.messages.back().text, L"请填写deadlinecommand.exe的路径。");
    EXPECT_TRUE(checked(0));
    Click(field(deadline, L"Cancel"));
    EXPECT_EQ(form.renderWay(), RenderWay::Local);

    FarmDialog& backburner = open(2);
    win::SetText(field(backburner, L"Manager"), L"");
    Click(field(backburner, L"Ok"));
    EXPECT_EQ(platform.messages.back().text, L"请填写Backburner管理器的名称。");
    win::SetText(field(backburner, L"Manager"), L"render-01");
    win::SetText(field(backburner, L"Port"), L"70000");
    Click(field(backburner, L"Ok"));
    EXPECT_EQ(platform.messages.back().text, L"端口只能是1到65535之间的整数。");
    EXPECT_EQ(form.renderWay(), RenderWay::Local);
    win::SetText(field(backburner, L"Port"), L"3234");
    Click(field(backburner, L"Ok"));
    EXPECT_EQ(form.renderWay(), RenderWay::Backburner);
    EXPECT_TRUE(checked(2));
    EXPECT_FALSE(checked(0));
}

TEST_F(FarmTest, BackburnerRendersTheScriptWithItsSwitchesAfterTheQuestion) {
    addRows();
    FarmDialog& backburner = open(2);
    win::SetText(field(backburner, L"Manager"), L"render-01");
    Click(field(backburner, L"Ok"));
    Click(control(L"shutdownCheck"));

    platform.answer = false;
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_TRUE(platform.questions[0].starts_with(
        L"农场的渲染节点可能无法访问以下本地路径，仍要提交吗？\n\n第2行：C:\\local\\hall.max\n第3行：D:\\本地输出"));
    EXPECT_TRUE(platform.started.empty());

    platform.answer = true;
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    const std::string& script = platform.files.at(ScriptPath);
    EXPECT_NE(script.find("-submit:render-01 -jobName:lobby -priority:50 "), std::string::npos);
    EXPECT_NE(script.find("-jobName:\"lobby (2)\""), std::string::npos);
    EXPECT_EQ(script.find("shutdown"), std::string::npos);  // nothing renders here
    EXPECT_EQ(platform.messages.back().text,
              L"所有渲染任务正在提交到Backburner管理器 render-01。\n"
              L"农场渲染不在本机进行，“渲染完成后自动关机”不适用，本机不会关机。");
    // Nothing renders here: the machine may sleep, and nothing comes back after a restart.
    EXPECT_EQ(platform.nightHolds, std::vector<std::wstring>{L"unregisterRestart"});
}

TEST_F(FarmTest, DeadlineTakesTheRowsOneByOneAndTellsWhatItRefused) {
    addRows();
    FarmDialog& deadline = open(1);
    win::SetText(field(deadline, L"Path"), L"N:\\Deadline\\deadlinecommand.exe");
    Click(field(deadline, L"Ok"));
    platform.runAnswers = {ProcessOutput{0, "Result=Success\r\nJobID=a1\r\n"},
                           ProcessOutput{1, "Submitting\r\nError: no such pool\r\n"},
                           ProcessOutput{0, "JobID=a3\r\n"}};
    SendMessageW(control(L"renderButton"), BM_CLICK, 0, 0);  // the turns are delivered one by one
    ASSERT_NE(form.deadlineSubmission(), nullptr);
    submitTurns();
    EXPECT_EQ(form.deadlineSubmission(), nullptr);
    EXPECT_EQ(platform.messages.back().text,
              L"Deadline接受了2个任务，共3个。\n未被接受：\n第2行 C:\\local\\hall.max：Error: no such pool");
    const std::wstring folder = L"C:\\Tools\\Ravolen\\bat\\deadline";
    const std::string jobInfo = platform.files.at(folder + L"\\job_2.job");
    EXPECT_EQ(jobInfo, Utf16LeFile(DeadlineJobInfo(form.jobs().job(2), {})));
    EXPECT_EQ(platform.files.at(folder + L"\\plugin_3.job"),
              Utf16LeFile(DeadlinePluginInfo(L"D:\\Program Files\\Autodesk\\3ds Max 2012",
                                             form.jobs().job(3))));
    EXPECT_EQ(platform.started[0].commandLine,
              L"N:\\Deadline\\deadlinecommand.exe " + folder + L"\\job_1.job " + folder +
                  L"\\plugin_1.job");
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
}

// Each byte as the character of the same number: no Windows code page reads GBK's bytes so.
class Latin1 final : public TextCodec {
public:
    std::optional<std::string> encode(std::wstring_view) const override { return std::nullopt; }
    std::string encodeLossy(std::wstring_view) const override { return {}; }
    std::wstring decode(std::string_view bytes) const override {
        std::wstring text;
        for (const char byte : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
        return text;
    }
};

// deadlinecommand prints in the system's ANSI code page, which the platform decodes.
TEST_F(FarmTest, DeadlinesAnswerIsReadInTheCodePageThePlatformNames) {
    addRows();
    FarmDialog& deadline = open(1);
    win::SetText(field(deadline, L"Path"), L"N:\\Deadline\\deadlinecommand.exe");
    Click(field(deadline, L"Ok"));
    const std::string gbk = "\xb4\xed\xce\xf3\xa3\xba\xc3\xbb\xd3\xd0\xd5\xe2\xb8\xf6\xb3\xd8";  // 错误：没有这个池
    platform.runAnswers = {ProcessOutput{1, "Submitting\r\n" + gbk + "\r\n"},
                           ProcessOutput{0, "JobID=a2\r\n"}, ProcessOutput{0, "JobID=a3\r\n"}};
    SendMessageW(control(L"renderButton"), BM_CLICK, 0, 0);
    submitTurns();
    EXPECT_EQ(platform.messages.back().text,
              L"Deadline接受了2个任务，共3个。\n未被接受：\n第1行 \\\\farm\\scenes\\lobby.max：错误：没有这个池");

    const Latin1 latin1;
    platform.ansi = &latin1;
    platform.runs = 0;
    SendMessageW(control(L"renderButton"), BM_CLICK, 0, 0);
    submitTurns();
    std::wstring asLatin1;
    for (const char byte : gbk) asLatin1 += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    EXPECT_EQ(platform.messages.back().text,
              L"Deadline接受了2个任务，共3个。\n未被接受：\n第1行 \\\\farm\\scenes\\lobby.max：" + asLatin1);
    platform.ansi = &test::Cp936();
}

TEST_F(FarmTest, DeadlineStopsAfterTheCurrentRowAndNeedsItsTool) {
    addRows();
    FarmDialog& deadline = open(1);
    win::SetText(field(deadline, L"Path"), L"N:\\Deadline\\deadlinecommand.exe");
    Click(field(deadline, L"Ok"));
    platform.runAnswer = ProcessOutput{0, "JobID=1\r\n"};
    SendMessageW(control(L"renderButton"), BM_CLICK, 0, 0);
    submitTurns(1);
    ASSERT_NE(form.deadlineSubmission(), nullptr);
    SendMessageW(form.deadlineSubmission()->control(L"Stop"), BM_CLICK, 0, 0);
    submitTurns();
    EXPECT_EQ(platform.started.size(), 1u);
    EXPECT_EQ(platform.messages.back().text,
              L"Deadline接受了1个任务，共3个。\n已停止：其余2个没有提交。");

    platform.missingFiles = {L"N:\\Deadline\\deadlinecommand.exe"};
    Click(control(L"renderButton"));
    EXPECT_EQ(platform.messages.back().text,
              L"找不到Deadline的提交程序：N:\\Deadline\\deadlinecommand.exe，没有提交任何任务。");
    EXPECT_EQ(platform.started.size(), 1u);
    EXPECT_EQ(form.deadlineSubmission(), nullptr);
}

}  // namespace
}  // namespace ravolen
