#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/MainWindowFixture.h"
#include "app/LogWindow.h"
#include "app/ResultsDialog.h"
#include "win/Controls.h"
#include "win/ListView.h"

namespace ravolen {
namespace {

using Texts = std::vector<std::wstring>;

// The point in the middle of a row's first cell, in the list's client area.
POINT RowPoint(HWND list, int row) {
    RECT cell{LVIR_LABEL, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row - 1), reinterpret_cast<LPARAM>(&cell));
    return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
}

void Post(HWND list, UINT message, WPARAM buttons, POINT at) {
    PostMessageW(list, message, buttons, MAKELPARAM(at.x, at.y));
}

class ResultsWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        platform.userData = L"C:\\Users\\artist\\AppData\\Local\\Ravolen";
        MainWindowTest::SetUp();
        // A still, a row whose folder is not there yet, and an animation of two frames.
        form.jobs().append({L"E:\\a.max", L"默认", L"F:\\out", L"a.tga", L"默认", L"默认"});
        form.jobs().append({L"E:\\b.max", L"默认", L"F:\\later", L"b.tga", L"默认", L"默认"});
        form.jobs().append({L"E:\\c.max", L"默认", L"F:\\out", L"c.tga", L"默认", L"默认"});
        platform.folderContents[L"F:\\out"] = {{L"a.tga", false, 100, 5},
                                               {L"c0001.tga", false, 100, 7},
                                               {L"c0000.tga", false, 100, 6}};
    }
    ResultsDialog* openResults() {
        ChooseMenuItem(form.hwnd(), L"渲染结果(V)…");
        return form.resultsDialog();
    }
    // A right click on the row and, in the menu it opens, the item that many steps down.
    static void ChooseFromRowMenu(HWND list, int row, int steps) {
        const POINT at = RowPoint(list, row);
        Post(list, WM_MOUSEMOVE, 0, at);
        Post(list, WM_RBUTTONDOWN, MK_RBUTTON, at);
        Post(list, WM_RBUTTONUP, 0, at);
        // Waiting in the queue, the keys reach the menu's own loop once it opens.
        for (int k = 0; k < steps; ++k) PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
        test::PumpMessages();
    }
};

TEST_F(ResultsWindowTest, AFinishedRowsImageOpensByDoubleClickEnterOrItsMenu) {
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    const HWND list = results->control(L"List");

    Post(list, WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(list, 1));
    Post(list, WM_LBUTTONUP, 0, RowPoint(list, 1));
    Post(list, WM_LBUTTONDBLCLK, MK_LBUTTON, RowPoint(list, 2));  // nothing rendered: nothing opens
    Post(list, WM_LBUTTONUP, 0, RowPoint(list, 2));
    test::PumpMessages();
    // Enter on the animation: its newest frame. The results stay open.
    SetFocus(list);
    ListView_SetItemState(list, 2, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    test::PressKey(VK_RETURN);
    EXPECT_TRUE(IsWindowVisible(results->hwnd()));
    ChooseFromRowMenu(list, 1, 1);  // 打开图像
    EXPECT_EQ(platform.shellCalls, (Texts{L"open F:\\out\\a.tga", L"open F:\\out\\c0001.tga",
                                          L"open F:\\out\\a.tga"}));

    // The menu key opens the menu of the keyboard's row.
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 2, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SetFocus(list);
    PostMessageW(list, WM_KEYDOWN, VK_APPS, 1);
    PostMessageW(list, WM_KEYUP, VK_APPS, static_cast<LPARAM>(0xC0000001));
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 1);
    test::PumpMessages();
    EXPECT_EQ(platform.shellCalls.back(), L"open F:\\out");  // 打开出图文件夹

    platform.shellWorks = false;
    ChooseFromRowMenu(list, 3, 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              L"无法打开图像（Windows 没有可以打开它的程序，或文件已不在）：\nF:\\out\\c0001.tga");
}

TEST_F(ResultsWindowTest, TheRowMenuOpensTheOutputFolderMadeOnRequestAndSelectsTheRowInTheTable) {
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    const HWND list = results->control(L"List");

    ChooseFromRowMenu(list, 1, 2);  // 打开出图文件夹: there, opened at once
    platform.answer = false;
    ChooseFromRowMenu(list, 2, 2);  // not there: asked first, and nothing when refused
    platform.answer = true;
    ChooseFromRowMenu(list, 2, 2);
    EXPECT_EQ(platform.questions,
              (Texts{L"出图文件夹不存在：\nF:\\later\n\n是否创建该文件夹？",
                     L"出图文件夹不存在：\nF:\\later\n\n是否创建该文件夹？"}));
    EXPECT_TRUE(platform.folders.contains(L"F:\\later"));
    EXPECT_EQ(platform.shellCalls, (Texts{L"open F:\\out", L"open F:\\later"}));

    form.jobs().list().setSelected(1, true);
    ChooseFromRowMenu(list, 3, 3);  // 在主窗口中选中
    const win::ListView table = form.jobs().list();
    EXPECT_EQ((std::vector<bool>{table.selected(1), table.selected(2), table.selected(3)}),
              (std::vector<bool>{false, false, true}));
    EXPECT_EQ(ListView_GetNextItem(table.hwnd(), -1, LVNI_FOCUSED), 2);
    EXPECT_EQ(GetFocus(), control(L"jobTable"));
}

// Every column within the list, none under its vertical scroll bar, whether or not it shows.
void ExpectColumnsFit(HWND list, int dpi) {
    int sum = 0;
    for (int k = 0; k < 5; ++k) sum += ListView_GetColumnWidth(list, k);
    RECT client{};
    GetClientRect(list, &client);
    const bool bar = (GetWindowLongPtrW(list, GWL_STYLE) & WS_VSCROLL) != 0;
    EXPECT_LE(sum, client.right - (bar ? 0 : GetSystemMetrics(SM_CXVSCROLL))) << dpi << " dpi";
}

TEST_F(ResultsWindowTest, TheResultsAndTheLogAreResizableTheirSizesKeptAndTheColumnsFit) {
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(win::WindowText(results->control(L"Summary")), L"尚未开始渲染");
    const HWND window = results->hwnd();
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME);
    RECT frame{};
    GetWindowRect(window, &frame);
    MINMAXINFO limits{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);  // the smallest is as designed
    EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);
    const HWND list = results->control(L"List");
    const HWND close = results->control(L"Close");
    const RECT listBefore = test::ClientRectIn(list, window);
    const RECT closeBefore = test::ClientRectIn(close, window);
    ExpectColumnsFit(list, results->dpi());

    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT listAfter = test::ClientRectIn(list, window);
    const RECT closeAfter = test::ClientRectIn(close, window);
    EXPECT_EQ((std::vector<LONG>{listAfter.left, listAfter.top, listAfter.right - listBefore.right,
                                 listAfter.bottom - listBefore.bottom}),
              (std::vector<LONG>{listBefore.left, listBefore.top, 200, 100}));
    EXPECT_EQ((std::vector<LONG>{closeAfter.left - closeBefore.left, closeAfter.top - closeBefore.top}),
              (std::vector<LONG>{200, 100}));
    const int own = results->dpi();
    for (const int dpi : {96, 144}) {
        results->layOutFor(dpi);
        ExpectColumnsFit(list, dpi);
    }
    results->layOutFor(own);
    const SIZE chosen = results->sizes().results;
    EXPECT_GT(chosen.cx, 0);

    // The log window opens no larger than the screen's work area, at any scale.
    LogWindow log(platform);
    ASSERT_TRUE(log.create(form.hwnd()));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    for (const int dpi : {96, 144, 192}) {
        log.layOutFor(dpi);
        RECT placed{};
        GetWindowRect(log.hwnd(), &placed);
        EXPECT_LE(placed.right - placed.left, work.right - work.left) << dpi << " dpi";
        EXPECT_LE(placed.bottom - placed.top, work.bottom - work.top) << dpi << " dpi";
    }

    // Kept from one run to the next.
    SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    test::PumpMessages();
    MainWindow next(platform);
    ASSERT_EQ(next.create(), MainWindow::Startup::Ready);
    ChooseMenuItem(next.hwnd(), L"渲染结果(V)…");
    ASSERT_NE(next.resultsDialog(), nullptr);
    EXPECT_EQ(next.resultsDialog()->sizes().results.cx, chosen.cx);
    EXPECT_EQ(next.resultsDialog()->sizes().results.cy, chosen.cy);
    DestroyWindow(next.hwnd());
    test::PumpMessages();
}

// The tip the cell tips keep over `list`, and the text it holds now.
std::wstring CellTip(HWND list) {
    struct Search {
        HWND list;
        std::wstring text;
    } search{list, L"(none)"};
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM data) -> BOOL {
        auto& found = *reinterpret_cast<Search*>(data);
        wchar_t name[32]{};
        GetClassNameW(window, name, 32);
        if (std::wstring_view(name) != TOOLTIPS_CLASSW) return TRUE;
        wchar_t text[1024]{};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        if (!SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)) || tool.hwnd != found.list) {
            return TRUE;
        }
        tool.lpszText = text;
        SendMessageW(window, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
        found.text = text;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.text;
}

// The middle of a cell of the job table (rows and columns from 1).
POINT CellPoint(HWND list, int row, int column) {
    RECT cell{column == 1 ? LVIR_LABEL : LVIR_BOUNDS, column - 1, 0, 0};
    SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row - 1), reinterpret_cast<LPARAM>(&cell));
    return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
}

// The texts a list's window gives it for one cell while the list paints itself whole (as
// WM_PRINTCLIENT has it paint, the same way as on the screen), caught as the window answers.
std::vector<std::wstring> PaintedTexts(HWND list, int row, int column) {
    static struct {
        HWND list;
        int row, column;
        std::vector<std::wstring> texts;
    } caught;
    caught = {list, row - 1, column - 1, {}};
    const HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, [](int code, WPARAM wParam, LPARAM lParam) -> LRESULT {
        const auto& sent = *reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        const auto* header = sent.message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(sent.lParam) : nullptr;
        if (header && header->hwndFrom == caught.list && header->code == LVN_GETDISPINFOW) {
            const LVITEMW& item = reinterpret_cast<const NMLVDISPINFOW*>(header)->item;
            if (item.iItem == caught.row && item.iSubItem == caught.column && (item.mask & LVIF_TEXT) && item.pszText) {
                caught.texts.emplace_back(item.pszText);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }, nullptr, GetCurrentThreadId());
    { const test::PaintedClient painted(list); }
    UnhookWindowsHookEx(hook);
    return caught.texts;
}

TEST_F(ResultsWindowTest, ATablePathIsDrawnShortenedItsTipAndItsTextWhole) {
    const std::wstring scene = L"D:\\项目\\滨江壹号院\\二期\\效果图\\夜景\\最终版本\\客厅_日景_相机03_最终版本.max";
    const std::wstring folder = L"F:\\渲染输出\\滨江壹号院\\二期\\效果图\\夜景\\最终版本\\客厅_相机03";
    form.jobs().append({scene, L"默认", folder, L"d.tga", L"默认", L"默认"});
    form.jobs().append({L"D:\\a.max", L"默认", L"F:\\o", L"a.tga", L"默认", L"默认"});
    const HWND list = control(L"jobTable");
    const int row = form.jobs().count() - 1;

    // The list is given a path its column cuts shortened in the middle, its drive and file name
    // kept, in the table and in the results alike; a path that fits, whole.
    ResultsDialog* results = openResults();
    ASSERT_NE(results, nullptr);
    const HWND resultsList = results->control(L"List");
    for (const HWND shown : {list, resultsList}) {
        ListView_SetColumnWidth(shown, 0, 300);
        const std::vector<std::wstring> painted = PaintedTexts(shown, row, 1);
        ASSERT_FALSE(painted.empty());
        const std::wstring& text = painted.back();
        EXPECT_LT(text.size(), scene.size()) << test::Utf8(text);
        EXPECT_TRUE(text.starts_with(L"D:\\") && text.ends_with(L"...\\客厅_日景_相机03_最终版本.max")) << test::Utf8(text);
        EXPECT_EQ(PaintedTexts(shown, row + 1, 1), std::vector<std::wstring>{L"D:\\a.max"});
        // Read once the list has painted, it is whole.
        EXPECT_EQ(win::ListView(shown).cell(row, 1), scene);
    }
    SendMessageW(results->hwnd(), WM_CLOSE, 0, 0);
    test::PumpMessages();

    // Resting on the cut path, the tip holds it whole; on a cell shown whole, nothing.
    const POINT onScene = CellPoint(list, row, 1);
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(onScene.x, onScene.y));
    EXPECT_EQ(CellTip(list), scene);
    const POINT onCamera = CellPoint(list, row, 2);
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(onCamera.x, onCamera.y));
    EXPECT_EQ(CellTip(list), L"");

    // Another program reads them whole, and the output folder's editor edits it whole.
    EXPECT_EQ(form.jobs().list().cell(row, 1), scene);
    EXPECT_EQ(form.jobs().list().cell(row, 3), folder);
    const POINT onFolder = CellPoint(list, row, 3);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(onFolder.x, onFolder.y));
    PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(onFolder.x, onFolder.y));
    test::PumpMessages();
    ASSERT_TRUE(IsWindowVisible(control(L"cellEditor")));
    EXPECT_EQ(win::WindowText(control(L"cellEditor")), folder);
}

// At every scale the bottom row keeps its places against the frame above it, the table its
// margins inside the frame, and the job editor's hints lie within its window: a control that grew
// for its caption takes what lines up with it along.
TEST_F(ResultsWindowTest, TheBottomRowAndTheEditorsHintsKeepTheirPlacesAtEveryScale) {
    test::Click(control(L"addJobButton"));
    ASSERT_NE(form.jobDialog(), nullptr);
    const HWND window = form.hwnd();
    const HWND editor = form.jobDialog()->hwnd();
    for (const int dpi : {96, 144}) {
        form.layOutFor(dpi);
        form.jobDialog()->layOutFor(dpi);
        const RECT frame = test::ClientRectIn(control(L"settingsFrame"), window);
        const RECT render = test::ClientRectIn(control(L"renderButton"), window);
        const RECT exit = test::ClientRectIn(control(L"exitButton"), window);
        const RECT table = test::ClientRectIn(control(L"jobTable"), window);
        EXPECT_EQ(exit.right, frame.right) << dpi << " dpi";
        EXPECT_GE(render.top, frame.bottom - 1) << dpi << " dpi";
        EXPECT_LE(std::abs((frame.right - table.right) - (table.left - frame.left)), 2) << dpi << " dpi";
        RECT client{};
        GetClientRect(editor, &client);
        for (const wchar_t* hint : {L"cameraHint", L"sizeHint", L"outputNameHint", L"formatHint", L"framesHint"}) {
            const RECT placed = test::ClientRectIn(form.jobDialog()->control(hint), editor);
            EXPECT_LE(placed.right, client.right) << dpi << " dpi " << test::Utf8(hint);
        }
    }
}

}  // namespace
}  // namespace ravolen
