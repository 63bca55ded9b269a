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
    const DeadlineSettings settings{L"gpu", L"", 80, true};
    EXPECT_EQ(DeadlineJobInfo(Hostile, settings),
              L"Plugin=CommandLine\r\nName=场景 (1) & a%PATH%.max\r\nComment=Ravolen\r\nFrames=0\r\n"
              L"ChunkSize=1\r\nPriority=80\r\nPool=gpu\r\nInitialStatus=Suspended\r\n"
              L"OutputDirectory0=F:\\out 100%\\\r\nOutputFilename0=a^b\\\"c\\\\.tga\r\n");
    const std::wstring plugin = DeadlinePluginInfo(L"D:\\Max", Hostile);
    EXPECT_TRUE(plugin.starts_with(L"Executable=D:\\Max\\3dsmaxcmd.exe\r\nArguments=<QUOTE>E:\\场景"));
    EXPECT_TRUE(plugin.ends_with(L"\r\nShell=False\r\n"));
    EXPECT_EQ(plugin.find(L'"'), std::wstring::npos);
    EXPECT_EQ(Utf16LeFile(L"A渲"), std::string("\xFF\xFE" "A\0\x32\x6E", 6));
    EXPECT_EQ(DeadlineJobId(L"Submitting...\r\nResult=Success\r\nJobID=5f2a9c\r\n"), L"5f2a9c");
    EXPECT_FALSE(DeadlineJobId(L"Error: no repository\r\n"));
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
    const std::vector<RenderJob> rows{
        {L"\\\\farm\\a.max", L"默认", L"\\\\farm\\out", L"a.tga", L"默认", L"默认"},
        {L"D:\\b.max", L"默认", L"\\\\farm\\out", L"b.tga", L"默认", L"默认"}};
    EXPECT_EQ(LocalPathQuestion(rows, onNetwork),
              L"农场的渲染节点可能无法访问以下本地路径，仍要提交吗？\n\n第2行：D:\\b.max");
    EXPECT_EQ(LocalPathQuestion({rows.data(), 1}, onNetwork), L"");
    const std::vector<RenderJob> many(30, rows[1]);
    EXPECT_TRUE(LocalPathQuestion(many, onNetwork).ends_with(L"\n……共30处"));
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
