#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>

#include "platform/Win32Platform.h"
#include "render/ImageCheck.h"
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

// A file on disk, read through the platform as the program reads a rendered image.
class PlatformFile : public FileReader {
public:
    PlatformFile(Platform& platform, std::wstring path)
        : platform_(platform), path_(std::move(path)), size_(platform.fileSize(path_).value_or(0)) {}

    std::uint64_t size() const override { return size_; }
    std::string read(std::uint64_t offset, std::size_t length) override {
        return platform_.readFileFrom(path_, offset, length).value_or(std::string());
    }

private:
    Platform& platform_;
    std::wstring path_;
    std::uint64_t size_;
};

// Each call writes a real image of the format its output name names, at the size it was asked,
// unless its plan spoils it: then the image is as a killed or misconfigured render leaves it.
TEST(RendererStandIn, WritesTheImageItsNameAndSizeAsk) {
    using V = ImageVerdict;
    struct Case {
        std::wstring_view name, arguments, plan;
        int width, height;  // the row's
        ImageCheck expected;
    };
    const Case cases[] = {
        {L"a.png", L"-w:640 -h:480", L"", 640, 480, {V::Complete, 640, 480}},
        {L"b.TGA", L"-w:64 -h:48", L"", 64, 48, {V::Complete, 64, 48}},
        {L"c.exr", L"-width:64 -height:48", L"", 64, 48, {V::Complete, 64, 48}},
        {L"d.jpg", L"-w:33 -h:17", L"", 33, 17, {V::Complete, 33, 17}},
        {L"e.png", L"-w:(800)", L"", 0, 0, {V::Complete, 4, 3}},
        {L"f.png", L"-w:64 -h:48", L"cut 100", 64, 48, {V::CutShort, 64, 48}},
        {L"g.exr", L"-w:64 -h:48", L"cut 0", 64, 48, {V::Empty, 0, 0}},
        {L"h.jpg", L"-w:64 -h:48", L"size 32 24", 64, 48, {V::WrongSize, 32, 24}},
        {L"i.max", L"", L"", 0, 0, {V::NotChecked, 0, 0}},
    };
    std::wstring plan;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (!cases[i].plan.empty()) plan += std::to_wstring(i + 1) + L" " + std::wstring(cases[i].plan) + L"\r\n";
    }
    Win32Platform platform;
    const StandInFolder standIn(plan);
    for (const Case& c : cases) {
        const std::wstring output = standIn.folder() + L"\\out\\" + std::wstring(c.name);
        const auto ran = platform.runAndRead(ProcessLaunch{
            standIn.renderer(),
            L"\"" + standIn.renderer() + L"\" \"E:\\a.max\" " + std::wstring(c.arguments) + L" -outputName:\"" +
                output + L"\"",
            standIn.folder(), WindowStyle::Hidden});
        ASSERT_TRUE(ran);
        EXPECT_EQ(ran->exitCode, 0u);
        PlatformFile file(platform, output);
        EXPECT_EQ(CheckImage(c.name, file, c.width, c.height), c.expected) << Utf8(c.name);
        EXPECT_EQ(file.size() > 0, c.expected.verdict != V::Empty) << Utf8(c.name);
    }
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
