#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Win32Platform.h"
#include "render/NightLog.h"
#include "render/NightWatch.h"
#include "render/RenderScript.h"
#include "support/RealPlatform.h"

namespace ravolen {
namespace {

using namespace test;  // the helpers for the real file system and processes

std::string Utf16(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string Utf8(std::wstring_view text) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<std::size_t>(WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
        static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// The stand-in renderer in a folder of its own, with a plan for its calls.
class StandInFolder {
public:
    explicit StandInFolder(std::wstring_view plan) : temp_(L"ravolen-standin") {
        CreateDirectoryW(install().c_str(), nullptr);
        CopyFileW(WindowsPath(RAVOLEN_STANDIN).c_str(), renderer().c_str(), FALSE);
        WriteWholeFile(install() + L"\\3dsmaxcmd-plan", Utf8(plan));
    }

    std::wstring folder() const { return temp_.path(); }
    std::wstring install() const { return temp_.path() + L"\\Max 渲染"; }
    std::wstring renderer() const { return install() + L"\\3dsmaxcmd.exe"; }

private:
    TempFolder temp_;
};

constexpr std::wstring_view Plan =
    L"2 print 缺少贴图：map.png\r\n"
    L"2 print-utf16 Error: 找不到插件 上\r\n"
    L"2 exit 3\n"
    L"3 no-output\r\n"
    L"3 wait 300\r\n"
    L"4 exit -1\r\n"
    L"x print nothing\r\n";

// Started as the script starts it, each call does what the plan says of it and nothing else.
TEST(RendererStandIn, EachCallPrintsWaitsAndEndsAsItsPlanSays) {
    Win32Platform platform;
    const StandInFolder standIn(Plan);
    const std::wstring output = standIn.folder() + L"\\out\\a.tga";
    const auto call = [&] {
        return platform.runAndRead(ProcessLaunch{
            standIn.renderer(), L"\"" + standIn.renderer() + L"\" \"E:\\a.max\" -outputName:\"" + output + L"\"",
            standIn.folder(), WindowStyle::Hidden});
    };
    const std::string own = "3dsmaxcmd stand-in: 2 arguments recorded\r\n";

    const auto first = call();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->exitCode, 0u);
    EXPECT_EQ(first->output, own);  // as before any plan
    EXPECT_TRUE(Exists(output));
    DeleteFileW(output.c_str());

    const auto second = call();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->exitCode, 3u);
    EXPECT_EQ(second->output, own + platform.scriptCodec().encode(L"缺少贴图：map.png\r\n").value() +
                                  Utf16(L"Error: 找不到插件 上\r\n"));
    EXPECT_TRUE(Exists(output));
    DeleteFileW(output.c_str());

    const ULONGLONG before = GetTickCount64();
    const auto third = call();
    ASSERT_TRUE(third);
    EXPECT_GE(GetTickCount64() - before, 300u);  // it took at least the time it was told
    EXPECT_EQ(third->exitCode, 0u);
    EXPECT_EQ(third->output, own);
    EXPECT_FALSE(Exists(output));

    const auto fourth = call();
    ASSERT_TRUE(fourth);
    EXPECT_EQ(fourth->exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(ReadCalls(standIn.install() + L"\\3dsmaxcmd-calls.log").size(), 4u);
}

// Wine's cmd runs a script of the program's, its output taken as the night's log will take it:
// cmd's echo of each job line in the code page, the renderer's words in either encoding.
TEST(RendererStandIn, ARenderScriptsOutputReadsBackLineByLine) {
    Win32Platform platform;
    const StandInFolder standIn(Plan);
    const std::wstring scripts = standIn.folder() + L"\\bat";
    ASSERT_TRUE(platform.createFolder(scripts));
    const std::vector<RenderJob> rows = {
        {standIn.folder() + L"\\场景 (1) & 100%.max", L"Cam 01", standIn.folder() + L"\\out", L"a.tga", L"默认", L"默认"},
        {standIn.folder() + L"\\场景 b.max", L"默认", standIn.folder() + L"\\out", L"b.tga", L"默认", L"默认"},
    };
    const ComposedScript script =
        ComposeRenderScript(standIn.install(), rows, false, platform.scriptCodec());
    ASSERT_TRUE(platform.writeFile(scripts + L"\\Render.bat", script.bytes));

    const auto ran = platform.runAndRead(ScriptLaunch(platform.systemFolder(), scripts));
    ASSERT_TRUE(ran);
    const std::vector<std::wstring> lines = DecodeLog(ran->output, platform.scriptCodec());
    const auto position = [&](std::wstring_view text) {
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.find(text) != std::wstring::npos;
        });
        return found - lines.begin();
    };
    const auto echoA = position(L"场景 (1) & 100%");
    const auto echoB = position(L"场景 b.max\" -continueOnError");
    const auto gbk = position(L"缺少贴图：map.png");
    const auto wide = position(L"Error: 找不到插件 上");
    EXPECT_LT(echoA, echoB);
    EXPECT_LT(echoB, gbk);
    EXPECT_LT(gbk, wide);
    EXPECT_LT(wide, static_cast<std::ptrdiff_t>(lines.size())) << Utf8(lines.empty() ? L"" : lines[0]);
    EXPECT_EQ(lines[static_cast<std::size_t>(gbk)], L"缺少贴图：map.png");
    EXPECT_EQ(lines[static_cast<std::size_t>(wide)], L"Error: 找不到插件 上");

    // Each renderer's command line, as cmd gave it, leads back to its row.
    const std::string log = ReadFile(standIn.install() + L"\\3dsmaxcmd-calls.log");
    std::vector<std::wstring> commandLines;
    for (std::size_t at = 0; (at = log.find("\nraw ", at)) != std::string::npos;) {
        at += 5;
        const std::size_t length = std::stoul(log.substr(at));
        at = log.find(' ', at) + 1;
        commandLines.push_back(Wide(log.substr(at, length)));
    }
    ASSERT_EQ(commandLines.size(), 2u);
    EXPECT_EQ(RowOfCommandLine(commandLines[0], standIn.install(), rows), 0u);
    EXPECT_EQ(RowOfCommandLine(commandLines[1], standIn.install(), rows), 1u);
    EXPECT_FALSE(RowOfCommandLine(commandLines[0], standIn.install(), rows, 1));
}

}  // namespace
}  // namespace ravolen
