#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "app/MainWindowFixture.h"
#include "app/MainWindowIds.h"
#include "app/ResultsDialog.h"
#include "jobs/JobListFile.h"
#include "jobs/UnifiedSettings.h"
#include "session/Session.h"
#include "win/Controls.h"
#include "win/MessageLoop.h"

namespace ravolen {
namespace {

using test::Click;

RenderJob Row(int i) {
    const std::wstring n = std::to_wstring(i);
    return {L"E:\\场景\\scene" + n + L".max", L"Cam" + n, L"F:\\out" + n, L"name" + n + L".tga",
            L"默认", L"默认"};
}

class MainWindowSessionTest : public MainWindowTest {
protected:
    void SetUp() override {
        platform.userData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";
        MainWindowTest::SetUp();
    }
    std::wstring rowsPath() const { return form.sessionRowsPath(); }
    std::wstring settingsPath() const { return form.sessionSettingsPath(); }
    // Once the writer is idle, what it wrote.
    std::optional<std::string> saved(const std::wstring& path) {
        EXPECT_TRUE(form.sessionWritten());
        const std::lock_guard guard(platform.lock);
        const auto found = platform.files.find(path);
        if (found == platform.files.end()) return std::nullopt;
        return found->second;
    }
    int writesOf(const std::wstring& path) {
        EXPECT_TRUE(form.sessionWritten());
        const std::lock_guard guard(platform.lock);
        return static_cast<int>(std::count(platform.calls.begin(), platform.calls.end(),
                                           L"replaceFile " + path));
    }
    // Waits past the session's delay, then for its writer.
    void letTheSessionSave() {
        test::PumpMessagesFor(MainWindow::SessionDelay + 300);
        ASSERT_TRUE(form.sessionWritten());
    }
    int undoId() const {
        return static_cast<int>(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 1), 0));
    }
    void pressControl(HWND focus, UINT key) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        SetFocus(focus);
        MSG press{GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
        win::DispatchLoopMessage(press);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        test::PumpMessages();
    }
    // Rows 1 to 3, then the unified folder "G:\all" and format ".png" ticked over them.
    void threeRowsUnderTheUnifiedBoxes() {
        for (int i = 1; i <= 3; ++i) form.jobs().append(Row(i));
        win::SetText(control(L"unifiedFolderBox"), L"G:\\all");
        win::SetText(control(L"unifiedFormatBox"), L".png");
        Click(control(L"unifiedFolderCheck"));
        Click(control(L"unifiedFormatCheck"));
    }
    std::vector<std::wstring> column(const MainWindow& window, int column) const {
        return window.jobs().list().column(column);
    }
};

TEST_F(MainWindowSessionTest, TheTableAndSettingsAreSavedWithinASecondAndPutBackByTheNextStart) {
    EXPECT_FALSE(saved(rowsPath())) << "nothing is written at once";
    for (int i = 1; i <= 3; ++i) form.jobs().append(Row(i));
    win::SetText(control(L"installFolderBox"), L"D:\\Max 2024");
    win::SetText(control(L"unifiedFolderBox"), L"G:\\统一");
    Click(control(L"unifiedFolderCheck"));
    Click(control(L"shutdownCheck"));  // the shutdown is never restored
    MoveWindow(form.hwnd(), 40, 30, 400, 300, TRUE);
    RECT frame{};
    GetWindowRect(form.hwnd(), &frame);
    letTheSessionSave();

    const auto rows = saved(rowsPath());
    ASSERT_TRUE(rows);
    const auto list = OpenJobList(*rows);  // a job list like any other
    ASSERT_TRUE(std::holds_alternative<std::vector<RenderJob>>(list));
    ASSERT_EQ(std::get<std::vector<RenderJob>>(list).size(), 3u);
    EXPECT_EQ(std::get<std::vector<RenderJob>>(list)[1].outputFolder, L"G:\\统一");
    ASSERT_TRUE(saved(settingsPath()));
    EXPECT_TRUE(platform.folders.count(platform.userData));

    MainWindow next(platform);
    ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
    ASSERT_EQ(next.jobs().count(), 3);
    EXPECT_EQ(next.jobs().job(2).scene, Row(2).scene);
    EXPECT_EQ(win::WindowText(next.control(L"installFolderBox")), L"D:\\Max 2024");
    EXPECT_EQ(win::WindowText(next.control(L"unifiedFolderBox")), L"G:\\统一");
    EXPECT_TRUE(win::IsChecked(next.control(L"unifiedFolderCheck")));
    EXPECT_FALSE(win::IsChecked(next.control(L"shutdownCheck")));
    EXPECT_EQ(next.renderWay(), RenderWay::Local);
    RECT placed{};
    GetWindowRect(next.hwnd(), &placed);
    EXPECT_EQ(placed.left, frame.left);
    EXPECT_EQ(placed.top, frame.top);
    // The saved unified values came back too: unticking gives every row its own folder.
    Click(next.control(L"unifiedFolderCheck"));
    EXPECT_EQ(column(next, JobColumnOutputFolder),
              (std::vector<std::wstring>{L"F:\\out1", L"F:\\out2", L"F:\\out3"}));
    EXPECT_TRUE(platform.messages.empty());
    DestroyWindow(next.hwnd());
}

TEST_F(MainWindowSessionTest, TypingWithTheUnifiedBoxTickedWritesOnceNotPerKeystroke) {
    for (int i = 1; i <= 3; ++i) form.jobs().append(Row(i));
    Click(control(L"unifiedFolderCheck"));
    letTheSessionSave();
    const int before = writesOf(rowsPath());
    test::Type(control(L"unifiedFolderBox"), L"\\夜景\\第二版");
    letTheSessionSave();
    EXPECT_EQ(writesOf(rowsPath()), before + 1);
    EXPECT_NE(saved(rowsPath())->find("\\夜景\\第二版"), std::string::npos);
}

TEST_F(MainWindowSessionTest, EndingTheSessionAndQuittingSaveBeforeReturning) {
    form.jobs().append(Row(1));
    // No pumping: the timer has not fired, the files must be there when the message returns.
    EXPECT_EQ(SendMessageW(form.hwnd(), WM_QUERYENDSESSION, 0, 0), TRUE);
    ASSERT_TRUE(saved(rowsPath()));
    EXPECT_NE(saved(rowsPath())->find("scene1.max"), std::string::npos);

    form.jobs().append(Row(2));
    SendMessageW(form.hwnd(), WM_ENDSESSION, TRUE, 0);
    EXPECT_NE(saved(rowsPath())->find("scene2.max"), std::string::npos);

    form.jobs().append(Row(3));
    SendMessageW(control(L"exitButton"), BM_CLICK, 0, 0);  // 退  出
    EXPECT_FALSE(IsWindow(form.hwnd()));
    EXPECT_NE(saved(rowsPath())->find("scene3.max"), std::string::npos);
}

TEST_F(MainWindowSessionTest, ADamagedFileIsKeptAndNamedOnceTheWindowShowsAndTheRestIsRead) {
    const std::string rows = SaveJobList(std::vector<RenderJob>{Row(1), Row(2)});
    const std::string cut = rows.substr(0, rows.size() - 10);  // row 2 cut short
    const std::string settings = "\xEF\xBB\xBF[Main]\r\nInstallFolder=D:\\Max\r\ngarbage\r\n";
    platform.files[rowsPath()] = cut;
    platform.files[settingsPath()] = settings;

    MainWindow next(platform);
    ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
    EXPECT_TRUE(platform.messages.empty()) << "the message waits for the window";
    ShowWindow(next.hwnd(), SW_SHOW);
    test::PumpMessages();
    ASSERT_EQ(platform.messages.size(), 1u);
    const std::wstring& message = platform.messages[0].text;
    EXPECT_NE(message.find(rowsPath()), std::wstring::npos);
    EXPECT_NE(message.find(settingsPath()), std::wstring::npos);

    std::vector<std::wstring> kept;
    {
        const std::lock_guard guard(platform.lock);
        for (const auto& [path, bytes] : platform.files) {
            if (path.find(L".damaged-") == std::wstring::npos) continue;
            kept.push_back(path);
            EXPECT_EQ(bytes, path.starts_with(rowsPath()) ? cut : settings);
            EXPECT_NE(message.find(path), std::wstring::npos);
        }
    }
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].size(), rowsPath().size() + std::wstring(L".damaged-20261207-090503").size());
    // What could be read is there.
    ASSERT_EQ(next.jobs().count(), 1);
    EXPECT_EQ(next.jobs().job(1), Row(1));
    EXPECT_EQ(win::WindowText(next.control(L"installFolderBox")), L"D:\\Max");
    DestroyWindow(next.hwnd());
}

// A file that is there but cannot be read (held by a backup tool at logon) is not a missing one:
// the start says so once, naming it, and nothing is saved over it in this run. A count that asks
// for more entries than the file holds is damage: the start goes on and the file is kept aside.
TEST_F(MainWindowSessionTest, AnUnreadableOrHostileSessionFileStopsNoStartAndIsNeverWrittenOver) {
    const std::string rows = SaveJobList(std::vector<RenderJob>{Row(1)});
    const std::string settings = "\xEF\xBB\xBF[Main]\r\nInstallFolder=D:\\Max\r\n";
    const std::string hostile = settings + "[SavedExts]\r\nCount=2000000000\r\n1=.tga\r\n";
    struct Case {
        const char* what;
        std::wstring held;  // the file that cannot be read
        bool throws;        // reading it runs out of memory rather than failing
        std::string settings;
        int rows;               // rows put back
        bool installFolder;     // the settings' install folder put back
        std::wstring message;   // what the one message after start-up begins with
        bool saves;             // a change is saved in this run
    };
    const Case cases[] = {
        {"settings held", settingsPath(), false, settings, 1, false,
         L"无法读取上次的会话文件：" + settingsPath() + L"\n本次运行不会保存任务表和设置", false},
        {"rows held", rowsPath(), false, settings, 0, true,
         L"无法读取上次的会话文件：" + rowsPath() + L"\n本次运行不会保存任务表和设置", false},
        {"rows too large to hold", rowsPath(), true, settings, 0, true,
         L"无法读取上次的会话文件：" + rowsPath() + L"\n本次运行不会保存任务表和设置", false},
        {"a count of two thousand million", L"", false, hostile, 1, true,
         L"上次保存的文件已损坏：" + settingsPath(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FakePlatform other;
        other.userData = platform.userData;
        other.files = {{rowsPath(), rows}, {settingsPath(), c.settings}};
        if (c.throws) {
            other.onRead = [&](const std::wstring& path) {
                if (path == c.held) throw std::bad_alloc();
            };
        } else if (!c.held.empty()) {
            other.unreadable = {c.held};
        }
        MainWindow next(other);
        ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
        ShowWindow(next.hwnd(), SW_SHOW);
        test::PumpMessages();
        ASSERT_EQ(other.messages.size(), 1u);
        EXPECT_TRUE(other.messages[0].text.starts_with(c.message)) << test::Utf8(other.messages[0].text);
        EXPECT_EQ(next.jobs().count(), c.rows);
        EXPECT_EQ(win::WindowText(next.control(L"installFolderBox")) == L"D:\\Max", c.installFolder);

        next.jobs().append(Row(2));
        test::PumpMessagesFor(MainWindow::SessionDelay + 300);
        DestroyWindow(next.hwnd());  // quitting saves too
        test::PumpMessages();
        ASSERT_TRUE(next.sessionWritten());
        const std::lock_guard guard(other.lock);
        EXPECT_EQ(std::count(other.calls.begin(), other.calls.end(), L"replaceFile " + rowsPath()) > 0,
                  c.saves);
        EXPECT_EQ(std::count(other.calls.begin(), other.calls.end(), L"replaceFile " + settingsPath()) > 0,
                  c.saves);
        if (!c.held.empty()) {
            EXPECT_EQ(other.files.at(rowsPath()), rows);
            EXPECT_EQ(other.files.at(settingsPath()), c.settings);
        }
    }
}

TEST_F(MainWindowSessionTest, TenThousandRowsAreSavedOffTheWindowAndComeBack) {
    for (int i = 1; i <= 10000; ++i) form.jobs().append(Row(i));
    letTheSessionSave();
    MainWindow next(platform);
    ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
    ASSERT_EQ(next.jobs().count(), 10000);
    EXPECT_EQ(next.jobs().job(1), Row(1));
    EXPECT_EQ(next.jobs().job(10000), Row(10000));
    DestroyWindow(next.hwnd());
}

TEST_F(MainWindowSessionTest, UndoPutsBackWhatClearAndMinusTookWithTheirSavedValues) {
    threeRowsUnderTheUnifiedBoxes();

    Click(control(L"clearButton"));  // 清空
    ASSERT_EQ(form.jobs().count(), 0);
    EXPECT_TRUE(form.canUndo());
    EXPECT_FALSE(GetMenuState(GetSubMenu(GetMenu(form.hwnd()), 1), 0, MF_BYPOSITION) & MF_GRAYED);
    pressControl(control(L"jobTable"), 'Z');
    ASSERT_EQ(form.jobs().count(), 3);
    EXPECT_TRUE(form.canRedo());
    EXPECT_EQ(form.jobs().job(1).scene, Row(1).scene);
    EXPECT_EQ(form.jobs().job(2).outputFolder, L"G:\\all");
    EXPECT_EQ(form.jobs().job(2).outputName, L"name2.png");

    form.jobs().list().setChecked(2, true);
    form.jobs().list().setChecked(3, true);
    Click(control(L"removeTickedButton"));  // "-"
    ASSERT_EQ(form.jobs().count(), 1);
    EXPECT_FALSE(form.canRedo()) << "a change forgets what was undone";
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(undoId(), 0), 0);  // 编辑 > 撤销
    ASSERT_EQ(form.jobs().count(), 3);
    EXPECT_EQ(form.jobs().job(2).scene, Row(2).scene);
    EXPECT_TRUE(form.jobs().list().checked(2));
    EXPECT_EQ(form.jobs().job(3).scene, Row(3).scene);

    // Unticking gives the rows that came back their own values, as if nothing had gone.
    Click(control(L"unifiedFolderCheck"));
    Click(control(L"unifiedFormatCheck"));
    EXPECT_EQ(column(form, JobColumnOutputFolder), (std::vector<std::wstring>{L"F:\\out1", L"F:\\out2", L"F:\\out3"}));
    EXPECT_EQ(column(form, JobColumnOutputName), (std::vector<std::wstring>{L"name1.tga", L"name2.tga", L"name3.tga"}));
}

// A row taken by "-" carries its cells as read when no save has kept a line of it yet, or as that
// line, with the changes made since, when one has: either way 撤销 and the next save give back
// exactly what the row showed, however awkward its texts.
TEST_F(MainWindowSessionTest, RowsTakenBeforeAndAfterASaveComeBackExactly) {
    const RenderJob awkward{L"E:\\场景 \"1\",%TEMP%^&|.max", L"Cam,\"x\"", L"F:\\out\n", L"a\tb.tga",
                            L"1920", L"默认"};
    for (const bool savedBefore : {false, true}) {
        SCOPED_TRACE(savedBefore ? "after a save" : "before any save");
        Click(control(L"clearButton"));
        form.jobs().append(Row(1));
        form.jobs().append(awkward);
        form.jobs().append(Row(3));
        if (savedBefore) {
            letTheSessionSave();
            // A change the kept line does not hold yet.
            win::SetText(control(L"unifiedFolderBox"), L"G:\\统一");
            Click(control(L"unifiedFolderCheck"));
        }
        const std::vector<RenderJob> shown{form.jobs().job(1), form.jobs().job(2), form.jobs().job(3)};
        form.jobs().list().setChecked(2, true);
        form.jobs().list().setChecked(3, true);
        Click(control(L"removeTickedButton"));
        ASSERT_EQ(form.jobs().count(), 1);
        SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(undoId(), 0), 0);
        ASSERT_EQ(form.jobs().count(), 3);
        for (int row = 1; row <= 3; ++row) EXPECT_EQ(form.jobs().job(row), shown[static_cast<std::size_t>(row - 1)]);
        letTheSessionSave();
        MainWindow next(platform);
        ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
        ASSERT_EQ(next.jobs().count(), 3);
        for (int row = 1; row <= 3; ++row) EXPECT_EQ(next.jobs().job(row), shown[static_cast<std::size_t>(row - 1)]);
        if (savedBefore) Click(control(L"unifiedFolderCheck"));
    }
}

// A row taken by "-" before the unified boxes were ticked comes back without a saved value of
// its own; 撤销 takes the boxes' ticks back with the rows they changed, and 重做 brings all again.
TEST_F(MainWindowSessionTest, UndoOfARowRemovedBeforeATickKeepsEveryRowsOwnValues) {
    for (int i = 1; i <= 2; ++i) form.jobs().append(Row(i));
    form.jobs().list().setChecked(1, true);
    Click(control(L"removeTickedButton"));
    win::SetText(control(L"unifiedFolderBox"), L"G:\\all");
    win::SetText(control(L"unifiedFormatBox"), L".png");
    Click(control(L"unifiedFolderCheck"));
    Click(control(L"unifiedFormatCheck"));
    for (int step = 0; step < 3; ++step) SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(undoId(), 0), 0);
    EXPECT_FALSE(form.canUndo());
    ASSERT_EQ(form.jobs().count(), 2);
    EXPECT_EQ(form.jobs().job(1).scene, Row(1).scene);
    EXPECT_FALSE(win::IsChecked(control(L"unifiedFolderCheck")));
    EXPECT_FALSE(win::IsChecked(control(L"unifiedFormatCheck")));
    EXPECT_EQ(column(form, JobColumnOutputFolder), (std::vector<std::wstring>{L"F:\\out1", L"F:\\out2"}));
    EXPECT_EQ(column(form, JobColumnOutputName), (std::vector<std::wstring>{L"name1.tga", L"name2.tga"}));

    for (int step = 0; step < 3; ++step) SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuRedo, 0), 0);
    EXPECT_FALSE(form.canRedo());
    EXPECT_TRUE(win::IsChecked(control(L"unifiedFormatCheck")));
    EXPECT_EQ(column(form, JobColumnOutputFolder), (std::vector<std::wstring>{L"G:\\all"}));
    EXPECT_EQ(column(form, JobColumnOutputName), (std::vector<std::wstring>{L"name2.png"}));
    Click(control(L"unifiedFolderCheck"));
    Click(control(L"unifiedFormatCheck"));
    EXPECT_EQ(column(form, JobColumnOutputFolder), (std::vector<std::wstring>{L"F:\\out2"}));
    EXPECT_EQ(column(form, JobColumnOutputName), (std::vector<std::wstring>{L"name2.tga"}));
}

// Every row carries its own saved folder and extension, whichever way rows come and go, so
// unticking gives each its own back, here and after a restart; rows added after the tick (quick
// add, a job list opened, the job editor) show the boxes at once and keep what they show.
TEST_F(MainWindowSessionTest, EveryRowKeepsItsOwnSavedValuesWhereverRowsComeAndGo) {
    threeRowsUnderTheUnifiedBoxes();

    addByEveryWay(Row(5));
    ASSERT_EQ(form.jobs().count(), 6);
    const RenderJob quick = form.jobs().job(4), opened = form.jobs().job(5), edited = form.jobs().job(6);
    // Shown under the boxes at once, not from the next keystroke on.
    RenderJob under = Row(5);
    under.outputFolder = win::WindowText(control(L"unifiedFolderBox"));
    under.outputName = SplitOutputName(under.outputName).stem + win::WindowText(control(L"unifiedFormatBox"));
    EXPECT_EQ(opened, under);

    // "-" of rows 1 and 3, and 撤销; "-" of rows 2 and 5, then 清空 and 撤销.
    for (const int row : {1, 3}) form.jobs().list().setChecked(row, true);
    Click(control(L"removeTickedButton"));
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(undoId(), 0), 0);
    ASSERT_EQ(form.jobs().count(), 6);
    for (const int row : {1, 3}) form.jobs().list().setChecked(row, false);
    for (const int row : {2, 5}) form.jobs().list().setChecked(row, true);
    Click(control(L"removeTickedButton"));
    Click(control(L"clearButton"));
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(undoId(), 0), 0);
    ASSERT_EQ(form.jobs().count(), 4);
    letTheSessionSave();

    const std::vector<std::wstring> folders{L"F:\\out1", L"F:\\out3", quick.outputFolder, edited.outputFolder};
    const std::vector<std::wstring> names{L"name1.tga", L"name3.tga", quick.outputName, edited.outputName};
    MainWindow next(platform);
    ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
    for (MainWindow* window : {&form, &next}) {
        Click(window->control(L"unifiedFolderCheck"));
        Click(window->control(L"unifiedFormatCheck"));
        EXPECT_EQ(column(*window, JobColumnOutputFolder), folders);
        EXPECT_EQ(column(*window, JobColumnOutputName), names);
    }
    DestroyWindow(next.hwnd());
}

// A session that cannot be written is told once, naming the file, not at every save; once a
// save succeeded again, the next failure is told again.
TEST_F(MainWindowSessionTest, ASessionThatCannotBeSavedIsToldOnce) {
    form.jobs().append(Row(1));
    letTheSessionSave();
    platform.failReplace = true;
    form.jobs().append(Row(2));
    letTheSessionSave();
    test::PumpMessages();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              L"无法保存当前任务表到：" + rowsPath() +
                  L"\n请检查磁盘空间和该文件夹的写入权限，否则关闭程序后最近的改动不会保留。");
    form.jobs().append(Row(3));
    letTheSessionSave();
    test::PumpMessages();
    EXPECT_EQ(platform.messages.size(), 1u) << "told once";

    platform.failReplace = false;
    form.jobs().append(Row(4));
    letTheSessionSave();
    platform.failReplace = true;
    form.jobs().append(Row(5));
    letTheSessionSave();
    test::PumpMessages();
    EXPECT_EQ(platform.messages.size(), 2u) << "a new failure after a save that succeeded";
    platform.failReplace = false;
}

TEST_F(MainWindowSessionTest, ControlZInATextBoxUndoesItsTypingNotTheTable) {
    form.jobs().append(Row(1));
    Click(control(L"clearButton"));
    test::Type(control(L"installFolderBox"), L"x");
    pressControl(control(L"installFolderBox"), 'Z');
    EXPECT_EQ(win::WindowText(control(L"installFolderBox")), L"D:\\Program Files\\Autodesk\\3ds Max 2012");
    EXPECT_EQ(form.jobs().count(), 0);
    EXPECT_TRUE(form.canUndo());
}

// The results never call a row finished for another row's image, side by side with the frames of
// a real animation.
TEST_F(MainWindowSessionTest, TickingTheFinishedRowsLeavesARowWhoseNameOnlyBeginsAnother) {
    platform.folderContents[L"F:\\out"] = {{L"plan2024.png", false, 10, 0},
                                           {L"walk0000.png", false, 10, 0},
                                           {L"walk0001.png", false, 10, 0}};
    form.jobs().append({L"E:\\plan.max", L"默认", L"F:\\out", L"plan.png", L"默认", L"默认"});
    form.jobs().append({L"E:\\plan2024.max", L"默认", L"F:\\out", L"plan2024.png", L"默认", L"默认"});
    form.jobs().append({L"E:\\walk.max", L"默认", L"F:\\out", L"walk.png", L"默认", L"默认"});
    SendMessageW(form.hwnd(), WM_COMMAND,
                 MAKEWPARAM(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 2), 0), 0), 0);
    test::PumpMessages();
    ResultsDialog* results = form.resultsDialog();
    ASSERT_NE(results, nullptr);
    const win::ListView shown(results->control(L"List"));
    EXPECT_EQ(shown.cell(1, 3), L"未完成");
    EXPECT_EQ(shown.cell(2, 3), L"已完成");
    EXPECT_EQ(shown.cell(3, 3), L"已完成（2帧）");
    Click(results->control(L"Tick"));
    Click(control(L"removeTickedButton"));
    ASSERT_EQ(form.jobs().count(), 1);
    EXPECT_EQ(form.jobs().job(1).scene, L"E:\\plan.max");
}

// A position saved where the window no longer fits (another scale, a smaller or missing monitor)
// puts it back wholly inside the work area of the screen it lands on, or the nearest one.
TEST_F(MainWindowSessionTest, ARestoredWindowIsWhollyInsideTheWorkArea) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const struct {
        int left, top;
    } saved[] = {{work.right - 60, work.bottom - 40}, {-5000, 200}, {work.left + 10, work.top + 20}};
    for (const auto& at : saved) {
        SCOPED_TRACE(std::to_string(at.left) + "," + std::to_string(at.top));
        SessionSettings settings;
        settings.windowPlaced = true;
        settings.windowLeft = at.left;
        settings.windowTop = at.top;
        test::FakePlatform other;
        other.userData = platform.userData;
        other.files = {{settingsPath(), SaveSessionSettings(settings)}};
        MainWindow next(other);
        ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
        RECT frame{};
        GetWindowRect(next.hwnd(), &frame);
        EXPECT_GE(frame.left, work.left);
        EXPECT_GE(frame.top, work.top);
        EXPECT_LE(frame.right, work.right);
        EXPECT_LE(frame.bottom, work.bottom);
        if (at.left > work.left && at.left + (frame.right - frame.left) <= work.right) {
            EXPECT_EQ(frame.left, at.left) << "a position that fits is kept";
            EXPECT_EQ(frame.top, at.top);
        }
        DestroyWindow(next.hwnd());
        test::PumpMessages();
    }
}

}  // namespace
}  // namespace ravolen
