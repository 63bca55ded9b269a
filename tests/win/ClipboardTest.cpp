#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "win/Clipboard.h"

namespace ravolen::win {
namespace {

struct OwnerWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~OwnerWindow() { DestroyWindow(hwnd); }
};

// The bytes of a format as another program reads them, up to the first null.
std::string ClipboardBytes(HWND owner, UINT format) {
    std::string bytes;
    if (!OpenClipboard(owner)) return bytes;
    if (HANDLE data = GetClipboardData(format)) {
        if (const auto* at = static_cast<const char*>(GlobalLock(data))) {
            bytes.assign(at, strnlen(at, GlobalSize(data)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return bytes;
}

TEST(Clipboard, TextAndCsvArePutTogetherAndFilesAreReadBeforeText) {
    OwnerWindow owner;
    ASSERT_NE(owner.hwnd, nullptr);
    const std::wstring text = L"E:\\场景\\a.max\t\"a\tb\"\r\n";
    const std::string csv = "\xEF\xBB\xBF" "Max\xE6\x96\x87\xE4\xBB\xB6,a\r\n";
    ASSERT_EQ(PutOnClipboard(owner.hwnd, text, csv), std::nullopt);
    const auto read = ReadClipboard(owner.hwnd);
    ASSERT_TRUE(std::holds_alternative<ClipboardContent>(read));
    EXPECT_EQ(std::get<ClipboardContent>(read).text, text);
    EXPECT_TRUE(std::get<ClipboardContent>(read).files.empty());
    EXPECT_EQ(ClipboardBytes(owner.hwnd, RegisterClipboardFormatW(L"Csv")), csv);
    // No CSV: the text alone, and nothing left of the CSV before.
    ASSERT_EQ(PutOnClipboard(owner.hwnd, L"x", ""), std::nullopt);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"Csv")));

    // Files copied in Explorer, beside a text of their names: the files are what is pasted.
    const wchar_t paths[] = L"C:\\a.max\0D:\\场景 b\\b.max\0";
    DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
    HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE, sizeof header + sizeof paths);
    ASSERT_NE(drop, nullptr);
    auto* at = static_cast<char*>(GlobalLock(drop));
    std::memcpy(at, &header, sizeof header);
    std::memcpy(at + sizeof header, paths, sizeof paths);
    GlobalUnlock(drop);
    ASSERT_TRUE(OpenClipboard(owner.hwnd));
    EXPECT_NE(SetClipboardData(CF_HDROP, drop), nullptr);
    CloseClipboard();
    const auto files = ReadClipboard(owner.hwnd);
    ASSERT_TRUE(std::holds_alternative<ClipboardContent>(files));
    EXPECT_EQ(std::get<ClipboardContent>(files).files, (std::vector<std::wstring>{L"C:\\a.max", L"D:\\场景 b\\b.max"}));
    EXPECT_EQ(std::get<ClipboardContent>(files).text, L"");

    // Held open by another thread past the short wait: a fault for the window to tell, and
    // nothing changed.
    std::atomic<int> opened = 0;  // 1 when the other thread holds it, -1 when it could not
    std::atomic<bool> release = false;
    std::thread holder([&] {
        opened = OpenClipboard(nullptr) ? 1 : -1;
        while (!release) Sleep(1);
        if (opened == 1) CloseClipboard();
    });
    while (opened == 0) Sleep(1);
    EXPECT_EQ(opened, 1);
    const auto held = ReadClipboard(owner.hwnd);
    EXPECT_TRUE(std::holds_alternative<ClipboardFault>(held) && std::get<ClipboardFault>(held) == ClipboardFault::Busy);
    EXPECT_EQ(PutOnClipboard(owner.hwnd, L"x", "x"), ClipboardFault::Busy);
    release = true;
    holder.join();
    EXPECT_EQ(ClipboardFaultMessage(ClipboardFault::Busy), L"剪贴板正被其他程序占用，请稍后再试。");
    EXPECT_EQ(std::get<ClipboardContent>(ReadClipboard(owner.hwnd)).files.size(), 2u);
}

}  // namespace
}  // namespace ravolen::win
