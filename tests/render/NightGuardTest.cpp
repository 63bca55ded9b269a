#include "render/NightGuard.h"

#include <gtest/gtest.h>

#include "render/NightWatch.h"
#include "render/RenderScript.h"
#include "support/TestCodec.h"

namespace ravolen {
namespace {

constexpr unsigned long long Second = 10'000'000;  // of processor time, in 100 ns
constexpr unsigned long long MB = 1024 * 1024;

// One reading: the second it was taken at, each process's processor time and I/O, or none
// (failed), and the output folder when it was listed.
struct Reading {
    long long at;
    std::optional<std::vector<ProcessTime>> times;
    std::optional<std::vector<FolderEntry>> output = std::nullopt;
};

struct GuardCase {
    const char* what;
    NightOptions options;
    std::vector<Reading> readings;
    long long askedAt;
    GuardVerdict verdict;
    bool unreadable = false;
};

std::vector<ProcessTime> Renderer(unsigned long long time, unsigned long long bytes = 0) {
    return {{100, time, bytes}};
}

// The output folder: frames of 2 KB written at moment 5, the last one as given.
std::vector<FolderEntry> Frames(int count, unsigned long long lastSize = 2048,
                                unsigned long long lastWritten = 5) {
    std::vector<FolderEntry> frames{{L"notes", true, 0, 5}};
    for (int frame = 1; frame <= count; ++frame) {
        const bool last = frame == count;
        frames.push_back({L"lobby" + std::to_wstring(frame) + L".tga", false, last ? lastSize : 2048,
                          last ? lastWritten : 5});
    }
    return frames;
}

TEST(RowGuard, AHungRowIsOneUnderOnePercentOfAProcessorOverTheWholeSpan) {
    const NightOptions twenty{20, 0, 0};
    const NightOptions oneMinute{1, 0, 0};
    const GuardCase cases[] = {
        {"busy all along", twenty, {{600, Renderer(300 * Second)}, {1200, Renderer(900 * Second)}}, 1200,
         GuardVerdict::Working},
        // Idle threads still wake: the time grows, by less than 1 % of 20 minutes (12 s).
        {"idle but waking", twenty,
         {{15, Renderer(Second)}, {600, Renderer(3 * Second)}, {1215, Renderer(10 * Second)}}, 1215,
         GuardVerdict::Hung},
        {"just above 1 %", twenty, {{15, Renderer(Second)}, {1215, Renderer(13 * Second + 1)}}, 1215,
         GuardVerdict::Working},
        // Hours on one frame, printing nothing, but working: never hung.
        {"working for hours", twenty,
         {{3600, Renderer(3000 * Second)}, {7200, Renderer(6500 * Second)}}, 7200,
         GuardVerdict::Working},
        // The span is measured between readings, never shorter than the setting.
        {"not yet a whole span", twenty, {{15, Renderer(Second)}, {1195, Renderer(Second)}}, 1195,
         GuardVerdict::Working},
        // Busy long ago, idle for the last 20 minutes.
        {"stopped after working", twenty,
         {{600, Renderer(500 * Second)}, {1800, Renderer(501 * Second)}}, 1800, GuardVerdict::Hung},
        // A child that ends takes its time away: the work does not go back to look idle.
        {"a child ended", oneMinute,
         {{15, {{{100, Second}, {101, 30 * Second}}}},
          {45, {{{100, Second}, {101, 60 * Second}}}},
          {75, Renderer(Second + Second / 10)}},
         75, GuardVerdict::Working},
        {"a child started late and works", oneMinute,
         {{15, Renderer(Second)}, {75, {{{100, Second}, {102, 5 * Second}}}}}, 75,
         GuardVerdict::Working},
        // A process id reused by a new process reads less than before: its time is all new.
        {"an id reused", oneMinute, {{15, Renderer(90 * Second)}, {75, Renderer(10 * Second)}}, 75,
         GuardVerdict::Working},
        {"the rule off", {0, 0, 0}, {{15, Renderer(Second)}, {9000, Renderer(Second)}}, 9000,
         GuardVerdict::Working},
        // Times that cannot be read end nothing, and say so.
        {"unreadable", oneMinute, {{15, std::nullopt}, {75, std::nullopt}}, 75, GuardVerdict::Working,
         true},
        {"a way that reads 0 however busy", oneMinute, {{15, Renderer(0)}, {75, Renderer(0)}}, 75,
         GuardVerdict::Working, true},
        // A scene coming from a slow share: next to no processor, but bytes moving.
        {"idle but reading a megabyte", twenty,
         {{15, Renderer(Second, 5 * MB)}, {1215, Renderer(2 * Second, 6 * MB)}}, 1215,
         GuardVerdict::Working},
        {"idle and a byte short of a megabyte", twenty,
         {{15, Renderer(Second, 5 * MB)}, {600, {{{100, Second, 5 * MB}, {101, 0, MB / 2}}}},
          {1215, {{{100, 2 * Second, 5 * MB + MB / 2 - 1}, {101, 0, MB / 2}}}}},
         1215, GuardVerdict::Hung},
        {"bytes of an id reused are all new", twenty,
         {{15, Renderer(Second, 5 * MB)}, {1215, Renderer(2 * Second, 2 * MB)}}, 1215,
         GuardVerdict::Working},
        // Frames written are progress; what the folder held at the first look is not.
        {"a frame appeared", twenty,
         {{15, Renderer(Second), Frames(3)}, {600, Renderer(Second), std::nullopt},
          {1215, Renderer(Second), Frames(4)}},
         1215, GuardVerdict::Working},
        {"a frame grew", twenty,
         {{15, Renderer(Second), Frames(3, 100)}, {1215, Renderer(Second), Frames(3, 101)}}, 1215,
         GuardVerdict::Working},
        {"a frame written again", twenty,
         {{15, Renderer(Second), Frames(3)}, {1215, Renderer(Second), Frames(3, 2048, 6)}}, 1215,
         GuardVerdict::Working},
        {"the output as it was", twenty,
         {{15, Renderer(Second), Frames(3)}, {1215, Renderer(Second), Frames(3, 2000)}}, 1215,
         GuardVerdict::Hung},
        {"a frame written before the span", twenty,
         {{15, Renderer(Second), Frames(3)}, {600, Renderer(Second), Frames(4)},
          {1800, Renderer(Second), Frames(4)}},
         1800, GuardVerdict::Hung},
        {"read again after one failure", oneMinute,
         {{15, Renderer(Second)}, {45, std::nullopt}, {75, Renderer(Second)}}, 75, GuardVerdict::Hung},
        // 单个任务最长时间: under way longer than the limit, whatever it does.
        {"too long", {20, 120, 0}, {{7200, Renderer(7000 * Second)}}, 7201, GuardVerdict::TooLong},
        {"exactly the limit", {20, 120, 0}, {{7200, Renderer(7000 * Second)}}, 7200,
         GuardVerdict::Working},
        {"no limit", {0, 0, 0}, {}, 99 * 3600, GuardVerdict::Working},
    };
    for (const GuardCase& c : cases) {
        RowGuard guard(c.options, 0);
        for (const Reading& reading : c.readings) guard.read(reading.at, reading.times, reading.output);
        EXPECT_EQ(guard.verdict(c.askedAt), c.verdict) << c.what;
        EXPECT_EQ(guard.unreadable(c.askedAt), c.unreadable) << c.what;
    }
}

// The machine slept (or the program stood still): the hang span starts again after the break,
// while 单个任务最长时间 still counts from the row's start, less the break.
TEST(RowGuard, ABreakStartsTheHangSpanAgainAndIsNotCountedAsUnderWay) {
    struct BreakCase {
        const char* what;
        NightOptions options;
        std::vector<Reading> before;
        long long from, to;  // the break
        std::vector<Reading> after;
        long long askedAt;
        GuardVerdict verdict;
    };
    const NightOptions twenty{20, 0, 0};
    const NightOptions anHour{0, 60, 0};
    const std::vector<Reading> idle = {{15, Renderer(Second)}, {600, Renderer(Second)}};
    const BreakCase cases[] = {
        {"idle the whole span but for the break", twenty, idle, 600, 690,
         {{705, Renderer(Second)}, {1215, Renderer(Second)}}, 1215, GuardVerdict::Working},
        {"idle a whole span after it", twenty, idle, 600, 690,
         {{705, Renderer(Second)}, {1905, Renderer(Second)}}, 1905, GuardVerdict::Hung},
        {"work over the break counts in no span", twenty, idle, 600, 700,
         {{700, Renderer(100 * Second)}, {1900, Renderer(101 * Second)}}, 1900, GuardVerdict::Hung},
        {"an hour under way less the break", anHour, {}, 1000, 1090, {}, 3690, GuardVerdict::Working},
        {"more than an hour less the break", anHour, {}, 1000, 1090, {}, 3691, GuardVerdict::TooLong},
        {"only the part after the start", anHour, {}, -500, 10, {}, 3611, GuardVerdict::TooLong},
    };
    for (const BreakCase& c : cases) {
        RowGuard guard(c.options, 0);
        for (const Reading& reading : c.before) guard.read(reading.at, reading.times);
        guard.pause(c.from, c.to);
        for (const Reading& reading : c.after) guard.read(reading.at, reading.times);
        EXPECT_EQ(guard.verdict(c.askedAt), c.verdict) << c.what;
    }
}

TEST(RowGuard, TheNotesAndTheRangesOfTheOptions) {
    EXPECT_EQ(HungNote(20), L"无响应，已结束（20分钟没有进展）");
    EXPECT_EQ(TooLongNote(120), L"超时，已结束（超过2小时）");
    EXPECT_EQ(TooLongNote(90), L"超时，已结束（超过1小时30分钟）");
    EXPECT_EQ(TooLongNote(45), L"超时，已结束（超过45分钟）");

    EXPECT_TRUE(ValidNightOptions({}));
    EXPECT_EQ(NightOptions{}, (NightOptions{20, 0, 0}));
    for (const NightOptions valid : {NightOptions{0, 0, 0}, NightOptions{240, 5999, 3}, NightOptions{1, 1, 1}}) {
        EXPECT_TRUE(ValidNightOptions(valid));
    }
    for (const NightOptions invalid : {NightOptions{241, 0, 0}, NightOptions{-1, 0, 0},
                                       NightOptions{20, 6000, 0}, NightOptions{20, -5, 0},
                                       NightOptions{20, 0, 4}, NightOptions{20, 0, -1}}) {
        EXPECT_FALSE(ValidNightOptions(invalid));
    }
}

constexpr std::wstring_view Install = L"D:\\Program Files\\Autodesk\\3ds Max 2012";

TEST(RetryLines, EachJobLineIsFollowedByItsRetriesAndZeroLeavesTheScriptAsItWas) {
    const std::vector<RenderJob> rows = {
        {L"E:\\work\\lobby.max", L"默认", L"E:\\work\\out", L"lobby.tga", L"默认", L"默认"},
        {L"E:\\work\\100%.max", L"默认", L"F:\\out", L"hall.jpg", L"默认", L"默认"},
    };
    const std::string lobby =
        "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\work\\lobby.max\" "
        "-continueOnError -skipRenderedFrames:1 -outputName:\"E:\\work\\out\\lobby.tga\" ";
    const std::string hall =
        "\"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe\" \"E:\\work\\100%%.max\" "
        "-continueOnError -skipRenderedFrames:1 -outputName:\"F:\\out\\hall.jpg\" ";
    const std::string retry = "if %errorlevel% neq 0 if %errorlevel% neq 1460 ";
    const auto compose = [&](int retries, bool shutdown) {
        return ComposeRenderScript(Install, rows, shutdown, test::Cp936(), nullptr, retries);
    };
    EXPECT_EQ(compose(0, false).bytes, lobby + "\n\r\n" + hall + "\n\r\n\r\n");
    EXPECT_EQ(compose(0, true).bytes, ComposeRenderScript(Install, rows, true, test::Cp936()).bytes);
    EXPECT_EQ(compose(2, false).bytes, lobby + "\n\r\n" + retry + lobby + "\n\r\n" + retry + lobby +
                                           "\n\r\n" + hall + "\n\r\n" + retry + hall + "\n\r\n" +
                                           retry + hall + "\n\r\n\r\n");
    EXPECT_TRUE(compose(1, true).bytes.ends_with("\n\r\nshutdown -s -t 120 -c \"" +
                                                 test::Cp936().encode(ShutdownNotice).value() + "\"\r\n"));

    // The test before a retry counts towards the line cmd reads.
    RenderJob longRow = rows[0];
    const std::size_t room = MaxScriptLineBytes - lobby.size();
    longRow.outputName = std::wstring(room - 3, L'x') + L".tga";  // the whole line at the limit
    EXPECT_FALSE(ComposeRenderScript(Install, std::vector<RenderJob>{longRow}, false, test::Cp936(), nullptr, 0).refusal);
    const ComposedScript refused =
        ComposeRenderScript(Install, std::vector<RenderJob>{rows[0], longRow}, false, test::Cp936(), nullptr, 1);
    ASSERT_TRUE(refused.refusal);
    EXPECT_EQ(refused.refusal->fault, ScriptFault::LineTooLong);
    EXPECT_EQ(refused.bytes, lobby + "\n\r\n" + retry + lobby + "\n\r\n");
}

constexpr LocalTime At(int hour, int minute, int second) { return {2026, 12, 7, hour, minute, second}; }

TEST(RetryLines, EachRendererIsTheLineAtItsPositionSoARetryAndTwoSameRowsAreToldApart) {
    const RenderJob a{L"E:\\a.max", L"默认", L"F:\\out", L"a.tga", L"默认", L"默认"};
    const std::vector<RenderJob> rows = {a, a, a};  // three identical rows
    const std::wstring renderer = std::wstring(Install) + L"\\3dsmaxcmd.exe";
    const std::wstring line = JobLineText(Install, a);
    const auto onDisk = [](std::size_t) { return true; };
    NightWatch watch(L"D:\\Ravolen\\bat", Install, rows, At(23, 0, 0), 1);
    // Row 1 fails, its retry succeeds; row 2 succeeds and is not tried again; row 3 is ended by
    // the watchdog and not tried again either.
    watch.processStarted(1, renderer, At(23, 0, 0));
    EXPECT_EQ(watch.processExited(1, -1073741819, At(23, 1, 0), onDisk)->exitCode, -1073741819);
    EXPECT_EQ(watch.expectedRow(), 0u);
    watch.processStarted(2, renderer, At(23, 1, 1));
    EXPECT_EQ(watch.processExited(2, 0, At(23, 2, 0), onDisk)->row, 1);
    EXPECT_EQ(watch.expectedRow(), 1u);
    watch.processStarted(3, renderer, At(23, 2, 1));
    EXPECT_EQ(watch.processExited(3, 0, At(23, 3, 0), onDisk)->row, 2);
    watch.processStarted(4, renderer, At(23, 3, 1));
    EXPECT_EQ(watch.rendererUnderWay(), (std::pair<unsigned long, std::size_t>{4, 2}));
    watch.ending(2, RowPhase::Hung, HungNote(20));
    const auto hung = watch.processExited(4, 1460, At(23, 23, 1), onDisk);
    ASSERT_TRUE(hung);
    EXPECT_EQ(hung->row, 3);
    EXPECT_EQ(hung->exitCode, 1460);
    EXPECT_EQ(hung->note, L"无响应，已结束（20分钟没有进展）");
    EXPECT_EQ(watch.expectedRow(), 3u);
    std::vector<std::wstring> texts;
    for (const RowState& state : watch.states()) texts.push_back(RowStateText(state, At(23, 30, 0)));
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"已完成", L"已完成", L"无响应，已结束（20分钟没有进展）"}));
    EXPECT_EQ(watch.summary(At(23, 30, 0)), L"第3个，共3个 · 已用时 0:30:00 · 失败1个");
    EXPECT_EQ(NightEndNotice(watch.states()), L"渲染完成：3个任务，2个已完成，1个失败");

    // A row that failed its last try is not expected again; the record reads back each state.
    NightWatch once(L"D:\\Ravolen\\bat", Install, rows, At(23, 0, 0), 1);
    once.processStarted(1, renderer, At(23, 0, 0));
    const RecordLine first = *once.processExited(1, 5, At(23, 1, 0), onDisk);
    once.processStarted(2, renderer, At(23, 1, 1));
    const RecordLine second = *once.processExited(2, 5, At(23, 2, 0), onDisk);
    EXPECT_EQ(once.expectedRow(), 1u);
    NightWatch joined(L"D:\\Ravolen\\bat", Install, rows, At(23, 0, 0), 1);
    joined.restore(std::vector<RecordLine>{first, second});
    EXPECT_EQ(joined.expectedRow(), 1u);
    EXPECT_EQ(StateOfRecord(*hung).phase, RowPhase::Hung);
    RecordLine timedOut = *hung;
    timedOut.note = TooLongNote(120);
    EXPECT_EQ(RowStateText(StateOfRecord(timedOut), At(23, 30, 0)), L"超时，已结束（超过2小时）");
    EXPECT_EQ(RowOfCommandLine(line, Install, rows, once.expectedRow()), 1u);
}

}  // namespace
}  // namespace ravolen
