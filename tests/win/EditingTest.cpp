#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "win/EditableList.h"
#include "app/MainWindowFixture.h"
#include "support/TestForm.h"
#include "win/Controls.h"
#include "jobs/JobListFile.h"

namespace ravolen {
namespace {

using test::Click;
using test::PressKey;

// The list's point at the middle of a cell, or below the last row when `row` is past it.
POINT CellPoint(HWND list, int row, int column) {
    const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT columnRect{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column - 1),
                 reinterpret_cast<LPARAM>(&columnRect));
    MapWindowPoints(header, list, reinterpret_cast<POINT*>(&columnRect), 2);
    RECT rowRect{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rowRect));
    const int height = rowRect.bottom - rowRect.top;
    return {(columnRect.left + columnRect.right) / 2, rowRect.top + (row - 1) * height + height / 2};
}

// A press and release of a mouse button over the list, as the system queues them.
void ClickAt(HWND list, POINT point, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP,
             WPARAM button = MK_LBUTTON) {
    PostMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
    PostMessageW(list, down, button, MAKELPARAM(point.x, point.y));
    PostMessageW(list, up, 0, MAKELPARAM(point.x, point.y));
    test::PumpMessages();
}

void TypeChars(std::wstring_view text) {
    for (wchar_t c : text) {
        MSG msg{GetFocus(), WM_CHAR, c, 1, 0, {}};
        win::DispatchLoopMessage(msg);
    }
    test::PumpMessages();
}

class EditingTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        for (int i = 1; i <= 4; ++i) {
            const std::wstring n = std::to_wstring(i);
            form.jobs().append({L"E:\\scene" + n + L".max", L"Cam" + n, L"F:\\out" + n,
                                L"name" + n + L".tga", L"10" + n, L"20" + n});
        }
    }
    HWND list() const { return control(L"jobTable"); }
    HWND editor() const { return control(L"cellEditor"); }
    void clickCell(int row, int column) { ClickAt(list(), CellPoint(list(), row, column)); }
    std::wstring cell(int row, int column) const { return form.jobs().list().cell(row, column); }
    bool editing() const { return IsWindowVisible(editor()) != FALSE; }
};

TEST_F(EditingTest, EveryEditableColumnIsEditedWhereItStandsAndTheSceneIsNot) {
    for (int column = 2; column <= 6; ++column) {
        SCOPED_TRACE(column);
        clickCell(2, column);
        ASSERT_TRUE(editing());
        EXPECT_EQ(GetFocus(), editor());
        EXPECT_EQ(win::WindowText(editor()), cell(2, column));
        DWORD start = 1, end = 0;
        SendMessageW(editor(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, static_cast<DWORD>(cell(2, column).size()));  // all of it selected
        // The box lies over the cell, inside it.
        RECT box = test::ClientRectIn(editor(), list());
        const POINT middle = CellPoint(list(), 2, column);
        EXPECT_LT(box.left, middle.x);
        EXPECT_GT(box.right, middle.x);
        EXPECT_LE(std::abs((box.top + box.bottom) / 2 - middle.y), 2);
        const LONG_PTR align = GetWindowLongPtrW(editor(), GWL_STYLE) & (ES_CENTER | ES_RIGHT);
        EXPECT_EQ(align, column == 3 || column == 4 ? ES_LEFT : ES_CENTER);

        TypeChars(L"  x " + std::to_wstring(column) + L" ");
        PressKey(VK_RETURN);
        EXPECT_FALSE(editing());
        EXPECT_EQ(GetFocus(), list());
        EXPECT_EQ(cell(2, column), L"  x " + std::to_wstring(column) + L" ");
    }
    EXPECT_EQ(cell(2, 1), L"E:\\scene2.max");
    clickCell(2, 1);
    EXPECT_FALSE(editing());
    EXPECT_TRUE(platform.started.empty());  // Enter in the editor never rendered
}

TEST_F(EditingTest, AnOpenEditStaysOverItsCellAtAnotherScaleAndKeepsWhatWasTyped) {
    clickCell(2, 3);
    ASSERT_TRUE(editing());
    TypeChars(L"G:\\新");
    for (int dpi : {144, 96}) {
        SCOPED_TRACE(dpi);
        form.layOutFor(dpi);  // as WM_DPICHANGED does
        ASSERT_TRUE(editing());
        EXPECT_EQ(win::WindowText(editor()), L"G:\\新");
        // Inside the cell's column and row, as laid out at the new scale (the box is centred on
        // the row in twips, so it may round a pixel either way).
        const auto header = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETHEADER, 0, 0));
        RECT column{};
        SendMessageW(header, HDM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&column));
        MapWindowPoints(header, form.hwnd(), reinterpret_cast<POINT*>(&column), 2);
        RECT row{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
        MapWindowPoints(list(), form.hwnd(), reinterpret_cast<POINT*>(&row), 2);
        const RECT box = test::ClientRectIn(editor(), form.hwnd());
        EXPECT_GE(box.left, column.left);
        EXPECT_LE(box.right, column.right);
        EXPECT_GE(box.top, row.top - 1);
        EXPECT_LE(box.bottom, row.bottom + 1);
    }
    PressKey(VK_RETURN);
    EXPECT_EQ(cell(2, 3), L"G:\\新");
    EXPECT_EQ(cell(1, 3), L"F:\\out1");
}

TEST_F(EditingTest, EscapeWritesTheOldTextBackAndEnterUnchangedKeepsIt) {
    clickCell(3, 2);
    TypeChars(L"typed");
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(editing());
    EXPECT_EQ(cell(3, 2), L"Cam3");
    EXPECT_TRUE(IsWindow(form.hwnd()));  // Escape closed nothing
    clickCell(3, 4);
    PressKey(VK_RETURN);
    EXPECT_EQ(cell(3, 4), L"name3.tga");
}

// Hiding the box repaints what lay under it. Over the rows, that is the table alone (the window
// and the frame around the table would cost a third of an edit); where the box reaches past the
// rows, the window repaints there as usual.
TEST_F(EditingTest, TheHiddenBoxLeavesNoTraceAndOnlyWhatLayUnderItRepaints) {
    const auto enterWithoutPainting = [&] {
        RedrawWindow(form.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        const RECT box = test::ClientRectIn(editor(), list());
        MSG enter{GetFocus(), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
        win::DispatchLoopMessage(enter);
        // The character the key posted, and nothing else: no paint yet.
        while (PeekMessageW(&enter, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE)) win::DispatchLoopMessage(enter);
        EXPECT_FALSE(editing());
        return box;
    };
    const auto waiting = [](HWND window) {
        RECT dirty{};
        return GetUpdateRect(window, &dirty, FALSE) != FALSE;
    };
    clickCell(2, 3);
    ASSERT_TRUE(editing());
    const RECT box = enterWithoutPainting();
    const HRGN dirty = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetUpdateRgn(list(), dirty, FALSE), ERROR);
    const HRGN under = CreateRectRgnIndirect(&box);
    CombineRgn(under, under, dirty, RGN_DIFF);
    RECT left{};
    EXPECT_EQ(GetRgnBox(under, &left), NULLREGION) << "all of the box's place repaints";
    DeleteObject(under);
    DeleteObject(dirty);
    EXPECT_FALSE(waiting(form.hwnd()));
    EXPECT_FALSE(waiting(control(L"settingsFrame")));
    test::PumpMessages();
    EXPECT_EQ(cell(2, 3), L"F:\\out2");

    // A column wider than the table: the box reaches past its right edge.
    ListView_SetColumnWidth(list(), 5, 4000);
    ListView_SetColumnWidth(list(), 4, 4000);
    clickCell(2, 5);
    ASSERT_TRUE(editing());
    enterWithoutPainting();
    EXPECT_TRUE(waiting(form.hwnd()));
    test::PumpMessages();
}

TEST_F(EditingTest, UpAndDownCommitAndMoveTheSelection) {
    clickCell(2, 3);
    TypeChars(L"up");
    PressKey(VK_UP);
    EXPECT_FALSE(editing());
    EXPECT_EQ(cell(2, 3), L"up");
    EXPECT_EQ(form.jobs().list().selectedRow(), 1);
    clickCell(3, 5);
    TypeChars(L"99");
    PressKey(VK_DOWN);
    EXPECT_EQ(cell(3, 5), L"99");
    EXPECT_EQ(form.jobs().list().selectedRow(), 4);
    EXPECT_EQ(GetFocus(), list());
}

TEST_F(EditingTest, APendingEditGoesIntoItsOwnRowAndOneClickOpensTheNextCell) {
    clickCell(1, 2);
    TypeChars(L"pending");
    SetFocus(control(L"installFolderBox"));  // the focus leaves: the edit waits
    EXPECT_TRUE(editing());
    EXPECT_EQ(cell(1, 2), L"Cam1");
    clickCell(3, 4);  // commits into row 1 and opens row 3's name at once
    EXPECT_EQ(cell(1, 2), L"pending");
    EXPECT_EQ(cell(3, 2), L"Cam3");
    ASSERT_TRUE(editing());
    EXPECT_EQ(win::WindowText(editor()), L"name3.tga");
    TypeChars(L"next");
    clickCell(4, 6);  // while editing, the next click also commits and opens
    EXPECT_EQ(cell(3, 4), L"next");
    EXPECT_EQ(win::WindowText(editor()), L"204");
}

TEST_F(EditingTest, AClickBelowTheLastRowDoesNothingEvenWhileEditing) {
    clickCell(2, 2);
    TypeChars(L"kept");
    ClickAt(list(), CellPoint(list(), 8, 2));
    EXPECT_TRUE(editing());
    EXPECT_EQ(cell(2, 2), L"Cam2");
    // A right click commits and opens the row's menu, not a cell.
    SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        EndMenu();
    });
    ClickAt(list(), CellPoint(list(), 1, 3), WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON);
    EXPECT_EQ(cell(2, 2), L"kept");
    EXPECT_FALSE(editing());
}

TEST_F(EditingTest, AnEditWhoseRowIsGoneWritesNothingAndCloses) {
    clickCell(4, 2);
    TypeChars(L"lost");
    SetFocus(control(L"installFolderBox"));
    form.jobs().list().setChecked(4, true);
    test::Click(control(L"removeTickedButton"));  // "-" removes row 4
    clickCell(1, 1);
    EXPECT_FALSE(editing());
    EXPECT_EQ(form.jobs().count(), 3);
    for (int row = 1; row <= 3; ++row) EXPECT_EQ(cell(row, 2), L"Cam" + std::to_wstring(row));

    clickCell(2, 3);
    TypeChars(L"cleared");
    SetFocus(control(L"installFolderBox"));
    test::Click(control(L"clearButton"));
    form.jobs().append({L"E:\\new.max", L"c", L"o", L"n.tga", L"1", L"2"});
    clickCell(1, 1);
    EXPECT_FALSE(editing());
    EXPECT_EQ(cell(1, 3), L"o");
}

// An edit left open (the focus moved on, no Enter) is part of the table for every command.
TEST_F(EditingTest, APendingEditReachesTheRenderAndTheSavedJobList) {
    clickCell(1, 4);
    TypeChars(L"lobby_v2.tga");
    SetFocus(control(L"installFolderBox"));
    ASSERT_TRUE(editing());
    test::Click(control(L"renderButton"));
    EXPECT_FALSE(editing());
    EXPECT_EQ(cell(1, 4), L"lobby_v2.tga");
    ASSERT_TRUE(platform.files.count(ScriptPath));
    EXPECT_NE(platform.files[ScriptPath].find("lobby_v2.tga"), std::string::npos);
    EXPECT_EQ(platform.files[ScriptPath].find("name1.tga"), std::string::npos);

    clickCell(2, 3);
    TypeChars(L"G:\\new");
    SetFocus(control(L"installFolderBox"));
    platform.saveAnswer = L"C:\\lists\\pending.csv";
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), 0), 1), 0), 0);
    test::PumpMessages();
    EXPECT_FALSE(editing());
    ASSERT_TRUE(platform.files.count(L"C:\\lists\\pending.csv"));
    EXPECT_NE(platform.files[L"C:\\lists\\pending.csv"].find("G:\\new"), std::string::npos);
    EXPECT_EQ(GetFocus(), control(L"installFolderBox"));  // the command left the focus where it was
}

// A row that goes takes its open edit with it, and the rows that come after never receive it:
// they are not the row it was opened on, whatever place they take.
TEST_F(EditingTest, AnEditGoesWithItsRowAndNeverReachesANewRow) {
    clickCell(1, 3);
    TypeChars(L"X:\\stale");
    SetFocus(control(L"installFolderBox"));
    for (int row = 1; row <= form.jobs().count(); ++row) form.jobs().list().setChecked(row, true);
    test::Click(control(L"removeTickedButton"));  // "-" writes the edit into the rows it takes
    EXPECT_FALSE(editing());
    form.jobs().append({L"E:\\new.max", L"c", L"F:\\fresh", L"n.tga", L"1", L"2"});
    clickCell(1, 2);
    PressKey(VK_RETURN);
    EXPECT_EQ(cell(1, 3), L"F:\\fresh");

    clickCell(1, 3);
    TypeChars(L"X:\\stale");
    SetFocus(control(L"installFolderBox"));
    form.jobs().list().setChecked(1, true);
    test::Click(control(L"removeTickedButton"));
    EXPECT_FALSE(editing());
    form.jobs().append({L"E:\\other.max", L"c", L"F:\\other", L"o.tga", L"1", L"2"});
    clickCell(1, 1);
    EXPECT_EQ(cell(1, 3), L"F:\\other");

    // 清空 with the edit open, then new rows and a click: nothing of it comes back.
    clickCell(1, 3);
    TypeChars(L"X:\\stale");
    SetFocus(control(L"installFolderBox"));
    test::Click(control(L"clearButton"));
    EXPECT_FALSE(editing());
    form.jobs().append({L"E:\\third.max", L"c", L"F:\\third", L"t.tga", L"1", L"2"});
    clickCell(1, 2);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(cell(1, 3), L"F:\\third");
}

TEST(EditableListEditing, ANumericColumnCommitsTheNumberItsTextBeginsWith) {
    const win::ControlSpec layout[] = {
        {.kind = win::ControlKind::ListView, .id = 10, .name = L"List", .width = 6000,
         .height = 3000},
        {.kind = win::ControlKind::TextBox, .id = 11, .name = L"Editor", .top = 3200,
         .width = 1200, .height = 400, .tabIndex = 1},
    };
    test::TestForm form;
    ASSERT_TRUE(form.create(layout));
    ShowWindow(form.hwnd(), SW_SHOW);
    SetForegroundWindow(form.hwnd());
    EditableList list;
    list.bindList(form.control(L"List"));
    list.bindEditor(form.control(L"Editor"));
    list.addColumn(L"name", L"name", 2000, false, true, 0, true);
    list.addColumn(L"weight", L"weight", 1500, false, true, 1, true);
    list.addColumn(L"price", L"price", 1500, false, true, 1, true);
    list.column(L"weight")->numeric(true);
    list.column(L"price")->numeric(true);
    list.column(L"price")->pattern(L"#,##0.00");
    list.column(L"name")->pattern(L"0.00");  // not a numeric column: not applied
    list.addRow(std::vector<std::wstring>{L"apples", L"1", L"2"});
    const HWND listView = form.control(L"List");
    const auto edit = [&](int column, std::wstring_view typed) {
        ClickAt(listView, CellPoint(listView, 1, column));
        SendMessageW(form.control(L"Editor"), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(std::wstring(typed).c_str()));
        PressKey(VK_RETURN);
        return win::ListView(listView).cell(1, column);
    };
    EXPECT_EQ(edit(2, L"12.50kg"), L"12.5");
    EXPECT_EQ(edit(2, L"abc"), L"0");
    EXPECT_EQ(edit(2, L" 1 2 "), L"12");
    EXPECT_EQ(edit(3, L"1234.5 yuan"), L"1,234.50");
    EXPECT_EQ(edit(1, L"12.50kg"), L"12.50kg");
    ClickAt(listView, CellPoint(listView, 1, 2));
    PressKey(VK_ESCAPE);  // the old text, through the same formatting
    EXPECT_EQ(win::ListView(listView).cell(1, 2), L"12");
}

// The session save reads again only the rows that changed since the last one; whichever way a
// cell changed, the file it writes is what a reading of every cell gives.
class EditingSessionTest : public EditingTest {
protected:
    void SetUp() override {
        platform.userData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";
        EditingTest::SetUp();
    }
    void expectTheSavedRowsAreTheTable(const char* after) {
        test::PumpMessagesFor(MainWindow::SessionDelay + 300);
        ASSERT_TRUE(form.sessionWritten());
        const std::lock_guard guard(platform.lock);
        EXPECT_EQ(platform.files.at(form.sessionRowsPath()), SaveJobList(form.jobs().all())) << after;
    }
    void command(int menu, int position) {
        SendMessageW(form.hwnd(), WM_COMMAND,
                     MAKEWPARAM(GetMenuItemID(GetSubMenu(GetMenu(form.hwnd()), menu), position), 0), 0);
        test::PumpMessages();
    }
};

TEST_F(EditingSessionTest, ASaveHoldsEveryChangeHoweverItWasMade) {
    expectTheSavedRowsAreTheTable("rows added");
    clickCell(2, 2);
    TypeChars(L"镜头");
    PressKey(VK_RETURN);
    ASSERT_EQ(cell(2, 2), L"镜头");
    expectTheSavedRowsAreTheTable("an edit in place");
    clickCell(3, 4);
    TypeChars(L"open.png");
    SetFocus(control(L"installFolderBox"));  // left open: the save writes it
    expectTheSavedRowsAreTheTable("an edit left open");

    Click(control(L"unifiedFolderCheck"));
    expectTheSavedRowsAreTheTable("the unified folder ticked");
    test::Type(control(L"unifiedFolderBox"), L"\\夜");
    expectTheSavedRowsAreTheTable("typing in the unified folder");
    test::Type(control(L"unifiedFolderBox"), L"\\二");
    expectTheSavedRowsAreTheTable("typing in the unified folder again");
    Click(control(L"unifiedFormatCheck"));
    test::Type(control(L"unifiedFormatBox"), L"x");
    expectTheSavedRowsAreTheTable("the unified format ticked and typed");
    test::Type(control(L"unifiedFolderBox"), L"三");
    test::Type(control(L"unifiedFormatBox"), L"y");
    test::Type(control(L"unifiedFolderBox"), L"四");
    expectTheSavedRowsAreTheTable("typing in both unified boxes in turn");
    test::Type(control(L"unifiedFolderBox"), L"五");
    clickCell(1, 3);
    TypeChars(L"H:\\own");
    PressKey(VK_RETURN);
    ASSERT_EQ(cell(1, 3), win::WindowText(control(L"unifiedFolderBox"))) << "the row's own, shown once unticked";
    expectTheSavedRowsAreTheTable("typing in the unified folder, then an edit of its cell");
    const int rows = form.jobs().count();
    test::Type(control(L"unifiedFolderBox"), L"六");
    form.jobs().list().setChecked(2, true);
    Click(control(L"removeTickedButton"));
    ASSERT_EQ(form.jobs().count(), rows - 1);
    expectTheSavedRowsAreTheTable("typing in the unified folder, then \"-\"");
    command(1, 0);  // 撤销
    ASSERT_EQ(form.jobs().count(), rows);
    form.jobs().list().setChecked(2, false);
    expectTheSavedRowsAreTheTable("typing in the unified folder, then \"-\" and 撤销");
    Click(control(L"unifiedFolderCheck"));
    Click(control(L"unifiedFormatCheck"));
    expectTheSavedRowsAreTheTable("both unticked");
    EXPECT_EQ(cell(1, 3), L"H:\\own");

    addByEveryWay({L"E:\\o.max", L"默认", L"F:\\o", L"o.tga", L"默认", L"默认"});
    ASSERT_EQ(form.jobs().count(), 7);
    expectTheSavedRowsAreTheTable("quick add, the job editor, a job list opened");

    form.jobs().list().setChecked(2, true);
    form.jobs().list().setChecked(5, true);
    Click(control(L"removeTickedButton"));
    expectTheSavedRowsAreTheTable("\"-\"");
    clickCell(1, 3);
    TypeChars(L"G:\\after");
    PressKey(VK_RETURN);
    command(1, 0);  // 撤销 of the edit, then of "-"
    ASSERT_EQ(form.jobs().count(), 5);
    command(1, 0);
    ASSERT_EQ(form.jobs().count(), 7);
    expectTheSavedRowsAreTheTable("an edit, then 撤销 twice");
    Click(control(L"clearButton"));
    expectTheSavedRowsAreTheTable("清空");
    command(1, 0);
    ASSERT_EQ(form.jobs().count(), 7);
    expectTheSavedRowsAreTheTable("清空 and 撤销");
    clickCell(7, 5);
    TypeChars(L"640");
    PressKey(VK_RETURN);
    expectTheSavedRowsAreTheTable("an edit of a row that came back");
}

}  // namespace
}  // namespace ravolen
