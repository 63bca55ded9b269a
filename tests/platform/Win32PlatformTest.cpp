#include "platform/Win32Platform.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <atomic>
#include <optional>
#include <thread>

#include "base/BoxOwner.h"
#include "base/Handles.h"
#include "render/RenderCommand.h"
#include "win/Window.h"
#include "render/RenderScript.h"
#include "support/RealPlatform.h"
#include "support/WindowTest.h"

namespace ravolen {
namespace {

using namespace test;  // the helpers for the real file system and processes

std::vector<PROCESSENTRY32W> Processes() {
    std::vector<PROCESSENTRY32W> processes;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        processes.push_back(entry);
    }
    CloseHandle(snapshot);
    return processes;
}

// Every process started, directly or not, by this one: cmd.exe and whatever cmd.exe started.
class Descendants {
public:
    // What runs already is no descendant, even where Wine has given this process the id of its
    // long-gone parent.
    Descendants() {
        for (const PROCESSENTRY32W& process : Processes()) before_.insert(process.th32ProcessID);
    }

    // Takes a snapshot and adds the descendants in it; returns how many are running now.
    std::size_t update() {
        const auto processes = Processes();
        for (bool grew = true; grew;) {  // a child may be listed before its parent
            grew = false;
            for (const PROCESSENTRY32W& process : processes) {
                if (names_.count(process.th32ProcessID) || before_.count(process.th32ProcessID)) {
                    continue;
                }
                if (process.th32ParentProcessID == GetCurrentProcessId() ||
                    names_.count(process.th32ParentProcessID)) {
                    names_[process.th32ProcessID];
                    grew = true;
                }
            }
        }
        std::size_t running = 0;
        for (const PROCESSENTRY32W& process : processes) {
            const auto found = names_.find(process.th32ProcessID);
            if (found == names_.end()) continue;
            ++running;
            // Wine lists a process that is still starting without its name.
            if (process.szExeFile[0] != L'\0') found->second = process.szExeFile;
        }
        return running;
    }

    std::set<std::wstring> names() const {
        std::set<std::wstring> names;
        for (const auto& [id, name] : names_) {
            if (!name.empty()) names.insert(name);
        }
        return names;
    }

private:
    std::set<DWORD> before_;
    std::map<DWORD, std::wstring> names_;
};

TEST(Win32Platform, KnowsTheProgramAndSystemFolders) {
    Win32Platform platform;
    const std::wstring folder = platform.programFolder();
    EXPECT_TRUE(folder.ends_with(L"\\程序 (x86) & 100% ^!")) << testing::PrintToString(folder);
    EXPECT_TRUE(Exists(folder + L"\\platform_test.exe"));
    EXPECT_TRUE(Exists(platform.systemFolder() + L"\\cmd.exe"));
    EXPECT_NE(platform.systemFolder().back(), L'\\');
}

// Windows ends a session's programs by their level, highest first: the night's program takes the
// highest an application may, to hear of it before the renderers are ended.
TEST(Win32Platform, AsksToBeToldFirstWhenTheSessionEnds) {
    Win32Platform platform;
    platform.askFirstAtSessionEnd();
    DWORD level = 0, flags = 1;
    ASSERT_TRUE(GetProcessShutdownParameters(&level, &flags));
    EXPECT_EQ(level, 0x3FFu);
    EXPECT_EQ(flags, 0u);
}

TEST(Win32Platform, FindsDeadlinesFolderWhereItsClientSaysItIs) {
    Win32Platform platform;
    wchar_t saved[MAX_PATH] = {};
    const bool had = GetEnvironmentVariableW(L"DEADLINE_PATH", saved, MAX_PATH) > 0;
    SetEnvironmentVariableW(L"DEADLINE_PATH", L"C:\\Thinkbox\\Deadline10\\bin\\");
    EXPECT_EQ(platform.deadlineFolder(), L"C:\\Thinkbox\\Deadline10\\bin\\");
    SetEnvironmentVariableW(L"DEADLINE_PATH", nullptr);
    EXPECT_EQ(platform.deadlineFolder(), L"");
    if (had) SetEnvironmentVariableW(L"DEADLINE_PATH", saved);
}

TEST(Win32Platform, CreatesFoldersAndReplacesFiles) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-files");
    const std::wstring folder = temp.path() + L"\\bat 渲染";
    EXPECT_TRUE(platform.createFolder(folder));
    EXPECT_TRUE(platform.createFolder(folder));  // already there
    const std::wstring file = folder + L"\\Render.bat";
    EXPECT_TRUE(platform.writeFile(file, "a longer first content\r\n"));
    EXPECT_TRUE(platform.writeFile(file, std::string("\xc4\xac\0x", 4)));
    EXPECT_EQ(ReadFile(file), std::string("\xc4\xac\0x", 4));
    EXPECT_FALSE(platform.createFolder(file));  // a file stands in the way
    EXPECT_FALSE(platform.writeFile(temp.path() + L"\\missing\\Render.bat", "x"));
}

TEST(Win32Platform, StartsProgramsInTheirFolderWithoutWaitingAndReportsOnesThatCannotStart) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-start");
    const std::wstring cmd = platform.systemFolder() + L"\\cmd.exe";
    for (WindowStyle style : {WindowStyle::Hidden, WindowStyle::MinimizedWithFocus}) {
        const std::wstring marker = style == WindowStyle::Hidden ? L"hidden.txt" : L"minimised.txt";
        EXPECT_TRUE(platform.startProcess(
            {cmd, L"\"" + cmd + L"\" /d /c echo x> " + marker, temp.path(), style}));
        EXPECT_TRUE(WaitFor([&] { return Exists(temp.path() + L"\\" + marker); }));
    }
    EXPECT_FALSE(platform.startProcess(
        {L"C:\\no such folder\\none.exe", L"none.exe", L"", WindowStyle::Hidden}));
}

// The shell opens a file with the program registered for it (a script: cmd runs it), and says
// so when it cannot; nothing opens for a path that is not there.
TEST(Win32Platform, OpensAFileInTheShellAndRefusesWhatIsNotThere) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-shell");
    const std::wstring script = temp.path() + L"\\open.bat";
    const std::wstring marker = temp.path() + L"\\opened.txt";
    ASSERT_TRUE(platform.writeFile(script, "@echo x> \"" + test::Utf8(marker) + "\"\r\n"));
    EXPECT_TRUE(platform.openInShell(script));
    EXPECT_TRUE(WaitFor([&] { return Exists(marker); }));
    EXPECT_FALSE(platform.openInShell(temp.path() + L"\\missing.tga"));
    EXPECT_FALSE(platform.showInExplorer(temp.path() + L"\\missing.tga"));
    EXPECT_FALSE(platform.openInShell(L""));
}

TEST(Win32Platform, ShowsMessagesUnderTheApplicationTitle) {
    Win32Platform platform;
    const test::MessageBoxAnswerer answerer;
    platform.showMessage(L"所有渲染任务已经开始", MessageIcon::None);
    platform.showMessage(L"该程序已经运行！！", MessageIcon::Information);
    ASSERT_EQ(answerer.shown().size(), 2u);
    const test::ShownMessage plain = answerer.shown()[0];
    const test::ShownMessage informative = answerer.shown()[1];

    EXPECT_EQ(plain.title, L"Ravolen");
    EXPECT_EQ(plain.text, L"所有渲染任务已经开始");
    EXPECT_FALSE(plain.icon);
    EXPECT_EQ(informative.title, L"Ravolen");
    EXPECT_TRUE(informative.icon);
}

// The whole road: the job table's cells, the script, Wine's real cmd.exe run hidden, and the
// renderer stand-in recording what it received.
TEST(Win32Platform, CmdHandsTheRendererExactlyWhatTheCellsMean) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-render");
    const std::wstring& t = temp.path();
    const std::wstring install = t + L"\\Max 100% (x86) & ^渲染!";
    ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
    // Built on Linux, the stand-in's path is a Unix one, which Wine shows on drive Z:.
    const std::wstring standIn = test::WindowsPath(RAVOLEN_STANDIN);
    ASSERT_TRUE(CopyFileW(standIn.c_str(), (install + L"\\3dsmaxcmd.exe").c_str(), FALSE));
    const std::wstring scriptFolder = platform.programFolder() + L"\\bat";
    RemoveTree(scriptFolder);  // the render must create it

    const std::vector<RenderJob> rows = {
        {t + L"\\场景 (1) & a.max", L"Camera 01", t + L"\\out 100%", L"a^b.tga", L"1920", L"1080"},
        {t + L"\\b%PATH%.max", L"默认", t + L"\\输出 (x)\\", L"b&c.tga", L"默认", L"默认"},
        {t + L"\\scenes\\", L"x & echo injected> injected.txt", t + L"\\out3", L"c.tga", L"(800)",
         L"^600<in"},
        {t + L"\\d!PATH!.max", L"C:\\cams dir\\", t + L"\\out4", L"d.tga", L"%USERNAME%", L"1|2"},
    };
    const std::vector<std::vector<std::wstring>> meant = {
        {rows[0].scene, L"-continueOnError", L"-skipRenderedFrames:1", L"-cam:Camera 01",
         L"-w:1920", L"-h:1080", L"-outputName:" + t + L"\\out 100%\\a^b.tga"},
        {rows[1].scene, L"-continueOnError", L"-skipRenderedFrames:1",
         L"-outputName:" + t + L"\\输出 (x)\\\\b&c.tga"},
        {rows[2].scene, L"-continueOnError", L"-skipRenderedFrames:1",
         L"-cam:x & echo injected> injected.txt", L"-w:(800)", L"-h:^600<in",
         L"-outputName:" + t + L"\\out3\\c.tga"},
        {rows[3].scene, L"-continueOnError", L"-skipRenderedFrames:1", L"-cam:C:\\cams dir\\",
         L"-w:%USERNAME%", L"-h:1|2", L"-outputName:" + t + L"\\out4\\d.tga"},
    };
    Descendants started;

    ASSERT_TRUE(StartRender(platform, {install, rows, false}));

    // Watching closely, so that even a short-lived process shows up.
    const std::wstring log = install + L"\\3dsmaxcmd-calls.log";
    ASSERT_TRUE(WaitFor([&] {
        started.update();
        return Exists(log) && ReadCalls(log).size() >= rows.size();
    }));
    ASSERT_TRUE(WaitFor([&] { return started.update() == 0; })) << "the script did not end";

    EXPECT_EQ(ReadCalls(log), meant);
    EXPECT_EQ(ReadFile(scriptFolder + L"\\Render.bat"),
              ComposeRenderScript(install, rows, false, platform.scriptCodec()).bytes);
    // Every file is one the rows asked for; no injected command ran anywhere.
    EXPECT_EQ(Listing(scriptFolder), (std::set<std::wstring>{L"Render.bat"}));
    EXPECT_EQ(Listing(install), (std::set<std::wstring>{L"3dsmaxcmd.exe", L"3dsmaxcmd-calls.log"}));
    EXPECT_EQ(Listing(t), (std::set<std::wstring>{L"Max 100% (x86) & ^渲染!", L"out 100%",
                                                   L"输出 (x)", L"out3", L"out4"}));
    EXPECT_EQ(Listing(t + L"\\out 100%"), (std::set<std::wstring>{L"a^b.tga"}));
    EXPECT_EQ(Listing(t + L"\\输出 (x)"), (std::set<std::wstring>{L"b&c.tga"}));
    EXPECT_EQ(Listing(t + L"\\out3"), (std::set<std::wstring>{L"c.tga"}));
    EXPECT_EQ(Listing(t + L"\\out4"), (std::set<std::wstring>{L"d.tga"}));
    // Only the interpreter and the renderer ran, besides the system's chcp setting the script's
    // code page (too short to be seen every time) and the host Wine adds for the hidden console.
    std::set<std::wstring> names = started.names();
    names.erase(L"conhost.exe");
    names.erase(L"chcp.com");
    EXPECT_EQ(names, (std::set<std::wstring>{L"cmd.exe", L"3dsmaxcmd.exe"}));
    RemoveTree(scriptFolder);
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

using namespace test;

TEST(Win32Platform, AFileIsReplacedWholeOrNotAtAll) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-replace");
    const std::wstring list = temp.path() + L"\\任务 列表.csv";
    ASSERT_TRUE(platform.replaceFile(list, "first"));
    ASSERT_TRUE(platform.replaceFile(list, "second, longer"));
    EXPECT_EQ(platform.readFile(list), std::optional<std::string>("second, longer"));
    {
        // Held open without sharing, as an editor may hold it: the save fails and leaves it be.
        const FileHandle held(CreateFileW(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(platform.replaceFile(list, "third"));
        // Held so, it is there but cannot be read: never taken for a missing file.
        EXPECT_EQ(platform.readFileTelling(list).outcome, FileRead::Outcome::Unreadable);
        EXPECT_FALSE(platform.readFile(list));
    }
    EXPECT_EQ(platform.readFile(list), std::optional<std::string>("second, longer"));
    EXPECT_EQ(Listing(temp.path()), std::set<std::wstring>{L"任务 列表.csv"});  // no backup stays
    EXPECT_FALSE(platform.readFile(temp.path() + L"\\missing.csv"));
    const FileRead whole = platform.readFileTelling(list);
    EXPECT_EQ(whole.outcome, FileRead::Outcome::Read);
    EXPECT_EQ(whole.bytes, "second, longer");
    for (const std::wstring& missing : {temp.path() + L"\\missing.csv", temp.path() + L"\\none\\missing.csv"}) {
        EXPECT_EQ(platform.readFileTelling(missing).outcome, FileRead::Outcome::Missing);
    }
    // A part from an offset: as far as the file goes, nothing past its end.
    EXPECT_EQ(platform.readFileFrom(list, 8, 3), std::optional<std::string>("lon"));
    EXPECT_EQ(platform.readFileFrom(list, 8, 100), std::optional<std::string>("longer"));
    EXPECT_EQ(platform.readFileFrom(list, 14, 100), std::optional<std::string>(""));
    EXPECT_EQ(platform.readFileFrom(list, 99, 100), std::optional<std::string>(""));
    EXPECT_EQ(platform.readFileFrom(temp.path() + L"\\missing.csv", 0, 100), std::nullopt);

    const auto entries = platform.folderEntries(temp.path());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ(entries->at(0).size, 14u);
    EXPECT_FALSE(platform.folderEntries(list));

    // A folder where the file must go: nothing written, no temporary file left beside it.
    ASSERT_TRUE(CreateDirectoryW((temp.path() + L"\\folder.csv").c_str(), nullptr));
    EXPECT_FALSE(platform.replaceFile(temp.path() + L"\\folder.csv", "x"));
    EXPECT_EQ(Listing(temp.path()), (std::set<std::wstring>{L"任务 列表.csv", L"folder.csv"}));
}

TEST(Win32Platform, FindsTheInstallationsTheRegistryAndProgramFilesKnowNewestFirst) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-max");
    const auto install = [](const std::wstring& folder) {
        CreateDirectoryW(folder.c_str(), nullptr);
        CloseHandle(CreateFileW((folder + L"\\3dsmaxcmd.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
    };
    // Versions far in the future, so that a real 3ds Max's keys are never touched: version 90 is
    // 3ds Max 2088, as version 26 is 3ds Max 2024.
    const std::wstring max2088 = temp.path() + L"\\Max 2088";
    const std::wstring max2089 = temp.path() + L"\\Autodesk 2089";
    install(max2088);
    install(max2089);
    const std::wstring programs = temp.path() + L"\\Programs";
    CreateDirectoryW(programs.c_str(), nullptr);
    CreateDirectoryW((programs + L"\\Autodesk").c_str(), nullptr);
    install(programs + L"\\Autodesk\\3ds Max 2020");
    CreateDirectoryW((programs + L"\\Autodesk\\3ds Max 2019").c_str(), nullptr);  // no renderer
    const std::wstring keys = L"SOFTWARE\\Autodesk\\3dsMax";
    const std::pair<std::wstring, std::wstring> versions[] = {{L"90.0", max2088 + L"\\"},
                                                              {L"91.0", max2089}};
    for (const auto& [version, folder] : versions) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (keys + L"\\" + version).c_str(), 0, nullptr, 0,
                                  KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Installdir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    wchar_t saved[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramW6432", saved, MAX_PATH);
    SetEnvironmentVariableW(L"ProgramW6432", programs.c_str());

    const std::vector<MaxInstallation> found = platform.maxInstallations();

    SetEnvironmentVariableW(L"ProgramW6432", saved);
    for (const auto& [version, folder] : versions) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (keys + L"\\" + version).c_str());
    }
    // Only the program's own installations may be in the answer beside these: none under Wine.
    std::vector<MaxInstallation> ours;
    for (const MaxInstallation& installation : found) {
        if (installation.folder.starts_with(temp.path())) ours.push_back(installation);
    }
    EXPECT_EQ(ours, (std::vector<MaxInstallation>{{2089, max2089},
                                                  {2088, max2088},
                                                  {2020, programs + L"\\Autodesk\\3ds Max 2020"}}));
}

// A window whose handler raises a message (WM_APP) or a question (WM_APP + 1) through the platform.
class Asker final : public win::Window {
public:
    Asker(Platform& platform, HWND owner) : platform_(platform) {
        createWindow(L"RavolenAsker", L"Asker", WS_OVERLAPPEDWINDOW, 0, RECT{0, 0, 300, 200},
                     nullptr, nullptr, owner);
        ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
    }
    ~Asker() override { destroyWindow(); }

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) {
            platform_.showMessage(L"消息", MessageIcon::None);
            return 0;
        }
        if (message == WM_APP + 1) return platform_.ask(L"问题") ? 1 : 2;
        return Window::onMessage(message, wParam, lParam);
    }
    Platform& platform_;
};

// What the program looked like while a box was open: its owner and which windows took input.
struct BoxSeen {
    HWND owner = nullptr;
    std::map<HWND, bool> enabled;
};

// Looks at the first box of this thread from a timer inside its modal loop, then closes it.
class BoxWatcher {
public:
    explicit BoxWatcher(std::vector<HWND> windows) {
        windows_ = std::move(windows);
        seen_.reset();
        timer_ = SetTimer(nullptr, 0, 50, &Tick);
    }
    ~BoxWatcher() { KillTimer(nullptr, timer_); }
    const std::optional<BoxSeen>& seen() const { return seen_; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND box = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (std::wstring_view(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&box));
        if (!box || seen_) return;
        BoxSeen seen{GetWindow(box, GW_OWNER), {}};
        for (const HWND window : windows_) seen.enabled[window] = IsWindowEnabled(window) != FALSE;
        seen_ = seen;
        PostMessageW(box, WM_COMMAND, IDNO, 0);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    static inline std::vector<HWND> windows_;
    static inline std::optional<BoxSeen> seen_;
    UINT_PTR timer_ = 0;
};

TEST(Win32Platform, ABoxBelongsToTheWindowThatRaisedItAndHoldsTheWholeProgram) {
    Win32Platform platform;
    Asker main(platform, nullptr);
    Asker editor(platform, nullptr);  // ownerless beside the main window, as the job editor
    Asker progress(platform, main.hwnd());
    const std::vector<HWND> all{main.hwnd(), editor.hwnd(), progress.hwnd()};
    const ForeignForeground artistElsewhere;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    ASSERT_NE(GetForegroundWindow(), main.hwnd());
    EXPECT_EQ(CurrentBoxOwner, nullptr);

    {
        const BoxWatcher watcher(all);
        SendMessageW(editor.hwnd(), WM_APP, 0, 0);
        ASSERT_TRUE(watcher.seen());
        EXPECT_EQ(watcher.seen()->owner, editor.hwnd());
        for (const HWND window : all) EXPECT_FALSE(watcher.seen()->enabled.at(window));
    }
    for (const HWND window : all) EXPECT_TRUE(IsWindowEnabled(window));

    // A progress window that hid itself to report hands its question to the window it belongs to.
    ShowWindow(progress.hwnd(), SW_HIDE);
    {
        const BoxWatcher watcher(all);
        EXPECT_EQ(SendMessageW(progress.hwnd(), WM_APP + 1, 0, 0), 2);  // 否
        ASSERT_TRUE(watcher.seen());
        EXPECT_EQ(watcher.seen()->owner, main.hwnd());
        for (const HWND window : all) EXPECT_FALSE(watcher.seen()->enabled.at(window));
    }
    for (const HWND window : all) EXPECT_TRUE(IsWindowEnabled(window));
}

TEST(Win32Platform, TellsAFilesSizeWithoutReadingIt) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-size");
    const std::wstring path = temp.path() + L"\\huge.csv";
    {
        const KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        size.QuadPart = (64ll << 20) + 1;
        ASSERT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.get()));
    }
    EXPECT_EQ(platform.fileSize(path), std::optional<unsigned long long>((64ull << 20) + 1));
    EXPECT_EQ(platform.fileSize(temp.path()), std::nullopt);
    EXPECT_EQ(platform.fileSize(temp.path() + L"\\none.csv"), std::nullopt);
}

}  // namespace
}  // namespace ravolen

namespace ravolen {
namespace {

std::optional<std::wstring> RunOnceEntry() {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, Win32Platform::RunOnceKey, Win32Platform::RunOnceValue,
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(value);
}

// Wine answers PowerCreateRequest with ERROR_CALL_NOT_IMPLEMENTED, stubs the restart manager and
// runs only HKLM's RunOnce: what is tested here is the mechanism — the request made or its
// fallback held and let go, the RunOnce entry written and taken back, a process told apart from
// one that reuses its id.
TEST(Win32Platform, ANightHoldsThePowerRequestAndTheRunOnceEntryAndLetsThemGo) {
    Win32Platform platform;
    platform.unregisterRestart();
    ASSERT_FALSE(RunOnceEntry());

    platform.keepAwake(L"Ravolen 正在渲染：第1个，共3个");
    const Win32Platform::Awake held = platform.awake();
    EXPECT_NE(held, Win32Platform::Awake::None);
    platform.keepAwake(L"Ravolen 正在渲染：第2个，共3个");
    EXPECT_EQ(platform.awake(), held);
    platform.letSleep();
    EXPECT_EQ(platform.awake(), Win32Platform::Awake::None);

    platform.registerRestart();
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(RunOnceEntry(), L"\"" + std::wstring(program) + L"\" /restart");
    platform.unregisterRestart();
    EXPECT_FALSE(RunOnceEntry());

    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
    const unsigned long long creation =
        (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    EXPECT_TRUE(platform.processRunning({GetCurrentProcessId(), creation}));
    EXPECT_FALSE(platform.processRunning({GetCurrentProcessId(), creation + 1}));  // a reused id
    EXPECT_FALSE(platform.processRunning({0, creation}));
}

// A night's script that runs outside any job (started by an earlier run of the program) is taken
// up by its id and start, and is then the render that runs and that 取消渲染 ends.
TEST(Win32Platform, AScriptOutsideAnyJobIsTakenUpByItsIdAndStartAndEnded) {
    const TempFolder temp(L"ravolen-adopt");
    const std::wstring renderer = temp.path() + L"\\3dsmaxcmd.exe";
    ASSERT_TRUE(CopyFileW(WindowsPath(RAVOLEN_STANDIN).c_str(), renderer.c_str(), FALSE));
    ASSERT_TRUE(WriteWholeFile(temp.path() + L"\\3dsmaxcmd-hold", ""));  // it waits
    std::wstring commandLine = L"\"" + renderer + L"\" E:\\a.max";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(renderer.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, temp.path().c_str(), &startup, &info));
    const KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(process.get(), &created, &exited, &kernel, &user));
    const ProcessMark mark{info.dwProcessId,
                           (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime};

    Win32Platform platform;
    EXPECT_FALSE(platform.renderJobRunning());
    EXPECT_FALSE(platform.adoptScript({mark.processId, mark.created + 1}));  // another start
    ASSERT_TRUE(platform.adoptScript(mark));
    EXPECT_TRUE(platform.renderJobRunning());
    EXPECT_EQ(platform.endRenderJob(), RenderJobEnd::Ended);
    EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(platform.renderJobRunning());
    EXPECT_FALSE(platform.adoptScript(mark));
}

}  // namespace
}  // namespace ravolen
