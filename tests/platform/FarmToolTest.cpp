#include <windows.h>

#include <gtest/gtest.h>

#include <shellapi.h>

#include <atomic>
#include <map>
#include <thread>

#include "base/Handles.h"
#include "app/DeadlineProgress.h"
#include "platform/Win32Platform.h"
#include "farm/FarmJobs.h"
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

// A tool whose repository never answers, silent or not, and a helper it started: the time limit
// ends the whole tree, and so does a stop from another thread.
TEST(FarmTool, AHungToolIsEndedWithEverythingItStartedAtTheLimitOrWhenStopped) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-hang");
    const std::wstring tool = temp.path() + L"\\deadlinecommand.exe";
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_DEADLINE_STANDIN).c_str(), tool.c_str(), FALSE));
    const std::wstring pidFile = temp.path() + L"\\deadlinecommand-child.pid";
    const ProcessLaunch launch{tool, L"deadlinecommand.exe a.job b.job", temp.path(),
                               WindowStyle::Hidden};
    // The file is made before the id is written into it: only an id tells the helper runs.
    const auto childKnown = [&] { return std::atoi(ReadFile(pidFile).c_str()) != 0; };
    const auto childEnded = [&] {
        const int id = std::atoi(ReadFile(pidFile).c_str());
        if (id == 0) return false;
        const KernelHandle child(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
        return !child || WaitForSingleObject(child.get(), 10000) == WAIT_OBJECT_0;
    };

    for (const char* how : {"silent", "talking"}) {
        SCOPED_TRACE(how);
        DeleteFileW(pidFile.c_str());
        ASSERT_TRUE(platform.writeFile(temp.path() + L"\\deadlinecommand-hang", how));
        const auto answer = platform.runAndRead(launch, {1, nullptr});
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->timedOut);
        EXPECT_FALSE(answer->stopped);
        EXPECT_EQ(answer->output.find("Connecting") != std::string::npos, how[0] == 't');
        ASSERT_TRUE(WaitFor(childKnown));
        EXPECT_TRUE(childEnded()) << "the tool's helper outlived the limit";
    }

    DeleteFileW(pidFile.c_str());
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        WaitFor(childKnown);
        stop = true;
    });
    const auto answer = platform.runAndRead(launch, {3600, &stop});
    stopper.join();
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->stopped);
    EXPECT_FALSE(answer->timedOut);
    EXPECT_TRUE(childEnded());
}

std::wstring FromUtf16File(const std::string& bytes) {
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

std::map<std::wstring, std::wstring> KeysOf(const std::wstring& text) {
    std::map<std::wstring, std::wstring> keys;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(L"\r\n", at);
        const std::wstring line = text.substr(at, end - at);
        keys[line.substr(0, line.find(L'='))] = line.substr(line.find(L'=') + 1);
        at = end + 2;
    }
    return keys;
}

// The whole submission through the real platform and the stand-in: every row's two files, the
// renderer's arguments as the workers will read them, a refusal by row, the closing message.
TEST(FarmTool, EachRowReachesDeadlineAsItsTwoFilesAndARefusalIsToldByRow) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-submit");
    const std::wstring tool = temp.path() + L"\\deadlinecommand.exe";
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_DEADLINE_STANDIN).c_str(), tool.c_str(), FALSE));
    ASSERT_TRUE(platform.writeFile(temp.path() + L"\\deadlinecommand-refuse", "2"));
    const std::vector<RenderJob> rows = {
        {L"\\\\farm\\a.max", L"默认", L"\\\\farm\\out", L"a.tga", L"默认", L"默认"},
        {L"\\\\farm\\场景 夜.max", L"相机 01", L"\\\\farm\\输出", L"夜.png", L"1920", L"1080"},
        {L"\\\\farm\\b%PATH% & \"c\".max", L"x & echo \"hi\"", L"\\\\farm\\o 100%\\",
         L"a^b\\\"c\\\\.tga", L"(800)", L"默认"},
    };
    bool finished = false;
    // Neither folder is there yet, as on a first submission beside a fresh program.
    const std::wstring scripts = platform.programFolder() + L"\\bat";
    RemoveTree(scripts);
    const DeadlineChoice choice{tool, {L"gpu", L"", 70, true}};
    std::vector<DeadlineRowFiles> files;
    for (const RenderJob& row : rows) files.push_back(DeadlineFilesOf(L"C:\\Max", row, choice.settings));
    DeadlineProgress submission(platform, rows, files, choice, [&] { finished = true; });
    const MessageBoxAnswerer answerer;
    ASSERT_TRUE(submission.start(nullptr));
    for (int i = 0; i < 3000 && !finished; ++i) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    ASSERT_TRUE(finished);
    ASSERT_EQ(answerer.shown().size(), 1u);
    EXPECT_TRUE(answerer.shown()[0].text.starts_with(L"Deadline接受了2个任务，共3个。\n未被接受：\n第2行 "));
    EXPECT_NE(answerer.shown()[0].text.find(L"Error: the repository refused job 2"), std::wstring::npos);

    const auto calls = ReadDeadlineCalls(temp.path() + L"\\deadlinecommand-calls.log");
    ASSERT_EQ(calls.size(), 3u);
    for (std::size_t row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        ASSERT_EQ(calls[row].files.size(), 2u);
        const auto job = KeysOf(FromUtf16File(calls[row].files[0]));
        const auto plugin = KeysOf(FromUtf16File(calls[row].files[1]));
        std::vector<std::wstring> jobKeys, pluginKeys;
        for (const auto& [key, value] : job) jobKeys.push_back(key);
        for (const auto& [key, value] : plugin) pluginKeys.push_back(key);
        EXPECT_EQ(jobKeys, (std::vector<std::wstring>{L"ChunkSize", L"Comment", L"Frames", L"InitialStatus",
                                                      L"Name", L"OutputDirectory0", L"OutputFilename0",
                                                      L"Plugin", L"Pool", L"Priority"}));
        EXPECT_EQ(pluginKeys, (std::vector<std::wstring>{L"Arguments", L"Executable", L"Shell"}));
        EXPECT_EQ(job.at(L"OutputDirectory0"), rows[row].outputFolder);
        std::wstring arguments = plugin.at(L"Arguments");
        for (std::size_t at; (at = arguments.find(L"<QUOTE>")) != std::wstring::npos;) {
            arguments.replace(at, 7, L"\"");
        }
        int count = 0;
        wchar_t** parsed = CommandLineToArgvW((L"3dsmaxcmd.exe " + arguments).c_str(), &count);
        ASSERT_NE(parsed, nullptr);
        EXPECT_EQ(std::vector<std::wstring>(parsed + 1, parsed + count), RendererArguments(rows[row]));
        LocalFree(parsed);
    }
    EXPECT_TRUE(Exists(scripts + L"\\deadline\\plugin_3.job"));
    RemoveTree(scripts);
}

}  // namespace
}  // namespace ravolen
