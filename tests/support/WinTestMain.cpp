#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

// Started by a test as a second process: reads and sets row `row` of another process's list view
// as automation and accessibility tools do, with the item in memory of the list's own process.
// "state <hwnd> <row> <image>" sets the tick by LVM_SETITEMSTATE, "item ..." by LVM_SETITEMW; both
// then answer the state image LVM_GETITEMSTATE reads. "text <hwnd> <row> <column> <expected>"
// answers 0 when LVM_GETITEMTEXTW reads exactly the expected text.
int DriveList(int argc, wchar_t** argv) {
    if (argc < 5) return 100;
    const std::wstring how = argv[1];
    const auto list = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::wcstoll(argv[2], nullptr, 10)));
    const int row = std::wcstol(argv[3], nullptr, 10);
    DWORD owner = 0;
    GetWindowThreadProcessId(list, &owner);
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
    if (!process) return 101;
    constexpr SIZE_T Room = sizeof(LVITEMW) + 2048 * sizeof(wchar_t);
    auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, Room, MEM_COMMIT, PAGE_READWRITE));
    int answer = 102;
    if (remote) {
        LVITEMW item{};
        item.iItem = row;
        if (how == L"text") {
            item.iSubItem = std::wcstol(argv[4], nullptr, 10);
            item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
            item.cchTextMax = 2048;
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            const auto length = static_cast<std::size_t>(
                SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote)));
            std::wstring text(length, L'\0');
            ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), length * sizeof(wchar_t), nullptr);
            answer = argc > 5 && text == argv[5] ? 0 : 1;
        } else {
            item.mask = LVIF_STATE;
            item.stateMask = LVIS_STATEIMAGEMASK;
            item.state = INDEXTOSTATEIMAGEMASK(std::wcstol(argv[4], nullptr, 10));
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            SendMessageW(list, how == L"state" ? LVM_SETITEMSTATE : LVM_SETITEMW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(remote));
            answer = static_cast<int>((SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row),
                                                    LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return answer;
}

// "clip <file> <event>": puts the UTF-16 text of the file on the clipboard as another program
// does, and stays its owner until the named event is set (the null driver's clipboard forgets a
// text once the program that put it there ends).
int HoldClipboard(const wchar_t* path, const wchar_t* done) {
    const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, done);
    if (!owner || !event || !OpenClipboard(owner)) return 3;
    EmptyClipboard();
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(memory)), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    const bool put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    while (MsgWaitForMultipleObjects(1, &event, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(event);
    DestroyWindow(owner);
    return put ? 0 : 4;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && (std::wcscmp(argv[1], L"state") == 0 || std::wcscmp(argv[1], L"item") == 0 ||
                      std::wcscmp(argv[1], L"text") == 0)) {
        return DriveList(argc, argv);
    }
    if (argc == 4 && std::wcscmp(argv[1], L"clip") == 0) return HoldClipboard(argv[2], argv[3]);
    // A failing test must fail, not wait behind a crash dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // As the program does: the shell's dialogs need a single-threaded apartment.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
