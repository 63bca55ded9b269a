#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/MainWindowFixture.h"
#include "app/MainWindowIds.h"
#include "jobs/JobListFile.h"
#include "support/RealPlatform.h"
#include "support/TestCodec.h"
#include "win/Layout.h"

namespace ravolen {
namespace {

class JobTableViewTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (int i = 1; i <= 30; ++i) {
            const std::wstring n = std::to_wstring(i);
            form.jobs().append({L"E:\\s" + n + L".max", L"Cam" + n, L"F:\\out", L"s" + n + L".tga", L"默认", L"默认"});
        }
        test::PumpMessages();
    }
    HWND list() const { return control(L"jobTable"); }
    bool ticked(int row) const { return form.jobs().shown().ticked(static_cast<std::size_t>(row - 1)); }
    RECT rowRect(int row) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list(), LVM_GETITEMRECT, static_cast<WPARAM>(row - 1), reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    // The point on a row's check box, found as the list itself finds it.
    POINT boxOf(int row) const {
        const RECT rect = rowRect(row);
        for (int x = rect.left; x < rect.left + 60; ++x) {
            LVHITTESTINFO hit{{x, (rect.top + rect.bottom) / 2}, 0, 0, 0, 0};
            if (SendMessageW(list(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == row - 1 &&
                (hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON) {
                return hit.pt;
            }
        }
        ADD_FAILURE() << "no check box on row " << row;
        return {};
    }
    void click(POINT at, UINT held = 0) {
        hold(held);
        const WPARAM keys = (held == VK_SHIFT ? MK_SHIFT : 0) | (held == VK_CONTROL ? MK_CONTROL : 0);
        PostMessageW(list(), WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(at.x, at.y));
        PostMessageW(list(), WM_LBUTTONUP, keys, MAKELPARAM(at.x, at.y));
        test::PumpMessages();
        hold(0);
    }
    // A row's scene cell, clear of its check box.
    POINT cellOf(int row) const {
        const RECT rect = rowRect(row);
        return {boxOf(row).x + 40, (rect.top + rect.bottom) / 2};
    }
    // A key pressed on the focused control as the keyboard presses it, with Ctrl, Shift or Alt held.
    void press(UINT key, UINT held = 0) {
        hold(held);
        const UINT down = held == VK_MENU || key == VK_F10 ? WM_SYSKEYDOWN : WM_KEYDOWN;  // F10 is the system's
        for (const UINT message : {down, static_cast<UINT>(down + 1)}) {
            MSG msg{GetFocus(), message, key, message == down ? 1 : static_cast<LPARAM>(0xC0000001), 0, {}};
            win::DispatchLoopMessage(msg);
        }
        hold(0);
        test::PumpMessages();
    }
    void hold(UINT key) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        for (const UINT modifier : {VK_SHIFT, VK_CONTROL, VK_MENU}) keys[modifier] = modifier == key ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    std::vector<std::wstring> scenes() const { return form.jobs().shown().column(JobColumnScene); }
    std::vector<std::size_t> selected() const {
        std::vector<std::size_t> rows;  // as the list itself holds them
        for (int row = 0; row < form.jobs().count(); ++row) {
            if (ListView_GetItemState(list(), row, LVIS_SELECTED)) rows.push_back(static_cast<std::size_t>(row));
        }
        return rows;
    }
    void command(int id) { SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // This test program started again as another program that drives the list; its exit code.
    int drive(const std::wstring& how, const std::wstring& arguments) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" " + how + L" " +
                            std::to_wstring(reinterpret_cast<INT_PTR>(list())) + L" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            return -1;
        }
        CloseHandle(started.hThread);
        // Its messages are answered here, on the list's thread, while it runs.
        const DWORD until = GetTickCount() + 30000;
        while (MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
               GetTickCount() < until) {
            test::PumpMessages();
        }
        DWORD code = 999;
        GetExitCodeProcess(started.hProcess, &code);
        CloseHandle(started.hProcess);
        return static_cast<int>(code);
    }
};

// The rows hold the ticks: a click on a box, Space on the selected row and a tick set from another
// program all tick the row, and reading the list's state or texts from outside gives the rows'.
TEST_F(JobTableViewTest, TicksComeFromTheBoxTheSpaceBarAndAnotherProgram) {
    click(boxOf(2));
    EXPECT_TRUE(ticked(2));
    click(boxOf(2));
    EXPECT_FALSE(ticked(2));
    const RECT row3 = rowRect(3);
    click({(row3.left + row3.right) / 2 - 200, (row3.top + row3.bottom) / 2});  // the scene's text
    EXPECT_FALSE(ticked(3)) << "only the box ticks";

    form.jobs().list().setSelected(3, true);
    SetFocus(list());
    test::PressKey(VK_SPACE);
    EXPECT_TRUE(ticked(3));
    test::PressKey(VK_SPACE);
    EXPECT_FALSE(ticked(3));

    EXPECT_EQ(drive(L"state", L"4 2"), 2);
    EXPECT_TRUE(ticked(5));
    EXPECT_EQ(drive(L"item", L"4 1"), 1);
    EXPECT_FALSE(ticked(5));
    EXPECT_EQ(drive(L"item", L"6 2"), 2);
    EXPECT_TRUE(form.jobs().list().checked(7));
    EXPECT_EQ(drive(L"text", L"5 1 Cam6"), 0);
    EXPECT_EQ(drive(L"text", L"29 3 s30.tga"), 0);
}

// Painting costs what changed and is in view: a tick repaints its row alone, a row out of view
// nothing, and a beat of the night's timer nothing at all.
TEST_F(JobTableViewTest, AChangeRepaintsOnlyTheRowsItChanged) {
    UpdateWindow(list());
    form.jobs().rows().setTicked(3, true);
    RECT update{};
    ASSERT_TRUE(GetUpdateRect(list(), &update, FALSE));
    const RECT row4 = rowRect(4);
    EXPECT_EQ(update.top, row4.top);
    EXPECT_EQ(update.bottom, row4.bottom);

    UpdateWindow(list());
    form.jobs().rows().setCell(29, 2, L"Cam99");
    EXPECT_FALSE(GetUpdateRect(list(), nullptr, FALSE)) << "row 30 is out of view";
    SendMessageW(form.hwnd(), WM_TIMER, mainwindow::IdTimerNight, 0);
    EXPECT_FALSE(GetUpdateRect(list(), nullptr, FALSE));
}

// With more rows than fit, the scene column gives up what keeps every column clear of the vertical
// scroll bar, and no horizontal bar shows; with rows that fit, every column is as designed.
TEST_F(JobTableViewTest, NoColumnLiesUnderTheVerticalScrollBar) {
    const auto widths = [&] {
        std::vector<int> all;
        for (int column = 0; column < form.jobs().list().columnCount(); ++column) {
            all.push_back(static_cast<int>(SendMessageW(list(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)));
        }
        return all;
    };
    std::vector<int> designed;
    for (int column = 0; column < JobBaseColumnCount; ++column) {
        designed.push_back(win::TwipsToPixels(JobColumns[static_cast<std::size_t>(column)].widthTwips, form.dpi()));
    }
    const LONG_PTR style = GetWindowLongPtrW(list(), GWL_STYLE);
    ASSERT_TRUE(style & WS_VSCROLL);
    EXPECT_FALSE(style & WS_HSCROLL);
    RECT client{};
    GetClientRect(list(), &client);
    const std::vector<int> shown = widths();
    int total = 0;
    for (int width : shown) total += width;
    EXPECT_LE(total, client.right);
    EXPECT_LT(shown[0], designed[0]);
    EXPECT_EQ(std::vector<int>(shown.begin() + 1, shown.end()), std::vector<int>(designed.begin() + 1, designed.end()));

    test::Click(control(L"clearButton"));
    form.jobs().append({L"E:\\one.max", L"默认", L"F:\\out", L"one.tga", L"默认", L"默认"});
    EXPECT_FALSE(GetWindowLongPtrW(list(), GWL_STYLE) & WS_VSCROLL);
    EXPECT_EQ(widths(), designed);
}

// A nine-column job list opened from the menu shows its three columns and renders each row with
// exactly its switches; a frame list that is none stops 渲  染 naming the row.
// Ctrl and Shift with a click only select; Alt+↓ and 移到最后 move the selected rows, which stay
// selected, the script renders in the table's order, and 撤销 and 重做 walk the moves.
TEST_F(JobTableViewTest, SelectedRowsMoveAndTheNightRendersInTheTablesOrder) {
    const std::vector<std::wstring> before = scenes();
    click(cellOf(2), VK_CONTROL);
    click(cellOf(4), VK_SHIFT);
    click(cellOf(7), VK_CONTROL);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{1, 2, 3, 6}));
    EXPECT_EQ(form.jobs().selection().positions(), selected());
    EXPECT_FALSE(IsWindowVisible(control(L"cellEditor"))) << "a click with Ctrl or Shift opens no cell";

    SetFocus(list());
    press(VK_DOWN, VK_MENU);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 3, 4, 7}));
    EXPECT_EQ(scenes()[1], L"E:\\s5.max");
    EXPECT_EQ(scenes()[7], L"E:\\s7.max");
    command(mainwindow::IdMenuMoveLast);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{26, 27, 28, 29}));
    const std::vector<std::wstring> moved = scenes();
    EXPECT_EQ(std::vector<std::wstring>(moved.begin() + 26, moved.end()),
              (std::vector<std::wstring>{L"E:\\s2.max", L"E:\\s3.max", L"E:\\s4.max", L"E:\\s7.max"}));

    win::SetText(control(L"installFolderBox"), L"C:\\Max");
    test::Click(control(L"renderButton"));
    const std::string& script = platform.files[ScriptPath];
    std::size_t last = 0;
    for (const std::wstring& scene : moved) {
        const std::size_t at = script.find("\"" + std::string(scene.begin(), scene.end()) + "\"");
        ASSERT_NE(at, std::string::npos);
        EXPECT_GT(at, last) << "out of order at " << std::string(scene.begin(), scene.end());
        last = at;
    }

    command(mainwindow::IdMenuUndo);
    command(mainwindow::IdMenuUndo);
    EXPECT_EQ(scenes(), before);
    command(mainwindow::IdMenuRedo);
    EXPECT_EQ(scenes()[1], L"E:\\s5.max");
}

// Selected rows dragged within the table go where the line showed them when the button came up.
TEST_F(JobTableViewTest, DraggedRowsDropWhereTheLineShows) {
    form.jobs().selection().select({1, 2});
    const POINT from = cellOf(3);
    const RECT target = rowRect(8);
    const POINT to{from.x, target.top + 2};  // the upper half of row 8: before it
    PostMessageW(list(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    PostMessageW(list(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x, from.y + 12));
    PostMessageW(list(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    test::PumpMessages();
    EXPECT_EQ(form.jobs().selection().dropPosition(), std::optional<std::size_t>(7));
    PostMessageW(list(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    test::PumpMessages();
    EXPECT_FALSE(form.jobs().selection().dropPosition());
    const std::vector<std::wstring> now = scenes();
    EXPECT_EQ(std::vector<std::wstring>(now.begin() + 4, now.begin() + 8),
              (std::vector<std::wstring>{L"E:\\s7.max", L"E:\\s2.max", L"E:\\s3.max", L"E:\\s8.max"}));
    EXPECT_EQ(selected(), (std::vector<std::size_t>{5, 6}));
    EXPECT_FALSE(IsWindowVisible(control(L"cellEditor"))) << "a drag opens no cell";
}

// Ctrl+D copies the selected rows right after them, Del deletes them, Enter edits a row in place
// in the job editor: each one step of 撤销 and 重做. In a text box the same keys are the box's.
TEST_F(JobTableViewTest, CopiesDeletionsAndEditsAreStepsOfUndoAndRedo) {
    const std::vector<std::wstring> before = scenes();
    form.jobs().selection().select({2, 4});
    SetFocus(list());
    press('D', VK_CONTROL);
    ASSERT_EQ(form.jobs().count(), 32);
    EXPECT_EQ(scenes()[3], L"E:\\s3.max");
    EXPECT_EQ(scenes()[6], L"E:\\s5.max");
    EXPECT_EQ(selected(), (std::vector<std::size_t>{3, 6}));
    press(VK_DELETE);
    EXPECT_EQ(scenes(), before);
    EXPECT_EQ(selected(), (std::vector<std::size_t>{5})) << "the row after the last deleted";

    form.jobs().selection().select({0});
    press(VK_RETURN);
    ASSERT_NE(form.jobDialog(), nullptr);
    EXPECT_EQ(win::WindowText(form.jobDialog()->control(L"cameraBox")), L"Cam1");
    win::SetText(form.jobDialog()->control(L"cameraBox"), L"CamX");
    test::Click(form.jobDialog()->control(L"okButton"));
    EXPECT_EQ(form.jobs().count(), 30);
    EXPECT_EQ(form.jobs().job(1).camera, L"CamX");
    EXPECT_EQ(form.jobs().job(1).outputName, L"s1.tga");

    SetFocus(control(L"unifiedFolderBox"));
    press(VK_DELETE);
    press('A', VK_CONTROL);
    EXPECT_EQ(form.jobs().count(), 30);
    EXPECT_EQ(form.jobs().selection().positions(), (std::vector<std::size_t>{0}));

    for (const auto& [id, count, camera] : {std::tuple{mainwindow::IdMenuUndo, 30, L"Cam1"},
                                            {mainwindow::IdMenuUndo, 32, L"Cam1"},
                                            {mainwindow::IdMenuUndo, 30, L"Cam1"},
                                            {mainwindow::IdMenuRedo, 32, L"Cam1"},
                                            {mainwindow::IdMenuRedo, 30, L"Cam1"},
                                            {mainwindow::IdMenuRedo, 30, L"CamX"}}) {
        command(id);
        EXPECT_EQ(form.jobs().count(), count);
        EXPECT_EQ(form.jobs().job(1).camera, camera);
    }
    EXPECT_FALSE(form.canRedo());
    EXPECT_EQ(scenes(), before);
}

// Rows copied in a spreadsheet by another program paste after the selection exactly as copied
// (quoted cells with tabs and line breaks, "0012", the captions' row skipped), and copy back to
// the clipboard as the same text.
TEST_F(JobTableViewTest, RowsPastedFromAnotherProgramCopyBackIdentically) {
    std::wstring captions;
    for (int column = 0; column < JobBaseColumnCount; ++column) {
        captions += std::wstring(JobColumns[static_cast<std::size_t>(column)].caption) +
                    (column + 1 < JobBaseColumnCount ? L"\t" : L"\r\n");
    }
    const std::wstring rows =
        L"\"E:\\镜头 \"\"1\"\"\\a\tb.max\"\t\"Cam\r\n2\"\tF:\\out\ta.tga\t0012\t1080\r\n"
        L"E:\\p\\b.max\t默认\tF:\\%TEMP% & ^ |\tb.png\t1920\t默认\r\n";
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"ravolen-paste.txt";
    const std::wstring text = captions + rows;
    ASSERT_TRUE(test::WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(text.data()),
                                                            text.size() * sizeof(wchar_t))));
    // Emptied first: text a test before left there would pass for the other program's.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, L"RavolenTestPasteDone");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" clip \"" + path + L"\" RavolenTestPasteDone";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION setter{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &setter));
    CloseHandle(setter.hThread);
    for (const DWORD until = GetTickCount() + 20000; GetTickCount() < until;) {
        if (IsClipboardFormatAvailable(CF_UNICODETEXT) && GetClipboardOwner() != form.hwnd()) break;
        Sleep(20);
    }

    form.jobs().selection().select({1});
    SetFocus(list());
    press('V', VK_CONTROL);
    SetEvent(done);
    WaitForSingleObject(setter.hProcess, 30000);
    CloseHandle(setter.hProcess);
    CloseHandle(done);
    DeleteFileW(path.c_str());
    ASSERT_EQ(form.jobs().count(), 32);
    EXPECT_EQ(form.jobs().job(3), (RenderJob{L"E:\\镜头 \"1\"\\a\tb.max", L"Cam\r\n2", L"F:\\out", L"a.tga", L"0012", L"1080"}));
    EXPECT_EQ(form.jobs().job(4).outputFolder, L"F:\\%TEMP% & ^ |");
    EXPECT_EQ(selected(), (std::vector<std::size_t>{2, 3}));

    // Back as the same text, and as CSV in the ANSI code page as Excel puts it; rows holding a
    // character that code page lacks go as the text alone, not as a garbled CSV.
    const UINT csvFormat = RegisterClipboardFormatW(L"Csv");
    const auto copy = [&] {
        press('C', VK_CONTROL);
        std::pair<std::wstring, std::string> held;
        if (!OpenClipboard(form.hwnd())) return held;
        if (const HANDLE unicode = GetClipboardData(CF_UNICODETEXT)) {
            held.first = static_cast<const wchar_t*>(GlobalLock(unicode));
            GlobalUnlock(unicode);
        }
        if (const HANDLE csv = GetClipboardData(csvFormat)) {
            held.second = static_cast<const char*>(GlobalLock(csv));
            GlobalUnlock(csv);
        }
        CloseClipboard();
        return held;
    };
    const auto [back, csv] = copy();
    EXPECT_EQ(back, rows);
    const std::vector<RenderJob> copied{form.jobs().job(3), form.jobs().job(4)};
    EXPECT_EQ(L"\uFEFF" + test::Cp936().decode(csv), Utf8Text(SaveJobList(copied)));
    form.jobs().rows().setCell(3, 2, L"Cam 😀");
    const auto [wider, none] = copy();
    EXPECT_NE(wider.find(L"Cam 😀"), std::wstring::npos);
    EXPECT_EQ(none, "");
}

// Shift+F10 opens the table's menu under the keyboard's row, with what does not apply greyed.
TEST_F(JobTableViewTest, TheContextMenuGreysWhatDoesNotApply) {
    form.jobs().selection().select({0});
    SetFocus(list());
    static std::vector<std::pair<std::wstring, bool>> shown;  // each item's text, and whether it is greyed
    shown.clear();
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const HWND popup = FindWindowW(L"#32768", nullptr);
        const auto menu = popup ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) : nullptr;
        for (int k = 0; menu && k < GetMenuItemCount(menu); ++k) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(k), text, 64, MF_BYPOSITION);
            const UINT state = GetMenuState(menu, static_cast<UINT>(k), MF_BYPOSITION);
            if (!(state & MF_SEPARATOR)) shown.emplace_back(text, (state & MF_GRAYED) != 0);
        }
        EndMenu();
    });
    press(VK_F10, VK_SHIFT);
    EXPECT_EQ(shown, (std::vector<std::pair<std::wstring, bool>>{
                         {L"编辑任务(&E)…\tEnter", false}, {L"复制为新任务(&D)\tCtrl+D", false},
                         {L"上移(&K)\tAlt+↑", true}, {L"下移(&J)\tAlt+↓", false}, {L"移到最前(&F)", true},
                         {L"移到最后(&B)", false}, {L"删除(&L)\tDel", false}, {L"勾选所选(&G)", false},
                         {L"取消勾选所选(&N)", false}, {L"在资源管理器中显示场景(&S)", false},
                         {L"打开出图文件夹(&O)", false}}));
    EXPECT_EQ(form.jobs().count(), 30) << "nothing chosen, nothing done";

    command(mainwindow::IdMenuShowScene);
    command(mainwindow::IdMenuTickSelected);
    EXPECT_EQ(platform.shellCalls, std::vector<std::wstring>{L"select E:\\s1.max"});
    EXPECT_TRUE(ticked(1));
    EXPECT_FALSE(ticked(2));
}

TEST_F(MainWindowTest, ANineColumnListRendersEachRowWithItsSwitches) {
    const std::wstring listPath = L"D:\\lists\\nine.csv";
    platform.files[listPath] =
        "\xEF\xBB\xBF" "Max文件,相机,出图路径,出图文件名,长,宽,帧,场景状态,渲染预设\r\n"
        "E:\\a.max,默认,F:\\out,a.tga,默认,默认,\"1, 3,5-12\",Night,默认\r\n"
        "E:\\b.max,默认,F:\\out,b.tga,默认,默认,默认,默认,D:\\p\\final.rps\r\n";
    platform.openAnswer = {listPath};
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuOpen, 0), 0);
    ASSERT_EQ(form.jobs().count(), 2);
    EXPECT_EQ(form.jobs().list().columnCount(), 9);
    EXPECT_EQ(form.jobs().list().cell(2, 9), L"D:\\p\\final.rps");

    win::SetText(control(L"installFolderBox"), L"C:\\Max");
    test::Click(control(L"renderButton"));
    const std::string& script = platform.files[ScriptPath];
    const std::string max = "\"C:\\Max\\3dsmaxcmd.exe\" ";
    EXPECT_NE(script.find(max + "\"E:\\a.max\" -continueOnError -skipRenderedFrames:1 -outputName:\"F:\\out\\a.tga\" "
                                "-frames:1,3,5-12 -sceneState:\"Night\" \n"),
              std::string::npos) << script;
    EXPECT_NE(script.find(max + "\"E:\\b.max\" -continueOnError -skipRenderedFrames:1 -outputName:\"F:\\out\\b.tga\" "
                                "-preset:\"D:\\p\\final.rps\" \n"),
              std::string::npos) << script;
    EXPECT_EQ(platform.started.size(), 1u);

    test::Click(control(L"cancelShutdownButton"));  // 渲  染 is offered again
    const std::size_t started = platform.started.size();
    form.jobs().rows().setCell(0, JobColumnFrames, L"5-");
    platform.messages.clear();
    test::Click(control(L"renderButton"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"第1行的帧“5-”不是有效的帧范围（例如 12、0-100、1,3,5-12）");
    EXPECT_EQ(platform.started.size(), started);
}

}  // namespace
}  // namespace ravolen
