#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>

#include "app/MainWindowFixture.h"
#include "app/ResultsDialog.h"
#include "win/ListView.h"
#include "jobs/QuickAdd.h"
#include "jobs/Workbook.h"
#include "jobs/Zip.h"
#include "jobs/JobListFile.h"
#include "support/Fixtures.h"
#include "win/Controls.h"

namespace ravolen {
namespace {

using test::Click;

// A drop from Explorer: the same memory block WM_DROPFILES carries.
HDROP DropOf(const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    names += L'\0';
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(files + 1));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 128, MF_BYPOSITION);
    return text;
}

class MainWindowNightTest : public MainWindowTest {
protected:
    void drop(const std::vector<std::wstring>& paths) {
        SendMessageW(form.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(paths)), 0);
        test::PumpMessages();
    }
    void menu(int id) {
        SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        test::PumpMessages();
    }
    int menuId(const wchar_t* text) const {
        for (HMENU bar = GetMenu(form.hwnd()); int popup : {0, 1, 2}) {
            const HMENU items = GetSubMenu(bar, popup);
            for (int i = 0; i < GetMenuItemCount(items); ++i) {
                if (MenuText(items, i) == text) return static_cast<int>(GetMenuItemID(items, i));
            }
        }
        return -1;
    }
};

TEST_F(MainWindowNightTest, TheMenuBarSitsAboveTheUnchangedWindow) {
    const HMENU bar = GetMenu(form.hwnd());
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(MenuText(bar, 0), L"文件(&F)");
    EXPECT_EQ(MenuText(bar, 1), L"编辑(&E)");
    EXPECT_EQ(MenuText(bar, 2), L"渲染(&R)");
    const HMENU file = GetSubMenu(bar, 0);
    EXPECT_EQ(MenuText(file, 0), L"打开任务列表(&O)…\tCtrl+O");
    EXPECT_EQ(MenuText(file, 1), L"保存任务列表(&S)…\tCtrl+S");
    EXPECT_EQ(MenuText(file, 3), L"退出(&X)");
    // 编辑's commands on rows in the order keyboard users and automation tools know, each with its
    // own mnemonic, then the optional columns' choice.
    const HMENU edit = GetSubMenu(bar, 1);
    const std::vector<std::wstring> expected{
        L"撤销(&U)\tCtrl+Z", L"重做(&R)\tCtrl+Y", L"", L"剪切(&T)\tCtrl+X", L"复制(&C)\tCtrl+C", L"粘贴(&P)\tCtrl+V",
        L"删除(&L)\tDel", L"全选(&A)\tCtrl+A", L"", L"复制为新任务(&D)\tCtrl+D", L"上移(&K)\tAlt+↑",
        L"下移(&J)\tAlt+↓", L"移到最前(&F)", L"移到最后(&B)", L"", L"编辑任务(&E)…\tEnter", L"勾选所选(&G)",
        L"取消勾选所选(&N)", L"在资源管理器中显示场景(&S)", L"打开出图文件夹(&O)", L"",
        L"显示帧、场景状态和渲染预设列(&M)"};
    ASSERT_EQ(GetMenuItemCount(edit), static_cast<int>(expected.size()));
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(MenuText(edit, static_cast<int>(k)), expected[k]) << k;
        EXPECT_EQ((GetMenuState(edit, static_cast<UINT>(k), MF_BYPOSITION) & MF_SEPARATOR) != 0, expected[k].empty());
    }
    EXPECT_TRUE(GetMenuState(edit, 0, MF_BYPOSITION) & MF_GRAYED);  // nothing to undo yet
    EXPECT_FALSE(GetMenuState(edit, static_cast<UINT>(expected.size() - 1), MF_BYPOSITION) & MF_CHECKED);
    const HMENU render = GetSubMenu(bar, 2);
    EXPECT_EQ(MenuText(render, 0), L"渲染结果(&V)…");
    EXPECT_EQ(MenuText(render, 1), L"3dsMax版本");
    const HMENU versions = GetSubMenu(render, 1);
    ASSERT_EQ(GetMenuItemCount(versions), 1);
    EXPECT_EQ(MenuText(versions, 0), L"未找到3dsMax");
    EXPECT_TRUE(GetMenuState(versions, 0, MF_BYPOSITION) & MF_GRAYED);
    RECT client{};
    GetClientRect(form.hwnd(), &client);
    EXPECT_NEAR(client.bottom, px(6045), 1);
    EXPECT_EQ(win::WindowText(control(L"installFolderBox")), L"D:\\Program Files\\Autodesk\\3ds Max 2012");
}

TEST(MainWindowInstallations, TheVersionMenuListsTheInstallationsAndPutsTheChosenFolderInPlace) {
    test::FakePlatform platform;
    platform.installations = {{2024, L"E:\\Autodesk\\3ds Max 2024"}, {2012, L"D:\\Max 2012"}};
    MainWindow form(platform);
    ASSERT_EQ(form.create(), MainWindow::Startup::Ready);
    const HMENU versions = GetSubMenu(GetSubMenu(GetMenu(form.hwnd()), 2), 1);
    ASSERT_EQ(GetMenuItemCount(versions), 2);
    EXPECT_EQ(MenuText(versions, 0), L"3ds Max 2024");
    EXPECT_EQ(MenuText(versions, 1), L"3ds Max 2012");
    EXPECT_EQ(win::WindowText(form.control(L"installFolderBox")), L"D:\\Program Files\\Autodesk\\3ds Max 2012");
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(versions, 1), 0), 0);
    EXPECT_EQ(win::WindowText(form.control(L"installFolderBox")), L"D:\\Max 2012");

    // The box's own folder comes first, marked, once; listed as the menu opens.
    const auto opened = [&] {
        SendMessageW(form.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(versions), 1);
        std::vector<std::wstring> texts;
        for (int i = 0; i < GetMenuItemCount(versions); ++i) texts.push_back(MenuText(versions, i));
        return texts;
    };
    EXPECT_EQ(opened(), (std::vector<std::wstring>{L"当前：D:\\Max 2012", L"3ds Max 2024"}));
    win::SetText(form.control(L"installFolderBox"), L"F:\\A & B\\");
    EXPECT_EQ(opened(), (std::vector<std::wstring>{L"当前：F:\\A && B", L"3ds Max 2024", L"3ds Max 2012"}));
    SendMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(versions, 2), 0), 0);
    EXPECT_EQ(win::WindowText(form.control(L"installFolderBox")), L"D:\\Max 2012");
    platform.missingFiles.insert(L"D:\\Max 2012\\3dsmaxcmd.exe");
    EXPECT_EQ(opened(), (std::vector<std::wstring>{L"3ds Max 2024", L"3ds Max 2012"}));
}

TEST_F(MainWindowNightTest, DroppedScenesAndFoldersAddWhatQuickAddWouldAndSayWhatWasSkipped) {
    platform.folderContents[L"E:\\镜头"] = {{L"b10.max", false}, {L"B2.MAX", false},
                                             {L"notes.txt", false}, {L"old", true},
                                             {L"a.max", false}};
    win::SetText(control(L"unifiedFolderBox"), L"F:\\out");
    // Explorer drops only on a window that says it takes files; Wine delivers a sent drop anyway.
    EXPECT_TRUE(GetWindowLongPtrW(form.hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    drop({L"E:\\z.max", L"E:\\readme.txt", L"E:\\镜头", L"E:\\photo.JPG"});
    const std::vector<std::wstring> scenes = {L"E:\\z.max", L"E:\\镜头\\a.max", L"E:\\镜头\\B2.MAX",
                                              L"E:\\镜头\\b10.max"};
    ASSERT_EQ(form.jobs().count(), 4);
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(form.jobs().job(row), QuickAddJobs({scenes[row - 1]}, L"F:\\out", L".tga")[0]);
    }
    EXPECT_TRUE(form.jobs().list().selected(4));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, L"已跳过2个不是Max文件的项目。");

    platform.messages.clear();
    Click(control(L"addJobButton"));  // the job editor open beside the window
    ASSERT_NE(form.jobDialog(), nullptr);
    drop({L"E:\\only.max"});
    EXPECT_EQ(form.jobs().count(), 5);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(MainWindowNightTest, AJobListRoundTripsAndABrokenOneAddsNothing) {
    const std::vector<RenderJob> awkward = {
        {L"E:\\场景, 最终\\lobby.max", L"默认", L"F:\\out \"final\"", L"a\r\nb.tga", L"默认", L"默认"},
        {L"  both ends  ", L"\tCam\t", L"", L"x,y", L"1920", L"渲染"},
    };
    for (const RenderJob& job : awkward) form.jobs().append(job);
    platform.saveAnswer = L"C:\\lists\\night.csv";
    menu(menuId(L"保存任务列表(&S)…\tCtrl+S"));
    ASSERT_EQ(platform.saveRequests.size(), 1u);
    // An existing file is replaced after 是 (the fake's files all exist unless told otherwise).
    EXPECT_EQ(platform.questions, std::vector<std::wstring>{L"文件已存在：C:\\lists\\night.csv\n要替换它吗？"});
    const std::string saved = platform.files.at(L"C:\\lists\\night.csv");
    EXPECT_EQ(saved, SaveJobList(awkward));

    Click(control(L"clearButton"));
    platform.openAnswer = {L"C:\\lists\\night.csv"};
    menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
    EXPECT_EQ(form.jobs().all(), awkward);
    menu(menuId(L"保存任务列表(&S)…\tCtrl+S"));
    EXPECT_EQ(platform.files.at(L"C:\\lists\\night.csv"), saved);

    platform.files[L"C:\\lists\\broken.csv"] = "Max文件,相机,出图路径,出图文件名,长,宽\r\na,b,c,d,e,f\r\na,b,c\r\n";
    platform.openAnswer = {L"C:\\lists\\broken.csv"};
    menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
    EXPECT_EQ(form.jobs().count(), 2);
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_EQ(platform.messages.back().text,
              L"无法读取任务列表：C:\\lists\\broken.csv（第3行）有3列，应为6列");

    platform.failReplace = true;
    menu(menuId(L"保存任务列表(&S)…\tCtrl+S"));
    EXPECT_EQ(platform.messages.back().text, L"无法保存任务列表：C:\\lists\\night.csv");
}

TEST_F(MainWindowNightTest, AJobListSavesAsTheChosenFormatAndAWorkbookOpensAsItWasSaved) {
    const std::vector<RenderJob> rows = {
        {L"D:\\场景\\大堂,夜景.max", L"0012", L"D:\\出图", L"1.10", L"0800", L"  640"},
        {L" E:\\a & <b>.max ", L"3-4", L"\"quoted\" 'x'", L"1e3\x01.tga", L"默认", L"默认"},
    };
    for (const RenderJob& job : rows) form.jobs().append(job);
    const auto save = [&](const wchar_t* typed, int filter) {
        platform.saveAnswer = typed;
        platform.saveFilterAnswer = filter;
        menu(menuId(L"保存任务列表(&S)…\tCtrl+S"));
    };
    save(L"C:\\lists\\night.xlsx", 1);
    EXPECT_EQ(platform.files.at(L"C:\\lists\\night.xlsx"), SaveJobWorkbook(rows));
    ASSERT_EQ(platform.saveRequests.size(), 1u);
    EXPECT_EQ(platform.saveRequests[0].filter, L"任务列表工作簿 (*.xlsx)|*.xlsx|任务列表 CSV (*.csv)|*.csv");
    // The extension typed wins over the type chosen, whatever the system knows of it (the shell's
    // dialog would have made j.csv.xlsx); a name with neither gets the chosen type's.
    struct Case {
        const wchar_t* typed;
        int filter;
        const wchar_t* written;
        bool workbook;
    };
    for (const Case& c : {Case{L"D:\\lists\\j.csv", 1, L"D:\\lists\\j.csv", false},
                          Case{L"C:\\lists\\night.CSV", 1, L"C:\\lists\\night.CSV", false},
                          Case{L"C:\\lists\\night.XLSX", 2, L"C:\\lists\\night.XLSX", true},
                          Case{L"C:\\lists\\night", 2, L"C:\\lists\\night.csv", false},
                          Case{L"C:\\lists\\night.list", 1, L"C:\\lists\\night.list.xlsx", true}}) {
        SCOPED_TRACE(test::Utf8(c.typed));
        platform.files.clear();
        platform.questions.clear();
        platform.missingFiles = {c.written};
        save(c.typed, c.filter);
        EXPECT_EQ(platform.files, (std::map<std::wstring, std::string>{
                                      {c.written, c.workbook ? SaveJobWorkbook(rows) : SaveJobList(rows)}}));
        EXPECT_TRUE(platform.questions.empty());
    }
    // A file that is there is asked about, by the name written; 否 writes nothing.
    platform.files.clear();
    platform.missingFiles.clear();
    platform.answer = false;
    save(L"C:\\lists\\night", 1);
    EXPECT_EQ(platform.questions, std::vector<std::wstring>{L"文件已存在：C:\\lists\\night.xlsx\n要替换它吗？"});
    EXPECT_TRUE(platform.files.empty());
    platform.answer = true;
    save(L"C:\\lists\\night", 1);
    EXPECT_EQ(platform.files.at(L"C:\\lists\\night.xlsx"), SaveJobWorkbook(rows));
    EXPECT_TRUE(platform.messages.empty());

    Click(control(L"clearButton"));
    ASSERT_EQ(form.jobs().count(), 0);
    platform.openAnswer = {L"C:\\lists\\night.xlsx"};
    menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
    ASSERT_FALSE(platform.openRequests.empty());
    EXPECT_EQ(platform.openRequests.back().filter,
              L"任务列表 (*.xlsx;*.csv)|*.xlsx;*.csv|任务列表工作簿 (*.xlsx)|*.xlsx|任务列表 CSV (*.csv)|*.csv|"
              L"All Files (*.*)|*.*");
    EXPECT_EQ(form.jobs().all(), rows);
    // A workbook named otherwise is known by its bytes.
    platform.files[L"C:\\lists\\night.list"] = SaveJobWorkbook(rows);
    platform.openAnswer = {L"C:\\lists\\night.list"};
    menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
    EXPECT_EQ(form.jobs().count(), 4);
    EXPECT_TRUE(platform.messages.empty());

    // A workbook a spreadsheet program saved, numbers and all.
    if (const auto fixture = test::SpreadsheetFixture("job-list-general.xlsx")) {
        const auto expected = OpenJobList(test::SpreadsheetFixture("job-list-general.expected.csv").value());
        ASSERT_TRUE(std::holds_alternative<std::vector<RenderJob>>(expected));
        Click(control(L"clearButton"));
        platform.files[L"C:\\lists\\calc.xlsx"] = *fixture;
        platform.openAnswer = {L"C:\\lists\\calc.xlsx"};
        menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
        EXPECT_EQ(form.jobs().all(), std::get<std::vector<RenderJob>>(expected));
        EXPECT_TRUE(platform.messages.empty());
    } else {
        ADD_FAILURE() << "the spreadsheet fixtures are not at " << test::SpreadsheetFixtures().string();
    }
}

TEST_F(MainWindowNightTest, ABrokenOrHostileWorkbookSaysWhyAndAddsNothing) {
    form.jobs().append({L"E:\\keep.max", L"默认", L"F:\\out", L"keep.tga", L"默认", L"默认"});
    const std::string good = SaveJobWorkbook(form.jobs().all());
    const auto open = [&](const std::wstring& path, std::string bytes) {
        platform.files[path] = std::move(bytes);
        platform.openAnswer = {path};
        platform.messages.clear();
        menu(menuId(L"打开任务列表(&O)…\tCtrl+O"));
        EXPECT_EQ(form.jobs().count(), 1) << path;
        return platform.messages.empty() ? std::wstring() : platform.messages.back().text;
    };
    EXPECT_EQ(open(L"C:\\lists\\half.xlsx", good.substr(0, good.size() / 2)),
              L"无法读取任务列表：C:\\lists\\half.xlsx（不是有效的xlsx工作簿，压缩包已损坏）");
    EXPECT_EQ(open(L"C:\\lists\\text.xlsx", "Max文件,相机,出图路径,出图文件名,长,宽\r\n"),
              L"无法读取任务列表：C:\\lists\\text.xlsx（不是有效的xlsx工作簿，压缩包已损坏）");
    const std::array<zip::Part, 1> bomb{{{"xl/worksheets/sheet1.xml", std::string(zip::MaxUnpackedBytes + 1, ' ')}}};
    EXPECT_EQ(open(L"C:\\lists\\bomb.xlsx", zip::Write(bomb)),
              L"无法读取任务列表：C:\\lists\\bomb.xlsx（工作簿解压后超过64MB）");
    // A row that is not a job's: the sheet's row number.
    std::vector<RenderJob> rows(3, form.jobs().job(1));
    const std::string sevenColumns = SaveJobWorkbook(rows);
    auto package = std::get<zip::Package>(zip::Package::Open(sevenColumns));
    std::string sheet = std::get<std::string>(package.read("xl/worksheets/sheet1.xml"));
    sheet.replace(sheet.find("</row><row r=\"4\">"), 6, "<c r=\"G3\" t=\"inlineStr\"><is><t>x</t></is></c></row>");
    std::vector<zip::Part> parts;
    for (const char* name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/styles.xml", "xl/sharedStrings.xml"}) {
        parts.push_back({name, std::get<std::string>(package.read(name))});
    }
    parts.push_back({"xl/worksheets/sheet1.xml", sheet});
    EXPECT_EQ(open(L"C:\\lists\\wide.xlsx", zip::Write(parts)),
              L"无法读取任务列表：C:\\lists\\wide.xlsx（第3行）有7列，应为6列");
}

TEST_F(MainWindowNightTest, TheResultsSayWhatRenderedAndTickExactlyThat) {
    platform.folderContents[L"F:\\out"] = {{L"lobby.tga", false, 2048, 0},
                                              {L"hall0000.jpg", false, 10, 0},
                                              {L"hall0001.jpg", false, 10, 0}};
    form.jobs().append({L"E:\\lobby.max", L"默认", L"F:\\out", L"lobby.tga", L"默认", L"默认"});
    form.jobs().append({L"E:\\hall.max", L"默认", L"F:\\out", L"hall.jpg", L"默认", L"默认"});
    form.jobs().append({L"E:\\atrium.max", L"默认", L"F:\\out", L"atrium.tga", L"默认", L"默认"});
    form.jobs().list().setChecked(3, true);
    menu(menuId(L"渲染结果(&V)…"));
    ResultsDialog* results = form.resultsDialog();
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(win::WindowText(results->hwnd()), L"渲染结果");
    const win::ListView shown(results->control(L"List"));
    ASSERT_EQ(shown.rowCount(), 3);
    EXPECT_EQ(shown.cell(1, 2), L"F:\\out\\lobby.tga");
    EXPECT_EQ(shown.cell(1, 3), L"已完成");
    EXPECT_EQ(shown.cell(1, 4), L"2.0 KB");
    EXPECT_EQ(shown.cell(2, 3), L"已完成（2帧）");
    EXPECT_EQ(shown.cell(3, 3), L"未完成");

    Click(results->control(L"Tick"));
    EXPECT_TRUE(form.jobs().list().checked(1));
    EXPECT_TRUE(form.jobs().list().checked(2));
    EXPECT_FALSE(form.jobs().list().checked(3));
    Click(control(L"removeTickedButton"));  // "-" leaves the unfinished one
    ASSERT_EQ(form.jobs().count(), 1);
    EXPECT_EQ(form.jobs().job(1).scene, L"E:\\atrium.max");

    platform.folderContents[L"F:\\out"].push_back({L"atrium.tga", false, 1, 0});
    Click(results->control(L"Refresh"));
    ASSERT_EQ(shown.rowCount(), 1);
    EXPECT_EQ(shown.cell(1, 3), L"已完成");
}

TEST_F(MainWindowNightTest, ControlSSavesFromTheKeyboard) {
    form.jobs().append({L"E:\\a.max", L"默认", L"F:\\o", L"a.tga", L"默认", L"默认"});
    platform.saveAnswer = L"C:\\lists\\keys.csv";
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SetFocus(control(L"installFolderBox"));
    MSG press{GetFocus(), WM_KEYDOWN, 'S', 1, 0, {}};
    win::DispatchLoopMessage(press);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    test::PumpMessages();
    EXPECT_EQ(platform.saveRequests.size(), 1u);
    EXPECT_TRUE(platform.files.count(L"C:\\lists\\keys.csv"));
}

}  // namespace
}  // namespace ravolen
