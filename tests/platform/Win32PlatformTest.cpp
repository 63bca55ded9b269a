#include "platform/Win32Platform.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "render/RenderCommand.h"
#include "render/RenderScript.h"

namespace ravolen {
namespace {

std::wstring Wide(std::string_view utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::set<std::wstring> Listing(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::wstring& name : Listing(path)) RemoveTree(path + L"\\" + name);
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

// A folder of its own under the temporary folder, removed again afterwards.
class TempFolder {
public:
    explicit TempFolder(std::wstring_view name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = std::wstring(temp) + std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// The stand-in's call log: one argument list per call.
std::vector<std::vector<std::wstring>> ReadCalls(const std::wstring& log) {
    const std::string bytes = ReadFile(log);
    std::vector<std::vector<std::wstring>> calls;
    std::size_t at = 0;
    const auto field = [&](std::string_view name) {
        // "<name> <length> <text>\n"
        if (bytes.compare(at, name.size() + 1, std::string(name) + " ") != 0) throw std::runtime_error("log");
        at += name.size() + 1;
        const std::size_t blank = bytes.find(' ', at);
        const std::size_t length = std::stoul(bytes.substr(at, blank - at));
        std::string text = bytes.substr(blank + 1, length);
        at = blank + 1 + length + 1;
        return Wide(text);
    };
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        const int count = std::stoi(bytes.substr(at + 5, end - at - 5));
        at = end + 1;
        field("raw");
        std::vector<std::wstring> arguments;
        for (int i = 0; i < count; ++i) arguments.push_back(field("arg"));
        calls.push_back(std::move(arguments));
    }
    return calls;
}

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
    // Takes a snapshot and adds the descendants in it; returns how many are running now.
    std::size_t update() {
        const auto processes = Processes();
        for (bool grew = true; grew;) {  // a child may be listed before its parent
            grew = false;
            for (const PROCESSENTRY32W& process : processes) {
                if (names_.count(process.th32ProcessID)) continue;
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
    std::map<DWORD, std::wstring> names_;
};

template <typename Condition>
bool WaitFor(Condition condition) {
    for (int i = 0; i < 6000; ++i) {  // a minute at most
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

TEST(Win32Platform, KnowsTheProgramAndSystemFolders) {
    Win32Platform platform;
    const std::wstring folder = platform.programFolder();
    EXPECT_TRUE(folder.ends_with(L"\\程序 (x86) & 100% ^!")) << testing::PrintToString(folder);
    EXPECT_TRUE(Exists(folder + L"\\platform_test.exe"));
    EXPECT_TRUE(Exists(platform.systemFolder() + L"\\cmd.exe"));
    EXPECT_NE(platform.systemFolder().back(), L'\\');
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

struct ShownMessage {
    std::wstring title;
    std::wstring text;
    bool icon = false;
};
ShownMessage g_shown;
HHOOK g_hook;

// Reads the message box as it appears and presses OK.
LRESULT CALLBACK CloseMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t name[32] = {};
        GetClassNameW(box, name, 32);
        if (std::wstring_view(name) == L"#32770") {
            wchar_t text[256] = {};
            GetWindowTextW(box, text, 256);
            g_shown.title = text;
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                GetClassNameW(child, name, 32);
                if (_wcsicmp(name, L"Static") != 0) continue;
                if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                    g_shown.icon = g_shown.icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
                } else if (GetWindowTextW(child, text, 256) > 0) {
                    g_shown.text = text;
                }
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

TEST(Win32Platform, ShowsMessagesUnderTheApplicationTitle) {
    Win32Platform platform;
    g_hook = SetWindowsHookExW(WH_CBT, CloseMessageBox, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    g_shown = {};
    platform.showMessage(L"所有渲染任务已经开始", MessageIcon::None);
    const ShownMessage plain = g_shown;
    g_shown = {};
    platform.showMessage(L"该程序已经运行！！", MessageIcon::Information);
    const ShownMessage informative = g_shown;
    UnhookWindowsHookEx(g_hook);

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
    std::wstring standIn = Wide(RAVOLEN_STANDIN);
    if (standIn.starts_with(L"/")) standIn = L"Z:" + standIn;
    for (wchar_t& c : standIn) c = c == L'/' ? L'\\' : c;
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
    // Only the interpreter and the renderer ran; Wine adds a host for the hidden console.
    std::set<std::wstring> names = started.names();
    names.erase(L"conhost.exe");
    EXPECT_EQ(names, (std::set<std::wstring>{L"cmd.exe", L"3dsmaxcmd.exe"}));
    RemoveTree(scriptFolder);
}

}  // namespace
}  // namespace ravolen
