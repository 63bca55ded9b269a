#include "session/Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <thread>

#include "session/BackgroundWriter.h"
#include "jobs/UnifiedSettings.h"
#include "jobs/JobListFile.h"

namespace ravolen {

// Settings print as the file they make.
void PrintTo(const SessionSettings& settings, std::ostream* out) {
    *out << testing::PrintToString(SaveSessionSettings(settings));
}

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
    settings.night = {45, 150, 2, true};
    settings.windowPlaced = true;
    settings.windowLeft = -1200;
    settings.windowTop = 40;
    return settings;
}

std::string Utf8Bom(std::string_view text) { return "\xEF\xBB\xBF" + std::string(text); }

// The file as it stands on disk: UTF-16 LE after its mark.
std::string Utf16Le(std::wstring_view text) {
    std::string bytes = "\xFF\xFE";
    for (const wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

TEST(SessionSettings, EverySettingComesBackAsItWasSaved) {
    const SessionSettings saved = Full();
    const std::string bytes = SaveSessionSettings(saved);
    EXPECT_EQ(bytes, Utf16Le(L"[Main]\r\n"
                             L"InstallFolder=D:\\Program Files\\Autodesk\\3ds Max 2024\r\n"
                             L"OutputFolder=E:\\渲染 输出\\夜景\r\n"
                             L"OutputFormat=.png\r\n"
                             L"UnifiedFolder=1\r\n"
                             L"UnifiedFormat=1\r\n"
                             L"AppliedFormat=.png\r\n"
                             L"\r\n[Deadline]\r\n"
                             L"Command=C:\\DeadlineRepository\\bin\\deadlinecommand.exe\r\n"
                             L"Pool=night\r\n"
                             L"Group=gpu\r\n"
                             L"Priority=80\r\n"
                             L"Suspended=1\r\n"
                             L"Timeout=600\r\n"
                             L"\r\n[Backburner]\r\n"
                             L"Manager=manager-01\r\n"
                             L"Port=3234\r\n"
                             L"Priority=20\r\n"
                             L"Suspended=1\r\n"
                             L"\r\n[Night]\r\n"
                             L"HungMinutes=45\r\n"
                             L"LongestMinutes=150\r\n"
                             L"Retries=2\r\n"
                             L"ContinueUnasked=1\r\n"
                             L"\r\n[Window]\r\n"
                             L"Placed=1\r\n"
                             L"Left=-1200\r\n"
                             L"Top=40\r\n"
                             L"\r\n[SavedOutDirs]\r\n"
                             L"Count=3\r\n"
                             L"1=F:\\a\r\n"
                             L"2=\r\n"
                             L"3=G:\\100% ^005E [x]=y\r\n"
                             L"\r\n[SavedExts]\r\n"
                             L"Count=2\r\n"
                             L"1=.tga\r\n"
                             L"2=.jpg\r\n"));
    const auto read = ReadSessionSettings(bytes, SessionSettings{});
    EXPECT_FALSE(read.damaged);
    EXPECT_EQ(read.value, saved);

    // A value with line breaks and the escape itself stays on its line and comes back whole.
    SessionSettings odd;
    odd.installFolder = L"a\r\nb^c\td";
    odd.savedExts = {L"\n"};
    const std::string oddBytes = SaveSessionSettings(odd);
    EXPECT_TRUE(oddBytes.starts_with(Utf16Le(L"[Main]\r\nInstallFolder=a^000D^000Ab^005Ec^0009d\r\n")));
    EXPECT_TRUE(oddBytes.ends_with(Utf16Le(L"[SavedExts]\r\nCount=1\r\n1=^000A\r\n").substr(2)));
    const auto back = ReadSessionSettings(oddBytes, SessionSettings{});
    EXPECT_FALSE(back.damaged);
    EXPECT_EQ(back.value, odd);

    // A later feature's key is there only when it is not its default.
    SessionSettings shown;
    shown.optionalColumns = true;
    shown.resultsWidth = 12000;
    shown.logHeight = 9000;
    const std::string shownBytes = SaveSessionSettings(shown);
    EXPECT_NE(shownBytes.find(Utf16Le(L"\r\n[Table]\r\nOptionalColumns=1\r\n\r\n[Sizes]\r\n"
                                      L"ResultsWidth=12000\r\nLogHeight=9000\r\n").substr(2)),
              std::string::npos);
    EXPECT_EQ(ReadSessionSettings(shownBytes, SessionSettings{}).value, shown);

    // Empty lists stay empty; a missing file part keeps the defaults.
    SessionSettings defaults = Full();
    const auto partial = ReadSessionSettings(Utf8Bom("[Main]\r\nOutputFormat=.jpg\r\n"), defaults);
    EXPECT_FALSE(partial.damaged);
    defaults.outputFormat = L".jpg";
    EXPECT_EQ(partial.value, defaults);
}

// One line at a time: a line that cannot be read marks the file damaged and leaves every setting
// as it was; what can be read does not.
TEST(SessionSettings, WhatCannotBeReadKeepsItsDefaultAndMarksTheFileDamaged) {
    const SessionSettings defaults = Full();
    const struct {
        const char* bytes;
        bool damaged;
    } cases[] = {
        {"[Main]\r\nUnifiedFolder=1\r\n; a remark\r\n\r\n", false},
        {"[Main]\r\nthis line has no equals\r\n", true},
        {"InstallFolder=D:\\Program Files\\Autodesk\\3ds Max 2024\r\n", true},  // before any section
        {"[Main]\r\nUnifiedFolder=yes\r\n", true},
        {"[Main]\r\nUnifiedFolder=2\r\n", true},
        {"[Main]\r\nUnifiedFolder=\r\n", true},
        {"[Backburner]\r\nSuspended=true\r\n", true},
        {"[Main]\r\nOutputFormat=^00\r\n", true},  // a cut escape
        {"[Main]\r\nOutputFormat=^00G1\r\n", true},
        {"[Deadline]\r\nPriority=high\r\n", true},
        {"[Deadline]\r\nPriority=\r\n", true},
        {"[Window]\r\nLeft=1e3\r\n", true},
        {"[SavedExts]\r\nCount=two\r\n", true},
        {"[SavedExts]\r\nCount=-1\r\n", true},
    };
    for (const auto& c : cases) {
        const auto read = ReadSessionSettings(Utf8Bom(c.bytes), defaults);
        EXPECT_EQ(read.damaged, c.damaged) << c.bytes;
        EXPECT_EQ(read.value, defaults) << c.bytes;
    }
    for (const std::string_view bytes : {"\xFF\xFE\x41", "\xC3\x28"}) {  // half a character, not UTF-8
        const auto read = ReadSessionSettings(bytes, defaults);
        EXPECT_TRUE(read.damaged);
        EXPECT_EQ(read.value, defaults);
    }

    // The rest of a damaged file is still read, a list up to its first gap.
    const std::string text =
        "[Main]\r\n"
        "InstallFolder=C:\\Max\r\n"
        "UnifiedFolder=yes\r\n"
        "[Deadline]\r\n"
        "Pool=farm\r\n"
        "[SavedOutDirs]\r\n"
        "Count=3\r\n"
        "1=F:\\one\r\n"
        "3=F:\\three\r\n";
    const auto read = ReadSessionSettings(Utf8Bom(text), defaults);
    EXPECT_TRUE(read.damaged);
    SessionSettings expected = defaults;
    expected.installFolder = L"C:\\Max";
    expected.deadline.pool = L"farm";
    expected.savedOutDirs = {L"F:\\one"};
    EXPECT_EQ(read.value, expected);

    // The night's options: whole numbers in their ranges, each on its own.
    const auto night = ReadSessionSettings(
        Utf8Bom("[Night]\r\nHungMinutes=241\r\nLongestMinutes=150\r\nRetries=2\r\n"), defaults);
    EXPECT_TRUE(night.damaged);
    EXPECT_EQ(night.value.night, (NightOptions{defaults.night.hungMinutes, 150, 2, defaults.night.continueUnasked}));
    for (const char* nightText : {"[Night]\r\nRetries=4\r\n", "[Night]\r\nRetries=1.5\r\n",
                             "[Night]\r\nLongestMinutes=-1\r\n", "[Night]\r\nHungMinutes=x\r\n"}) {
        const auto one = ReadSessionSettings(Utf8Bom(nightText), defaults);
        EXPECT_TRUE(one.damaged) << nightText;
        EXPECT_EQ(one.value.night, defaults.night) << nightText;
    }
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
    rows.unify({L"U:\\all", L".tga", true, false});  // each row keeps its own folder
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
    EXPECT_EQ(read.value[2].outputFolder, L"U:\\all") << "the rows as shown";
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
// caller's thread waits for one under way and drops what was only posted. The thread's writes
// wait at a gate the test opens, so that every step happens in the order the test takes.
TEST(BackgroundWriter, WritesTheNewestOneAtATimeAndStopsWithABound) {
    std::mutex lock;
    std::condition_variable changed;
    bool open = false;
    int inside = 0;
    int most = 0;
    std::vector<std::string> written;  // "path=bytes", in the order the writes ended
    const auto waitFor = [&](const auto& condition) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10), condition);
    };
    const auto gate = [&](bool opened) {
        const std::lock_guard guard(lock);
        open = opened;
        changed.notify_all();
    };
    const auto files = [](std::vector<BackgroundWriter::File> list) { return [list] { return list; }; };
    {
        const std::thread::id caller = std::this_thread::get_id();
        BackgroundWriter writer([&](const std::wstring& path, std::string_view bytes) {
            std::unique_lock guard(lock);
            most = std::max(most, ++inside);
            changed.notify_all();
            if (std::this_thread::get_id() != caller) changed.wait(guard, [&] { return open; });
            written.push_back(std::string(path.begin(), path.end()) + "=" + std::string(bytes));
            --inside;
            changed.notify_all();
            return path != L"bad";
        });
        // The first request is under way; each later one replaces the one before it.
        writer.post(files({{L"f", "0"}}));
        ASSERT_TRUE(waitFor([&] { return inside == 1; }));
        for (int i = 1; i < 20; ++i) writer.post(files({{L"f", std::to_string(i)}}));
        EXPECT_FALSE(writer.idle(std::chrono::milliseconds(0)));
        gate(true);
        ASSERT_TRUE(writer.idle(std::chrono::seconds(10)));
        EXPECT_EQ(written, (std::vector<std::string>{"f=0", "f=19"}));
        EXPECT_TRUE(writer.lastWriteSucceeded());

        // A write now while one is under way: past its bound it writes nothing, and what was
        // posted is gone all the same.
        gate(false);
        writer.post(files({{L"f", "under way"}}));
        ASSERT_TRUE(waitFor([&] { return inside == 1; }));
        writer.post(files({{L"f", "posted"}}));
        EXPECT_FALSE(writer.writeNow(files({{L"f", "too soon"}}), std::chrono::milliseconds(0)));
        gate(true);
        ASSERT_TRUE(writer.idle(std::chrono::seconds(10)));
        EXPECT_EQ(written, (std::vector<std::string>{"f=0", "f=19", "f=under way"}));

        // Nothing under way: the write is the caller's, every file tried, one failure told.
        EXPECT_FALSE(writer.writeNow(files({{L"bad", "x"}, {L"f", "now"}}), std::chrono::seconds(10)));
        EXPECT_FALSE(writer.lastWriteSucceeded());
        EXPECT_EQ(written, (std::vector<std::string>{"f=0", "f=19", "f=under way", "bad=x", "f=now"}));
        EXPECT_EQ(most, 1);
        writer.post(files({{L"g", "last"}}));
    }  // stops: a write under way ends first
    EXPECT_EQ(inside, 0);
}

}  // namespace
}  // namespace ravolen
