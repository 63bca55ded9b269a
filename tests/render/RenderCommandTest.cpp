#include "render/RenderCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "render/RenderScript.h"
#include "support/FakePlatform.h"

namespace ravolen {
namespace {

using test::FakePlatform;

const std::wstring ScriptFolder = L"C:\\Tools\\Ravolen\\bat";
const std::wstring ScriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";

RenderRequest Request(std::vector<RenderJob> rows, bool shutdown = false) {
    return {L"D:\\Max", std::move(rows), shutdown};
}

RenderJob Job(std::wstring scene, std::wstring name = L"a.tga") {
    return {std::move(scene), L"默认", L"F:\\out", std::move(name), L"默认", L"默认"};
}

TEST(StartRender, WritesTheScriptIntoItsFolderThenStartsItHidden) {
    FakePlatform platform;
    const RenderRequest request = Request({Job(L"E:\\a.max"), Job(L"E:\\b.max")}, true);

    EXPECT_TRUE(StartRender(platform, request));

    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{
                                  L"renderJobRunning",
                                  L"fileExists D:\\Max\\3dsmaxcmd.exe",
                                  L"createFolder " + ScriptFolder,
                                  L"writeFile " + ScriptPath,
                                  L"startInRenderJob \"C:\\windows\\system32\\cmd.exe\" /d /v:off /c "
                                  L"\"\"C:\\windows\\system32\\chcp.com\" 936 >nul 2>nul & .\\Render.bat\"",
                              }));
    EXPECT_EQ(platform.files[ScriptPath],
              ComposeRenderScript(L"D:\\Max", request.rows, true, platform.scriptCodec()).bytes);
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    EXPECT_EQ(platform.startedInJob[0], ScriptLaunch(L"C:\\windows\\system32", ScriptFolder, 936));
    EXPECT_TRUE(platform.messages.empty());
    // Held from before cmd reads it; an earlier hold, of a night that is over, went first.
    EXPECT_EQ(platform.scriptHolds, (std::vector<std::wstring>{L"letGoOfScript", L"holdScript " + ScriptPath}));
}

// A script another holds open is a night under way that this copy cannot see (one started in
// another logon session shares the program's bat folder, not its render job): it is not
// rewritten, and no script is written elsewhere instead to start a second night.
TEST(StartRender, AScriptAnotherHoldsIsANightUnderWayAndNothingIsWrittenAnywhere) {
    const std::wstring own = L"C:\\Users\\美术\\AppData\\Local\\Ravolen";
    const struct {
        const char* name;
        std::vector<RenderJob> rows;
        std::set<std::wstring> unwritable;
        std::wstring held;
        std::wstring failure;
    } cases[] = {
        {"beside the program", {Job(L"E:\\a.max")}, {}, ScriptPath, std::wstring(RenderStillRunningMessage)},
        {"a refused table", {Job(L"E:\\a.max", L"")}, {}, ScriptPath, L"请填写 E:\\a.max 的渲染输出路径"},
        {"in the user's folder", {Job(L"E:\\a.max")}, {ScriptFolder}, own + L"\\bat\\Render.bat",
         std::wstring(RenderStillRunningMessage)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlatform platform;
        platform.userData = own;
        platform.unwritable = c.unwritable;
        platform.held = {c.held};
        EXPECT_EQ(StartRender(platform, Request(c.rows)).failure, c.failure);
        EXPECT_TRUE(platform.files.empty());
        EXPECT_TRUE(platform.started.empty());
        EXPECT_FALSE(platform.holding);
    }
}

TEST(StartRender, AScriptThatStillRunsIsNeitherRewrittenNorJoinedByAnother) {
    FakePlatform platform;
    platform.renderRunning = true;
    const RenderStart started = StartRender(platform, Request({Job(L"E:\\a.max")}));
    EXPECT_FALSE(started);
    EXPECT_EQ(started.failure, L"上一批渲染任务仍在进行中，请等它完成，或先点击“取消渲染”。");
    // Not even a refused table touches the file the running script reads.
    EXPECT_EQ(StartRender(platform, Request({Job(L"E:\\a.max", L"")})).failure, started.failure);
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(platform.messages.empty()) << "a rule shows no box";
}

TEST(StartRender, NoScriptStartsWithoutTheRendererItCalls) {
    FakePlatform platform;
    platform.missingFiles = {L"D:\\Max\\3dsmaxcmd.exe"};
    EXPECT_EQ(StartRender(platform, Request({Job(L"E:\\a.max")}, true)).failure,
              L"找不到3dsMax的渲染程序：D:\\Max\\3dsmaxcmd.exe，请检查3dsMax的安装路径。");
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.started.empty());

    // A row's own faults are told first.
    EXPECT_EQ(StartRender(platform, Request({Job(L"E:\\a\"b.max")})).failure,
              L"请修改 E:\\a\"b.max 的设置：含有双引号或控制字符");

    // An empty table calls no renderer: its shutdown-only script starts.
    const RenderStart empty = StartRender(platform, Request({}, true));
    EXPECT_TRUE(empty);
    EXPECT_EQ(empty.failure, L"");
    EXPECT_EQ(platform.startedInJob.size(), 1u);
}

TEST(StartRender, TheRendererIsLookedForWhereTheScriptsInterpreterWillLook) {
    // cmd runs the script inside the bat folder, so a relative install folder counts from there.
    FakePlatform platform;
    platform.missingFiles = {L"C:\\Tools\\Ravolen\\bat\\Max 2012\\3dsmaxcmd.exe"};
    EXPECT_EQ(StartRender(platform, {L"Max 2012", {Job(L"E:\\a.max")}, false}).failure,
              L"找不到3dsMax的渲染程序：C:\\Tools\\Ravolen\\bat\\Max 2012\\3dsmaxcmd.exe，"
              L"请检查3dsMax的安装路径。");

    const std::wstring_view folder = L"C:\\Tools\\Ravolen\\bat";
    EXPECT_EQ(ResolveFrom(folder, L"D:\\Max\\a.exe"), L"D:\\Max\\a.exe");
    EXPECT_EQ(ResolveFrom(folder, L"\\\\server\\max\\a.exe"), L"\\\\server\\max\\a.exe");
    EXPECT_EQ(ResolveFrom(folder, L"..\\Max\\a.exe"), L"C:\\Tools\\Ravolen\\bat\\..\\Max\\a.exe");
    EXPECT_EQ(ResolveFrom(folder, L"\\Max\\a.exe"), L"C:\\Max\\a.exe");
    EXPECT_EQ(ResolveFrom(folder, L"c:Max\\a.exe"), L"C:\\Tools\\Ravolen\\bat\\Max\\a.exe");
    EXPECT_EQ(ResolveFrom(folder, L"D:Max\\a.exe"), L"D:\\Max\\a.exe");
}

// Never a program by its name: that would end every console and the artist's own 3ds Max.
TEST(CancelRender, EndsTheRenderJobAndNothingByName) {
    for (RenderJobEnd end : {RenderJobEnd::Ended, RenderJobEnd::NoneRunning, RenderJobEnd::Unavailable}) {
        FakePlatform platform;
        platform.jobEnd = end;
        EXPECT_EQ(CancelRender(platform), end);
        EXPECT_EQ(platform.calls, std::vector<std::wstring>{L"endRenderJob"});
    }
}

TEST(CancelShutdown, AbortsWithTheSystemsShutdownMinimised) {
    FakePlatform platform;
    CancelShutdown(platform);
    const std::wstring shutdown = L"C:\\windows\\system32\\shutdown.exe";
    EXPECT_EQ(platform.started, (std::vector<ProcessLaunch>{{shutdown, L"\"" + shutdown + L"\" -a",
                                                             L"", WindowStyle::MinimizedWithFocus}}));
}

TEST(StartRender, ARefusedRowIsReportedAndNothingStarts) {
    FakePlatform platform;
    EXPECT_EQ(StartRender(platform, Request({Job(L"E:\\a.max"), Job(L"E:\\b.max", L"")})).failure,
              L"请填写 E:\\b.max 的渲染输出路径");
    EXPECT_TRUE(platform.started.empty());
    // The rows before the refused one stay in the file, as they would in a file written line by line.
    const std::string& bytes = platform.files[ScriptPath];
    EXPECT_NE(bytes.find("E:\\a.max"), std::string::npos);
    EXPECT_EQ(bytes.find("E:\\b.max"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), " \n\r\n");
}

TEST(StartRender, AScriptThatCannotBeWrittenOrStartedIsReportedWithItsPath) {
    struct Case {
        bool FakePlatform::*failure;
        std::wstring message;
    };
    const Case cases[] = {
        {&FakePlatform::failCreateFolder, L"无法写入渲染脚本：" + ScriptPath},
        {&FakePlatform::failWrite, L"无法写入渲染脚本：" + ScriptPath},
        {&FakePlatform::failStart, L"无法启动渲染脚本：" + ScriptPath},
    };
    for (const Case& failing : cases) {
        SCOPED_TRACE(testing::PrintToString(failing.message));
        FakePlatform platform;
        platform.*failing.failure = true;
        EXPECT_EQ(StartRender(platform, Request({Job(L"E:\\a.max")})).failure, failing.message);
        EXPECT_TRUE(platform.started.empty());
        EXPECT_FALSE(platform.holding) << "no night runs";
    }
}

TEST(StartRender, AnEmptyTableStillStartsAScriptHoldingOnlyTheFinalLine) {
    FakePlatform platform;
    EXPECT_TRUE(StartRender(platform, Request({}, true)));
    EXPECT_EQ(platform.files[ScriptPath].rfind("shutdown -s -t 120 -c \"", 0), 0u);
    EXPECT_EQ(platform.started.size(), 1u);
}

// Installed where bat cannot be made or written: the user's own folder takes the script, and a
// relative install folder is then looked for from there, as cmd will.
TEST(StartRender, AnUnwritableProgramFolderSendsTheScriptToTheUsersOwnFolder) {
    const std::wstring own = L"C:\\Users\\美术\\AppData\\Local\\Ravolen";
    for (const wchar_t* closed : {L"C:\\Tools\\Ravolen\\bat", L"C:\\Tools\\Ravolen\\bat\\Render.bat"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(closed)));
        FakePlatform platform;
        platform.userData = own;
        platform.unwritable = {closed};
        const RenderStart started = StartRender(platform, Request({Job(L"E:\\a.max")}));
        ASSERT_TRUE(started);
        EXPECT_FALSE(started.besideProgram);
        EXPECT_EQ(started.scriptPath, own + L"\\bat\\Render.bat");
        EXPECT_TRUE(platform.files.count(own + L"\\bat\\Render.bat"));
        EXPECT_EQ(platform.startedInJob.at(0), ScriptLaunch(L"C:\\windows\\system32", own + L"\\bat", 936));
        EXPECT_EQ(RenderStartedText(L"已开始。", started), L"已开始。\n渲染脚本保存在：" + own + L"\\bat\\Render.bat");
    }

    FakePlatform platform;
    platform.userData = own;
    platform.unwritable = {ScriptFolder};
    platform.missingFiles = {own + L"\\bat\\Max\\3dsmaxcmd.exe"};
    EXPECT_EQ(StartRender(platform, {L"Max", {Job(L"E:\\a.max")}, false}).failure,
              L"找不到3dsMax的渲染程序：" + own + L"\\bat\\Max\\3dsmaxcmd.exe，请检查3dsMax的安装路径。");
    EXPECT_TRUE(platform.startedInJob.empty());

    // cmd cannot run in a network folder (it would start in the Windows folder and find no
    // script), nor in one longer than MAX_PATH: the user's own folder takes the script.
    for (const std::wstring& folder : {std::wstring(L"\\\\srv\\share\\R"),
                                       std::wstring(L"\\\\?\\UNC\\srv\\share\\R"),
                                       L"C:\\" + std::wstring(255, L'长')}) {
        FakePlatform network;
        network.folder = folder;
        network.userData = own;
        const RenderStart started = StartRender(network, Request({Job(L"E:\\a.max")}));
        ASSERT_TRUE(started);
        EXPECT_FALSE(started.besideProgram);
        EXPECT_EQ(started.scriptPath, own + L"\\bat\\Render.bat");
        EXPECT_EQ(network.startedInJob.at(0).workingFolder, own + L"\\bat");
        EXPECT_FALSE(network.folders.count(folder + L"\\bat"));
    }
    EXPECT_TRUE(CmdCanRunIn(L"C:\\" + std::wstring(255, L'长')));
    EXPECT_FALSE(CmdCanRunIn(L"C:\\" + std::wstring(256, L'长')));

    // Where the program's folder is writable, nothing changes.
    FakePlatform beside;
    const RenderStart here = StartRender(beside, Request({Job(L"E:\\a.max")}));
    EXPECT_TRUE(here.besideProgram);
    EXPECT_EQ(RenderStartedText(L"已开始。", here), L"已开始。");
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// A render here begins its night: the record's header and the log's name in bat\logs\ beside the
// script, wherever the script went, before the script starts; the oldest nights go afterwards.
TEST(StartRender, ARenderHereBeginsItsNightBesideTheScript) {
    const LocalTime evening{2026, 12, 7, 23, 0, 0};
    const std::wstring own = L"C:\\Users\\美术\\AppData\\Local\\Ravolen";
    FakePlatform platform;
    platform.userData = own;
    platform.unwritable = {ScriptFolder};
    platform.folderContents[own + L"\\bat\\logs"] = {{L"20261207-230000.csv", false, 1, 0},
                                                    {L"20261207-230000.log", false, 1, 0}};
    RenderRequest request = Request({Job(L"E:\\a.max")});
    request.night = evening;
    const RenderStart started = StartRender(platform, request);
    ASSERT_TRUE(started);
    // Within the same second as the last night: the next free second.
    const std::wstring base = own + L"\\bat\\logs\\20261207-230001";
    EXPECT_EQ(started.recordPath, base + L".csv");
    EXPECT_EQ(started.logPath, base + L".log");
    EXPECT_EQ(platform.files[base + L".csv"], RecordHeaderBytes());
    ASSERT_EQ(platform.startedInJob.size(), 1u);
    ProcessLaunch expected = ScriptLaunch(L"C:\\windows\\system32", own + L"\\bat", 936);
    expected.outputFile = base + L".log";
    EXPECT_EQ(platform.startedInJob[0], expected);
    const auto written = std::find(platform.calls.begin(), platform.calls.end(), L"writeFile " + base + L".csv");
    const auto launched = std::find_if(platform.calls.begin(), platform.calls.end(),
                                       [](const std::wstring& call) { return call.starts_with(L"startInRenderJob"); });
    EXPECT_LT(written, launched) << "the record exists before the script runs";

    // A script that does not start leaves no night behind that would pass for the last one.
    FakePlatform failing;
    failing.failStart = true;
    RenderRequest again = Request({Job(L"E:\\a.max")});
    again.night = evening;
    EXPECT_EQ(StartRender(failing, again).failure, L"无法启动渲染脚本：" + ScriptPath);
    EXPECT_FALSE(failing.files.count(ScriptFolder + L"\\logs\\20261207-230000.csv"));

    // A farm render (no night) writes nothing into bat\logs.
    FakePlatform farm;
    EXPECT_TRUE(StartRender(farm, Request({Job(L"E:\\a.max")})));
    EXPECT_FALSE(farm.folders.count(ScriptFolder + L"\\logs"));
    EXPECT_EQ(farm.startedInJob.at(0).outputFile, L"");
}

}  // namespace
}  // namespace ravolen
