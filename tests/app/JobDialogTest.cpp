#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <ostream>

#include "base/LiveObjects.h"
#include "app/MainWindowFixture.h"
#include "app/MainWindowIds.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;
using test::PressKey;

// The job editor as the main window's "+" opens it.
class JobDialogTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        Click(control(L"addJobButton"));
        ASSERT_NE(form.jobDialog(), nullptr);
        test::PumpMessages();
    }

    JobDialog& dialog() const { return *form.jobDialog(); }
    HWND field(const wchar_t* name) const { return dialog().control(name); }
    std::wstring text(const wchar_t* name) const { return win::WindowText(field(name)); }
    void fill(const wchar_t* name, std::wstring_view value) const { win::SetText(field(name), value); }
    void fillRequired() const {
        fill(L"sceneBox", L"D:\\a\\room.max");
        fill(L"outputFolderBox", L"D:\\out");
        fill(L"outputNameBox", L"room");
    }
    int px(int twips) const { return win::TwipsToPixels(twips, dialog().dpi()); }
};

struct DesignedControl {
    const wchar_t* name;
    int left, top, width, height;
    const wchar_t* caption;
    double points;
    COLORREF colour;
};

constexpr COLORREF Plain = CLR_INVALID;
constexpr COLORREF Red = RGB(255, 0, 0);

const DesignedControl Designed[] = {
    {L"requiredNote", 120, 240, 4695, 255, L"注意：* 为必填项，其它设为空则为MAX默认值", 10.5, Plain},
    {L"sceneBox", 120, 600, 3255, 375, L"", 10.5, Plain},
    {L"sceneMark", 3480, 600, 255, 255, L"*", 14.25, Red},
    {L"pickSceneButton", 3720, 600, 1215, 375, L"添加Max...", 9, Plain},
    {L"cameraLabel", 240, 1080, 975, 255, L"渲染相机:", 10.5, Plain},
    {L"cameraBox", 1320, 1065, 2055, 315, L"", 10.5, Plain},
    // cameraHint and sizeHint are cut off at the dialog's right edge, past which they were never seen.
    {L"cameraHint", 3480, 1130, 5085 - 3480, 255, L"空则为MAX激活视窗", 9, Plain},
    {L"outputFolderLabel", 240, 1455, 975, 255, L"出图路径:", 10.5, Plain},
    {L"outputFolderBox", 1320, 1440, 2055, 315, L"C:\\Tools\\Ravolen\\renderOutput", 10.5, Plain},
    {L"outputFolderMark", 3480, 1440, 255, 255, L"*", 14.25, Red},
    {L"outputFolderButton", 3720, 1365, 1215, 375, L"更改路径...", 9, Plain},
    {L"sizeLabel", 240, 1815, 975, 255, L"出图尺寸:", 10.5, Plain},
    {L"widthLabel", 1320, 1815, 375, 255, L"长:", 10.5, Plain},
    {L"widthBox", 1680, 1800, 615, 315, L"", 10.5, Plain},
    {L"heightLabel", 2400, 1815, 375, 255, L"宽:", 10.5, Plain},
    {L"heightBox", 2760, 1800, 615, 315, L"", 10.5, Plain},
    {L"sizeHint", 3480, 1850, 5085 - 3480, 255, L"空则为MAX设置尺寸", 9, Plain},
    {L"outputNameLabel", 240, 2175, 975, 255, L"出图名称:", 10.5, Plain},
    {L"outputNameBox", 1320, 2160, 2055, 315, L"", 10.5, Plain},
    {L"outputNameMark", 3480, 2160, 135, 255, L"*", 14.25, Red},
    {L"outputNameHint", 3720, 2205, 1215, 255, L"保存图片名称", 9, Plain},
    {L"formatLabel", 240, 2535, 975, 255, L"图片格式:", 10.5, Plain},
    {L"formatBox", 1320, 2520, 975, 300, L".tga", 9, Plain},
    {L"formatMark", 2350, 2520, 255, 255, L"*", 14.25, Red},
    {L"formatHint", 2570, 2560, 2535, 255, L"可自行输入规范的图片后缀名", 9, Plain},
    {L"framesLabel", 240, 2955, 975, 255, L"帧:", 10.5, Plain},
    {L"framesBox", 1320, 2940, 2055, 315, L"默认", 10.5, Plain},
    {L"framesHint", 3480, 3000, 5085 - 3480, 255, L"如 1,3,5-12", 9, Plain},
    {L"sceneStateLabel", 240, 3330, 975, 255, L"场景状态:", 10.5, Plain},
    {L"sceneStateBox", 1320, 3315, 2055, 315, L"默认", 10.5, Plain},
    {L"presetLabel", 240, 3705, 975, 255, L"渲染预设:", 10.5, Plain},
    {L"presetBox", 1320, 3690, 2055, 315, L"默认", 10.5, Plain},
    {L"pickPresetButton", 3720, 3660, 1215, 375, L"浏览…", 9, Plain},
    {L"okButton", 240, 4140, 1455, 495, L"确  定", 10.5, Plain},
    {L"cancelButton", 3360, 4140, 1455, 495, L"取  消", 10.5, Plain},
};

TEST_F(JobDialogTest, TheDialogIsLaidOutAsDesigned) {
    EXPECT_EQ(win::WindowText(dialog().hwnd()), L"添加MAX文件及设置");
    EXPECT_TRUE(IsWindowVisible(dialog().hwnd()));
    EXPECT_EQ(GetWindow(dialog().hwnd(), GW_OWNER), nullptr);  // the main window stays usable
    RECT client{};
    GetClientRect(dialog().hwnd(), &client);
    EXPECT_NEAR(client.right, px(5085), 1);
    EXPECT_NEAR(client.bottom, px(4755), 1);
    EXPECT_FALSE(GetWindowLongPtrW(dialog().hwnd(), GWL_STYLE) &
                 (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    for (const DesignedControl& expected : Designed) {
        const std::string name = test::Utf8(expected.name);
        SCOPED_TRACE(name);
        const HWND hwnd = field(expected.name);
        ASSERT_NE(hwnd, nullptr);
        RECT rect = test::ClientRectIn(hwnd, dialog().hwnd());
        const RECT designed{px(expected.left), px(expected.top), px(expected.left + expected.width),
                            px(expected.top + expected.height)};
        // A combo box is as high as its font makes its edit part.
        if (std::wstring_view(expected.name) == L"formatBox") rect.bottom = designed.bottom;
        test::ExpectNear(rect, designed, name);
        EXPECT_EQ(win::WindowText(hwnd), expected.caption);
        const LOGFONTW font = test::FontOf(hwnd);
        EXPECT_STREQ(font.lfFaceName, L"宋体");
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
        EXPECT_EQ(font.lfHeight, -MulDiv(static_cast<int>(expected.points * 100), dialog().dpi(), 7200));
        if (expected.colour != Plain) {
            EXPECT_EQ(test::TextColourOf(hwnd), expected.colour);
        }
    }
    EXPECT_EQ(test::TooltipText(dialog().hwnd(), field(L"outputFolderButton")),
              L"选择渲染完的图片保存路径，空则为默认路径");
    const HWND formats = field(L"formatBox");
    ASSERT_EQ(SendMessageW(formats, CB_GETCOUNT, 0, 0), 6);
    const wchar_t* listed[] = {L".tga", L".jpg", L".bmp", L".png", L".tif", L".hdr"};
    for (int i = 0; i < 6; ++i) {
        wchar_t entry[16] = {};
        SendMessageW(formats, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, listed[i]);
    }
}

TEST_F(JobDialogTest, TabVisitsTheFieldsInTheDesignedOrder) {
    EXPECT_EQ(GetFocus(), field(L"sceneBox"));
    const wchar_t* order[] = {L"pickSceneButton", L"cameraBox",    L"outputFolderBox",   L"widthBox",
                              L"heightBox",    L"okButton", L"cancelButton", L"outputNameBox",
                              L"outputFolderButton", L"formatBox", L"framesBox", L"sceneStateBox",
                              L"presetBox", L"pickPresetButton", L"sceneBox"};
    for (const wchar_t* next : order) {
        PressKey(VK_TAB);
        const HWND focus = GetFocus();
        EXPECT_TRUE(focus == field(next) || GetParent(focus) == field(next)) << test::Utf8(next);
    }
}

TEST_F(JobDialogTest, OkAddsTheRowSelectsItAndKeepsFolderAndFormatForTheNext) {
    form.jobs().append({L"E:\\x.max", L"默认", L"E:\\o", L"x.tga", L"默认", L"默认"});
    form.jobs().list().setSelected(1, true);
    fillRequired();
    fill(L"cameraBox", L"Camera01");
    fill(L"widthBox", L"1920");
    fill(L"heightBox", L"1080");
    win::SetText(field(L"formatBox"), L".png");
    // Rows added in the main window while the dialog is open stay; the dialog's row goes last.
    form.jobs().append({L"E:\\y.max", L"默认", L"E:\\o", L"y.tga", L"默认", L"默认"});
    Click(field(L"okButton"));

    ASSERT_EQ(form.jobs().count(), 3);
    EXPECT_EQ(form.jobs().job(3), (RenderJob{L"D:\\a\\room.max", L"Camera01", L"D:\\out",
                                             L"room.png", L"1920", L"1080"}));
    EXPECT_TRUE(form.jobs().list().selected(3));
    EXPECT_FALSE(form.jobs().list().selected(1));
    EXPECT_EQ(GetFocus(), control(L"jobTable"));
    EXPECT_FALSE(IsWindowVisible(dialog().hwnd()));
    EXPECT_TRUE(platform.messages.empty());

    Click(control(L"addJobButton"));  // shown again: the folder and format stay
    EXPECT_TRUE(IsWindowVisible(dialog().hwnd()));
    for (const wchar_t* cleared : {L"sceneBox", L"cameraBox", L"widthBox", L"heightBox", L"outputNameBox"}) {
        EXPECT_EQ(text(cleared), L"") << test::Utf8(cleared);
    }
    EXPECT_EQ(text(L"outputFolderBox"), L"D:\\out");
    EXPECT_EQ(text(L"formatBox"), L".png");

    // Only the required fields: camera and sizes are left to the scene. A format without its dot
    // is used as typed, and blanks count as filled.
    fillRequired();
    fill(L"outputNameBox", L"  ");
    win::SetText(field(L"formatBox"), L"png");
    PressKey(VK_RETURN);  // Enter presses 确  定
    EXPECT_EQ(form.jobs().job(4), (RenderJob{L"D:\\a\\room.max", L"默认", L"D:\\out", L"  png",
                                             L"默认", L"默认"}));
}

// The three optional fields start at 默认, reach the row as typed, and a row that uses them shows
// their columns (and the menu's check mark); the menu hides them again.
TEST_F(JobDialogTest, TheOptionalFieldsReachTheRowAndShowTheirColumns) {
    const HWND list = control(L"jobTable");
    const auto columns = [&] { return form.jobs().list().columnCount(); };
    const auto checked = [&] {
        return (GetMenuState(GetMenu(form.hwnd()), mainwindow::IdMenuOptionalColumns, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    EXPECT_EQ(columns(), 6);
    fillRequired();
    Click(field(L"okButton"));  // 默认 in all three: nothing new shows
    EXPECT_EQ(columns(), 6);
    EXPECT_EQ(form.jobs().job(1).frames, L"默认");

    Click(control(L"addJobButton"));
    fillRequired();
    fill(L"framesBox", L"3-1");  // said as typed, and again at OK, which adds nothing
    EXPECT_EQ(text(L"framesHint"), L"不是有效的帧范围");
    Click(field(L"okButton"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"帧“3-1”不是有效的帧范围（例如 12、0-100、1,3,5-12）");
    EXPECT_EQ(GetFocus(), field(L"framesBox"));
    EXPECT_EQ(form.jobs().count(), 1);
    fill(L"framesBox", L"1,3,5-12");
    EXPECT_EQ(text(L"framesHint"), L"如 1,3,5-12");
    fill(L"sceneStateBox", L"夜景");
    platform.openAnswer = {L"D:\\预设\\final.rps"};
    Click(field(L"pickPresetButton"));
    EXPECT_EQ(text(L"presetBox"), L"D:\\预设\\final.rps");
    Click(field(L"okButton"));
    const RenderJob added = form.jobs().job(2);
    EXPECT_EQ(added.frames, L"1,3,5-12");
    EXPECT_EQ(added.sceneState, L"夜景");
    EXPECT_EQ(added.preset, L"D:\\预设\\final.rps");
    EXPECT_EQ(columns(), 9);
    EXPECT_TRUE(checked());
    EXPECT_EQ(form.jobs().list().cell(2, 7), L"1,3,5-12");
    EXPECT_EQ(form.jobs().list().cell(1, 9), L"默认");

    Click(control(L"addJobButton"));
    for (const wchar_t* reset : {L"framesBox", L"sceneStateBox", L"presetBox"}) EXPECT_EQ(text(reset), L"默认");
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(mainwindow::IdMenuOptionalColumns, 0), 0);
    EXPECT_EQ(columns(), 6);
    EXPECT_FALSE(checked());
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);  // the list paints its six columns without asking for the hidden ones
}

TEST_F(JobDialogTest, AMissingRequiredFieldIsToldAndFocusedAndNothingIsAdded) {
    const wchar_t* required[] = {L"sceneBox", L"outputFolderBox", L"formatBox", L"outputNameBox"};
    for (int empty = 1; empty < 16; ++empty) {
        SCOPED_TRACE(empty);
        for (int i = 0; i < 4; ++i) win::SetText(field(required[i]), (empty >> i) & 1 ? L"" : L"x");
        fill(L"cameraBox", L"cam");
        platform.messages.clear();
        Click(field(L"okButton"));
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, L"请将带 * 号的选项补充完成！！");
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
        int last = 0;
        for (int i = 0; i < 4; ++i) last = (empty >> i) & 1 ? i : last;
        const HWND focus = GetFocus();
        EXPECT_TRUE(focus == field(required[last]) || GetParent(focus) == field(required[last]));
        EXPECT_EQ(text(L"cameraBox"), L"cam");
    }
    EXPECT_EQ(form.jobs().count(), 0);
    EXPECT_TRUE(IsWindowVisible(dialog().hwnd()));
}

TEST_F(JobDialogTest, SizeBoxesTakeDigitsAndBackspaceOnly) {
    test::Type(field(L"widthBox"), L"1a9");
    EXPECT_EQ(text(L"widthBox"), L"19");
    test::Type(field(L"heightBox"), L"7x8\b\x16-2");  // Ctrl+V arrives as character 22
    EXPECT_EQ(text(L"heightBox"), L"72");
}

TEST_F(JobDialogTest, TheFileAndFolderButtonsFillTheirFieldsAndACancelLeavesThem) {
    platform.openAnswer = {L"D:\\a\\Room.MAX"};
    Click(field(L"pickSceneButton"));
    ASSERT_EQ(platform.openRequests.size(), 1u);
    EXPECT_EQ(platform.openRequests[0],
              (OpenFileRequest{L"请选择文件", L"All Files (*.*)|*.*|Max Files(*.max)|*.max", 2, false}));
    EXPECT_EQ(text(L"sceneBox"), L"D:\\a\\Room.MAX");
    EXPECT_EQ(text(L"outputNameBox"), L"Room.MAX");
    platform.openAnswer = {L"D:\\a\\a.max.old.max"};
    Click(field(L"pickSceneButton"));
    EXPECT_EQ(text(L"outputNameBox"), L"a.old");
    platform.openAnswer = {};
    Click(field(L"pickSceneButton"));
    EXPECT_EQ(text(L"sceneBox"), L"D:\\a\\a.max.old.max");

    platform.folderAnswer = L"F:\\渲染";
    Click(field(L"outputFolderButton"));
    EXPECT_EQ(text(L"outputFolderBox"), L"F:\\渲染");
    platform.folderAnswer = L"";
    Click(field(L"outputFolderButton"));
    EXPECT_EQ(text(L"outputFolderBox"), L"F:\\渲染");
    EXPECT_EQ(platform.folderTitles, (std::vector<std::wstring>{L"请选择文件夹", L"请选择文件夹"}));
}

TEST_F(JobDialogTest, CancelAndEscapeHideEverythingAsItWasAndTheCloseBoxStartsAfresh) {
    fill(L"sceneBox", L"D:\\a\\room.max");
    fill(L"outputFolderBox", L"E:\\elsewhere");
    win::SetText(field(L"formatBox"), L".exr");
    Click(field(L"cancelButton"));
    EXPECT_FALSE(IsWindowVisible(dialog().hwnd()));
    Click(control(L"addJobButton"));
    EXPECT_EQ(text(L"sceneBox"), L"D:\\a\\room.max");
    SetFocus(field(L"cameraBox"));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(IsWindowVisible(dialog().hwnd()));
    Click(control(L"addJobButton"));
    EXPECT_EQ(text(L"outputFolderBox"), L"E:\\elsewhere");
    EXPECT_EQ(form.jobs().count(), 0);

    SendMessageW(dialog().hwnd(), WM_CLOSE, 0, 0);
    test::PumpMessages();
    EXPECT_EQ(form.jobDialog(), nullptr);
    Click(control(L"addJobButton"));
    ASSERT_NE(form.jobDialog(), nullptr);
    EXPECT_EQ(text(L"sceneBox"), L"");
    EXPECT_EQ(text(L"outputFolderBox"), L"C:\\Tools\\Ravolen\\renderOutput");
    EXPECT_EQ(text(L"formatBox"), L".tga");
}

TEST_F(JobDialogTest, TheMainWindowStaysUsableAndTakesTheDialogAlongWhenItCloses) {
    Click(control(L"addJobButton"));  // shown already: only brought forward
    EXPECT_TRUE(IsWindowVisible(dialog().hwnd()));
    platform.openAnswer = {L"D:\\s\\a.max"};
    Click(control(L"quickAddButton"));
    EXPECT_EQ(form.jobs().count(), 1);

    const HWND editor = dialog().hwnd();
    DestroyWindow(form.hwnd());
    test::PumpMessages();
    EXPECT_FALSE(IsWindow(editor));
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// What the program holds of its own, and every window of this thread with its children.
struct Holdings {
    int fonts, brushes, bitmaps, windows, subclasses, reflections, threadWindows;
    bool operator==(const Holdings&) const = default;
};

BOOL CALLBACK CountWindow(HWND hwnd, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(hwnd, [](HWND, LPARAM n) { return ++*reinterpret_cast<int*>(n), TRUE; }, count);
    return TRUE;
}

Holdings Held() {
    int threadWindows = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&threadWindows));
    return {LiveObjects::Count(LiveKind::Font),     LiveObjects::Count(LiveKind::Brush),
            LiveObjects::Count(LiveKind::Bitmap),   LiveObjects::Count(LiveKind::Window),
            LiveObjects::Count(LiveKind::Subclass), LiveObjects::Count(LiveKind::Reflection),
            threadWindows};
}

void PrintTo(const Holdings& h, std::ostream* out) {
    *out << "fonts " << h.fonts << ", brushes " << h.brushes << ", bitmaps " << h.bitmaps
         << ", windows " << h.windows << ", subclasses " << h.subclasses << ", reflections "
         << h.reflections << ", windows of the thread " << h.threadWindows;
}

using JobEditorLifetimeTest = MainWindowTest;

// Opened with "+" and closed with its close box, 500 times: each time the dialog's fonts, key
// filters and windows are given back as its window goes, not only when a later "+" replaces it.
TEST_F(JobEditorLifetimeTest, OpeningAndClosingTheEditorLeavesNothingBehind) {
    test::PumpMessages();
    const Holdings before = Held();
    for (int cycle = 1; cycle <= 500; ++cycle) {
        Click(control(L"addJobButton"));
        ASSERT_NE(form.jobDialog(), nullptr);
        test::PumpMessages();
        if (cycle == 1) {
            const Holdings open = Held();
            EXPECT_EQ(open.fonts, before.fonts + 3);  // 9, 10.5 and 14.25 pt
            EXPECT_EQ(open.windows, before.windows + 1);
            EXPECT_EQ(open.subclasses, before.subclasses + 2);  // the two size boxes
            EXPECT_GT(open.threadWindows, before.threadWindows + 27);
        }
        SendMessageW(form.jobDialog()->hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
        test::PumpMessages();
        ASSERT_EQ(form.jobDialog(), nullptr);
        if (cycle == 1 || cycle == 500) {
            ASSERT_EQ(Held(), before) << "after cycle " << cycle;
        }
    }
}

}  // namespace
}  // namespace ravolen
