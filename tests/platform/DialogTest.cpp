#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <memory>

#include "platform/Win32Platform.h"
#include "support/RealPlatform.h"

namespace ravolen {
namespace {

using namespace test;  // the helpers for the real file system

// Once the next dialog box of this thread is up, hands it to `act` every 200 ms until `act` says
// it has answered, as a user would.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<bool(HWND)> act) {
        act_ = std::move(act);
        dialog_ = nullptr;
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~DialogAnswerer() { UnhookWindowsHookEx(hook_); }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE && !dialog_) {
            const auto window = reinterpret_cast<HWND>(wParam);
            wchar_t name[32] = {};
            GetClassNameW(window, name, 32);
            if (std::wstring_view(name) == L"#32770") {
                dialog_ = window;
                // The dialog fills its controls after it is activated.
                SetTimer(nullptr, 0, 200, &Act);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static void CALLBACK Act(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (act_ && !act_(dialog_)) SetTimer(nullptr, 0, 200, &Act);
    }

    static inline std::function<bool(HWND)> act_;
    static inline HWND dialog_ = nullptr;
    HHOOK hook_ = nullptr;
};

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The open dialog as it showed itself: caption, filters, the filter chosen.
struct OpenDialogSeen {
    std::wstring caption;
    std::vector<std::wstring> filters;
    int filter = -1;
};

constexpr int FileNameBox = 1152;  // edt1, where a user types the names
constexpr int FilterBox = 1136;    // cmb1

OpenFileRequest QuickAddRequest() {
    return {L"请选择文件", L"All Files (*.*)|*.*|Max Files(*.max)|*.max", 2, true};
}

// Reads the open dialog, then types `typed` into its name box and presses OK, or cancels.
std::function<bool(HWND)> AnswerOpen(OpenDialogSeen& seen, std::wstring typed, bool cancel) {
    return [&seen, typed, cancel](HWND dialog) {
        seen.caption = TextOf(dialog);
        const HWND filters = GetDlgItem(dialog, FilterBox);
        const auto count = SendMessageW(filters, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(SendMessageW(filters, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(
                SendMessageW(filters, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
            seen.filters.push_back(text);
        }
        seen.filter = static_cast<int>(SendMessageW(filters, CB_GETCURSEL, 0, 0));
        if (cancel) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        }
        SetWindowTextW(GetDlgItem(dialog, FileNameBox), typed.c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    };
}

TEST(OpenFileDialog, OpensOnTheMaxFilterUnderItsTitleAndACancelAnswersNothing) {
    Win32Platform platform;
    OpenDialogSeen seen;
    const DialogAnswerer answerer(AnswerOpen(seen, L"", true));
    EXPECT_TRUE(platform.openFiles(QuickAddRequest()).empty());
    EXPECT_EQ(seen.caption, L"请选择文件");
    EXPECT_EQ(seen.filters, (std::vector<std::wstring>{L"All Files (*.*)", L"Max Files(*.max)"}));
    EXPECT_EQ(seen.filter, 1);
}

TEST(OpenFileDialog, AnswersEveryChosenFileHoweverLongTheirNames) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-open");
    const std::wstring folder = temp.path() + L"\\场景 (最终版)";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::vector<std::wstring> names;
    std::wstring typed;
    for (int i = 1; i <= 50; ++i) {
        names.push_back(L"第" + std::to_wstring(i) + L"号镜头_夜景灯光测试_高精度渲染.max");
        CloseHandle(CreateFileW((folder + L"\\" + names.back()).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
        typed += L"\"" + folder + L"\\" + names.back() + L"\" ";
    }
    ASSERT_GT(typed.size(), 260u * 4);

    OpenDialogSeen seen;
    const DialogAnswerer answerer(AnswerOpen(seen, typed, false));
    const std::vector<std::wstring> answer = platform.openFiles(QuickAddRequest());
    ASSERT_EQ(answer.size(), 51u);
    EXPECT_EQ(answer[0], folder);
    EXPECT_EQ(std::vector<std::wstring>(answer.begin() + 1, answer.end()), names);

    // One file answers its full path alone.
    OpenDialogSeen again;
    const DialogAnswerer single(AnswerOpen(again, L"\"" + folder + L"\\" + names[6] + L"\"", false));
    EXPECT_EQ(platform.openFiles(QuickAddRequest()),
              std::vector<std::wstring>{folder + L"\\" + names[6]});
}

// The save dialog gives the name back exactly as typed, with the type chosen: the job list's rule
// alone adds an extension, so that a name the dialog does not expect never gets a second one
// (Wine's adds the type's to any other name, Windows' the default one to an extension it does
// not know).
TEST(SaveFileDialog, AnswersTheNameExactlyAsTypedAndTheTypeChosen) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-save");
    const SaveFileRequest request{L"保存任务列表", L"任务列表工作簿 (*.xlsx)|*.xlsx|任务列表 CSV (*.csv)|*.csv"};
    for (const wchar_t* name : {L"j.csv", L"j", L"j.XLSX", L"夜景.list", L"j.xlsx"}) {
        OpenDialogSeen seen;
        const DialogAnswerer answerer(AnswerOpen(seen, temp.path() + L"\\" + name, false));
        const SaveFileChoice choice = platform.chooseSaveFile(request);
        EXPECT_EQ(seen.caption, L"保存任务列表");
        EXPECT_EQ(seen.filters, (std::vector<std::wstring>{L"任务列表工作簿 (*.xlsx)", L"任务列表 CSV (*.csv)"}));
        EXPECT_EQ(choice.path, temp.path() + L"\\" + name);
        EXPECT_EQ(choice.filterIndex, 1);
    }
    // The type chosen in the dialog comes back with the name.
    const DialogAnswerer answerer([&](HWND dialog) {
        const HWND filters = GetDlgItem(dialog, FilterBox);
        SendMessageW(filters, CB_SETCURSEL, 1, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(FilterBox, CBN_SELCHANGE), reinterpret_cast<LPARAM>(filters));
        SetWindowTextW(GetDlgItem(dialog, FileNameBox), (temp.path() + L"\\j").c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    });
    const SaveFileChoice csv = platform.chooseSaveFile(request);
    EXPECT_EQ(csv.path, temp.path() + L"\\j");
    EXPECT_EQ(csv.filterIndex, 2);
}

// The text of the folder picker's chosen item.
std::wstring ChosenItem(HWND tree) {
    const auto chosen = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = chosen;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!chosen || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return text;
}

// Reads the folder picker's texts, then chooses `folder`, or cancels when it is empty. The
// picker fills its tree of folders a while after it shows, and may choose an item of its own
// meanwhile: the choice is made again until the tree shows it, and only then is OK pressed.
std::function<bool(HWND)> AnswerFolder(std::vector<std::wstring>& texts, std::wstring folder) {
    std::wstring label = folder;
    while (label.size() > 3 && label.back() == L'\\') label.pop_back();
    label = label.size() <= 3 ? label.substr(0, 2) : label.substr(label.find_last_of(L'\\') + 1);
    return [&texts, folder, label](HWND dialog) {
        HWND tree = nullptr;
        texts.clear();
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(TextOf(child));
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (std::wstring_view(name) == WC_TREEVIEWW) tree = child;
        }
        if (folder.empty()) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        }
        if (!tree || ChosenItem(tree).find(label) == std::wstring::npos) {
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
            return false;
        }
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return true;
    };
}

TEST(FolderPicker, AnswersTheChosenFolderAsTheShellGivesItAndNothingOnCancel) {
    Win32Platform platform;
    const TempFolder temp(L"ravolen-folder");
    const std::wstring folder = temp.path() + L"\\输出 & 100%";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::vector<std::wstring> texts;
    {
        const DialogAnswerer answerer(AnswerFolder(texts, folder));
        EXPECT_EQ(platform.browseFolder(L"请选择文件夹"), folder);
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"请选择文件夹"), texts.end());
    {
        std::vector<std::wstring> unused;
        const DialogAnswerer answerer(AnswerFolder(unused, L"C:\\"));
        EXPECT_EQ(platform.browseFolder(L"请选择文件夹"), L"C:\\");
    }
    {
        std::vector<std::wstring> unused;
        const DialogAnswerer answerer(AnswerFolder(unused, L""));
        EXPECT_EQ(platform.browseFolder(L"请选择文件夹"), L"");
    }
}

}  // namespace
}  // namespace ravolen
