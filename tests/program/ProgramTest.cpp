#include <windows.h>

#include <cstdio>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <initializer_list>

#include "session/Session.h"

#include <string>
#include <vector>

#include "base/Handles.h"
#include "platform/Win32Platform.h"
#include "render/NightRecord.h"
#include "support/RealPlatform.h"
#include "support/WindowTest.h"

namespace ravolen {
namespace {

std::wstring ProgramPath() {
    const std::string utf8 = RAVOLEN_EXE;
    std::wstring path(utf8.size(), L'\0');
    path.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), path.data(),
        static_cast<int>(path.size()))));
    // Built on Linux, the path is a Unix one, which Wine shows on drive Z:.
    if (path.starts_with(L"/")) path = L"Z:" + path;
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    return path;
}

// This environment with LOCALAPPDATA naming `folder`, as a CreateProcessW block.
std::wstring EnvironmentWith(const std::wstring& folder) {
    std::wstring block;
    const wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"LOCALAPPDATA=", 13) != 0) block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(const_cast<wchar_t*>(own));
    block.append(L"LOCALAPPDATA=" + folder).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// A user's own data folder for one test, so that no run sees what another saved.
std::wstring FreshDataFolder() {
    static int made = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"ravolen-data-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made);
    test::RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// A copy of the real program, started as Explorer starts it; ended when the test is over. Its
// %LOCALAPPDATA% is `dataFolder`.
class Program {
public:
    Program() : Program(FreshDataFolder()) { ownedData_ = dataFolder_; }
    explicit Program(std::wstring dataFolder, const std::wstring& arguments = {})
        : dataFolder_(std::move(dataFolder)) {
        std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        std::wstring environment = EnvironmentWith(dataFolder_);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                  CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                                  &info);
        if (!started_) return;
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
    ~Program() {
        if (running()) TerminateProcess(process_.get(), 1);
        if (!ownedData_.empty()) {
            exitCode(5000);
            test::RemoveTree(ownedData_);
        }
    }

    bool started() const { return started_; }
    // Ends it as a crash or Task Manager would: nothing of its own runs afterwards.
    void kill() const {
        TerminateProcess(process_.get(), 9);
        WaitForSingleObject(process_.get(), 30000);
    }
    bool running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once it ended within the time, or nothing.
    std::optional<DWORD> exitCode(DWORD milliseconds = 30000) const {
        if (WaitForSingleObject(process_.get(), milliseconds) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

    // Its visible top-level window of that class, waiting up to 30 s for it; null if none came.
    HWND waitForWindow(const wchar_t* className, DWORD milliseconds = 30000) const {
        for (DWORD waited = 0;; waited += 20) {
            if (const HWND found = window(className)) return found;
            if (waited >= milliseconds) return nullptr;
            Sleep(20);
        }
    }
    HWND window(const wchar_t* className) const {
        struct Search {
            DWORD id;
            const wchar_t* className;
            HWND found;
        } search{id_, className, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM context) {
                auto& s = *reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                GetWindowThreadProcessId(hwnd, &owner);
                wchar_t name[64] = {};
                GetClassNameW(hwnd, name, 64);
                if (owner != s.id || _wcsicmp(name, s.className) != 0 || !IsWindowVisible(hwnd)) {
                    return TRUE;
                }
                s.found = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

private:
    std::wstring dataFolder_;
    std::wstring ownedData_;
    bool started_ = false;
    KernelHandle process_;
    DWORD id_ = 0;
};

// A control's text, also of another process (GetWindowText does not ask other processes).
std::wstring ControlText(HWND control) {
    wchar_t text[1024] = {};
    SendMessageW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

// The child of `parent` of that class whose text is `text`, or null.
HWND FindControl(HWND parent, const wchar_t* className, std::wstring_view text) {
    struct Search {
        const wchar_t* className;
        std::wstring_view text;
        HWND found;
    } search{className, text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM context) {
            auto& s = *reinterpret_cast<Search*>(context);
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (_wcsicmp(name, s.className) != 0 || ControlText(hwnd) != s.text) return TRUE;
            s.found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for the program's dialog box or message box to close.
bool WaitUntilGone(HWND window) {
    for (int i = 0; i < 1500 && IsWindow(window) && IsWindowVisible(window); ++i) Sleep(20);
    return !IsWindow(window) || !IsWindowVisible(window);
}

std::wstring MessageText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(child, name, 32);
        wchar_t text[256] = {};
        if (_wcsicmp(name, L"Static") == 0 && GetWindowTextW(child, text, 256) > 0) return text;
    }
    return {};
}

// 快速添加 through the real open dialog, its file name box given `typed` ("a" "b" ...); true once
// the dialog took them and closed.
bool QuickAdd(const Program& program, HWND window, const std::wstring& typed) {
    PostMessageW(FindControl(window, L"Button", L"快速添加"), BM_CLICK, 0, 0);
    const HWND open = program.waitForWindow(L"#32770");
    if (!open) return false;
    Sleep(300);  // the dialog fills its controls after it shows
    SendMessageW(GetDlgItem(open, 1152), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(open, IDOK)));
    return WaitUntilGone(open);
}

// Puts the install folder into its box and adds the typed scenes through the real open dialog of
// 快速添加, as a user does.
testing::AssertionResult FillTheTable(const Program& program, HWND window,
                                      const std::wstring& install, const std::wstring& typed) {
    const HWND installBox = FindControl(window, L"Edit", L"D:\\Program Files\\Autodesk\\3ds Max 2012");
    if (!installBox) return testing::AssertionFailure() << "no install folder box";
    SendMessageW(installBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(install.c_str()));
    if (!QuickAdd(program, window, typed)) return testing::AssertionFailure() << "the open dialog failed";
    return testing::AssertionSuccess();
}

// Fills the table in the program's window, clicks 渲  染 and waits until the renderer was called
// once (its call log is `calls`); the started message is left open.
testing::AssertionResult RenderUntilTheFirstCall(const Program& program, const std::wstring& install,
                                                 const std::wstring& typed, const std::wstring& calls) {
    if (!program.started()) return testing::AssertionFailure() << "the program did not start";
    const HWND window = program.waitForWindow(L"RavolenMainWindow");
    if (!window) return testing::AssertionFailure() << "no main window";
    if (auto filled = FillTheTable(program, window, install, typed); !filled) return filled;
    PostMessageW(FindControl(window, L"Button", L"渲  染"), BM_CLICK, 0, 0);
    if (!program.waitForWindow(L"#32770")) return testing::AssertionFailure() << "nothing was told";
    if (!test::WaitFor([&] { return test::Exists(calls) && test::ReadCalls(calls).size() == 1; })) {
        return testing::AssertionFailure() << "the renderer was not called";
    }
    return testing::AssertionSuccess();
}

// Empty scene files of these names in `temp`, as the open dialog's name box takes them: each
// path quoted, one blank after each.
std::wstring EmptyScenes(const test::TempFolder& temp, std::initializer_list<const wchar_t*> names) {
    std::wstring typed;
    for (const wchar_t* name : names) {
        const std::wstring path = temp.path() + L"\\" + name;
        test::WriteWholeFile(path, "");
        typed += L"\"" + path + L"\" ";
    }
    return typed;
}

// A stand-in 3ds Max in a folder "3ds Max" under `temp`, whose renderer waits until the file
// 3dsmaxcmd-hold beside it is deleted; empty when it could not be set up.
std::wstring HeldRendererIn(const test::TempFolder& temp) {
    const std::wstring install = temp.path() + L"\\3ds Max";
    if (!CreateDirectoryW(install.c_str(), nullptr) ||
        !CopyFileW(test::WindowsPath(RAVOLEN_STANDIN).c_str(), (install + L"\\3dsmaxcmd.exe").c_str(),
                   FALSE)) {
        return {};
    }
    CloseHandle(CreateFileW((install + L"\\3dsmaxcmd-hold").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr));
    return install;
}

TEST(Program, ASecondCopySaysTheProgramRunsAndEndsWithoutTouchingTheFirst) {
    Program first;
    ASSERT_TRUE(first.started());
    const HWND window = first.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);

    Program second;
    ASSERT_TRUE(second.started());
    const HWND box = second.waitForWindow(L"#32770");
    ASSERT_NE(box, nullptr);
    wchar_t title[64] = {};
    GetWindowTextW(box, title, 64);
    EXPECT_STREQ(title, L"Ravolen");
    EXPECT_EQ(MessageText(box), L"该程序已经运行！！");
    EXPECT_EQ(second.window(L"RavolenMainWindow"), nullptr);

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    EXPECT_EQ(second.window(L"RavolenMainWindow"), nullptr);

    EXPECT_TRUE(first.running());
    EXPECT_TRUE(IsWindowVisible(window));

    // Its close box ends the program.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.exitCode(), std::optional<DWORD>(0));
}

// A copy running as administrator made the mutex with a security of its own: a normal copy may
// not open it, and that is a copy that runs, not none. Here the test's own process stands in for
// the elevated copy, with a mutex that grants nothing.
TEST(Program, ACopyThatMayNotOpenTheRunningCopysMutexSaysTheProgramRuns) {
    test::ClosedSecurity closed;
    const KernelHandle elevated(CreateMutexW(&closed.attributes, FALSE, Win32Platform::InstanceMutexName));
    ASSERT_TRUE(elevated);
    ASSERT_FALSE(KernelHandle(CreateMutexW(nullptr, FALSE, Win32Platform::InstanceMutexName)));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    Program second;
    ASSERT_TRUE(second.started());
    const HWND box = second.waitForWindow(L"#32770");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageText(box), L"该程序已经运行！！");
    EXPECT_EQ(second.window(L"RavolenMainWindow"), nullptr);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    EXPECT_EQ(second.window(L"RavolenMainWindow"), nullptr);
}

// The whole road as a user takes it, from outside the program: scenes added through the real
// open dialog, a render started, the program ended while the renderer works.
TEST(Program, ExitLeavesTheRenderRunningAndEndsWithCodeZero) {
    const test::TempFolder temp(L"ravolen-exit");
    const std::wstring install = HeldRendererIn(temp);
    ASSERT_FALSE(install.empty());
    const std::wstring hold = install + L"\\3dsmaxcmd-hold";
    const std::wstring typed = EmptyScenes(temp, {L"first.max", L"second.max"});

    Program program;
    ASSERT_TRUE(program.started());
    const HWND window = program.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(FillTheTable(program, window, install, typed));

    PostMessageW(FindControl(window, L"Button", L"渲  染"), BM_CLICK, 0, 0);
    const HWND told = program.waitForWindow(L"#32770");
    ASSERT_NE(told, nullptr);
    EXPECT_EQ(MessageText(told), L"所有渲染任务已经开始，你可以回去睡大觉了。。");
    const std::wstring log = install + L"\\3dsmaxcmd-calls.log";
    ASSERT_TRUE(test::WaitFor([&] { return test::Exists(log) && test::ReadCalls(log).size() == 1; }));
    PostMessageW(told, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntilGone(told));

    PostMessageW(FindControl(window, L"Button", L"退  出"), BM_CLICK, 0, 0);
    EXPECT_EQ(program.exitCode(), std::optional<DWORD>(0));

    DeleteFileW(hold.c_str());  // the renderer finishes the first scene...
    EXPECT_TRUE(test::WaitFor([&] { return test::ReadCalls(log).size() == 2; }))
        << "the script did not go on to the next job";
    Win32Platform platform;
    EXPECT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    const auto calls = test::ReadCalls(log);
    EXPECT_EQ(calls.at(1).at(0), temp.path() + L"\\second.max");
    const std::wstring exe = ProgramPath();
    const std::wstring programFolder = exe.substr(0, exe.find_last_of(L'\\'));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}

// Ended from outside a second after the last change, as a crash or a power cut would end it, the
// program shows the same rows and settings at its next start.
TEST(Program, AKilledProgramStartsAgainWithItsRowsAndSettings) {
    const test::TempFolder temp(L"ravolen-killed");
    const std::wstring data = temp.path() + L"\\LocalAppData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    const std::wstring typed = EmptyScenes(temp, {L"夜景 1.max", L"lobby.max"});
    const std::wstring install = L"E:\\Autodesk\\3ds Max 2024";
    const std::wstring output = L"F:\\渲染\\夜景";
    {
        Program program(data);
        ASSERT_TRUE(program.started());
        const HWND window = program.waitForWindow(L"RavolenMainWindow");
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QuickAdd(program, window, typed));
        const HWND installBox =
            FindControl(window, L"Edit", L"D:\\Program Files\\Autodesk\\3ds Max 2012");
        ASSERT_NE(installBox, nullptr);
        const std::wstring exe = ProgramPath();
        const HWND outputBox =
            FindControl(window, L"Edit", exe.substr(0, exe.find_last_of(L'\\')) + L"\\renderOutput");
        ASSERT_NE(outputBox, nullptr);
        SendMessageW(installBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(install.c_str()));
        SendMessageW(outputBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(output.c_str()));  // the last change
        Sleep(1000);
        program.kill();
        ASSERT_EQ(program.exitCode(), std::optional<DWORD>(9));
    }
    Program again(data);
    ASSERT_TRUE(again.started());
    const HWND window = again.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);
    EXPECT_NE(FindControl(window, L"Edit", install), nullptr);
    EXPECT_NE(FindControl(window, L"Edit", output), nullptr);
    const HWND list = FindControl(window, WC_LISTVIEWW, L"");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    // The rows themselves, as the session file holds them.
    const std::string rows = test::ReadFile(data + L"\\Ravolen\\session.csv");
    EXPECT_NE(rows.find(test::Utf8(temp.path() + L"\\夜景 1.max")), std::string::npos);
    EXPECT_NE(rows.find("lobby.max"), std::string::npos);
    EXPECT_EQ(again.window(L"#32770"), nullptr) << "nothing was damaged";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(again.exitCode(), std::optional<DWORD>(0));
}

// Rows that use the optional columns, as the session holds them: each row's renderer receives
// exactly the switches its cells spell, after its output, and a row that leaves them at 默认 none.
TEST(Program, EachRowsRendererReceivesItsFramesSceneStateAndPreset) {
    const test::TempFolder temp(L"ravolen-frames");
    const std::wstring data = temp.path() + L"\\LocalAppData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((data + L"\\Ravolen").c_str(), nullptr));
    const std::wstring install = temp.path() + L"\\3ds Max";
    ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(test::WindowsPath(RAVOLEN_STANDIN).c_str(), (install + L"\\3dsmaxcmd.exe").c_str(), FALSE));
    const std::wstring preset = temp.path() + L"\\终稿 100%.rps";
    ASSERT_TRUE(test::WriteWholeFile(preset, ""));
    const std::wstring a = temp.path() + L"\\a.max", b = temp.path() + L"\\b.max";
    const std::wstring out = temp.path() + L"\\out";
    const std::wstring rows = L"Max文件,相机,出图路径,出图文件名,长,宽,帧,场景状态,渲染预设\r\n" + a + L",默认," + out +
                              L",a.tga,默认,默认,\"1, 3,5-12\",夜景 & 日景,默认\r\n" + b + L",默认," + out +
                              L",b.tga,默认,默认,默认,默认," + preset + L"\r\n";
    const std::string rowBytes = "\xEF\xBB\xBF" + test::Utf8(rows);
    ASSERT_TRUE(test::WriteWholeFile(data + L"\\Ravolen\\session.csv", rowBytes));
    SessionSettings settings;
    settings.installFolder = install;
    ASSERT_TRUE(test::WriteWholeFile(data + L"\\Ravolen\\settings.ini", SaveSessionSettings(settings)));
    const std::wstring calls = install + L"\\3dsmaxcmd-calls.log";

    Program program(data);
    ASSERT_TRUE(program.started());
    const HWND window = program.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);
    PostMessageW(FindControl(window, L"Button", L"渲  染"), BM_CLICK, 0, 0);
    ASSERT_TRUE(test::WaitFor([&] { return test::Exists(calls) && test::ReadCalls(calls).size() == 2; }));
    const auto called = test::ReadCalls(calls);
    EXPECT_EQ(called[0], (std::vector<std::wstring>{a, L"-continueOnError", L"-skipRenderedFrames:1",
                                                    L"-outputName:" + out + L"\\a.tga", L"-frames:1,3,5-12",
                                                    L"-sceneState:夜景 & 日景"}));
    EXPECT_EQ(called[1], (std::vector<std::wstring>{b, L"-continueOnError", L"-skipRenderedFrames:1",
                                                    L"-outputName:" + out + L"\\b.tga", L"-preset:" + preset}));
    const HWND told = program.waitForWindow(L"#32770");
    if (told) PostMessageW(told, WM_COMMAND, IDOK, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.exitCode().has_value());
    // Its night, whose outputs go with the temporary folder, is no later test's to continue.
    Win32Platform platform;
    EXPECT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    const std::wstring exe = ProgramPath();
    const std::wstring programFolder = exe.substr(0, exe.find_last_of(L'\\'));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}

// The program crashes (here: is ended from outside) in the middle of a render. Started again,
// it still knows the render: 渲  染 is refused and the script left as it is, 取消渲染 ends it.
TEST(Program, AfterACrashMidRenderTheNextRunStillFindsAndCancelsTheRender) {
    const test::TempFolder temp(L"ravolen-crash");
    const std::wstring install = HeldRendererIn(temp);
    ASSERT_FALSE(install.empty());
    const std::wstring hold = install + L"\\3dsmaxcmd-hold";
    const std::wstring scene = temp.path() + L"\\night.max";
    CloseHandle(CreateFileW(scene.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::wstring exe = ProgramPath();
    const std::wstring programFolder = exe.substr(0, exe.find_last_of(L'\\'));
    const std::wstring script = programFolder + L"\\bat\\Render.bat";
    const std::wstring log = install + L"\\3dsmaxcmd-calls.log";

    {
        Program first;
        ASSERT_TRUE(RenderUntilTheFirstCall(first, install, scene, log));
        first.kill();  // with its box still open
    }
    const std::string running = test::ReadFile(script);
    ASSERT_FALSE(running.empty());

    Program second;
    ASSERT_TRUE(second.started());
    const HWND window = second.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);
    PostMessageW(FindControl(window, L"Button", L"渲  染"), BM_CLICK, 0, 0);
    const HWND refused = second.waitForWindow(L"#32770");
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(MessageText(refused), L"上一批渲染任务仍在进行中，请等它完成，或先点击“取消渲染”。");
    EXPECT_EQ(GetWindow(refused, GW_OWNER), window);
    PostMessageW(refused, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntilGone(refused));
    EXPECT_EQ(test::ReadFile(script), running) << "the running script was rewritten";

    PostMessageW(FindControl(window, L"Button", L"取消渲染"), BM_CLICK, 0, 0);
    Win32Platform platform;
    EXPECT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    DeleteFileW(hold.c_str());
    Sleep(1500);
    EXPECT_EQ(test::ReadCalls(log).size(), 1u) << "the render went on after the cancel";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}


// The names in a folder that end with `extension`.
std::vector<std::wstring> FilesIn(const std::wstring& folder, const std::wstring& extension) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*" + extension).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// A night watched from outside, as the artist lives it: the program that started the render is
// ended while row 2 renders; started again, it finds the row under way, and the night's record in
// bat\logs ends up with every row, written by both programs; the log holds what the renderer said.
TEST(Program, ANightIsRecordedRowByRowAcrossARestartOfTheProgram) {
    const test::TempFolder temp(L"ravolen-night");
    const std::wstring data = temp.path() + L"\\LocalAppData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    const std::wstring install = HeldRendererIn(temp);
    ASSERT_FALSE(install.empty());
    const std::wstring hold = install + L"\\3dsmaxcmd-hold";
    {
        // Call 2 gives the test time to hold it again, says what went wrong, and fails; call 3
        // lasts long enough for a program that joined late, and looks once a second, to see it
        // (a real renderer takes longer only to load 3ds Max).
        const std::string plan = "2 wait 3000\r\n2 print " + test::Utf8(L"缺少贴图 wall.png") +
                                 "\r\n2 exit 3\r\n3 wait 2500\r\n";
        test::WriteWholeFile(install + L"\\3dsmaxcmd-plan", plan);
    }
    const std::wstring typed = EmptyScenes(temp, {L"a.max", L"b.max", L"c.max"});
    const std::wstring exe = ProgramPath();
    const std::wstring programFolder = exe.substr(0, exe.find_last_of(L'\\'));
    const std::wstring logs = programFolder + L"\\bat\\logs";
    test::RemoveTree(logs);
    const std::wstring calls = install + L"\\3dsmaxcmd-calls.log";
    const auto recordLines = [&]() -> std::vector<RecordLine> {
        const auto names = FilesIn(logs, L".csv");
        if (names.size() != 1) return {};
        return ReadRecord(test::ReadFile(logs + L"\\" + names[0])).value_or(std::vector<RecordLine>{});
    };

    {
        Program first(data);
        ASSERT_TRUE(RenderUntilTheFirstCall(first, install, typed, calls));
        DeleteFileW(hold.c_str());  // row 1 ends, row 2 begins
        ASSERT_TRUE(test::WaitFor([&] { return test::ReadCalls(calls).size() == 2; }));
        CloseHandle(CreateFileW(hold.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(test::WaitFor([&] { return recordLines().size() == 1; }))
            << "row 1's line was not written as the row ended";
        first.kill();  // with its box still open, while row 2 renders
    }
    const auto before = recordLines();
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0].row, 1);
    EXPECT_EQ(before[0].scene, temp.path() + L"\\a.max");
    EXPECT_EQ(before[0].exitCode, std::optional<std::int32_t>(0));
    EXPECT_FALSE(before[0].output.empty()) << "the stand-in wrote row 1's image";

    Program second(data);
    ASSERT_TRUE(second.started());
    const HWND window = second.waitForWindow(L"RavolenMainWindow");
    ASSERT_NE(window, nullptr);
    Sleep(2500);  // a beat or two of its timer: it has joined the night
    DeleteFileW(hold.c_str());  // row 2 fails, row 3 renders
    Win32Platform platform;
    ASSERT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    ASSERT_TRUE(test::WaitFor([&] { return recordLines().size() == 3; }))
        << "the program started again did not record the rows it followed: "
        << test::ReadFile(logs + L"\\" + FilesIn(logs, L".csv").front());
    const auto after = recordLines();
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1].row, 2);
    EXPECT_EQ(after[1].scene, temp.path() + L"\\b.max");
    EXPECT_EQ(after[1].exitCode, std::optional<std::int32_t>(3));
    EXPECT_TRUE(after[1].output.empty());
    EXPECT_EQ(after[2].row, 3);
    EXPECT_EQ(after[2].exitCode, std::optional<std::int32_t>(0));
    EXPECT_FALSE(after[2].output.empty());

    // The renderer's own words, beside the record under the same name.
    const auto logNames = FilesIn(logs, L".log");
    ASSERT_EQ(logNames.size(), 1u);
    const std::string log = test::ReadFile(logs + L"\\" + logNames[0]);
    EXPECT_NE(log.find("b.max"), std::string::npos) << "cmd's echo of row 2's line";
    EXPECT_NE(log.find("wall.png"), std::string::npos) << "what row 2's renderer printed";

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}


// The one test that waits a real minute: with 无响应超时 at 1 minute and one retry (as settings.ini
// keeps them), row 1's renderer waits without working and is ended with 1460 after about a
// minute, the script goes on, row 2 fails once and succeeds on its retry, row 3 renders; the
// record says why row 1 ended, and each try is a line of its own.
TEST(Program, AHungRowIsEndedAfterTheMinuteAndAFailedRowSucceedsOnItsRetry) {
    const test::TempFolder temp(L"ravolen-hung");
    const std::wstring data = temp.path() + L"\\LocalAppData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((data + L"\\Ravolen").c_str(), nullptr));
    test::WriteWholeFile(data + L"\\Ravolen\\settings.ini",
          "\xEF\xBB\xBF[Night]\r\nHungMinutes=1\r\nLongestMinutes=0\r\nRetries=1\r\n");
    const std::wstring install = HeldRendererIn(temp);
    ASSERT_FALSE(install.empty());
    DeleteFileW((install + L"\\3dsmaxcmd-hold").c_str());
    // Row 1 works a moment, as a renderer loading its scene does, then waits without working.
    test::WriteWholeFile(install + L"\\3dsmaxcmd-plan", "1 busy 500\r\n1 wait 240000\r\n2 exit 3\r\n");
    const std::wstring typed = EmptyScenes(temp, {L"a.max", L"b.max", L"c.max"});
    const std::wstring exe = ProgramPath();
    const std::wstring programFolder = exe.substr(0, exe.find_last_of(L'\\'));
    const std::wstring logs = programFolder + L"\\bat\\logs";
    test::RemoveTree(logs);
    const std::wstring calls = install + L"\\3dsmaxcmd-calls.log";

    Program program(data);
    ASSERT_TRUE(RenderUntilTheFirstCall(program, install, typed, calls));
    const ULONGLONG first = GetTickCount64();
    const auto waitLong = [](auto condition) {  // test::WaitFor gives up after a minute
        for (int i = 0; i < 1500; ++i) {
            if (condition()) return true;
            Sleep(100);
        }
        return condition();
    };
    ASSERT_TRUE(waitLong([&] { return test::ReadCalls(calls).size() >= 2; })) << "row 1 was not ended";
    const ULONGLONG waited = GetTickCount64() - first;
    std::printf("row 1 was ended after %llu ms\n", waited);
    EXPECT_GE(waited, 55000u) << "the hang rule measures the whole minute";
    Win32Platform platform;
    ASSERT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    EXPECT_EQ(test::ReadCalls(calls).size(), 4u) << "row 1 is not tried again; row 2 is, once";

    std::vector<RecordLine> lines;
    ASSERT_TRUE(test::WaitFor([&] {
        const auto names = FilesIn(logs, L".csv");
        if (names.size() != 1) return false;
        lines = ReadRecord(test::ReadFile(logs + L"\\" + names[0])).value_or(std::vector<RecordLine>{});
        return lines.size() == 4;
    }));
    EXPECT_EQ(lines[0].row, 1);
    EXPECT_EQ(lines[0].exitCode, std::optional<std::int32_t>(1460));
    EXPECT_EQ(lines[0].note, L"无响应，已结束（1分钟没有进展）");
    EXPECT_EQ(lines[1].row, 2);
    EXPECT_EQ(lines[1].exitCode, std::optional<std::int32_t>(3));
    EXPECT_EQ(lines[2].row, 2);
    EXPECT_EQ(lines[2].exitCode, std::optional<std::int32_t>(0));
    EXPECT_FALSE(lines[2].output.empty());
    EXPECT_EQ(lines[3].row, 3);
    EXPECT_EQ(lines[3].exitCode, std::optional<std::int32_t>(0));
    for (const RecordLine& line : {lines[1], lines[2], lines[3]}) EXPECT_EQ(line.note, L"");

    PostMessageW(program.waitForWindow(L"RavolenMainWindow"), WM_CLOSE, 0, 0);
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

// A night of the four empty scenes a.max … d.max for a held stand-in renderer that follows
// `plan`, the user's data in the temporary folder, nothing of another night beside the program.
struct HeldNight {
    HeldNight(const wchar_t* name, const char* plan) : temp(name) {
        data = temp.path() + L"\\LocalAppData";
        install = HeldRendererIn(temp);
        hold = install + L"\\3dsmaxcmd-hold";
        calls = install + L"\\3dsmaxcmd-calls.log";
        const std::wstring exe = ProgramPath();
        programFolder = exe.substr(0, exe.find_last_of(L'\\'));
        ready = CreateDirectoryW(data.c_str(), nullptr) && !install.empty() &&
                test::WriteWholeFile(install + L"\\3dsmaxcmd-plan", plan);
        typed = EmptyScenes(temp, {L"a.max", L"b.max", L"c.max", L"d.max"});
        Clear();
    }
    ~HeldNight() { Clear(); }
    HeldNight(const HeldNight&) = delete;
    HeldNight& operator=(const HeldNight&) = delete;
    void Clear() const {
        test::RemoveTree(programFolder + L"\\bat");
        test::RemoveTree(programFolder + L"\\renderOutput");
    }

    test::TempFolder temp;
    std::wstring data, install, hold, typed, programFolder, calls;
    bool ready = false;
};

// The machine goes down while row 2 of 4 renders: the program, the script and the renderer are
// ended from outside. The program was closed before row 1 ended, which left no image: only cmd's
// echo of row 2's line in the log tells that row 1 ended. Started again, the program offers the rest once; 是 renders rows 2–4 and
// nothing else. A copy Windows starts again after a restart ends without a word while the program
// runs, and a night that finished while the program was closed is not offered again.
TEST(Program, ANightCutShortIsOfferedAgainAndYesRendersTheRowsLeft) {
    // Call 1 writes no image; call 2 waits long enough for the test to hold it again.
    const HeldNight night(L"ravolen-cut", "1 no-output\r\n2 wait 3000\r\n");
    ASSERT_TRUE(night.ready);
    const auto& [temp, data, install, hold, typed, programFolder, calls, ready] = night;
    Win32Platform platform;
    const auto scenesCalled = [&] {
        std::vector<std::wstring> scenes;
        for (const auto& call : test::ReadCalls(calls)) scenes.push_back(call.at(0).substr(temp.path().size() + 1));
        return scenes;
    };
    const auto box = [](const Program& program, DWORD milliseconds = 30000) {
        const HWND found = program.waitForWindow(L"#32770", milliseconds);
        return std::pair{found, found ? MessageText(found) : std::wstring()};
    };
    {
        Program first(data);
        ASSERT_TRUE(RenderUntilTheFirstCall(first, install, typed, calls));
        // The table is in the session (saved half a second after the change) before the end.
        ASSERT_TRUE(test::WaitFor([&] {
            return test::ReadFile(data + L"\\Ravolen\\session.csv").find("d.max") != std::string::npos;
        }));
        first.kill();
        DeleteFileW(hold.c_str());  // row 1 ends, row 2 begins
        ASSERT_TRUE(test::WaitFor([&] { return test::ReadCalls(calls).size() == 2; }));
        CloseHandle(CreateFileW(hold.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_EQ(platform.endRenderJob(), RenderJobEnd::Ended);
        ASSERT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    }
    DeleteFileW(hold.c_str());

    {
        Program second(data);
        ASSERT_TRUE(second.started());
        const auto [question, text] = box(second);
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(text, L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。要继续渲染剩下的3个任务吗？");

        Program restarted(data, L"/restart");  // as the restart manager or RunOnce starts it
        EXPECT_EQ(restarted.exitCode(), std::optional<DWORD>(0));
        EXPECT_EQ(restarted.window(L"#32770"), nullptr);

        PostMessageW(question, WM_COMMAND, IDYES, 0);
        ASSERT_TRUE(WaitUntilGone(question));
        const auto [started, startedText] = box(second);
        ASSERT_NE(started, nullptr);
        EXPECT_EQ(startedText, L"所有渲染任务已经开始，你可以回去睡大觉了。。");
        PostMessageW(started, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntilGone(started));
        // Closed while the night renders: it finishes without the program.
        PostMessageW(second.waitForWindow(L"RavolenMainWindow"), WM_CLOSE, 0, 0);
        EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    }
    ASSERT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); }));
    EXPECT_EQ(scenesCalled(), (std::vector<std::wstring>{L"a.max", L"b.max", L"b.max", L"c.max", L"d.max"}));

    Program third(data);
    ASSERT_NE(third.waitForWindow(L"RavolenMainWindow"), nullptr);
    EXPECT_EQ(box(third, 3000).first, nullptr) << test::Utf8(box(third, 0).second);
    PostMessageW(third.waitForWindow(L"RavolenMainWindow"), WM_CLOSE, 0, 0);
    EXPECT_EQ(third.exitCode(), std::optional<DWORD>(0));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}

// Windows ends the session (an update's restart) while row 2 of 4 renders. Told first, the
// program ends the script before it runs another line, records row 2 as cut rather than failed,
// and the next start offers the night from row 2.
TEST(Program, AShutdownMidNightRecordsNoFailureAndTheNightIsOfferedAgainFromTheRowCut) {
    const HeldNight night(L"ravolen-shutdown", "2 wait 3000\r\n");
    ASSERT_TRUE(night.ready);
    const auto& [temp, data, install, hold, typed, programFolder, calls, ready] = night;
    Win32Platform platform;
    {
        Program first(data);
        ASSERT_TRUE(RenderUntilTheFirstCall(first, install, typed, calls));
        const HWND started = first.waitForWindow(L"#32770");
        PostMessageW(started, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntilGone(started));
        DeleteFileW(hold.c_str());  // row 1 ends, row 2 begins
        ASSERT_TRUE(test::WaitFor([&] { return test::ReadCalls(calls).size() == 2; }));
        CloseHandle(CreateFileW(hold.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        Sleep(1500);  // the program's beat sees row 2 start
        const HWND window = first.waitForWindow(L"RavolenMainWindow");
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK,
                                        10000, &answer));
        EXPECT_EQ(answer, TRUE);
        ASSERT_TRUE(SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK,
                                        10000, &answer));
        EXPECT_TRUE(test::WaitFor([&] { return !platform.renderJobRunning(); })) << "the script runs on";
        DeleteFileW(hold.c_str());
        Sleep(1000);
        EXPECT_EQ(test::ReadCalls(calls).size(), 2u) << "a row started after the session ended";
        first.kill();  // as Windows ends it
    }
    const std::wstring logs = programFolder + L"\\bat\\logs";
    const std::vector<std::wstring> records = FilesIn(logs, L".csv");
    ASSERT_EQ(records.size(), 1u);
    const auto record = ReadRecord(test::ReadFile(logs + L"\\" + records[0]));
    ASSERT_TRUE(record);
    ASSERT_EQ(record->size(), 2u);
    EXPECT_EQ((*record)[0].exitCode, std::optional<std::int32_t>(0));
    EXPECT_EQ((*record)[1].row, 2);
    EXPECT_EQ((*record)[1].exitCode, std::nullopt);
    EXPECT_EQ((*record)[1].note, L"关机中断");

    Program second(data);
    const HWND question = second.waitForWindow(L"#32770");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageText(question), L"上次的渲染在第2个任务时中断了（已完成1个，共4个）。要继续渲染剩下的3个任务吗？");
    PostMessageW(question, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(WaitUntilGone(question));
    PostMessageW(second.waitForWindow(L"RavolenMainWindow"), WM_CLOSE, 0, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    test::RemoveTree(programFolder + L"\\bat");
    test::RemoveTree(programFolder + L"\\renderOutput");
}

}  // namespace
}  // namespace ravolen
