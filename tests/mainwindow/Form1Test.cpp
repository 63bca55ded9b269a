#include "mainwindow/Form1.h"

#include <commctrl.h>
#include <gtest/gtest.h>

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

const std::wstring ScriptPath = L"C:\\Tools\\Ravolen\\bat\\Render.bat";

class Form1Test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.create());
        ShowWindow(form.hwnd(), SW_SHOW);
        SetForegroundWindow(form.hwnd());
        test::PumpMessages();
    }
    void TearDown() override {
        if (form.hwnd()) DestroyWindow(form.hwnd());
        test::PumpMessages();
    }

    HWND control(const wchar_t* name) const { return form.control(name); }
    int px(int twips) const { return win::TwipsToPixels(twips, form.dpi()); }

    RECT expectedRect(int left, int top, int width, int height) const {
        return {px(left), px(top), px(left + width), px(top + height)};
    }

    void fillTwoRows() {
        form.jobs().append({L"E:\\work\\lobby.max", L"默认", L"E:\\work\\renderOutput",
                            L"lobby.tga", L"默认", L"默认"});
        form.jobs().append(
            {L"E:\\work\\hall.max", L"Camera01", L"F:\\out", L"hall.jpg", L"1600", L"1200"});
    }

    FakePlatform platform;
    Form1 form{platform};
};

void ExpectRect(const RECT& actual, const RECT& expected, const char* name) {
    SCOPED_TRACE(name);
    // Rounding twips to pixels may differ by one between a control's edges.
    EXPECT_NEAR(actual.left, expected.left, 1);
    EXPECT_NEAR(actual.top, expected.top, 1);
    EXPECT_NEAR(actual.right, expected.right, 1);
    EXPECT_NEAR(actual.bottom, expected.bottom, 1);
}

TEST_F(Form1Test, WindowAndControlsStandWhereTheLayoutPutsThem) {
    EXPECT_EQ(win::WindowText(form.hwnd()), L"RavolenV1.0    --Quorth");
    RECT client{};
    GetClientRect(form.hwnd(), &client);
    EXPECT_NEAR(client.right, px(10200), 1);
    EXPECT_NEAR(client.bottom, px(6045), 1);
    const LONG_PTR style = GetWindowLongPtrW(form.hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    struct Expected {
        const wchar_t* name;
        RECT rect;
        const wchar_t* caption;
    };
    // Frame1 stands at (0, 120); the controls inside it are placed from its corner.
    const Expected controls[] = {
        {L"Frame1", expectedRect(0, 120, 10215, 5055), L"设置"},
        {L"Command1", expectedRect(0, 5160, 4335, 855), L"渲  染"},
        {L"Label1", expectedRect(600, 120 + 240, 1935, 255), L"3dsMax的安装路径："},
        {L"Text1", expectedRect(2520, 120 + 200, 5655, 315),
         L"D:\\Program Files\\Autodesk\\3ds Max 2012"},
        {L"Check1", expectedRect(120, 120 + 4750, 2535, 210), L"渲染完成后自动关机"},
        {L"ListView1", expectedRect(120, 120 + 1920, 9975, 2790), L""},
    };
    for (const Expected& expected : controls) {
        const HWND hwnd = control(expected.name);
        ASSERT_NE(hwnd, nullptr);
        char name[32];
        WideCharToMultiByte(CP_UTF8, 0, expected.name, -1, name, sizeof name, nullptr, nullptr);
        ExpectRect(test::ClientRectIn(hwnd, form.hwnd()), expected.rect, name);
        EXPECT_EQ(win::WindowText(hwnd), expected.caption);
        EXPECT_TRUE(IsWindowVisible(hwnd));
    }
    EXPECT_FALSE(win::IsChecked(control(L"Check1")));
    EXPECT_TRUE(IsWindowEnabled(control(L"Command1")));
}

TEST_F(Form1Test, JobTableHasItsSixColumnsAndNoRow) {
    const HWND list = control(L"ListView1");
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
    EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(form.jobs().count(), 0);
    EXPECT_EQ(form.jobs().list().selectedRow(), 0);
}

TEST_F(Form1Test, RowsAreReadAndWrittenByPositionFromOne) {
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
    list.removeRow(1);
    EXPECT_EQ(form.jobs().count(), 1);
    EXPECT_EQ(form.jobs().job(1).scene, L"E:\\work\\hall.max");
}

TEST_F(Form1Test, TheKeyboardStartsOnTheRenderButtonAndTabFollowsTheTabIndexOrder) {
    EXPECT_EQ(GetFocus(), control(L"Command1"));
    const wchar_t* order[] = {L"Text1", L"Check1", L"ListView1", L"Command1"};
    for (const wchar_t* next : order) {
        PressKey(form.hwnd(), VK_TAB);
        EXPECT_EQ(GetFocus(), control(next));
    }
    PressKey(form.hwnd(), VK_TAB);
    PressKey(form.hwnd(), VK_TAB);
    ASSERT_EQ(GetFocus(), control(L"Check1"));
    PressKey(form.hwnd(), VK_SPACE);  // space ticks the focused check box
    EXPECT_TRUE(win::IsChecked(control(L"Check1")));
}

TEST_F(Form1Test, EnterOnTheFocusedRenderButtonRenders) {
    fillTwoRows();
    SetFocus(control(L"Command1"));
    PressKey(form.hwnd(), VK_RETURN);
    EXPECT_EQ(platform.started.size(), 1u);
    EXPECT_FALSE(IsWindowEnabled(control(L"Command1")));
}

TEST_F(Form1Test, CommandButtonsCarryTheirTooltips) {
    struct Found {
        HWND tooltip = nullptr;
    } found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM context) {
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (_wcsicmp(name, TOOLTIPS_CLASSW) != 0) return TRUE;
            reinterpret_cast<Found*>(context)->tooltip = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    ASSERT_NE(found.tooltip, nullptr);
    wchar_t text[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = form.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control(L"Command1"));
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(found.tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool)) ||
                text[0] != 0);
    EXPECT_STREQ(text, L"点击此按钮立即开始批量渲染，请耐心等待。。。");
}

TEST_F(Form1Test, RenderWritesEveryRowStartsTheScriptAndDisablesItself) {
    fillTwoRows();
    form.jobs().list().setChecked(1, true);  // check marks choose rows to delete, not to render
    win::SetText(control(L"Text1"), L"C:\\Max 2012");
    win::SetChecked(control(L"Check1"), true);
    bool disabledWhenTold = false;
    platform.onMessage = [&](const std::wstring&) {
        disabledWhenTold = !IsWindowEnabled(control(L"Command1"));
    };
    SetFocus(control(L"Command1"));

    Click(control(L"Command1"));

    EXPECT_EQ(platform.files[ScriptPath],
              ComposeRenderScript(L"C:\\Max 2012", form.jobs().all(), true, platform.scriptCodec())
                  .bytes);
    EXPECT_NE(platform.files[ScriptPath].find("E:\\work\\lobby.max"), std::string::npos);
    ASSERT_EQ(platform.started.size(), 1u);
    EXPECT_EQ(platform.started[0].style, WindowStyle::Hidden);
    EXPECT_FALSE(IsWindowEnabled(control(L"Command1")));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, RenderStartedMessage);
    EXPECT_TRUE(disabledWhenTold);
    // The keyboard goes on working from the next control.
    EXPECT_EQ(GetFocus(), control(L"Text1"));
}

TEST_F(Form1Test, RenderWithoutShutdownEndsTheScriptWithAnEmptyLine) {
    fillTwoRows();
    Click(control(L"Command1"));
    const std::string& bytes = platform.files[ScriptPath];
    EXPECT_EQ(bytes.substr(bytes.size() - 5), "\n\r\n\r\n");
    EXPECT_EQ(bytes.find("shutdown"), std::string::npos);
}

TEST_F(Form1Test, ARowWithoutOutputKeepsTheRenderButtonAndStartsNothing) {
    fillTwoRows();
    form.jobs().list().setCell(2, 4, L"");

    Click(control(L"Command1"));

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"请填写 E:\\work\\hall.max 的渲染输出路径");
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(IsWindowEnabled(control(L"Command1")));

    // Mended, the next press writes the whole script anew.
    form.jobs().list().setCell(2, 4, L"hall.jpg");
    Click(control(L"Command1"));
    EXPECT_NE(platform.files[ScriptPath].find("hall.jpg"), std::string::npos);
    EXPECT_EQ(platform.started.size(), 1u);
}

TEST_F(Form1Test, AnUnsafeCellOrInstallFolderIsRefusedWithItsReason) {
    fillTwoRows();
    form.jobs().list().setCell(2, 2, L"Cam\"01");
    Click(control(L"Command1"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"请修改 E:\\work\\hall.max 的设置：含有双引号或控制字符");

    form.jobs().list().setCell(2, 2, L"Camera01");
    win::SetText(control(L"Text1"), L"D:\\Max\u00a6");
    Click(control(L"Command1"));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, L"请修改3dsMax的安装路径：含有系统编码无法表示的字符");
    EXPECT_TRUE(platform.started.empty());
    EXPECT_TRUE(IsWindowEnabled(control(L"Command1")));
}

TEST_F(Form1Test, AScriptThatCannotBeWrittenLeavesTheRenderButtonEnabled) {
    fillTwoRows();
    platform.failWrite = true;
    Click(control(L"Command1"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"无法写入渲染脚本：" + ScriptPath);
    EXPECT_TRUE(IsWindowEnabled(control(L"Command1")));
    EXPECT_TRUE(platform.started.empty());
}

}  // namespace
}  // namespace ravolen
