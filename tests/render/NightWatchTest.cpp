#include "render/NightWatch.h"

#include <gtest/gtest.h>

#include "render/NightPlan.h"
#include "render/RenderScript.h"

namespace ravolen {
namespace {

constexpr LocalTime At(int hour, int minute, int second) { return {2026, 12, 7, hour, minute, second}; }

const std::vector<RenderJob> FourRows = {
    {L"E:\\场景\\a.max", L"默认", L"F:\\out", L"a.tga", L"默认", L"默认"},
    {L"E:\\场景\\b.max", L"Cam01", L"F:\\out", L"b.tga", L"1920", L"1080"},
    {L"E:\\场景\\c.max", L"默认", L"F:\\out", L"c.tga", L"默认", L"默认"},
    {L"E:\\场景\\d.max", L"默认", L"F:\\out", L"d.tga", L"默认", L"默认"},
};

constexpr std::wstring_view Renderer = L"C:\\Program Files\\Autodesk\\3ds Max 2024\\3dsmaxcmd.exe";
constexpr std::wstring_view Install = L"C:\\Program Files\\Autodesk\\3ds Max 2024";
constexpr std::wstring_view Cmd = L"C:\\windows\\system32\\cmd.exe";

std::vector<std::wstring> Texts(const NightWatch& watch, const LocalTime& now) {
    std::vector<std::wstring> texts;
    for (const RowState& state : watch.states()) texts.push_back(RowStateText(state, now));
    return texts;
}

TEST(NightWatch, EachRunOfTheRendererIsTheNextRowAndEndsAsItsExitAndOutputSay) {
    NightWatch watch(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    EXPECT_EQ(watch.summary(At(23, 0, 0)), L"第1个，共4个 · 已用时 0:00:00 · 失败0个");
    const auto none = [](std::size_t) -> bool { ADD_FAILURE() << "asked for no reason"; return true; };
    const auto onDisk = [](std::size_t row) { return row != 2; };

    watch.processStarted(100, Cmd, At(23, 0, 0));
    // The path as the job reports it may differ in letter case and form from the script's.
    watch.processStarted(101, L"\\\\?\\c:\\program files\\AUTODESK\\3ds Max 2024\\.\\3DSMAXCMD.EXE",
                         At(23, 0, 1));
    watch.processStarted(102, L"C:\\Program Files\\Autodesk\\3ds Max 2024\\3dsmax.exe", At(23, 0, 2));
    watch.processStarted(101, Renderer, At(23, 0, 3));  // told twice: still one row
    EXPECT_EQ(Texts(watch, At(23, 10, 1)),
              (std::vector<std::wstring>{L"渲染中（已用时 0:10:00）", L"等待", L"等待", L"等待"}));
    EXPECT_EQ(watch.currentRow(), 0u);
    EXPECT_FALSE(watch.processExited(102, 0, At(23, 30, 0), none));  // Max itself is no row
    EXPECT_FALSE(watch.processExited(999, 0, At(23, 30, 0), none));  // nor a stranger

    const auto first = watch.processExited(101, 0, At(23, 30, 1), onDisk);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, (RecordLine{1, L"E:\\场景\\a.max", At(23, 0, 1), At(23, 30, 1), 0,
                                  L"F:\\out\\a.tga"}));

    // First seen without its program (read too early, or by a look at the job): the id is not
    // taken, so the renderer told with it a moment later is still row 2.
    watch.processStarted(103, L"", At(23, 30, 2));
    watch.processStarted(103, Renderer, At(23, 30, 2));
    EXPECT_EQ(Texts(watch, At(23, 30, 2))[1], L"渲染中（已用时 0:00:00）");
    const auto second = watch.processExited(103, 3, At(23, 31, 0), none);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->exitCode, 3);
    EXPECT_EQ(second->output, L"");
    watch.processStarted(104, Renderer, At(23, 31, 1));
    EXPECT_EQ(Texts(watch, At(23, 40, 0)),
              (std::vector<std::wstring>{L"已完成", L"失败（退出码 3）", L"渲染中（已用时 0:08:59）",
                                         L"等待"}));
    EXPECT_EQ(watch.summary(At(23, 40, 0)), L"第3个，共4个 · 已用时 0:40:00 · 失败1个");

    const auto third = watch.processExited(104, 0, At(23, 50, 0), onDisk);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->exitCode, 0);
    EXPECT_EQ(third->output, L"");  // no output on disk
    watch.processStarted(105, Renderer, At(23, 50, 1));
    EXPECT_TRUE(watch.processExited(105, 0, At(23, 59, 0), onDisk));
    watch.processExited(100, 0, At(23, 59, 1), none);
    watch.end(At(23, 59, 1));
    EXPECT_TRUE(watch.ended());
    EXPECT_EQ(Texts(watch, At(23, 59, 30)),
              (std::vector<std::wstring>{L"已完成", L"失败（退出码 3）", L"没有输出", L"已完成"}));
    // The time stops with the night.
    EXPECT_EQ(watch.summary({2026, 12, 8, 8, 0, 0}), L"第4个，共4个 · 已用时 0:59:01 · 失败1个");
}

TEST(NightWatch, CancellingEndsTheRowUnderWayAndLeavesTheRestUnfinished) {
    NightWatch watch(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    const auto onDisk = [](std::size_t) { return true; };
    watch.processStarted(1, Renderer, At(23, 0, 1));
    watch.processExited(1, 0, At(23, 1, 0), onDisk);
    watch.processStarted(2, Renderer, At(23, 1, 1));
    const auto lines = watch.cancel(At(23, 2, 0));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], (RecordLine{2, L"E:\\场景\\b.max", At(23, 1, 1), At(23, 2, 0), std::nullopt, L""}));
    // Ending the job's processes reports their exits, which change nothing now.
    EXPECT_FALSE(watch.processExited(2, 1, At(23, 2, 1), onDisk));
    watch.processStarted(3, Renderer, At(23, 2, 1));
    watch.end(At(23, 2, 2));
    EXPECT_EQ(Texts(watch, At(23, 3, 0)),
              (std::vector<std::wstring>{L"已完成", L"已取消", L"未完成", L"未完成"}));
    EXPECT_EQ(watch.summary(At(23, 30, 0)), L"第2个，共4个 · 已用时 0:02:00 · 失败0个");
    EXPECT_TRUE(watch.cancel(At(23, 3, 0)).empty());
}

TEST(NightWatch, ANightThatEndsEarlyLeavesItsRowsUnfinished) {
    NightWatch watch(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    watch.processStarted(1, Renderer, At(23, 0, 1));
    watch.end(At(23, 5, 0));  // the script was ended from outside
    EXPECT_EQ(Texts(watch, At(23, 6, 0)),
              (std::vector<std::wstring>{L"未完成", L"未完成", L"未完成", L"未完成"}));
    // More renderers than rows, or a renderer of another folder, are no rows.
    NightWatch other(L"D:\\Ravolen\\bat", L"..\\max", std::span(FourRows).first(1), At(23, 0, 0));
    other.processStarted(1, Renderer, At(23, 0, 1));
    EXPECT_EQ(other.states()[0].phase, RowPhase::Waiting);
    other.processStarted(2, L"D:\\Ravolen\\MAX\\3dsmaxcmd.exe", At(23, 0, 2));  // resolved from bat
    other.processStarted(3, L"D:\\Ravolen\\max\\3dsmaxcmd.exe", At(23, 0, 3));
    EXPECT_EQ(other.states()[0].phase, RowPhase::Rendering);
    EXPECT_EQ(other.currentRow(), 0u);
}

TEST(NightWatch, AProgramStartedAgainFindsTheRunningRowAndTakesTheRestFromTheRecord) {
    const std::vector<RecordLine> record = {
        {1, L"E:\\场景\\a.max", At(23, 0, 1), At(23, 30, 1), 0, L"F:\\out\\a.tga"}};
    NightWatch watch(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    watch.restore(record);
    // What the job's process list shows, once a second.
    std::wstring commandLine = JobLineText(Install, FourRows[1]);
    const auto row = RowOfCommandLine(commandLine, Install, FourRows);
    ASSERT_EQ(row, 1u);
    watch.processStarted(7, Renderer, At(23, 30, 2), row);
    watch.processStarted(7, Renderer, At(23, 45, 0), row);
    EXPECT_EQ(Texts(watch, At(23, 45, 2)),
              (std::vector<std::wstring>{L"已完成", L"渲染中（已用时 0:15:00）", L"等待", L"等待"}));
    EXPECT_EQ(watch.summary(At(23, 45, 2)), L"第2个，共4个 · 已用时 0:45:02 · 失败0个");
    // From then on, each renderer is the next row again.
    watch.processExited(7, 0, At(23, 50, 0), [](std::size_t) { return true; });
    watch.processStarted(8, Renderer, At(23, 50, 1));
    EXPECT_EQ(watch.currentRow(), 2u);

    // A row the program missed while it was closed has no record: 未完成.
    NightWatch late(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    late.restore(record);
    late.processStarted(9, Renderer, At(23, 59, 0), 3);
    EXPECT_EQ(Texts(late, At(23, 59, 0)),
              (std::vector<std::wstring>{L"已完成", L"未完成", L"未完成", L"渲染中（已用时 0:00:00）"}));

    // Every state the record keeps comes back, rows beyond the table aside.
    NightWatch morning(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0));
    morning.restore(std::vector<RecordLine>{
        {2, L"b", At(23, 0, 0), At(23, 0, 0), 3, L""},
        {3, L"c", At(23, 0, 0), At(23, 0, 0), 0, L""},
        {4, L"d", At(23, 0, 0), At(23, 0, 0), std::nullopt, L""},
        {5, L"e", At(23, 0, 0), At(23, 0, 0), 0, L"e.tga"}});
    EXPECT_EQ(Texts(morning, At(23, 59, 0)),
              (std::vector<std::wstring>{L"未完成", L"失败（退出码 3）", L"没有输出", L"已取消"}));
}

TEST(NightWatch, TheRunningRowIsFoundByTheArgumentsTheScriptGaveIt) {
    const std::vector<RenderJob> rows = {
        {L"E:\\100% 场景\\a.max", L"默认", L"F:\\out dir\\", L"a.tga", L"默认", L"默认"},
        {L"E:\\b.max", L"Cam 01", L"F:\\out", L"b.tga", L"1920", L"默认"},
        {L"E:\\b.max", L"Cam 01", L"F:\\out", L"b.tga", L"1920", L"默认"},
        {L"E:\\b.max", L"Cam 01", L"F:\\out", L"b.tga", L"1920", L"1080"},
        {L"E:\\b.max", L"Cam 01", L"F:\\out", L"b.tga", L"1920", L"1080", L"1, 3", L"夜 景", L"D:\\p.rps"},
    };
    const std::wstring install = L"C:\\Max 100%";
    // cmd reads each "%%" of the script as "%"; the renderer's own name may stand in any form.
    const auto asStarted = [&](std::size_t row) {
        std::wstring line = JobLineText(install, rows[row]);
        for (std::size_t at = 0; (at = line.find(L"%%", at)) != std::wstring::npos; ++at) {
            line.erase(at, 1);
        }
        return line;
    };
    EXPECT_EQ(RowOfCommandLine(asStarted(0), install, rows), 0u);
    EXPECT_EQ(RowOfCommandLine(asStarted(1), install, rows), 1u);
    EXPECT_EQ(RowOfCommandLine(asStarted(1), install, rows, 2), 2u);  // the same line again
    EXPECT_EQ(RowOfCommandLine(asStarted(3), install, rows), 3u);
    EXPECT_EQ(RowOfCommandLine(L"3dsmaxcmd.exe  E:\\b.max  -continueOnError -skipRenderedFrames:1 "
                               L"\"-cam:Cam 01\" -w:1920 -h:1080 -outputName:F:\\out\\b.tga",
                               install, rows),
              3u);
    EXPECT_EQ(RowOfCommandLine(asStarted(4), install, rows), 4u);
    EXPECT_EQ(RowOfCommandLine(L"3dsmaxcmd.exe E:\\b.max -continueOnError -skipRenderedFrames:1 \"-cam:Cam 01\" "
                               L"-w:1920 -h:1080 -outputName:F:\\out\\b.tga -frames:1,3 \"-sceneState:夜 景\" "
                               L"-preset:D:\\p.rps",
                               install, rows),
              4u);
    EXPECT_FALSE(RowOfCommandLine(asStarted(0) + L" -v:5", install, rows));
    EXPECT_FALSE(RowOfCommandLine(L"\"C:\\Max\\3dsmaxcmd.exe\" E:\\c.max", install, rows));
    EXPECT_FALSE(RowOfCommandLine(L"", install, rows));
}

TEST(NightWatch, CommandLinesSplitAsTheCRuntimeSplitsThem) {
    using Arguments = std::vector<std::wstring>;
    EXPECT_EQ(CommandLineArguments(L"\"C:\\a b\\x.exe\" one \"two three\"  \t four"),
              (Arguments{L"C:\\a b\\x.exe", L"one", L"two three", L"four"}));
    EXPECT_EQ(CommandLineArguments(L"C:\\x\\\\y.exe \"a\\\\\" b\\c \"d\\\"e\" f\\\\\\\"g"),
              (Arguments{L"C:\\x\\\\y.exe", L"a\\", L"b\\c", L"d\"e", L"f\\\"g"}));
    EXPECT_EQ(CommandLineArguments(L"x \"a\"\"b\" \"\" -o:\"c d\"e"),
              (Arguments{L"x", L"a\"b", L"", L"-o:c de"}));
    EXPECT_EQ(CommandLineArguments(L""), (Arguments{L""}));
    EXPECT_EQ(CommandLineArguments(L"\"unclosed name"), (Arguments{L"unclosed name"}));
}

TEST(NightWatch, PathsCompareAsWindowsResolvesThem) {
    EXPECT_TRUE(SameWindowsPath(L"C:\\A\\b.EXE", L"c:/a/B.exe"));
    EXPECT_TRUE(SameWindowsPath(L"\\\\?\\C:\\a\\b.exe", L"C:\\a\\\\.\\x\\..\\b.exe"));
    EXPECT_TRUE(SameWindowsPath(L"\\\\?\\UNC\\server\\share\\b.exe", L"\\\\SERVER\\share\\b.exe"));
    EXPECT_TRUE(SameWindowsPath(L"C:\\a.\\b.exe ", L"C:\\a\\b.exe"));
    EXPECT_FALSE(SameWindowsPath(L"C:\\a\\b.exe", L"D:\\a\\b.exe"));
    EXPECT_FALSE(SameWindowsPath(L"C:\\a\\b.exe", L"C:\\a\\c\\b.exe"));
    EXPECT_FALSE(SameWindowsPath(L"\\\\server\\a\\b.exe", L"C:\\server\\a\\b.exe"));
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// Rows are known by their place in the script, never by their cells alone: two identical rows
// are two rows, whether told in order or found again from a renderer's command line.
TEST(NightWatch, TwoIdenticalRowsAreToldApart) {
    const std::vector<RenderJob> rows{FourRows[0], FourRows[0], FourRows[1]};
    const std::wstring line = JobLineText(Install, FourRows[0]);
    const auto onDisk = [](std::size_t) { return true; };
    NightWatch watch(L"D:\\Ravolen\\bat", Install, rows, At(23, 0, 0));
    watch.processStarted(101, Renderer, At(23, 0, 1), RowOfCommandLine(line, Install, rows, 0));
    EXPECT_EQ(watch.processExited(101, 0, At(23, 1, 0), onDisk)->row, 1);
    const std::size_t after = *watch.currentRow() + 1;
    watch.processStarted(102, Renderer, At(23, 1, 1), RowOfCommandLine(line, Install, rows, after));
    EXPECT_EQ(watch.processExited(102, 0, At(23, 2, 0), onDisk)->row, 2);
    EXPECT_EQ(watch.expectedRow(), 2u);
    // A program that joins later takes the first from the record and finds the second.
    NightWatch joined(L"D:\\Ravolen\\bat", Install, rows, At(23, 0, 0));
    joined.restore(std::vector<RecordLine>{{1, rows[0].scene, At(23, 0, 1), At(23, 1, 0), 0, L"F:\\out\\a.tga"}});
    EXPECT_EQ(RowOfCommandLine(line, Install, rows, *joined.currentRow() + 1), 1u);
    EXPECT_EQ(MatchRows(std::vector<RenderJob>{rows[1], rows[2]}, rows), (std::vector<std::size_t>{0, 2}));
}

// cmd tries a failed line again unless it ended with 1460, which the script takes for the
// watchdog's: a renderer that itself exits 1460 is a failure that is not tried again, and every
// later row keeps its place; a row that fails otherwise takes its tries.
TEST(NightWatch, ARendererThatItselfExits1460IsNotTriedAgainAndLeavesTheLaterRowsInPlace) {
    NightWatch watch(L"D:\\Ravolen\\bat", Install, FourRows, At(23, 0, 0), 1);
    const auto onDisk = [](std::size_t) { return true; };
    const struct {
        std::int32_t exitCode;
        std::size_t row;  // the row this renderer is
    } runs[] = {{1460, 0}, {3, 1}, {0, 1}, {3, 2}, {3, 2}, {0, 3}};
    unsigned long id = 100;
    for (const auto& run : runs) {
        EXPECT_EQ(watch.expectedRow(), run.row) << id;
        watch.processStarted(++id, Renderer, At(23, 0, 0));
        EXPECT_EQ(watch.processExited(id, run.exitCode, At(23, 1, 0), onDisk)->row,
                  static_cast<int>(run.row) + 1);
    }
    EXPECT_EQ(Texts(watch, At(23, 2, 0)), (std::vector<std::wstring>{L"失败（退出码 1460）", L"已完成",
                                                                     L"失败（退出码 3）", L"已完成"}));
}

}  // namespace
}  // namespace ravolen
