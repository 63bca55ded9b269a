#include "render/NightPlan.h"
#include "render/NightRecord.h"
#include "render/RenderScript.h"

#include <gtest/gtest.h>

namespace ravolen {
namespace {

constexpr LocalTime Evening{2026, 12, 7, 23, 1, 5};

RecordLine Line(int row, std::wstring scene, LocalTime started, LocalTime ended,
                std::optional<std::int32_t> exitCode, std::wstring output) {
    return RecordLine{row, std::move(scene), started, ended, exitCode, std::move(output)};
}

TEST(NightRecord, NamesAndTimesReadAsTheArtistReadsThem) {
    EXPECT_EQ(RecordName(Evening), L"20261207-230105");
    EXPECT_EQ(RecordName({2027, 1, 2, 3, 4, 5}), L"20270102-030405");
    EXPECT_EQ(RecordNameTime(L"20261207-230105"), Evening);
    for (std::wstring_view notOne : {L"20261207-230105.csv", L"2026127-230105", L"20261307-230105",
                                     L"20261207-240000", L"2026120a-230105", L"Render", L""}) {
        EXPECT_FALSE(RecordNameTime(notOne)) << notOne.size();
    }
    EXPECT_EQ(TimeText(Evening), L"2026-12-07 23:01:05");

    EXPECT_EQ(DurationText(0), L"0:00:00");
    EXPECT_EQ(DurationText(5025), L"1:23:45");
    EXPECT_EQ(DurationText(26 * 3600 + 3 * 60 + 7), L"26:03:07");
    EXPECT_EQ(DurationText(-5), L"0:00:00");

    // Across midnight, a month's end and a leap day; a clock set back counts as no time.
    EXPECT_EQ(SecondsBetween({2026, 12, 31, 23, 59, 30}, {2027, 1, 1, 0, 0, 15}), 45);
    EXPECT_EQ(SecondsBetween({2028, 2, 28, 12, 0, 0}, {2028, 3, 1, 12, 0, 0}), 2 * 86400);
    EXPECT_EQ(SecondsBetween({2027, 2, 28, 12, 0, 0}, {2027, 3, 1, 12, 0, 0}), 86400);
    EXPECT_EQ(SecondsBetween(Evening, {2026, 12, 7, 22, 0, 0}), 0);
}

TEST(NightRecord, TheFileIsTheJobListsCsvWithALineAsEachRowEnds) {
    const std::string header = RecordHeaderBytes();
    EXPECT_EQ(header, "\xEF\xBB\xBF行,Max文件,开始,结束,用时,退出码,输出,说明\r\n");

    EXPECT_EQ(RecordLineBytes(Line(1, L"E:\\场景\\lobby.max", Evening, {2026, 12, 8, 0, 24, 50}, 0,
                                   L"F:\\out\\lobby.tga")),
              "1,E:\\场景\\lobby.max,2026-12-07 23:01:05,2026-12-08 00:24:50,1:23:45,0,"
              "F:\\out\\lobby.tga,\r\n");
    // Quoted as the job lists quote; a failure's code as cmd shows it; a cancelled row has none.
    EXPECT_EQ(RecordLineBytes(Line(12, L"E:\\a, \"b\".max", Evening, Evening, -1073741819, L"")),
              "12,\"E:\\a, \"\"b\"\".max\",2026-12-07 23:01:05,2026-12-07 23:01:05,0:00:00,"
              "-1073741819,,\r\n");
    EXPECT_EQ(RecordLineBytes(Line(3, L"c.max", Evening, {2026, 12, 7, 23, 2, 0}, std::nullopt, L"")),
              "3,c.max,2026-12-07 23:01:05,2026-12-07 23:02:00,0:00:55,,,\r\n");
    // A row the watchdog ended says why, in the last column.
    RecordLine hung = Line(4, L"d.max", Evening, {2026, 12, 7, 23, 21, 5}, 1460, L"");
    hung.note = L"无响应，已结束（20分钟没有进展）";
    EXPECT_EQ(RecordLineBytes(hung), "4,d.max,2026-12-07 23:01:05,2026-12-07 23:21:05,0:20:00,1460,,"
                                     "无响应，已结束（20分钟没有进展）\r\n");
}

TEST(NightRecord, NightsRecordedBeforeTheNoteColumnStillRead) {
    RecordLine hung = Line(2, L"b.max", Evening, Evening, 1460, L"");
    hung.note = L"超时，已结束（超过2小时）";
    const std::string earlier = "\xEF\xBB\xBF行,Max文件,开始,结束,用时,退出码,输出\r\n"
                                "1,a.max,2026-12-07 23:01:05,2026-12-07 23:01:05,0:00:00,0,F:\\a.tga\r\n";
    // A program that joined such a night appends its lines with the note.
    EXPECT_EQ(ReadRecord(earlier + RecordLineBytes(hung)),
              (std::vector<RecordLine>{Line(1, L"a.max", Evening, Evening, 0, L"F:\\a.tga"), hung}));
    EXPECT_FALSE(ReadRecord("\xEF\xBB\xBF行,Max文件,开始,结束,用时,退出码\r\n"));
}

TEST(NightRecord, ARecordReadsBackAndACutLastLineIsLeftOut) {
    const std::vector<RecordLine> lines = {
        Line(1, L"E:\\场景\\lobby.max", Evening, {2026, 12, 7, 23, 30, 0}, 0, L"F:\\out\\lobby.tga"),
        Line(2, L"E:\\a, \"b\"\r\n.max", Evening, Evening, 3, L""),
        Line(3, L"c.max", Evening, Evening, 0, L""),
        Line(4, L"d.max", Evening, Evening, std::nullopt, L""),
    };
    std::string file = RecordHeaderBytes();
    for (const RecordLine& line : lines) file += RecordLineBytes(line);
    EXPECT_EQ(ReadRecord(file), lines);

    // The program or the computer stopped while writing: every cut keeps the whole lines before.
    const std::string fifth = RecordLineBytes(Line(5, L"场景\r\n.max", Evening, Evening, 0, L"o.tga"));
    for (std::size_t cut = 0; cut < fifth.size(); ++cut) {
        EXPECT_EQ(ReadRecord(file + fifth.substr(0, cut)), lines) << cut;
    }
    for (std::size_t cut = 0; cut <= RecordHeaderBytes().size(); ++cut) {
        EXPECT_EQ(ReadRecord(RecordHeaderBytes().substr(0, cut)), std::vector<RecordLine>()) << cut;
    }

    // A line edited by hand out of shape is passed over; the rest still counts.
    EXPECT_EQ(ReadRecord(RecordHeaderBytes() + "x,y\r\n0,a,2026-12-07 23:01:05,2026-12-07 23:01:05,"
                                               "0:00:00,0,\r\n" +
                         "2,a,2026-13-07 23:01:05,2026-12-07 23:01:05,0:00:00,0,\r\n" +
                         "2,a,2026-12-07 23:01:05,2026-12-07 23:01:05,0:00:00,zero,\r\n" +
                         RecordLineBytes(lines[1])),
              std::vector<RecordLine>{lines[1]});

    // Not a record at all.
    EXPECT_FALSE(ReadRecord("Max文件,相机,出图路径,出图文件名,长,宽\r\n"));
    EXPECT_FALSE(ReadRecord("\xEF\xBB\xBF\xB3\xA1,\r\n"));
    EXPECT_FALSE(ReadRecord("hello"));
}

TEST(NightRecord, OldNightsGoOldestFirstInPairsUntilThirtyRemain) {
    std::vector<std::wstring> names = {L"readme.txt", L"2026.csv", L"20261301-000000.csv",
                                       L"Render.log"};
    for (int day = 1; day <= 31; ++day) {
        const std::wstring stem = RecordName({2026, 12, day, 22, 0, 0});
        names.push_back(stem + L".log");
        if (day != 2) names.push_back(stem + L".CSV");  // a night whose record was lost still counts
        if (day == 1) names.push_back(stem + L".plan");  // its plan goes with it
    }
    names.push_back(RecordName({2026, 11, 30, 23, 59, 59}) + L".csv");
    EXPECT_EQ(OldRecords(names), (std::vector<std::wstring>{
                                     L"20261130-235959.csv", L"20261201-220000.CSV",
                                     L"20261201-220000.log", L"20261201-220000.plan"}));
    EXPECT_EQ(OldRecords(names, 29).size(), 5u);
    EXPECT_TRUE(OldRecords(std::span(names).first(20)).empty());
    EXPECT_EQ(OldRecords(names, 0).size(), names.size() - 4);
}

TEST(NightRecord, ANightTakesAFreeNameAndTheNewestIsFoundAgain) {
    std::vector<std::wstring> names = {L"notes.txt"};
    EXPECT_EQ(FreeRecordName(Evening, names), L"20261207-230105");
    EXPECT_FALSE(NewestRecord(names));
    names.push_back(L"20261207-230105.csv");
    names.push_back(L"20261207-230106.LOG");
    names.push_back(L"20261231-235959.log");
    // Started again within the same second: the next free one, across a year's end too.
    EXPECT_EQ(FreeRecordName(Evening, names), L"20261207-230107");
    EXPECT_EQ(FreeRecordName({2026, 12, 31, 23, 59, 59}, names), L"20270101-000000");
    EXPECT_EQ(FreeRecordName({2028, 2, 28, 23, 59, 59}, names), L"20280228-235959");
    names.push_back(L"20280228-235959.csv");
    EXPECT_EQ(FreeRecordName({2028, 2, 28, 23, 59, 59}, names), L"20280229-000000");
    EXPECT_EQ(NewestRecord(names), L"20280228-235959");
    names.pop_back();
    EXPECT_EQ(NewestRecord(names), L"20261231-235959");
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// The plan is written as the night starts and read after a power cut: it reads back exactly, and
// a plan cut short anywhere (the machine went down as it was written) reads as none.
TEST(NightPlan, ReadsBackExactlyAndAPlanCutShortAnywhereIsNone) {
    NightPlan plan;
    plan.installFolder = L"D:\\Program Files\\Autodesk\\3ds Max 2012";
    plan.rows = {{L"E:\\夜景, 1.max", L"Cam \"1\"", L"F:\\out", L"a.tga", L"默认", L"默认"},
                 {L"E:\\b.max", L"默认", L"F:\\out", L"b.tga", L"1920", L"1080", L"1-5", L"Night", L"D:\\p.rps"}};
    plan.numbers = {3, 7};
    plan.shutdownAfterwards = true;
    plan.scriptProcessId = 4294967295ul;
    plan.scriptStarted = 134'000'000'000'000'000ull;
    plan.nightStarted = 134'000'000'010'000'000ull;
    plan.retries = 2;
    plan.way = NightWay::Backburner;
    plan.scriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";
    const std::string bytes = PlanBytes(plan);
    EXPECT_EQ(ReadPlan(bytes), plan);
    plan.offered = true;
    EXPECT_EQ(ReadPlan(PlanBytes(plan)), plan);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(ReadPlan(bytes.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(ReadPlan(RecordHeaderBytes()));
    // A plan of an earlier version, without its tries, way and script, still reads.
    const std::string old =
        "\xEF\xBB\xBFRavolen夜间计划,D:\\Max,0,12,34,56,0,1\r\n1,E:\\a.max,默认,F:\\out,a.tga,默认,默认,默认,默认,默认\r\n";
    const auto read = ReadPlan(old);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->rows.size(), 1u);
    EXPECT_EQ(read->retries, 0);
    EXPECT_EQ(read->way, NightWay::Here);
}

// What the program learns of the night is appended to the plan, never written over it; a note
// cut short as it was appended is left out, and which rows are left is known from the notes.
TEST(NightPlan, NotesAreAppendedAndTellWhichRowsAreLeft) {
    NightPlan plan;
    plan.installFolder = L"D:\\Max";
    for (const wchar_t* name : {L"a", L"b", L"c", L"d"}) {
        plan.rows.push_back({std::wstring(L"E:\\") + name + L".max", L"默认", L"F:\\out",
                             std::wstring(name) + L".tga", L"默认", L"默认"});
        plan.numbers.push_back(static_cast<int>(plan.numbers.size()) + 1);
    }
    const std::string begun = PlanBytes(plan);
    using Kind = PlanNote::Kind;
    // The log's echoes show rows 3 and 4 started (cmd ran on while Windows closed processes),
    // and the record has row 2's line of the cut: only the note is believed.
    const std::wstring log = L"C:\\bat>" + JobLineText(plan.installFolder, plan.rows[3]) + L"\r\n";
    const RecordLine cutLine{2, L"E:\\b.max", Evening, Evening, std::nullopt, L"", std::wstring(ShutdownCutNote)};
    const RecordLine first{1, L"E:\\a.max", Evening, Evening, 0, L"F:\\out\\a.tga"};
    const struct {
        std::vector<PlanNote> notes;
        bool offered;
        std::size_t ended;  // with the record {first, cutLine}
    } cases[] = {
        {{}, false, 1},  // no note: the record's cut line is no row that ended
        {{{Kind::CutByShutdown, 1}}, false, 1},
        {{{Kind::Asked}}, true, 3},  // without a cut, the log's echoes still tell
        {{{Kind::ScriptEnded}}, true, 3},
        {{{Kind::Cancelled}}, true, 3},
        {{{Kind::CutByShutdown, 0}, {Kind::Asked}}, true, 0},
    };
    for (const auto& c : cases) {
        std::string bytes = begun;
        for (const PlanNote& note : c.notes) bytes += PlanNoteBytes(note);
        const auto read = ReadPlan(bytes);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->notes, c.notes);
        EXPECT_EQ(read->offered, c.offered);
        EXPECT_EQ(ReadPlan(bytes + "关机"), read) << "a note cut short is left out";
        const std::vector<RecordLine> record{first, cutLine};
        EXPECT_EQ(RowsEnded(*read, record, c.notes.empty() ? L"" : log, [](std::size_t) { return false; }),
                  c.ended);
    }
    EXPECT_TRUE(ReadPlan(begun + "其他,1\r\n")) << "a later version's note is passed over";
    EXPECT_FALSE(ReadPlan(begun + "关机中断,0\r\n")->cutAt()) << "rows count from 1";
}

}  // namespace
}  // namespace ravolen
