#pragma once

#include <windows.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ravolen::test {

inline std::wstring Wide(std::string_view utf8) {
    std::wstring text(utf8.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

inline std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Writes the whole file anew; false when it could not be written whole.
inline bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    CloseHandle(file);
    return whole;
}

// A security that grants nothing, as a copy running as administrator leaves on what it makes: this
// user may not open what is made with `attributes`.
struct ClosedSecurity {
    ClosedSecurity() {
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&nobody, sizeof nobody, ACL_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, &nobody, FALSE);
    }
    ClosedSecurity(const ClosedSecurity&) = delete;
    ClosedSecurity& operator=(const ClosedSecurity&) = delete;
    SECURITY_DESCRIPTOR descriptor{};
    ACL nobody{};
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
};

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::set<std::wstring> Listing(const std::wstring& folder) {
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

inline void RemoveTree(const std::wstring& path) {
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
inline std::vector<std::vector<std::wstring>> ReadCalls(const std::wstring& log) {
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

template <typename Condition>
bool WaitFor(Condition condition) {
    for (int i = 0; i < 6000; ++i) {  // a minute at most
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

// A program built on Linux has a Unix path, which Wine shows on drive Z:.
inline std::wstring WindowsPath(std::string_view utf8) {
    std::wstring path = Wide(utf8);
    if (path.starts_with(L"/")) path = L"Z:" + path;
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    return path;
}

struct ShownMessage {
    std::wstring title;
    std::wstring text;
    bool icon = false;
};

// Reads every message box of this thread as it appears and presses OK, while it lives.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() {
        shown_.clear();
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~MessageBoxAnswerer() { UnhookWindowsHookEx(hook_); }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    const std::vector<ShownMessage>& shown() const { return shown_; }

private:
    static std::wstring TextOf(HWND hwnd) {
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE) {
            const HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t name[32] = {};
            GetClassNameW(box, name, 32);
            if (std::wstring_view(name) == L"#32770") {
                ShownMessage message;
                message.title = TextOf(box);
                for (HWND child = GetWindow(box, GW_CHILD); child;
                     child = GetWindow(child, GW_HWNDNEXT)) {
                    GetClassNameW(child, name, 32);
                    if (_wcsicmp(name, L"Static") != 0) continue;
                    if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                        message.icon = message.icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
                    } else if (GetWindowTextLengthW(child) > 0) {
                        message.text = TextOf(child);
                    }
                }
                shown_.push_back(message);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline std::vector<ShownMessage> shown_;
    HHOOK hook_ = nullptr;
};

}  // namespace ravolen::test
