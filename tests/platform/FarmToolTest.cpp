#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Win32Platform.h"
#include "render/FarmJobs.h"
#include "support/RealPlatform.h"

namespace ravolen {
namespace {

using namespace test;  // the helpers for the real file system and processes

// The stand-in's records: each call's arguments and the bytes of the files they named.
struct DeadlineCall {
    std::vector<std::string> arguments;
    std::vector<std::string> files;
};

std::vector<DeadlineCall> ReadDeadlineCalls(const std::wstring& log) {
    const std::string bytes = ReadFile(log);
    std::vector<DeadlineCall> calls;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (bytes.compare(at, 5, "call ") == 0) {
            calls.emplace_back();
            at = end + 1;
            continue;
        }
        const std::size_t blank = bytes.find(' ', at);
        const std::string kind = bytes.substr(at, blank - at);
        const std::size_t lengthEnd = bytes.find(' ', blank + 1);
        const std::size_t length = std::stoul(bytes.substr(blank + 1, lengthEnd - blank - 1));
        std::string text = bytes.substr(lengthEnd + 1, length);
        (kind == "arg" ? calls.back().arguments : calls.back().files).push_back(std::move(text));
        at = lengthEnd + 1 + length + 1;
    }
    return calls;
}

// The submission tool as Ravolen will run it: hidden, its output read to its end.
TEST(FarmTool, DeadlinesCommandGetsBothFilesAndAnswersAJobIdOrARefusal) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-deadline");
    const std::wstring tool = temp.path() + L"\\deadlinecommand.exe";
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_DEADLINE_STANDIN).c_str(), tool.c_str(), FALSE));
    const RenderJob job{L"\\\\farm\\场景\\lobby.max", L"Camera 01", L"\\\\farm\\out 100%",
                        L"lobby\".tga", L"1920", L"默认"};
    const std::string jobInfo = Utf16LeFile(DeadlineJobInfo(job, {L"", L"", 50, false}));
    const std::string pluginInfo = Utf16LeFile(DeadlinePluginInfo(L"C:\\Max", job));
    const std::wstring jobFile = temp.path() + L"\\job 1.job", pluginFile = temp.path() + L"\\plugin 1.job";
    ASSERT_TRUE(platform.writeFile(jobFile, jobInfo));
    ASSERT_TRUE(platform.writeFile(pluginFile, pluginInfo));
    const ProcessLaunch launch{tool, JoinCommandLine(std::vector<std::wstring>{tool, jobFile, pluginFile}),
                               temp.path(), WindowStyle::Hidden};

    const auto accepted = platform.runAndRead(launch);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->exitCode, 0u);
    EXPECT_EQ(DeadlineJobId(Wide(accepted->output)), L"0001");

    ASSERT_TRUE(platform.writeFile(temp.path() + L"\\deadlinecommand-refuse", "2"));
    const auto refused = platform.runAndRead(launch);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->exitCode, 1u);
    EXPECT_FALSE(DeadlineJobId(Wide(refused->output)));
    EXPECT_NE(refused->output.find("Error:"), std::string::npos);

    const auto calls = ReadDeadlineCalls(temp.path() + L"\\deadlinecommand-calls.log");
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(calls[0].files.size(), 2u);
    EXPECT_EQ(calls[0].files[0], jobInfo);
    EXPECT_EQ(calls[0].files[1], pluginInfo);
    EXPECT_FALSE(platform.runAndRead({temp.path() + L"\\none.exe", L"none.exe", L"", WindowStyle::Hidden}));
}

}  // namespace
}  // namespace ravolen
