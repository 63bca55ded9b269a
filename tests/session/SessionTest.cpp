#include "session/Session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include "session/BackgroundWriter.h"
#include "jobs/UnifiedSettings.h"
#include "jobs/JobListFile.h"

namespace ravolen {
namespace {

SessionSettings Full() {
    SessionSettings settings;
    settings.installFolder = L"D:\\Program Files\\Autodesk\\3ds Max 2024";
    settings.outputFolder = L"E:\\渲染 输出\\夜景";
    settings.outputFormat = L".png";
    settings.unifiedFolder = true;
    settings.unifiedFormat = true;
    settings.appliedFormat = L".png";
    settings.savedOutDirs = {L"F:\\a", L"", L"G:\\100% ^ [x]=y"};
    settings.savedExts = {L".tga", L".jpg"};
    settings.deadlineCommand = L"C:\\DeadlineRepository\\bin\\deadlinecommand.exe";
    settings.deadline = {L"night", L"gpu", 80, true, 600};
    settings.backburner = {L"manager-01", 3234, 20, true};
    settings.night = {45, 150, 2};
    settings.windowPlaced = true;
    settings.windowLeft = -1200;
    settings.windowTop = 40;
    return settings;
}

std::string Utf8Bom(std::string_view text) { return "\xEF\xBB\xBF" + std::string(text); }

// Settings compare by what they save.
void ExpectSame(const SessionSettings& actual, const SessionSettings& expected) {
    EXPECT_EQ(SaveSessionSettings(actual), SaveSessionSettings(expected));
}

TEST(SessionSettings, EverySettingComesBackAsItWasSaved) {
    const SessionSettings saved = Full();
    const std::string bytes = SaveSessionSettings(saved);
    ASSERT_TRUE(bytes.starts_with("\xFF\xFE"));  // UTF-16 LE after its mark
    const auto read = ReadSessionSettings(bytes, SessionSettings{});
    EXPECT_FALSE(read.damaged);
    ExpectSame(read.value, saved);
    EXPECT_EQ(read.value.savedOutDirs, saved.savedOutDirs);
    EXPECT_EQ(read.value.backburner.manager, L"manager-01");
    EXPECT_EQ(read.value.deadline.priority, 80);
    EXPECT_EQ(read.value.deadline.timeoutSeconds, 600);
    EXPECT_EQ(read.value.windowLeft, -1200);

    // A value with line breaks and the escape itself stays on its line and comes back whole.
    SessionSettings odd;
    odd.installFolder = L"a\r\nb^c\td";
    odd.savedExts = {L"\n"};
    const auto back = ReadSessionSettings(SaveSessionSettings(odd), SessionSettings{});
    EXPECT_FALSE(back.damaged);
    ExpectSame(back.value, odd);
    EXPECT_EQ(back.value.installFolder, odd.installFolder);

    // Empty lists stay empty; a missing file part keeps the defaults.
    SessionSettings defaults = Full();
    const auto partial = ReadSessionSettings(Utf8Bom("[Main]\r\nOutputFormat=.jpg\r\n"), defaults);
    EXPECT_FALSE(partial.damaged);
    defaults.outputFormat = L".jpg";
    ExpectSame(partial.value, defaults);
}

TEST(SessionSettings, WhatCannotBeReadKeepsItsDefaultAndMarksTheFileDamaged) {
    const SessionSettings defaults = Full();
    const std::string text =
        "[Main]\r\n"
        "InstallFolder=C:\\Max\r\n"
        "UnifiedFolder=yes\r\n"        // not 0 or 1
        "this line has no equals\r\n"  // not a setting
        "OutputFormat=^00\r\n"         // a cut escape
        "[Deadline]\r\n"
        "Priority=high\r\n"
        "Pool=farm\r\n"
        "[SavedOutDirs]\r\n"
        "Count=3\r\n"
        "1=F:\\one\r\n"
        "3=F:\\three\r\n";  // entry 2 missing: the list stops before it
    const auto read = ReadSessionSettings(Utf8Bom(text), defaults);
    EXPECT_TRUE(read.damaged);
    EXPECT_EQ(read.value.installFolder, L"C:\\Max");
    EXPECT_EQ(read.value.unifiedFolder, defaults.unifiedFolder);
    EXPECT_EQ(read.value.outputFormat, defaults.outputFormat);
    EXPECT_EQ(read.value.deadline.priority, defaults.deadline.priority);
    EXPECT_EQ(read.value.deadline.pool, L"farm");
    EXPECT_EQ(read.value.savedOutDirs, std::vector<std::wstring>{L"F:\\one"});

    // The night's options: whole numbers in their ranges, each on its own.
    const auto night = ReadSessionSettings(
        Utf8Bom("[Night]\r\nHungMinutes=241\r\nLongestMinutes=150\r\nRetries=2\r\n"), defaults);
    EXPECT_TRUE(night.damaged);
    EXPECT_EQ(night.value.night, (NightOptions{defaults.night.hungMinutes, 150, 2}));
    for (const char* nightText : {"[Night]\r\nRetries=4\r\n", "[Night]\r\nRetries=1.5\r\n",
                             "[Night]\r\nLongestMinutes=-1\r\n", "[Night]\r\nHungMinutes=x\r\n"}) {
        const auto one = ReadSessionSettings(Utf8Bom(nightText), defaults);
        EXPECT_TRUE(one.damaged) << nightText;
        EXPECT_EQ(one.value.night, defaults.night) << nightText;
    }

    EXPECT_TRUE(ReadSessionSettings("\xFF\xFE\x41", defaults).damaged);  // half a character
    EXPECT_TRUE(ReadSessionSettings("\xC3\x28", defaults).damaged);      // not UTF-8
    ExpectSame(ReadSessionSettings("\xC3\x28", defaults).value, defaults);
}

// A count is only what the file says: one larger than the entries that follow it is damage,
// never room asked for (2000000000 would ask for gigabytes and end every start).
TEST(SessionSettings, ACountBeyondTheEntriesTheFileHoldsIsDamageNotAnAllocation) {
    struct Case {
        const char* count;
        bool damaged;
    };
    for (const Case& c : {Case{"2000000000", true}, Case{"2147483647", true}, Case{"3", true},
                          Case{"2", false}}) {
        const std::string text = std::string("[SavedExts]\r\nCount=") + c.count +
                                 "\r\n1=.tga\r\n2=.png\r\n[SavedOutDirs]\r\nCount=" + c.count +
                                 "\r\n1=F:\\a\r\n";
        const auto read = ReadSessionSettings(Utf8Bom(text), SessionSettings{});
        SCOPED_TRACE(c.count);
        EXPECT_TRUE(read.damaged) << "SavedOutDirs holds one entry";
        EXPECT_EQ(read.value.savedExts, (std::vector<std::wstring>{L".tga", L".png"}));
        EXPECT_EQ(read.value.savedOutDirs, std::vector<std::wstring>{L"F:\\a"});
        const std::string alone = std::string("[SavedExts]\r\nCount=") + c.count + "\r\n1=.tga\r\n2=.png\r\n";
        EXPECT_EQ(ReadSessionSettings(Utf8Bom(alone), SessionSettings{}).damaged, c.damaged);
    }
}

TEST(SessionRows, ADamagedListGivesTheRowsBeforeTheDamage) {
    const std::vector<RenderJob> rows = {
        {L"E:\\a.max", L"默认", L"F:\\out", L"a.tga", L"默认", L"默认"},
        {L"E:\\b.max", L"Cam, 1", L"F:\\out", L"b \"x\".tga", L"1920", L"1080"},
        {L"E:\\c.max", L"默认", L"F:\\out", L"c.tga", L"默认", L"默认"},
    };
    const std::string whole = SaveJobList(rows);
    const auto read = ReadSessionRows(whole);
    EXPECT_FALSE(read.damaged);
    EXPECT_EQ(read.value, rows);

    // Cut in the middle of the third row, as a write that never finished would leave it.
    const auto cut = ReadSessionRows(whole.substr(0, whole.size() - 12));
    EXPECT_TRUE(cut.damaged);
    EXPECT_EQ(cut.value, std::vector<RenderJob>(rows.begin(), rows.begin() + 2));

    const auto garbage = ReadSessionRows(std::string("\x00\x01\x02", 3));
    EXPECT_TRUE(garbage.damaged);
    EXPECT_TRUE(garbage.value.empty());
    EXPECT_FALSE(ReadSessionRows(SaveJobList({})).damaged);
}

// The files are composed from the rows' snapshot on the session's thread; they read back as the
// next start reads them, with the saved lists as unticking will use them.
TEST(SessionFiles, TheRowsSnapshotBecomesFilesThatReadBackAsTheTableWas) {
    JobRows rows;
    rows.append(std::vector<RenderJob>{{L"E:\\a.max", L"默认", L"F:\\own", L"a.tga", L"默认", L"默认"},
                                       {L"E:\\b \"x\".max", L"C,1", L"G:\\b", L"b.png", L"1920", L"1080"}});
    rows.tickUnifiedFolder(L"U:\\all");  // each row keeps its own folder
    rows.append(std::vector<RenderJob>{{L"E:\\c.max", L"默认", L"H:\\c", L"c.jpg", L"默认", L"默认"}});
    const JobRowsSnapshot before = rows.snapshot();
    rows.setCell(0, JobColumnScene, L"E:\\changed later.max");

    SessionSettings settings;
    settings.unifiedFolder = true;
    settings.outputFolder = L"U:\\all";
    const SessionFiles files = ComposeSession(before, settings);
    const auto read = ReadSessionRows(files.rows);
    EXPECT_FALSE(read.damaged);
    EXPECT_EQ(read.value, before.jobs());
    EXPECT_EQ(read.value[0].scene, L"E:\\a.max");
    const auto kept = ReadSessionSettings(files.settings, SessionSettings{});
    EXPECT_FALSE(kept.damaged);
    // The row added after the tick has none of its own: it keeps what it shows.
    EXPECT_EQ(kept.value.savedOutDirs, (std::vector<std::wstring>{L"F:\\own", L"G:\\b"}));
    EXPECT_TRUE(kept.value.savedExts.empty());
    EXPECT_EQ(kept.value.outputFolder, L"U:\\all");
}

TEST(SessionFiles, ADamagedFileIsKeptUnderItsNameAndTheMomentAndNamedInOneMessage) {
    EXPECT_EQ(DamagedFileName(L"C:\\Users\\a\\AppData\\Local\\Ravolen\\session.csv",
                              {2026, 12, 7, 9, 5, 3}),
              L"C:\\Users\\a\\AppData\\Local\\Ravolen\\session.csv.damaged-20261207-090503");
    const std::wstring message = DamagedFilesMessage(
        {{L"C:\\R\\session.csv", L"C:\\R\\session.csv.damaged-20261207-090503"},
         {L"C:\\R\\settings.ini", L""}});
    EXPECT_NE(message.find(L"C:\\R\\session.csv.damaged-20261207-090503"), std::wstring::npos);
    EXPECT_NE(message.find(L"C:\\R\\settings.ini"), std::wstring::npos);
    EXPECT_NE(message.find(L"本次运行不会覆盖它"), std::wstring::npos);
}

// The writer's thread takes the newest request, never two writes at once, and a write on the
// caller's thread waits for one under way and drops what was only posted.
TEST(BackgroundWriter, WritesTheNewestOneAtATimeAndStopsWithABound) {
    std::mutex lock;
    std::map<std::wstring, std::string> written;
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> writes{0};
    {
        BackgroundWriter writer([&](const std::wstring& path, std::string_view bytes) {
            const int now = ++inside;
            most = std::max(most.load(), now);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            {
                const std::lock_guard guard(lock);
                written[path] = std::string(bytes);
            }
            ++writes;
            --inside;
            return path != L"bad";
        });
        for (int i = 0; i < 20; ++i) {
            writer.post([i] {
                return std::vector<BackgroundWriter::File>{{L"f", std::to_string(i)}};
            });
        }
        ASSERT_TRUE(writer.idle(std::chrono::seconds(10)));
        EXPECT_EQ(written[L"f"], "19");
        EXPECT_LT(writes.load(), 20);  // requests not yet started were replaced
        EXPECT_TRUE(writer.lastWriteSucceeded());

        writer.post([] { return std::vector<BackgroundWriter::File>{{L"f", "posted"}}; });
        EXPECT_FALSE(writer.writeNow(
            [] { return std::vector<BackgroundWriter::File>{{L"bad", "x"}, {L"f", "now"}}; },
            std::chrono::seconds(10)));
        ASSERT_TRUE(writer.idle(std::chrono::seconds(10)));
        EXPECT_FALSE(writer.lastWriteSucceeded());
        EXPECT_EQ(most.load(), 1);
        EXPECT_TRUE(written[L"f"] == "now" || written[L"f"] == "posted");
        writer.post([] { return std::vector<BackgroundWriter::File>{{L"g", "last"}}; });
    }  // stops: a write under way ends first
    EXPECT_EQ(inside.load(), 0);
}

}  // namespace
}  // namespace ravolen
