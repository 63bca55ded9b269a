#include "farm/FarmJobs.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace ravolen {
namespace {

using Texts = std::vector<std::wstring>;

const RenderJob Hostile{L"E:\\场景 (1) & a%PATH%.max", L"x & echo \"hi\"", L"F:\\out 100%\\",
                        L"a^b\\\"c\\\\.tga", L"(800)", L"默认"};

TEST(FarmJobs, TheRendererGetsTheCellsThemselves) {
    EXPECT_EQ(RendererArguments(Hostile),
              (Texts{L"E:\\场景 (1) & a%PATH%.max", L"-continueOnError", L"-skipRenderedFrames:1",
                     L"-cam:x & echo \"hi\"", L"-w:(800)",
                     L"-outputName:F:\\out 100%\\\\a^b\\\"c\\\\.tga"}));
}

// Deadline's one task a row carries the frames, scene state and preset as the script's line does.
TEST(FarmJobs, FramesSceneStateAndPresetFollowTheOutput) {
    const RenderJob base{L"E:\\s.max", L"默认", L"F:\\out", L"a.tga", L"默认", L"默认"};
    const struct {
        std::wstring frames, state, preset;
        Texts extras;
        std::wstring_view arguments;
    } cases[] = {
        {L"默认", L"默认", L"默认", {}, L"E:\\s.max -continueOnError -skipRenderedFrames:1 -outputName:F:\\out\\a.tga"},
        {L" 1, 3, 5-12", L"Night", L"D:\\p\\draft.rps",
         {L"-frames:1,3,5-12", L"-sceneState:Night", L"-preset:D:\\p\\draft.rps"},
         L"E:\\s.max -continueOnError -skipRenderedFrames:1 -outputName:F:\\out\\a.tga -frames:1,3,5-12 "
         L"-sceneState:Night -preset:D:\\p\\draft.rps"},
        {L"默认", L"夜景 灯光", L"默认", {L"-sceneState:夜景 灯光"},
         L"E:\\s.max -continueOnError -skipRenderedFrames:1 -outputName:F:\\out\\a.tga "
         L"<QUOTE>-sceneState:夜景 灯光<QUOTE>"},
        {L"0-100", L"默认", L"D:\\my presets\\final.rps", {L"-frames:0-100", L"-preset:D:\\my presets\\final.rps"},
         L"E:\\s.max -continueOnError -skipRenderedFrames:1 -outputName:F:\\out\\a.tga -frames:0-100 "
         L"<QUOTE>-preset:D:\\my presets\\final.rps<QUOTE>"},
    };
    for (const auto& c : cases) {
        RenderJob job = base;
        job.frames = c.frames;
        job.sceneState = c.state;
        job.preset = c.preset;
        Texts expected{L"E:\\s.max", L"-continueOnError", L"-skipRenderedFrames:1", L"-outputName:F:\\out\\a.tga"};
        expected.insert(expected.end(), c.extras.begin(), c.extras.end());
        EXPECT_EQ(RendererArguments(job), expected);
        EXPECT_EQ(DeadlinePluginInfo(L"D:\\Max", job),
                  L"Executable=D:\\Max\\3dsmaxcmd.exe\r\nArguments=" + std::wstring(c.arguments) +
                      L"\r\nShell=False\r\n");
        // One task, whatever the frames: the renderer renders the list itself.
        EXPECT_NE(DeadlineJobInfo(job, {}).find(L"\r\nFrames=0\r\n"), std::wstring::npos);
    }
}

TEST(FarmJobs, ACommandLineReadsBackAsItsArguments) {
    EXPECT_EQ(JoinCommandLine(Texts{L"plain", L"two words", L""}), L"plain \"two words\" \"\"");
    EXPECT_EQ(JoinCommandLine(Texts{L"a\\\"b"}), L"\"a\\\\\\\"b\"");
    EXPECT_EQ(JoinCommandLine(Texts{L"C:\\dir\\ x\\"}), L"\"C:\\dir\\ x\\\\\"");
    EXPECT_EQ(JoinCommandLine(Texts{L"C:\\dir\\x"}), L"C:\\dir\\x");
#ifdef _WIN32
    const Texts arguments = RendererArguments(Hostile);
    const std::wstring line = L"3dsmaxcmd.exe " + JoinCommandLine(arguments);
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(Texts(parsed + 1, parsed + count), arguments);
    LocalFree(parsed);
#endif
}

TEST(FarmJobs, DeadlineFilesHoldExactlyTheirKeys) {
    const std::wstring_view head =
        L"Plugin=CommandLine\r\nName=场景 (1) & a%PATH%.max\r\nComment=Ravolen\r\nFrames=0\r\nChunkSize=1\r\n";
    const std::wstring_view tail = L"OutputDirectory0=F:\\out 100%\\\r\nOutputFilename0=a^b\\\"c\\\\.tga\r\n";
    const struct {
        DeadlineSettings settings;
        std::wstring_view keys;  // between the head and the tail
    } cases[] = {
        {{L"gpu", L"", 80, true}, L"Priority=80\r\nPool=gpu\r\nInitialStatus=Suspended\r\n"},
        {{L"", L"夜间 组", 50, false}, L"Priority=50\r\nGroup=夜间 组\r\n"},
        {{L"gpu", L"night", 0, true}, L"Priority=0\r\nPool=gpu\r\nGroup=night\r\nInitialStatus=Suspended\r\n"},
        {{}, L"Priority=50\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeadlineJobInfo(Hostile, c.settings), std::wstring(head) + std::wstring(c.keys) + std::wstring(tail));
    }
    const std::wstring plugin = DeadlinePluginInfo(L"D:\\Max", Hostile);
    EXPECT_TRUE(plugin.starts_with(L"Executable=D:\\Max\\3dsmaxcmd.exe\r\nArguments=<QUOTE>E:\\场景"));
    EXPECT_TRUE(plugin.ends_with(L"\r\nShell=False\r\n"));
    EXPECT_EQ(plugin.find(L'"'), std::wstring::npos);
    EXPECT_EQ(Utf16LeFile(L"A渲"), std::string("\xFF\xFE" "A\0\x32\x6E", 6));
}

// A submission is accepted only with the id Deadline gave it.
TEST(FarmJobs, AJobIsAcceptedOnlyWithItsId) {
    const std::pair<std::wstring_view, std::optional<std::wstring>> cases[] = {
        {L"Submitting...\r\nResult=Success\r\nJobID=5f2a9c\r\n", L"5f2a9c"},
        {L"JobID=5f2a9c", L"5f2a9c"},
        {L"Result=Success\r\nJobID=\r\n", std::nullopt},
        {L"Result=Success\r\nJobID=", std::nullopt},
        {L"Error: no repository\r\n", std::nullopt},
        {L" JobID=5f2a9c\r\n", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& [output, id] : cases) EXPECT_EQ(DeadlineJobId(output), id) << testing::PrintToString(std::wstring(output));
}

TEST(FarmJobs, BackburnerJobNamesAreUniqueInABatch) {
    const auto row = [](std::wstring scene) {
        return RenderJob{std::move(scene), L"默认", L"F:\\o", L"a.tga", L"默认", L"默认"};
    };
    const std::vector<RenderJob> rows{row(L"E:\\a\\lobby.max"), row(L"E:\\b\\lobby.max"),
                                      row(L"E:\\c\\LOBBY.max"), row(L"E:\\hall.max"),
                                      row(L"E:\\lobby (2).max")};
    EXPECT_EQ(UniqueJobNames(rows),
              (Texts{L"lobby", L"lobby (2)", L"LOBBY (3)", L"hall", L"lobby (2) (2)"}));
}

TEST(FarmJobs, TheQuestionListsEveryPathOnThisComputer) {
    const auto onNetwork = [](const std::wstring& path) { return path.starts_with(L"\\\\"); };
    const RenderJob shared{L"\\\\farm\\a.max", L"默认", L"\\\\farm\\out", L"a.tga", L"默认", L"默认"};
    const RenderJob local{L"D:\\b.max", L"默认", L"E:\\o", L"b.tga", L"默认", L"默认"};
    const RenderJob sceneOnly{L"D:\\c.max", L"默认", L"\\\\farm\\out", L"c.tga", L"默认", L"默认"};
    RenderJob presetOnly = shared;
    presetOnly.preset = L"D:\\预设\\夜景.rps";
    const std::wstring_view ask = L"农场的渲染节点可能无法访问以下本地路径，仍要提交吗？\n";
    const auto locals = [&](int count) { return std::vector<RenderJob>(static_cast<std::size_t>(count), local); };
    // Twenty paths fit; past them, the count of all.
    std::wstring twenty;
    for (int row = 1; row <= 10; ++row) {
        twenty += L"\n第" + std::to_wstring(row) + L"行：D:\\b.max\n第" + std::to_wstring(row) + L"行：E:\\o";
    }
    const struct {
        std::vector<RenderJob> rows;
        std::wstring question;
    } cases[] = {
        {{shared}, L""},
        {{}, L""},
        {{shared, sceneOnly}, std::wstring(ask) + L"\n第2行：D:\\c.max"},
        {{local, shared}, std::wstring(ask) + L"\n第1行：D:\\b.max\n第1行：E:\\o"},
        {{shared, presetOnly}, std::wstring(ask) + L"\n第2行：D:\\预设\\夜景.rps"},
        {locals(10), std::wstring(ask) + twenty},
        {[&] { auto rows = locals(10); rows.push_back(sceneOnly); return rows; }(),
         std::wstring(ask) + twenty + L"\n……共21处"},
        {locals(15), std::wstring(ask) + twenty + L"\n……共30处"},
    };
    for (const auto& c : cases) EXPECT_EQ(LocalPathQuestion(c.rows, onNetwork), c.question) << c.rows.size();
    EXPECT_EQ(LastLine(L"Submitting\r\nError: no pool \r\n\r\n"), L"Error: no pool");
    EXPECT_EQ(LastLine(L""), L"");
}

TEST(FarmDefaults, DeadlinesToolIsLookedForWhereItsClientSaysItIs) {
    EXPECT_EQ(DefaultDeadlineCommand(L"C:\\Thinkbox\\Deadline10\\bin\\"),
              L"C:\\Thinkbox\\Deadline10\\bin\\deadlinecommand.exe");
    EXPECT_EQ(DefaultDeadlineCommand(L"C:\\Deadline"), L"C:\\Deadline\\deadlinecommand.exe");
    EXPECT_EQ(DefaultDeadlineCommand(L""), L"deadlinecommand.exe");
}

}  // namespace
}  // namespace ravolen
