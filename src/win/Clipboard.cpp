#include "win/Clipboard.h"

#include <shlobj.h>  // DROPFILES

#include <cstring>
#include <utility>

namespace ravolen::win {
namespace {

// Another program may hold the clipboard for a moment (a clipboard manager reading what was just
// put): tried a few times, never long enough to stall the window.
constexpr int OpenAttempts = 8;
constexpr DWORD OpenPauseMilliseconds = 25;

class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) {
        for (int attempt = 0; attempt < OpenAttempts && !open_; ++attempt) {
            if (attempt > 0) Sleep(OpenPauseMilliseconds);
            open_ = OpenClipboard(owner) != FALSE;
        }
    }
    ~OpenClipboardScope() {
        if (open_) CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;

    explicit operator bool() const { return open_; }

private:
    bool open_ = false;
};

// Movable global memory holding bytes and the null after them that readers of either format
// expect, freed unless the clipboard took it.
class GlobalMemory {
public:
    GlobalMemory(const void* bytes, std::size_t size, std::size_t nullSize)
        : memory_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size + nullSize)) {
        if (!memory_) return;
        if (void* target = GlobalLock(memory_)) {
            if (size > 0) std::memcpy(target, bytes, size);
            GlobalUnlock(memory_);
        } else {
            GlobalFree(std::exchange(memory_, nullptr));
        }
    }
    ~GlobalMemory() {
        if (memory_) GlobalFree(memory_);
    }
    GlobalMemory(const GlobalMemory&) = delete;
    GlobalMemory& operator=(const GlobalMemory&) = delete;

    // Hands the memory to the clipboard, which owns it once this succeeds.
    bool putAs(UINT format) {
        if (!memory_ || !SetClipboardData(format, memory_)) return false;
        memory_ = nullptr;
        return true;
    }

private:
    HGLOBAL memory_;
};

// Reads the clipboard's memory for a format within its size, whatever another program put there.
class LockedData {
public:
    explicit LockedData(UINT format) : memory_(GetClipboardData(format)) {
        if (memory_) data_ = GlobalLock(memory_);
        if (data_) size_ = GlobalSize(memory_);
    }
    ~LockedData() {
        if (data_) GlobalUnlock(memory_);
    }
    LockedData(const LockedData&) = delete;
    LockedData& operator=(const LockedData&) = delete;

    const char* bytes() const { return static_cast<const char*>(data_); }
    std::size_t size() const { return size_; }

private:
    HANDLE memory_;
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// The wide text at `at`, up to its null or the end of the memory, whichever comes first.
// Read a character at a time: a DROPFILES block may place its paths at any offset.
std::wstring WideTextIn(const char* at, std::size_t bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + sizeof(wchar_t) <= bytes; i += sizeof(wchar_t)) {
        wchar_t c;
        std::memcpy(&c, at + i, sizeof c);
        if (c == L'\0') break;
        text += c;
    }
    return text;
}

// The paths of a DROPFILES block: strings one after another, an empty one at the end.
std::vector<std::wstring> DroppedFiles(const LockedData& data) {
    std::vector<std::wstring> files;
    DROPFILES header;
    if (!data.bytes() || data.size() < sizeof header) return files;
    std::memcpy(&header, data.bytes(), sizeof header);
    if (header.pFiles < sizeof header || header.pFiles >= data.size()) return files;
    const char* at = data.bytes() + header.pFiles;
    std::size_t left = data.size() - header.pFiles;
    while (left > 0) {
        std::wstring path;
        std::size_t used;
        if (header.fWide) {
            path = WideTextIn(at, left);
            used = (path.size() + 1) * sizeof(wchar_t);
        } else {
            const std::size_t length = strnlen(at, left);
            used = length + 1;
            const int wide = MultiByteToWideChar(CP_ACP, 0, at, static_cast<int>(length), nullptr, 0);
            path.resize(static_cast<std::size_t>(wide));
            MultiByteToWideChar(CP_ACP, 0, at, static_cast<int>(length), path.data(), wide);
        }
        if (path.empty()) break;
        files.push_back(std::move(path));
        if (used >= left) break;
        at += used;
        left -= used;
    }
    return files;
}

}  // namespace

std::wstring_view ClipboardFaultMessage(ClipboardFault fault) {
    return fault == ClipboardFault::Busy ? L"剪贴板正被其他程序占用，请稍后再试。" : L"无法使用剪贴板，请稍后再试。";
}

std::optional<ClipboardFault> PutOnClipboard(HWND owner, std::wstring_view text, std::string_view csv) {
    GlobalMemory textMemory(text.data(), text.size() * sizeof(wchar_t), sizeof(wchar_t));
    GlobalMemory csvMemory(csv.data(), csv.size(), 1);
    const UINT csvFormat = RegisterClipboardFormatW(L"Csv");
    OpenClipboardScope open(owner);
    if (!open) return ClipboardFault::Busy;
    if (!EmptyClipboard()) return ClipboardFault::Failed;
    if (!textMemory.putAs(CF_UNICODETEXT) || (!csv.empty() && (csvFormat == 0 || !csvMemory.putAs(csvFormat)))) {
        EmptyClipboard();  // never half of a copy
        return ClipboardFault::Failed;
    }
    return std::nullopt;
}

bool ClipboardHoldsContent() {
    return IsClipboardFormatAvailable(CF_HDROP) || IsClipboardFormatAvailable(CF_UNICODETEXT);
}

std::variant<ClipboardContent, ClipboardFault> ReadClipboard(HWND owner) {
    OpenClipboardScope open(owner);
    if (!open) return ClipboardFault::Busy;
    ClipboardContent content;
    if (IsClipboardFormatAvailable(CF_HDROP)) content.files = DroppedFiles(LockedData(CF_HDROP));
    if (content.files.empty() && IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        const LockedData text(CF_UNICODETEXT);
        if (text.bytes()) content.text = WideTextIn(text.bytes(), text.size());
    }
    return content;
}

}  // namespace ravolen::win
