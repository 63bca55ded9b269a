#include "app/MainWindow.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/MainWindowFixture.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"
#include "support/FakePlatform.h"
#include "support/WindowTest.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;
using test::FakePlatform;
using test::PressKey;

struct ExpectedControl {
    const wchar_t* name;
    const wchar_t* container;
    int left, top, width, height;
    const wchar_t* caption;
    double points;  // 0: the window's 10.5
    bool bold;
    COLORREF colour;  // CLR_INVALID: none of its own
    const wchar_t* tooltip;
};

constexpr COLORREF None = CLR_INVALID;

// The main window as designed, in twips; "Frame1" positions count from the frame's corner.
const ExpectedControl Designed[] = {
    {L"settingsFrame", L"", 0, 120, 10215, 5055, L"设置", 9, false, None, L""},
    {L"renderButton", L"", 0, 5160, 4335, 855, L"渲  染", 18, true, None,
     L"点击此按钮立即开始批量渲染，请耐心等待。。。"},
    {L"exitButton", L"", 5880, 5160, 4335, 855, L"退  出", 18, true, None, L""},
    {L"cancelRenderButton", L"", 4440, 5160, 1335, 375, L"取消渲染", 0, false, None,
     L"当渲染已经开始时，可以取消正在进行的渲染任务"},
    {L"cancelShutdownButton", L"", 4440, 5640, 1335, 375, L"取消关机", 0, false, None,
     L"当倒计时关机时，此按钮可以用来解除关机"},
    {L"installFolderLabel", L"settingsFrame", 600, 240, 1935, 255, L"3dsMax的安装路径：", 0, false, None, L""},
    {L"installFolderBox", L"settingsFrame", 2520, 200, 5655, 315, L"D:\\Program Files\\Autodesk\\3ds Max 2012", 0,
     false, None, L""},
    {L"installFolderButton", L"settingsFrame", 8280, 150, 1695, 375, L"指定MAX安装路径", 9, false, None, L""},
    {L"unifiedFolderCheck", L"settingsFrame", 240, 520, 255, 375, L"", 12, false, None, L""},
    {L"unifiedFolderLabel", L"settingsFrame", 600, 600, 1935, 255, L"统一渲染出图路径：", 0, false, None, L""},
    {L"unifiedFolderBox", L"settingsFrame", 2520, 580, 5655, 315, L"C:\\Tools\\Ravolen\\renderOutput", 0, false,
     None, L""},
    {L"unifiedFolderButton", L"settingsFrame", 8280, 550, 1695, 375, L"指定渲染出图路径", 9, false, None, L""},
    {L"unifiedFormatCheck", L"settingsFrame", 240, 880, 255, 375, L"", 12, false, None, L""},
    {L"unifiedFormatLabel", L"settingsFrame", 600, 975, 1995, 255, L"统一保存图片格式：", 0, false, None, L""},
    {L"unifiedFormatBox", L"settingsFrame", 2520, 960, 735, 315, L".tga", 0, false, None, L""},
    {L"formatHintLabel", L"settingsFrame", 3360, 1005, 6735, 255,
     L"请输入正规图片格式： .jpg / .tga / .bmp / .png / .tif / .hdr ...", 0, false, None, L""},
    {L"quickAddButton", L"settingsFrame", 5640, 1485, 1095, 375, L"快速添加", 9, false, None,
     L"可以一次添加多个Max文件路径"},
    {L"addJobButton", L"settingsFrame", 7200, 1485, 855, 375, L"+", 12, true, None,
     L"添加单个Max文件路径，并设置"},
    {L"removeTickedButton", L"settingsFrame", 8040, 1485, 855, 375, L"-", 12, true, None, L"删除勾选的Max文件路径"},
    {L"clearButton", L"settingsFrame", 9360, 1485, 615, 375, L"清空", 0, false, None, L"清空表单"},
    {L"scenesLabel", L"settingsFrame", 120, 1680, 1455, 255, L"Max文件路径：", 0, false, None, L""},
    {L"jobCountLabel", L"settingsFrame", 1440, 1680, 1455, 255, L"一共 0个文件", 9, false, RGB(192, 0, 0), L""},
    {L"sceneLabel", L"settingsFrame", 2880, 1680, 2655, 255, L"", 9, false, RGB(128, 128, 255), L""},
    {L"jobTable", L"settingsFrame", 120, 1920, 9975, 2790, L"", 0, false, None, L""},
    {L"shutdownCheck", L"settingsFrame", 120, 4750, 2535, 210, L"渲染完成后自动关机", 0, false, RGB(255, 0, 0),
     L""},
    {L"cellEditor", L"settingsFrame", 6360, 2880, 615, 495, L"", 0, false, None, L""},
};

TEST_F(MainWindowTest, TheWindowIsAFixedDialogFrameCentredOnTheScreen) {
    EXPECT_EQ(win::WindowText(form.hwnd()), L"RavolenV1.0    --Quorth");
    RECT client{};
    GetClientRect(form.hwnd(), &client);
    EXPECT_NEAR(client.right, px(10200), 1);
    EXPECT_NEAR(client.bottom, px(6045), 1);
    const LONG_PTR style = GetWindowLongPtrW(form.hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(style & WS_SYSMENU);  // the close box

    RECT window{}, work{};
    GetWindowRect(form.hwnd(), &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(window.left - work.left, work.right - window.right, 1);
    EXPECT_NEAR(window.top - work.top, work.bottom - window.bottom, 1);
}

TEST_F(MainWindowTest, EveryControlIsWhereWithWhatAndHowTheLayoutSays) {
    test::PumpMessages();  // the status labels' first texts
    for (const ExpectedControl& expected : Designed) {
        const std::string name = test::Utf8(expected.name);
        SCOPED_TRACE(name);
        const HWND hwnd = control(expected.name);
        ASSERT_NE(hwnd, nullptr);
        const int offset = std::wstring_view(expected.container) == L"settingsFrame" ? 120 : 0;
        test::ExpectNear(test::ClientRectIn(hwnd, form.hwnd()),
                         expectedRect(expected.left, expected.top + offset, expected.width,
                                      expected.height),
                         name);
        EXPECT_EQ(GetParent(hwnd), form.hwnd());
        EXPECT_EQ(win::WindowText(hwnd), expected.caption);

        const LOGFONTW font = test::FontOf(hwnd);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
        const double points = expected.points > 0 ? expected.points : 10.5;
        EXPECT_EQ(font.lfHeight, -MulDiv(static_cast<int>(points * 10), form.dpi(), 720));
        EXPECT_EQ(font.lfWeight, expected.bold ? FW_BOLD : FW_NORMAL);

        if (expected.colour != None) {
            EXPECT_EQ(test::TextColourOf(hwnd), expected.colour);
        }
        EXPECT_EQ(test::TooltipText(form.hwnd(), hwnd), expected.tooltip);
    }
    for (const wchar_t* unticked : {L"shutdownCheck", L"unifiedFolderCheck", L"unifiedFormatCheck"}) {
        EXPECT_FALSE(win::IsChecked(control(unticked)));
    }
}

TEST_F(MainWindowTest, ContainersLieBelowWhatTheyHoldAndTheEditorAboveTheList) {
    EXPECT_FALSE(IsWindowVisible(control(L"cellEditor")));
    EXPECT_TRUE(IsWindowVisible(control(L"sceneLabel")));

    const int frame = test::ZOrderOf(control(L"settingsFrame"));
    for (const ExpectedControl& expected : Designed) {
        if (std::wstring_view(expected.container) == L"settingsFrame") {
            EXPECT_LT(test::ZOrderOf(control(expected.name)), frame) << test::Utf8(expected.name);
        }
    }
    EXPECT_LT(test::ZOrderOf(control(L"cellEditor")), test::ZOrderOf(control(L"jobTable")));
    EXPECT_TRUE(GetWindowLongPtrW(control(L"jobTable"), GWL_STYLE) & WS_CLIPSIBLINGS);
}

TEST_F(MainWindowTest, JobTableHasItsSixColumnsAndNoRow) {
    const HWND list = control(L"jobTable");
    const wchar_t* captions[] = {L"Max文件", L"相机", L"出图路径", L"出图文件名", L"长", L"宽"};
    const int widths[] = {3800, 1000, 2500, 1400, 600, 600};
    const int formats[] = {LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_LEFT,
                           LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_CENTER};
    EXPECT_EQ(form.jobs().list().columnCount(), 6);
    for (int i = 0; i < 6; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
        EXPECT_STREQ(text, captions[i]);
        EXPECT_EQ(column.cx, px(widths[i]));
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, formats[i]);
    }
    const auto extended = ListView_GetExtendedListViewStyle(list);
    EXPECT_TRUE(extended & LVS_EX_CHECKBOXES);
    EXPECT_TRUE(extended & LVS_EX_FULLROWSELECT);
    const LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_FALSE(style & LVS_SINGLESEL);  // rows are selected as in Explorer, several at once
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_EQ(form.jobs().count(), 0);
    EXPECT_EQ(form.jobs().list().selectedRow(), 0);
}

TEST_F(MainWindowTest, RowsAreReadAndWrittenByPositionFromOne) {
    fillTwoRows();
    win::ListView list = form.jobs().list();
    ASSERT_EQ(form.jobs().count(), 2);
    EXPECT_EQ(form.jobs().job(2), (RenderJob{L"E:\\work\\hall.max", L"Camera01", L"F:\\out",
                                             L"hall.jpg", L"1600", L"1200"}));
    // Column k + 1 is the list view's sub-item k.
    wchar_t text[64] = {};
    LVITEMW item{};
    item.iSubItem = 4;
    item.pszText = text;
    item.cchTextMax = 64;
    SendMessageW(list.hwnd(), LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, L"1600");

    const std::wstring longPath(3000, L'长');
    list.setCell(1, 3, longPath);
    EXPECT_EQ(form.jobs().job(1).outputFolder, longPath);

    list.setChecked(2, true);
    EXPECT_TRUE(list.checked(2));
    EXPECT_FALSE(list.checked(1));
    list.setSelected(2, true);
    EXPECT_EQ(list.selectedRow(), 2);
    // The selection stays on its row when the rows before it go.
    list.setChecked(2, false);
    list.setChecked(1, true);
    test::Click(control(L"removeTickedButton"));
    EXPECT_EQ(form.jobs().count(), 1);
    EXPECT_EQ(form.jobs().job(1).scene, L"E:\\work\\hall.max");
    EXPECT_EQ(list.selectedRow(), 1);
}

TEST_F(MainWindowTest, TheKeyboardStartsOnTheRenderButtonAndTabFollowsTheTabIndexOrder) {
    EXPECT_EQ(GetFocus(), control(L"renderButton"));
    // Every tab stop by tab index; the hidden cell editor is passed over.
    const wchar_t* order[] = {L"installFolderBox",    L"shutdownCheck",   L"addJobButton", L"removeTickedButton", L"installFolderButton",
                              L"quickAddButton", L"clearButton", L"exitButton", L"unifiedFolderBox",    L"unifiedFormatBox",
                              L"unifiedFolderButton", L"jobTable", L"cancelShutdownButton", L"unifiedFolderCheck",  L"unifiedFormatCheck",
                              L"cancelRenderButton", L"renderButton"};
    for (const wchar_t* next : order) {
        PressKey(VK_TAB);
        EXPECT_EQ(GetFocus(), control(next)) << test::Utf8(next);
    }
    PressKey(VK_TAB);
    PressKey(VK_TAB);
    ASSERT_EQ(GetFocus(), control(L"shutdownCheck"));
    PressKey(VK_SPACE);  // space ticks the focused check box
    EXPECT_TRUE(win::IsChecked(control(L"shutdownCheck")));
}

TEST_F(MainWindowTest, EnterOnTheFocusedRenderButtonRendersAndEnterElsewhereDoesNot) {
    fillTwoRows();
    SetFocus(control(L"installFolderBox"));
    PressKey(VK_RETURN);
    EXPECT_TRUE(platform.started.empty());
    SetFocus(control(L"renderButton"));
    PressKey(VK_RETURN);
    EXPECT_EQ(platform.started.size(), 1u);
    EXPECT_FALSE(IsWindowEnabled(control(L"renderButton")));
}

TEST_F(MainWindowTest, TheStatusLabelsFollowTheTableAndTheSelection) {
    const auto tick = [] { test::PumpMessages(); };
    tick();
    EXPECT_EQ(win::WindowText(control(L"jobCountLabel")), L"一共 0个文件");
    EXPECT_EQ(win::WindowText(control(L"sceneLabel")), L"");

    fillTwoRows();
    tick();
    EXPECT_EQ(win::WindowText(control(L"jobCountLabel")), L"一共 2个文件");
    EXPECT_EQ(win::WindowText(control(L"sceneLabel")), L"");  // rows, but none selected

    form.jobs().list().setSelected(2, true);
    tick();
    EXPECT_EQ(win::WindowText(control(L"sceneLabel")), L"hall.max");

    form.jobs().list().setCell(2, 1, L"scene without folder.max");
    tick();
    EXPECT_EQ(win::WindowText(control(L"sceneLabel")), L"scene without folder.max");

    form.jobs().list().setSelected(2, false);
    tick();
    EXPECT_EQ(win::WindowText(control(L"sceneLabel")), L"");
    EXPECT_EQ(win::WindowText(control(L"jobCountLabel")), L"一共 2个文件");
}

class StripesTest : public MainWindowTest {
protected:
    HWND list() const { return control(L"jobTable"); }
    RECT row(int position) const {
        RECT rect{LVIR_BOUNDS, 0, 0, 0};
        SendMessageW(list(), LVM_GETITEMRECT, position - 1, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    // A point of the row where no text is drawn: the right end of the "出图文件名" cell.
    COLORREF rowColour(const test::PaintedClient& painted, int position) const {
        RECT cell{LVIR_BOUNDS, 3, 0, 0};
        cell.top = 3;
        SendMessageW(list(), LVM_GETSUBITEMRECT, position - 1, reinterpret_cast<LPARAM>(&cell));
        return painted.at(cell.right - 4, (cell.top + cell.bottom) / 2);
    }
};

constexpr COLORREF Green = RGB(227, 241, 226);
constexpr COLORREF White = RGB(255, 255, 255);

TEST_F(StripesTest, TheEmptyTableIsRuledInBandsOneRowHigh) {
    fillTwoRows();
    const int height = row(1).bottom - row(1).top;
    const int top = row(1).top;
    form.jobs().list().clear();

    const test::PaintedClient painted(list());
    for (int band = 0; band < 6; ++band) {
        const int y = top + band * height + height / 2;
        EXPECT_EQ(painted.at(40, y), band % 2 == 0 ? Green : White) << "band " << band + 1;
        EXPECT_EQ(painted.at(600, y), band % 2 == 0 ? Green : White) << "band " << band + 1;
    }
}

TEST_F(StripesTest, EveryRowLiesOnTheBandOfItsOwnParityWhereverTheListIsScrolled) {
    for (int i = 1; i <= 120; ++i) {
        form.jobs().append({L"E:\\scene" + std::to_wstring(i) + L".max", L"默认", L"E:\\out",
                            L"x.tga", L"默认", L"默认"});
    }
    {
        const test::PaintedClient painted(list());
        EXPECT_EQ(rowColour(painted, 1), Green);
        EXPECT_EQ(rowColour(painted, 2), White);
        EXPECT_EQ(rowColour(painted, 3), Green);
    }
    const int height = row(1).bottom - row(1).top;
    SendMessageW(list(), LVM_SCROLL, 0, height);  // one row down
    {
        const test::PaintedClient painted(list());
        ASSERT_EQ(SendMessageW(list(), LVM_GETTOPINDEX, 0, 0), 1);
        EXPECT_EQ(rowColour(painted, 2), White);
        EXPECT_EQ(rowColour(painted, 3), Green);
    }
    SendMessageW(list(), LVM_ENSUREVISIBLE, 101, FALSE);
    {
        const test::PaintedClient painted(list());
        EXPECT_EQ(rowColour(painted, 101), Green);
        EXPECT_EQ(rowColour(painted, 102), White);
        // Below the last row the bands go on.
        const RECT last = row(120);
        RECT client{};
        GetClientRect(list(), &client);
        if (last.bottom + height < client.bottom) {
            EXPECT_EQ(painted.at(40, last.bottom + height / 2), Green);
        }
    }
}

TEST(MainWindowStartup, ASecondCopyOnlySaysSoAndShowsNoWindow) {
    test::FakePlatform platform;
    platform.previousInstance = true;
    MainWindow form(platform);
    EXPECT_EQ(form.create(), MainWindow::Startup::AlreadyRunning);
    EXPECT_EQ(form.hwnd(), nullptr);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0],
              (test::FakePlatform::Message{L"该程序已经运行！！", MessageIcon::Information}));
    EXPECT_EQ(FindWindowW(L"RavolenMainWindow", nullptr), nullptr);
}

TEST(MainWindowStartup, AControlThatCannotBeCreatedFailsTheWindowAsAWhole) {
    test::FakePlatform platform;
    MainWindow form(platform);
    {
        const test::RefuseWindowClass refuse(WC_LISTVIEWW);
        EXPECT_EQ(form.create(), MainWindow::Startup::Failed);
    }
    EXPECT_EQ(form.hwnd(), nullptr);
    EXPECT_EQ(FindWindowW(L"RavolenMainWindow", nullptr), nullptr);
}

TEST(MainWindowStartup, TheWindowCanBeDestroyedWhileAControlHasTheFocus) {
    test::FakePlatform platform;
    auto form = std::make_unique<MainWindow>(platform);
    ASSERT_EQ(form->create(), MainWindow::Startup::Ready);
    ShowWindow(form->hwnd(), SW_SHOW);
    SetFocus(form->control(L"unifiedFolderBox"));
    test::PumpMessages();
    form.reset();
    test::PumpMessages();
    EXPECT_EQ(FindWindowW(L"RavolenMainWindow", nullptr), nullptr);
}

TEST_F(MainWindowTest, RenderWritesEveryRowStartsTheScriptAndDisablesItself) {
    fillTwoRows();
    form.jobs().list().setChecked(1, true);  // check marks choose rows to delete, not to render
    win::SetText(control(L"installFolderBox"), L"C:\\Max 2012");
    Click(control(L"shutdownCheck"));
    bool disabledWhenTold = false;
    platform.onMessage = [&](const std::wstring&) {
        disabledWhenTold = !IsWindowEnabled(control(L"renderButton"));
    };
    SetFocus(control(L"renderButton"));

    Click(control(L"renderButton"));

    EXPECT_EQ(platform.files[ScriptPath],
              ComposeRenderScript(L"C:\\Max 2012", form.jobs().all(), true, platform.scriptCodec())
                  .bytes);
    EXPECT_NE(platform.files[ScriptPath].find("E:\\work\\lobby.max"), std::string::npos);
    ASSERT_EQ(platform.started.size(), 1u);
    EXPECT_EQ(platform.started[0].style, WindowStyle::Hidden);
    EXPECT_FALSE(IsWindowEnabled(control(L"renderButton")));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, RenderStartedMessage);
    EXPECT_TRUE(disabledWhenTold);
    // The keyboard goes on working from the next control.
    EXPECT_EQ(GetFocus(), control(L"installFolderBox"));
}

TEST_F(MainWindowTest, RenderWithoutShutdownEndsTheScriptWithAnEmptyLine) {
    fillTwoRows();
    Click(control(L"renderButton"));
    const std::string& bytes = platform.files[ScriptPath];
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "\n\r\n\r\n");
    EXPECT_EQ(bytes.find("shutdown"), std::string::npos);
}

TEST_F(MainWindowTest, ARowWithoutOutputKeepsTheRenderButtonAndStartsNothing) {
    fillTwoRows();
    form.jobs().list().setCell(2, 4, L"");

    Click(control(L"renderButton"));

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"请填写 E:\\work\\hall.max 的渲染输出路径");
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));

    // Mended, the next press writes the whole script anew.
    form.jobs().list().setCell(2, 4, L"hall.jpg");
    Click(control(L"renderButton"));
    EXPECT_NE(platform.files[ScriptPath].find("hall.jpg"), std::string::npos);
    EXPECT_EQ(platform.started.size(), 1u);
}

TEST_F(MainWindowTest, AnUnsafeCellOrInstallFolderIsRefusedWithItsReason) {
    fillTwoRows();
    form.jobs().list().setCell(2, 2, L"Cam\"01");
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"请修改 E:\\work\\hall.max 的设置：含有双引号或控制字符");

    form.jobs().list().setCell(2, 2, L"Camera01");
    win::SetText(control(L"installFolderBox"), L"D:\\Max\u00a6");
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, L"请修改3dsMax的安装路径：含有系统编码无法表示的字符");
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
}

TEST_F(MainWindowTest, AScriptThatCannotBeWrittenLeavesTheRenderButtonEnabled) {
    fillTwoRows();
    platform.failWrite = true;
    Click(control(L"renderButton"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"无法写入渲染脚本：" + ScriptPath);
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
    EXPECT_TRUE(platform.started.empty());
}

TEST_F(MainWindowTest, CancelShutdownAbortsItMinimisedAndAlwaysEnablesTheRenderButton) {
    const std::wstring shutdown = L"C:\\windows\\system32\\shutdown.exe";
    const ProcessLaunch abort{shutdown, L"\"" + shutdown + L"\" -a", L"",
                              WindowStyle::MinimizedWithFocus};
    Click(control(L"cancelShutdownButton"));  // no render yet
    EXPECT_EQ(platform.started, std::vector<ProcessLaunch>{abort});
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
    EXPECT_TRUE(platform.messages.empty());

    fillTwoRows();
    Click(control(L"renderButton"));
    ASSERT_FALSE(IsWindowEnabled(control(L"renderButton")));
    Click(control(L"cancelShutdownButton"));
    EXPECT_EQ(platform.started.back(), abort);
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
    EXPECT_EQ(platform.messages.size(), 1u);  // only the render's own
}

TEST_F(MainWindowTest, CancelRenderEndsTheRenderJobAndLeavesTheRenderButtonAsItWas) {
    fillTwoRows();
    Click(control(L"renderButton"));
    platform.calls.clear();
    platform.jobEnd = RenderJobEnd::Ended;
    Click(control(L"cancelRenderButton"));
    // The night's watch lets go of the job too (and then marks the night's plan as not to be
    // offered again).
    ASSERT_GE(platform.calls.size(), 2u);
    EXPECT_EQ(std::vector<std::wstring>(platform.calls.begin(), platform.calls.begin() + 2),
              (std::vector<std::wstring>{L"endRenderJob", L"stopFollowingRenderJob"}));
    EXPECT_FALSE(IsWindowEnabled(control(L"renderButton")));
    EXPECT_EQ(platform.messages.size(), 1u);

    // A render this program cannot end (started by a copy running as administrator) is said so;
    // nothing is ended by its program's name.
    platform.calls.clear();
    platform.jobEnd = RenderJobEnd::Unavailable;
    Click(control(L"cancelRenderButton"));
    EXPECT_EQ(platform.calls, (std::vector<std::wstring>{L"endRenderJob", L"showMessage " + std::wstring(RenderNotEndedMessage)}));
}

TEST_F(MainWindowTest, RenderIsRefusedWhileTheLastOneRunsOrWithoutItsRenderer) {
    fillTwoRows();
    platform.renderRunning = true;
    Click(control(L"renderButton"));
    platform.renderRunning = false;
    // Held open by a copy in another logon session, whose render job this one cannot see.
    platform.held = {ScriptPath};
    Click(control(L"renderButton"));
    EXPECT_FALSE(platform.files.count(ScriptPath));
    platform.held.clear();
    platform.missingFiles = {L"D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe"};
    Click(control(L"renderButton"));
    platform.missingFiles.clear();
    form.jobs().list().setCell(2, 1, L"E:\\" + std::wstring(4096, L'渲') + L".max");
    Click(control(L"renderButton"));

    ASSERT_EQ(platform.messages.size(), 4u);
    EXPECT_EQ(platform.messages[0].text,
              L"上一批渲染任务仍在进行中，请等它完成，或先点击“取消渲染”。");
    EXPECT_EQ(platform.messages[1].text, platform.messages[0].text);
    EXPECT_EQ(platform.messages[2].text,
              L"找不到3dsMax的渲染程序：D:\\Program Files\\Autodesk\\3ds Max 2012\\3dsmaxcmd.exe，"
              L"请检查3dsMax的安装路径。");
    EXPECT_TRUE(platform.messages[3].text.ends_with(L" 的设置：命令行超过8191个字节"));
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(IsWindowEnabled(control(L"renderButton")));
}

TEST_F(MainWindowTest, ExitEndsTheProgramAtOnceWithCodeZero) {
    fillTwoRows();
    Click(control(L"renderButton"));
    SendMessageW(control(L"exitButton"), BM_CLICK, 0, 0);
    MSG quit{};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
    EXPECT_EQ(form.hwnd(), nullptr);
    // The render goes on: nothing was ended.
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), L"endRenderJob"), 0);
}

}  // namespace
}  // namespace ravolen
