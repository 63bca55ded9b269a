#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/Handles.h"

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

// A copy of the real program, started as Explorer starts it; ended when the test is over.
class Program {
public:
    Program() {
        std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &info);
        if (!started_) return;
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
    ~Program() {
        if (running()) TerminateProcess(process_.get(), 1);
    }

    bool started() const { return started_; }
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
    bool started_ = false;
    KernelHandle process_;
    DWORD id_ = 0;
};

std::wstring MessageText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        GetClassNameW(child, name, 32);
        wchar_t text[256] = {};
        if (_wcsicmp(name, L"Static") == 0 && GetWindowTextW(child, text, 256) > 0) return text;
    }
    return {};
}

TEST(Program, ASecondCopySaysTheProgramRunsAndEndsWithoutTouchingTheFirst) {
    Program first;
    ASSERT_TRUE(first.started());
    const HWND window = first.waitForWindow(L"RavolenForm1");
    ASSERT_NE(window, nullptr);

    Program second;
    ASSERT_TRUE(second.started());
    const HWND box = second.waitForWindow(L"#32770");
    ASSERT_NE(box, nullptr);
    wchar_t title[64] = {};
    GetWindowTextW(box, title, 64);
    EXPECT_STREQ(title, L"Ravolen");
    EXPECT_EQ(MessageText(box), L"该程序已经运行！！");
    EXPECT_EQ(second.window(L"RavolenForm1"), nullptr);

    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.exitCode(), std::optional<DWORD>(0));
    EXPECT_EQ(second.window(L"RavolenForm1"), nullptr);

    EXPECT_TRUE(first.running());
    EXPECT_TRUE(IsWindowVisible(window));

    // Its close box ends the program.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.exitCode(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace ravolen
