#include "platform/Win32Platform.h"
#include "platform/SystemLibrary.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <vector>

#include "base/BoxOwner.h"
#include "base/Handles.h"
#include "platform/FileReplacement.h"
#include "platform/ProcessTree.h"
#include "platform/RenderJobFollower.h"
#include "platform/TypedName.h"

namespace ravolen {
namespace {

// When the process of that id was created, in 100 ns since 1601; nothing when it cannot be opened.
std::optional<unsigned long long> CreationOf(DWORD processId) {
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process || !GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return std::nullopt;
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}


// Calls `fill(buffer, capacity)` with a growing buffer until the answer fits. `fill` returns the
// length written, or a value of at least `capacity` when the buffer was too small, or 0 on failure.
template <typename Fill>
std::wstring GrowingBuffer(Fill fill) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const UINT capacity = static_cast<UINT>(buffer.size());
        const UINT length = fill(buffer.data(), capacity);
        if (length == 0) return {};
        if (length < capacity) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The render job opened with `access`. `denied` tells a job that exists but is not this user's
// to open (made by a copy of the program running as administrator) from one that is not there.
KernelHandle OpenRenderJob(DWORD access, bool* denied = nullptr) {
    KernelHandle job(OpenJobObjectW(access, FALSE, Win32Platform::RenderJobName));
    if (denied) *denied = !job && GetLastError() == ERROR_ACCESS_DENIED;
    return job;
}

// When the process started, on the clock the system's process list uses; 0 when it is not listed.
unsigned long long ListedStart(DWORD processId) {
    if (const auto processes = ListProcesses()) {
        for (const ListedProcess& process : *processes) {
            if (process.id == processId) return process.created;
        }
    }
    return 0;
}

// The ids of the processes the root started, and theirs, that still run.
std::optional<std::vector<DWORD>> TreeOf(DWORD rootId, unsigned long long rootCreated) {
    const auto processes = ListProcesses();
    if (!processes) return std::nullopt;
    std::vector<DWORD> ids;
    for (const ListedProcess& process : Descendants(rootId, rootCreated, *processes)) {
        ids.push_back(process.id);
    }
    return ids;
}

bool StillRuns(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

DWORD ActiveProcesses(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr)) {
        return 0;
    }
    return accounting.ActiveProcesses;
}

// An attribute list that lets a new process inherit the given handles and no other.
class InheritOnly {
public:
    explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_ = std::make_unique<unsigned char[]>(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
        ready_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) != FALSE;
        if (ready_ &&
            !UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list_);
            ready_ = false;
        }
    }
    ~InheritOnly() {
        if (ready_) DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return ready_ ? list_ : nullptr; }

private:
    std::vector<HANDLE> handles_;
    std::unique_ptr<unsigned char[]> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool ready_ = false;
};

// Starts the program suspended when `suspended`, so that it can join a job before it runs. With
// `inherited`, inheritable handles, the program inherits those handles and no other. With
// `output`, one of them, its standard output and error go there. `extraFlags` go to
// CreateProcessW as they are.
bool CreateProcessFor(const ProcessLaunch& launch, bool suspended, PROCESS_INFORMATION& info,
                      std::vector<HANDLE> inherited = {}, HANDLE output = nullptr,
                      DWORD extraFlags = 0) {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow =
        launch.style == WindowStyle::Hidden ? SW_HIDE : SW_SHOWMINIMIZED;
    if (output) {
        // No input: nothing in a night's script asks, and a question must not wait for ever.
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = output;
        startup.StartupInfo.hStdError = output;
    }
    std::wstring commandLine = launch.commandLine;  // CreateProcessW may write into it
    // A console of its own whether or not this process has one. A hidden program's console has
    // no window at all: a default terminal (Windows Terminal on Windows 11) would show a new
    // console's window whatever it was asked, and closing it would end the night.
    DWORD flags = (launch.style == WindowStyle::Hidden ? CREATE_NO_WINDOW : CREATE_NEW_CONSOLE) |
                  CREATE_UNICODE_ENVIRONMENT | (suspended ? CREATE_SUSPENDED : 0u) | extraFlags;
    std::erase(inherited, nullptr);
    std::optional<InheritOnly> only;
    if (!inherited.empty()) {
        only.emplace(inherited);
        if (!only->get()) return false;
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = only->get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    return CreateProcessW(launch.application.c_str(), commandLine.data(), nullptr, nullptr,
                          inherited.empty() ? FALSE : TRUE, flags, nullptr,
                          launch.workingFolder.empty() ? nullptr : launch.workingFolder.c_str(),
                          &startup.StartupInfo, &info) != FALSE;
}

std::wstring ParentFolder(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator == std::wstring_view::npos) return {};
    // A drive's root keeps its separator, as the common dialog writes it.
    if (separator == 2 && path[1] == L':') return std::wstring(path.substr(0, 3));
    return std::wstring(path.substr(0, separator));
}

// The common dialog's answer: one full path, or the folder followed by the names in it. The
// shell's item dialog answers full paths, of one folder; a folder that holds them all is found
// should they ever come from several.
std::vector<std::wstring> CommonDialogAnswer(const std::vector<std::wstring>& paths) {
    if (paths.size() <= 1) return paths;
    std::wstring folder = ParentFolder(paths.front());
    const auto prefix = [&] { return folder.ends_with(L'\\') ? folder : folder + L"\\"; };
    const auto holdsAll = [&] {
        for (const std::wstring& path : paths) {
            if (!path.starts_with(prefix())) return false;
        }
        return true;
    };
    while (!folder.empty() && !holdsAll()) {
        const std::wstring parent = ParentFolder(folder);
        folder = parent == folder ? std::wstring() : parent;
    }
    if (folder.empty()) return {};
    std::vector<std::wstring> answer{folder};
    for (const std::wstring& path : paths) answer.push_back(path.substr(prefix().size()));
    return answer;
}

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring Lowered(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// "3ds Max 2024" gives 2024; anything else 0.
int YearOfFolderName(std::wstring_view name) {
    constexpr std::wstring_view prefix = L"3ds Max ";
    if (name.size() != prefix.size() + 4 ||
        CompareStringOrdinal(name.data(), static_cast<int>(prefix.size()), prefix.data(),
                             static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL) {
        return 0;
    }
    int year = 0;
    for (wchar_t c : name.substr(prefix.size())) {
        if (c < L'0' || c > L'9') return 0;
        year = year * 10 + (c - L'0');
    }
    return year;
}

// The variable's whole value, however long; empty where it is not set.
std::wstring EnvironmentValue(const wchar_t* name) {
    return GrowingBuffer([name](wchar_t* buffer, UINT capacity) {
        return GetEnvironmentVariableW(name, buffer, capacity);  // too small: the size needed
    });
}

std::vector<std::wstring> SplitAt(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.emplace_back(text.substr(start, end - start));
        if (end == std::wstring_view::npos) return pieces;
        start = end + 1;
    }
}

// The title, the file types ("description|pattern|...") and the options of a shell file dialog.
void SetUpFileDialog(IFileDialog& dialog, const std::wstring& title, std::wstring_view filter,
                     FILEOPENDIALOGOPTIONS extra) {
    FILEOPENDIALOGOPTIONS options = 0;
    dialog.GetOptions(&options);
    dialog.SetOptions(options | extra);
    dialog.SetTitle(title.c_str());
    const std::vector<std::wstring> pieces = SplitAt(filter, L'|');
    std::vector<COMDLG_FILTERSPEC> types;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        types.push_back({pieces[i].c_str(), pieces[i + 1].c_str()});
    }
    dialog.SetFileTypes(static_cast<UINT>(types.size()), types.data());
}


// The window a box belongs to: that of the handler that raised it, or, where it is hidden (a
// progress window reporting its end), the nearest visible window that owns it; failing those,
// the active window, then the program's frontmost window on this thread.
HWND BoxOwner() {
    HWND owner = CurrentBoxOwner ? GetAncestor(CurrentBoxOwner, GA_ROOT) : nullptr;
    while (owner && !IsWindowVisible(owner)) owner = GetWindow(owner, GW_OWNER);
    if (!owner) owner = GetActiveWindow();
    if (!owner) {
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) {
                if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;  // the first is the frontmost
            },
            reinterpret_cast<LPARAM>(&owner));
    }
    return owner;
}

// Disables every other window of this thread while it lives, as a box disables its owner: the
// whole program waits for the answer, whichever of its windows asked.
class ProgramModal {
public:
    explicit ProgramModal(HWND owner) {
        struct Context {
            HWND owner;
            std::vector<HWND>* disabled;
        } context{owner, &disabled_};
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM data) {
                auto& c = *reinterpret_cast<Context*>(data);
                if (window != c.owner && IsWindowEnabled(window)) {
                    EnableWindow(window, FALSE);
                    c.disabled->push_back(window);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&context));
    }
    ~ProgramModal() {
        for (const HWND window : disabled_) {
            if (IsWindow(window)) EnableWindow(window, TRUE);
        }
    }
    ProgramModal(const ProgramModal&) = delete;
    ProgramModal& operator=(const ProgramModal&) = delete;

private:
    std::vector<HWND> disabled_;
};

int ProgramModalBox(const std::wstring& text, UINT style) {
    const HWND owner = BoxOwner();
    const ProgramModal modal(owner);
    return MessageBoxW(owner, text.c_str(), std::wstring(ApplicationTitle).c_str(),
                       style | MB_APPLMODAL);
}


}  // namespace

Win32Platform::Win32Platform() : codec_(GetOEMCP()), ansiCodec_(GetACP()) {}

Win32Platform::~Win32Platform() {
    stopFollowingRenderJob();
    letSleep();
}

std::wstring Win32Platform::programFolder() const {
    const std::wstring module = GrowingBuffer([](wchar_t* buffer, UINT capacity) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, capacity);
        // A truncated path fills the whole buffer.
        return length >= capacity ? capacity : static_cast<UINT>(length);
    });
    const std::size_t separator = module.find_last_of(L'\\');
    return separator == std::wstring::npos ? module : module.substr(0, separator);
}

std::wstring Win32Platform::userDataFolder() const {
    // The environment first, as %LOCALAPPDATA% reads; the shell's answer where it is not set.
    std::wstring base = EnvironmentValue(L"LOCALAPPDATA");
    if (base.empty()) {
        PWSTR known = nullptr;
        const auto knownFolder =
            SystemFunctionOf<decltype(SHGetKnownFolderPath)>(L"shell32.dll", "SHGetKnownFolderPath");
        if (knownFolder && SUCCEEDED(knownFolder(FOLDERID_LocalAppData, 0, nullptr, &known))) base = known;
        CoTaskMemFree(known);
    }
    base = WithoutTrailingSeparators(std::move(base));
    return base.empty() ? base : base + L"\\Ravolen";
}

std::wstring Win32Platform::deadlineFolder() const {
    return EnvironmentValue(L"DEADLINE_PATH");
}

std::wstring Win32Platform::systemFolder() const {
    return GrowingBuffer([](wchar_t* buffer, UINT capacity) {
        return GetSystemDirectoryW(buffer, capacity);  // too small: the size needed, > capacity
    });
}

bool Win32Platform::createFolder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool Win32Platform::writeFile(const std::wstring& path, std::string_view bytes) {
    return writeFileTelling(path, bytes) == FileWrite::Written;
}

FileWrite Win32Platform::writeFileTelling(const std::wstring& path, std::string_view bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError() == ERROR_SHARING_VIOLATION ? FileWrite::Held : FileWrite::Failed;
    return WriteAll(file.get(), bytes) ? FileWrite::Written : FileWrite::Failed;
}

bool Win32Platform::appendFile(const std::wstring& path, std::string_view bytes) {
    // Written through: a line of the night's record is on the disk before the next row starts.
    FileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH,
                                nullptr));
    return file && WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
}

bool Win32Platform::deleteFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool Win32Platform::fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> Win32Platform::readFile(const std::wstring& path) {
    FileRead read = readFileTelling(path);
    if (read.outcome != FileRead::Outcome::Read) return std::nullopt;
    return std::move(read.bytes);
}

namespace {

FileHandle OpenToRead(const std::wstring& path) {
    // Others may go on writing (the night's log) while it is read.
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads until `bytes` is full or the file ends; false on an error.
bool ReadAll(HANDLE file, std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr)) return false;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

}  // namespace

FileRead Win32Platform::readFileTelling(const std::wstring& path) {
    const FileHandle file = OpenToRead(path);
    if (!file) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return {missing ? FileRead::Outcome::Missing : FileRead::Outcome::Unreadable, {}};
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (1LL << 31)) {
        return {FileRead::Outcome::Unreadable, {}};
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return {FileRead::Outcome::Unreadable, {}};
    }
    // A file cut shorter meanwhile is read as far as it goes; one that could not be read to its
    // stated end by an error is not read at all.
    if (!ReadAll(file.get(), bytes)) return {FileRead::Outcome::Unreadable, {}};
    return {FileRead::Outcome::Read, std::move(bytes)};
}

std::optional<std::string> Win32Platform::readFileFrom(const std::wstring& path,
                                                       unsigned long long offset, std::size_t most) {
    const FileHandle file = OpenToRead(path);
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
    const auto length = static_cast<unsigned long long>(size.QuadPart);
    if (offset >= length) return std::string();
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(std::min<unsigned long long>(most, length - offset)), '\0');
    if (!ReadAll(file.get(), bytes)) return std::nullopt;
    return bytes;
}

std::optional<unsigned long long> Win32Platform::fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}


namespace {

static_assert(replace_error::SharingViolation == ERROR_SHARING_VIOLATION);
static_assert(replace_error::LockViolation == ERROR_LOCK_VIOLATION);
static_assert(replace_error::UnableToRemoveReplaced == ERROR_UNABLE_TO_REMOVE_REPLACED);
static_assert(replace_error::UnableToMoveReplacement == ERROR_UNABLE_TO_MOVE_REPLACEMENT);
static_assert(replace_error::UnableToMoveReplacement2 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
static_assert(replace_error::UserMappedFile == ERROR_USER_MAPPED_FILE);

class SystemReplacement final : public ReplacementCalls {
public:
    unsigned long replace(const std::wstring& target, const std::wstring& temporary,
                          const std::wstring& backup) override {
        return ReplaceFileW(target.c_str(), temporary.c_str(), backup.c_str(),
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                   ? ERROR_SUCCESS
                   : GetLastError();
    }
    bool rename(const std::wstring& from, const std::wstring& to) override {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    void remove(const std::wstring& path) override { DeleteFileW(path.c_str()); }
};

}  // namespace

bool Win32Platform::replaceFile(const std::wstring& path, std::string_view bytes) {
    // Per process and thread: the session may be saved on a worker while a job list is saved.
    const std::wstring suffix =
        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetCurrentThreadId());
    const std::wstring temporary = path + L".ravolen-" + suffix;
    {
        // On disk before it takes the old file's place: after a power cut the renamed file could
        // otherwise be there with nothing in it.
        FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
            file.reset();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    // A target someone holds open cannot be replaced: found before ReplaceFileW is asked, which
    // (under Wine) would leave a backup file of its own beside it.
    const bool exists = fileExists(path);
    if (exists) {
        const FileHandle probe(CreateFileW(path.c_str(), DELETE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!probe && ReplaceOutcomeOf(GetLastError()) == ReplaceOutcome::TargetHeld) {
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    // With a backup name, no answer of ReplaceFileW leaves the old file without a name.
    SystemReplacement calls;
    return PutInPlace(calls, exists, path, temporary, path + L".ravolen-backup-" + suffix);
}

std::optional<std::vector<FolderEntry>> Win32Platform::folderEntries(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((WithoutTrailingSeparators(path) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({std::wstring(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                           (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                               found.ftLastWriteTime.dwLowDateTime});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

std::vector<MaxInstallation> Win32Platform::maxInstallations() {
    std::vector<MaxInstallation> found;
    const auto add = [&](int year, std::wstring folder) {
        folder = WithoutTrailingSeparators(std::move(folder));
        if (year <= 0 || !fileExists(folder + L"\\3dsmaxcmd.exe")) return;
        for (const MaxInstallation& known : found) {
            if (Lowered(known.folder) == Lowered(folder)) return;
        }
        found.push_back({year, std::move(folder)});
    };
    // Each version's key names its folder; version 26 is 3ds Max 2024.
    HKEY versions = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Autodesk\\3dsMax", 0,
                      KEY_READ | KEY_WOW64_64KEY, &versions) == ERROR_SUCCESS) {
        wchar_t name[64];
        for (DWORD i = 0;; ++i) {
            DWORD length = 64;
            if (RegEnumKeyExW(versions, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            wchar_t folder[MAX_PATH] = {};
            DWORD size = sizeof folder;
            if (RegGetValueW(versions, name, L"Installdir", RRF_RT_REG_SZ, nullptr, folder, &size) ==
                ERROR_SUCCESS) {
                const int version = _wtoi(name);
                add(version > 0 ? 1998 + version : 0, folder);
            }
        }
        RegCloseKey(versions);
    }
    for (const wchar_t* variable : {L"ProgramW6432", L"ProgramFiles"}) {
        const std::wstring autodesk = EnvironmentValue(variable) + L"\\Autodesk";
        if (const auto entries = folderEntries(autodesk)) {
            for (const FolderEntry& entry : *entries) {
                if (entry.folder) add(YearOfFolderName(entry.name), autodesk + L"\\" + entry.name);
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.year > b.year; });
    return found;
}

std::wstring Win32Platform::saveFile(const SaveFileRequest& request) {
    return chooseSaveFile(request).path;
}

namespace {

// Notes the name box's text as the user presses 保存, while the dialog still shows it: the path
// the dialog then answers may carry an extension it added of its own.
class TypedNameNote final : public IFileDialogEvents {
public:
    std::wstring typed;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IFileDialogEvents) {
            *out = static_cast<IFileDialogEvents*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the one call that shows the dialog, and is unadvised before it ends.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog* dialog) override {
        PWSTR name = nullptr;
        if (SUCCEEDED(dialog->GetFileName(&name)) && name) typed = name;
        CoTaskMemFree(name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*,
                                               FDE_SHAREVIOLATION_RESPONSE* response) override {
        *response = FDESVR_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*,
                                          FDE_OVERWRITE_RESPONSE* response) override {
        *response = FDEOR_DEFAULT;
        return S_OK;
    }
};

}  // namespace

SaveFileChoice Win32Platform::chooseSaveFile(const SaveFileRequest& request) {
    ComPtr<IFileSaveDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileSaveDialog, reinterpret_cast<void**>(dialog.put())))) {
        return {};
    }
    // No overwrite prompt: the dialog would ask about a name of its own making (Wine about
    // j.csv.xlsx for j.csv); the caller asks about the file it will write.
    SetUpFileDialog(*dialog.get(), request.title, request.filter,
                    FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    TypedNameNote note;
    DWORD cookie = 0;
    const bool advised = SUCCEEDED(dialog->Advise(&note, &cookie));
    const HRESULT shown = dialog->Show(GetActiveWindow());
    if (advised) dialog->Unadvise(cookie);
    ComPtr<IShellItem> item;
    PWSTR name = nullptr;
    if (FAILED(shown) || FAILED(dialog->GetResult(item.put())) ||
        FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        return {};
    }
    const CoTaskMem owned(name);
    UINT type = 1;
    if (FAILED(dialog->GetFileTypeIndex(&type)) || type == 0) type = 1;
    return {PathAsTyped(name, note.typed), static_cast<int>(type)};
}

bool Win32Platform::startProcess(const ProcessLaunch& launch) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessFor(launch, false, info)) return false;
    // Nothing watches what was started.
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    return true;
}

std::optional<ProcessOutput> Win32Platform::runAndRead(const ProcessLaunch& launch,
                                                      RunBounds bounds) {
    // The program and all it starts share one job, so that a limit ends the whole tree; closing
    // the job's last handle ends them too, should this program itself end meanwhile.
    const KernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::nullopt;
    const KernelHandle reader(readEnd);
    KernelHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);  // only the child's end is inherited

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = writeEnd;
    startup.StartupInfo.hStdInput = nullptr;
    const InheritOnly only({writeEnd});
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED;
    if (only.get()) {
        startup.lpAttributeList = only.get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    } else {
        startup.StartupInfo.cb = sizeof startup.StartupInfo;
    }
    std::wstring commandLine = launch.commandLine;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(launch.application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        flags, nullptr,
                        launch.workingFolder.empty() ? nullptr : launch.workingFolder.c_str(),
                        &startup.StartupInfo, &info)) {
        return std::nullopt;
    }
    const KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    const bool inJob = job && AssignProcessToJobObject(job.get(), process.get());
    ResumeThread(thread.get());
    writer.reset();  // the pipe ends when the program's own end closes

    const auto endAll = [&] {
        if (inJob) {
            TerminateJobObject(job.get(), 1);
        } else {
            TerminateProcess(process.get(), 1);
        }
    };
    ProcessOutput result;
    const ULONGLONG deadline =
        bounds.seconds > 0 ? GetTickCount64() + bounds.seconds * 1000ull : ~0ull;
    char buffer[4096];
    // Polled, never blocked on: a silent program would hold a blocking read forever.
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // all ended
        if (available > 0) {
            DWORD read = 0;
            if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &read,
                          nullptr) || read == 0) {
                break;
            }
            result.output.append(buffer, read);
            continue;
        }
        if (!result.timedOut && !result.stopped) {
            if (bounds.stop && bounds.stop->load()) {
                result.stopped = true;
                endAll();
            } else if (GetTickCount64() >= deadline) {
                result.timedOut = true;
                endAll();
            }
        }
        WaitForSingleObject(process.get(), 20);
        // The program ended but something it started still holds the pipe: that ends with it.
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            if (!inJob) break;  // what it started cannot be told apart: its output is left
            TerminateJobObject(job.get(), 0);
        }
    }
    WaitForSingleObject(process.get(), 5000);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.exitCode = code;
    return result;
}

namespace {

// Inheritable by the script, for its standard output and error: made anew, and readable by the
// log window while the night writes it.
KernelHandle InheritableOutput(const std::wstring& path) {
    if (path.empty()) return {};
    const FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    HANDLE inheritable = nullptr;
    if (!file || !DuplicateHandle(GetCurrentProcess(), file.get(), GetCurrentProcess(),
                                  &inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return KernelHandle(inheritable);
}

// A renderer that crashes ends at once instead of waiting on Windows Error Reporting's box for a
// click that nobody gives at night: the night goes on to its next row. The job's other limits
// stay as they are.
void DieOnUnhandledException(HANDLE job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (!QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                   nullptr)) {
        return;
    }
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

}  // namespace

bool Win32Platform::startInRenderJob(const ProcessLaunch& launch) {
    // An earlier night's follower (its job's end may never have been told) must not take this
    // night's first events.
    follower_.reset();
    // Creates the job, or opens the one an earlier render left running, and keeps it for the
    // whole run. Without JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE the render outlives this program.
    if (!renderJob_) {
        renderJob_.reset(CreateJobObjectW(nullptr, Win32Platform::RenderJobName));
        if (renderJob_) DieOnUnhandledException(renderJob_.get());
    }
    // The port is associated before the script joins, so that even its own start is seen.
    if (renderJob_ && !renderJobPort_) {
        KernelHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = reinterpret_cast<PVOID>(RenderJobPortKey);
        association.CompletionPort = port.get();
        if (port && SetInformationJobObject(renderJob_.get(),
                                            JobObjectAssociateCompletionPortInformation,
                                            &association, sizeof association)) {
            renderJobPort_ = std::move(port);
        }
    }
    // What an earlier night left in the port, unread, is not this night's.
    if (renderJobPort_) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED value = nullptr;
        while (GetQueuedCompletionStatus(renderJobPort_.get(), &message, &key, &value, 0)) {
        }
    }
    // The script holds a handle of its own, and passes it on to what it starts: the job keeps its
    // name while any process of the render runs, after this program ended or crashed too.
    HANDLE inheritable = nullptr;
    if (renderJob_ &&
        !DuplicateHandle(GetCurrentProcess(), renderJob_.get(), GetCurrentProcess(), &inheritable,
                         JOB_OBJECT_QUERY | JOB_OBJECT_TERMINATE, TRUE, 0)) {
        inheritable = nullptr;
    }
    const KernelHandle scriptsHandle(inheritable);  // this program's copy closes afterwards
    // Where the file cannot be made the night renders all the same, without its log.
    const KernelHandle output = InheritableOutput(launch.outputFile);
    // Out of a launcher's job (Task Scheduler, a remote-app host), so that its end (a
    // kill-on-close job closing) cannot end the night. Outside any job the flag does nothing; a
    // job that does not let its processes leave refuses the start, which is then made inside it.
    PROCESS_INFORMATION info{};
    if (!CreateProcessFor(launch, true, info, {inheritable, output.get()}, output.get(),
                          CREATE_BREAKAWAY_FROM_JOB) &&
        (GetLastError() != ERROR_ACCESS_DENIED ||
         !CreateProcessFor(launch, true, info, {inheritable, output.get()}, output.get()))) {
        return false;
    }
    KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    // Where the script cannot join the render job (none could be made, or this program sits in
    // a job that forbids it, as on Windows 7), it is followed and ended as its own tree of
    // processes instead: never anything by its program's name.
    scriptInJob_ = renderJob_ && AssignProcessToJobObject(renderJob_.get(), process.get());
    const unsigned long long started = scriptInJob_ ? 0 : ListedStart(info.dwProcessId);
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(process.get(), 1);
        return false;
    }
    looseScript_.reset();
    if (!scriptInJob_) {
        looseScript_ = std::make_shared<const LooseScript>(
            LooseScript{std::move(process), info.dwProcessId, started});
    }
    lastScript_ = {info.dwProcessId, inheritable, output.get()};
    scriptMark_.reset();
    if (const auto created = CreationOf(info.dwProcessId)) scriptMark_ = ProcessMark{info.dwProcessId, *created};
    return true;
}

namespace {

// The script outside the render job and what it started that still runs, the script first.
std::optional<std::vector<DWORD>> LooseProcesses(const Win32Platform::LooseScript& script) {
    auto ids = TreeOf(script.processId, script.started);
    const bool runs = StillRuns(script.process.get());
    if (!ids) return runs ? std::optional(std::vector<DWORD>{script.processId}) : std::nullopt;
    if (runs) ids->insert(ids->begin(), script.processId);
    return ids;
}

// Ends the script first, so that it starts no further line, then what it started, and what those
// started meanwhile. True when anything was ended.
bool EndLooseScript(const Win32Platform::LooseScript& script) {
    bool ended = false;
    if (StillRuns(script.process.get())) ended = TerminateProcess(script.process.get(), 1) != FALSE;
    for (int round = 0; round < 8; ++round) {
        const auto listed = ListProcesses();
        if (!listed) break;
        // Held while the list is asked again: an id let go of and reused between the two looks
        // shows another start, and is left alone.
        struct Held {
            KernelHandle process;
            ListedProcess listed;
        };
        std::vector<Held> held;
        for (const ListedProcess& descendant : Descendants(script.processId, script.started, *listed)) {
            KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, descendant.id));
            if (process && StillRuns(process.get())) held.push_back({std::move(process), descendant});
        }
        if (held.empty()) break;
        const auto again = ListProcesses();
        if (!again) break;
        for (const Held& one : held) {
            const bool same = std::any_of(again->begin(), again->end(), [&](const ListedProcess& p) {
                return p.id == one.listed.id && p.created == one.listed.created;
            });
            if (same && TerminateProcess(one.process.get(), 1)) ended = true;
        }
    }
    return ended;
}

}  // namespace

bool Win32Platform::followRenderJob() {
    if (follower_) return true;
    if (scriptInJob_ && renderJobPort_) {
        // Every message since the script started waits in the port, even if it all ended already.
        follower_ = std::make_unique<PortFollower>(renderJobPort_.get(), RenderJobPortKey,
                                                   renderJob_.get());
        return true;
    }
    if (looseScript_) {
        const auto ids = LooseProcesses(*looseScript_);
        if (!ids || ids->empty()) return false;
        follower_ = std::make_unique<PollFollower>(
            [script = looseScript_] { return LooseProcesses(*script); });
        return true;
    }
    // Joined late: the job's port, if any, is the first program's.
    auto job = std::make_shared<KernelHandle>(OpenRenderJob(JOB_OBJECT_QUERY));
    if (!*job || ActiveProcesses(job->get()) == 0) return false;
    follower_ = std::make_unique<PollFollower>([job] { return JobProcessIds(job->get()); });
    return true;
}

std::vector<RenderJobEvent> Win32Platform::takeRenderJobEvents() {
    return follower_ ? follower_->take() : std::vector<RenderJobEvent>{};
}

void Win32Platform::stopFollowingRenderJob() { follower_.reset(); }

std::optional<std::vector<DWORD>> Win32Platform::renderJobProcesses() {
    if (looseScript_) return LooseProcesses(*looseScript_);
    if (renderJob_) return JobProcessIds(renderJob_.get());
    const KernelHandle job = OpenRenderJob(JOB_OBJECT_QUERY);
    if (!job) return std::nullopt;
    return JobProcessIds(job.get());
}

std::optional<std::vector<ListedProcess>> Win32Platform::renderTree(DWORD processId) {
    const auto inJob = renderJobProcesses();
    const auto listed = ListProcesses();
    if (!inJob || !listed) return std::nullopt;
    const auto root = std::find_if(listed->begin(), listed->end(),
                                   [&](const ListedProcess& p) { return p.id == processId; });
    const auto member = [&](DWORD id) { return std::find(inJob->begin(), inJob->end(), id) != inJob->end(); };
    if (root == listed->end() || !member(processId)) return std::nullopt;
    std::vector<ListedProcess> tree{*root};
    for (const ListedProcess& process : Descendants(root->id, root->created, *listed)) {
        // A process that left the job (or never was in it) is not the night's to judge or end.
        if (member(process.id)) tree.push_back(process);
    }
    return tree;
}

std::optional<std::vector<ProcessTime>> Win32Platform::renderTreeTimes(unsigned long processId) {
    const auto tree = renderTree(processId);
    if (!tree) return std::nullopt;
    std::vector<ProcessTime> times;
    for (const ListedProcess& process : *tree) times.push_back({process.id, process.time, process.bytes});
    return times;
}

namespace {

// Ends the processes listed, the last listed first, each only while its id still names the very
// process listed; the ids of those ended.
std::vector<unsigned long> EndListed(const std::vector<ListedProcess>& processes, unsigned exitCode) {
    // Held while the list is asked again: an id let go of and reused between the two looks shows
    // another start, and is left alone.
    struct Held {
        KernelHandle process;
        ListedProcess listed;
    };
    std::vector<Held> held;
    for (const ListedProcess& process : processes) {
        KernelHandle opened(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.id));
        if (opened && StillRuns(opened.get())) held.push_back({std::move(opened), process});
    }
    std::vector<unsigned long> ended;
    const auto again = ListProcesses();
    if (!again) return ended;
    for (auto one = held.rbegin(); one != held.rend(); ++one) {
        const bool same = std::any_of(again->begin(), again->end(), [&](const ListedProcess& p) {
            return p.id == one->listed.id && p.created == one->listed.created;
        });
        if (same && TerminateProcess(one->process.get(), exitCode)) ended.push_back(one->listed.id);
    }
    return ended;
}

}  // namespace

bool Win32Platform::endRenderTree(unsigned long processId, unsigned exitCode) {
    const auto tree = renderTree(processId);
    // What the renderer started first, so that it starts nothing more; the renderer last, and
    // its exit lets the script go on to its next line.
    return tree && !EndListed(*tree, exitCode).empty();
}

std::vector<unsigned long> Win32Platform::endRenderTreeLeft(unsigned long processId, unsigned exitCode) {
    const auto inJob = renderJobProcesses();
    const auto listed = ListProcesses();
    if (!inJob || !listed) return {};
    const auto member = [&](DWORD id) { return std::find(inJob->begin(), inJob->end(), id) != inJob->end(); };
    // The ended process's id may name another process already: only what started before that
    // one can be the ended one's.
    const auto reused = std::find_if(listed->begin(), listed->end(),
                                     [&](const ListedProcess& p) { return p.id == processId; });
    std::vector<ListedProcess> left;
    for (const ListedProcess& child : *listed) {
        if (child.parentId != processId || child.id == processId || !member(child.id) ||
            (reused != listed->end() && child.created >= reused->created)) {
            continue;
        }
        left.push_back(child);
        for (const ListedProcess& process : Descendants(child.id, child.created, *listed)) {
            if (member(process.id)) left.push_back(process);
        }
    }
    return EndListed(left, exitCode);
}

void Win32Platform::askFirstAtSessionEnd() {
    // The highest level an application may take: Windows asks it before the others, and so
    // before it ends the renderers the night is following.
    SetProcessShutdownParameters(0x3FF, 0);
}

bool Win32Platform::followingThroughPort() const {
    return dynamic_cast<const PortFollower*>(follower_.get()) != nullptr;
}

void Win32Platform::showTaskbarProgress(HWND window, const TaskbarProgress& progress) {
    // An ornament: where the shell offers none, or the button is not there yet, nothing is shown.
    if (!taskbar_ && !taskbarUnavailable_) {
        ComPtr<ITaskbarList3> made;
        HRESULT answer = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ITaskbarList3, reinterpret_cast<void**>(made.put()));
        if (SUCCEEDED(answer)) answer = made->HrInit();
        lastTaskbarAnswer_ = answer;
        if (FAILED(answer)) {
            taskbarUnavailable_ = true;
            return;
        }
        taskbar_ = std::move(made);
    }
    if (!taskbar_) return;
    const TBPFLAG state = progress.state == TaskbarProgress::State::Error    ? TBPF_ERROR
                          : progress.state == TaskbarProgress::State::Normal ? TBPF_NORMAL
                                                                             : TBPF_NOPROGRESS;
    HRESULT answer = taskbar_->SetProgressState(window, state);
    if (SUCCEEDED(answer) && state != TBPF_NOPROGRESS && progress.total > 0) {
        answer = taskbar_->SetProgressValue(window, std::min(progress.done, progress.total),
                                            progress.total);
    }
    lastTaskbarAnswer_ = answer;
}

namespace {

// The one notification icon a window has.
constexpr UINT NotificationIconId = 1;

NOTIFYICONDATAW NotificationOf(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = NotificationIconId;
    return data;
}

// As much of the text as the field holds (a tip 127 characters), never half a character outside
// the basic plane.
template <std::size_t Size>
void CopyFitting(wchar_t (&field)[Size], const std::wstring& text) {
    std::size_t length = std::min(text.size(), Size - 1);
    if (length < text.size() && length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
    std::copy_n(text.data(), length, field);
    field[length] = L'\0';
}

}  // namespace

bool Win32Platform::showNotification(HWND window, unsigned callbackMessage, const std::wstring& tip,
                                     const std::wstring& balloon) {
    removeNotification(window);  // one at a time: the newest night's
    NOTIFYICONDATAW data = NotificationOf(window);
    // With version 4 the shell shows no tip of its own unless NIF_SHOWTIP asks for it.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
    if (!data.hIcon) data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    CopyFitting(data.szTip, tip);
    if (!balloon.empty()) {
        data.uFlags |= NIF_INFO;
        CopyFitting(data.szInfo, balloon);
        CopyFitting(data.szInfoTitle, std::wstring(ApplicationTitle));
        data.dwInfoFlags = NIIF_INFO;
    }
    if (!Shell_NotifyIconW(NIM_ADD, &data)) return false;
    // Version 4: the event comes in the low word of lParam, as the callback expects.
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
    return true;
}

void Win32Platform::removeNotification(HWND window) {
    NOTIFYICONDATAW data = NotificationOf(window);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void Win32Platform::flashTaskbarButton(HWND window) {
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = window;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;  // until the window comes to the front
    FlashWindowEx(&flash);
}

bool Win32Platform::renderJobRunning() {
    if (looseScript_) {
        const auto ids = LooseProcesses(*looseScript_);
        if (ids && !ids->empty()) return true;
    }
    bool denied = false;
    const KernelHandle job = OpenRenderJob(JOB_OBJECT_QUERY, &denied);
    // Not this user's to open: a copy running as administrator renders.
    if (denied) return true;
    return job && ActiveProcesses(job.get()) > 0;
}

RenderJobEnd Win32Platform::endRenderJob() {
    const bool endedLoose = looseScript_ && EndLooseScript(*looseScript_);
    bool denied = false;
    const KernelHandle job = OpenRenderJob(JOB_OBJECT_QUERY | JOB_OBJECT_TERMINATE, &denied);
    if (denied) return RenderJobEnd::Unavailable;
    if (job && ActiveProcesses(job.get()) > 0) {
        return TerminateJobObject(job.get(), 1) ? RenderJobEnd::Ended : RenderJobEnd::Unavailable;
    }
    return endedLoose ? RenderJobEnd::Ended : RenderJobEnd::NoneRunning;
}

bool Win32Platform::sameFile(const std::wstring& a, const std::wstring& b) {
    // Asked of the file system: an 8.3 name, a junction or a subst drive name the same file.
    const auto identity = [](const std::wstring& path) -> std::optional<std::array<DWORD, 3>> {
        const FileHandle file(CreateFileW(path.c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION information{};
        if (!file || !GetFileInformationByHandle(file.get(), &information)) return std::nullopt;
        return std::array<DWORD, 3>{information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                    information.nFileIndexLow};
    };
    const auto first = identity(a);
    return first && first == identity(b);
}

bool Win32Platform::previousInstanceRunning() {
    if (!instanceMutex_ && !previousInstance_) {
        // Per logon session, as a user sees "already running"; held until this process ends.
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, InstanceMutexName);
        const DWORD error = GetLastError();
        instanceMutex_.reset(mutex);
        // A copy running as administrator made it: this user may not open it, and it runs all
        // the same.
        previousInstance_ = mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    }
    return previousInstance_;
}

bool Win32Platform::holdScript(const std::wstring& path) {
    // Read access only, as cmd has; shared for reading only, so that nobody (an editor, a
    // scanner, a copy in another logon session that cannot see this night) writes, renames or
    // deletes it while cmd still reads it line by line.
    FileHandle held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return false;
    scriptHold_ = std::move(held);
    return true;
}

void Win32Platform::letGoOfScript() { scriptHold_.reset(); }

// The shell's item dialog, whose answer has no size limit: every chosen file comes back.
std::vector<std::wstring> Win32Platform::openFiles(const OpenFileRequest& request) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileOpenDialog, reinterpret_cast<void**>(dialog.put())))) {
        return {};
    }
    SetUpFileDialog(*dialog.get(), request.title, request.filter,
                    FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR |
                        (request.multiple ? FILEOPENDIALOGOPTIONS{FOS_ALLOWMULTISELECT} : 0));
    dialog->SetFileTypeIndex(static_cast<UINT>(request.filterIndex));
    if (FAILED(dialog->Show(GetActiveWindow()))) return {};

    ComPtr<IShellItemArray> items;
    DWORD count = 0;
    if (FAILED(dialog->GetResults(items.put())) || FAILED(items->GetCount(&count))) {
        return {};
    }
    std::vector<std::wstring> paths;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        PWSTR name = nullptr;
        if (FAILED(items->GetItemAt(i, item.put())) ||
            FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
            return {};  // all of the choice or none of it
        }
        const CoTaskMem owned(name);
        paths.emplace_back(name);
    }
    return CommonDialogAnswer(paths);
}

std::wstring Win32Platform::browseFolder(const std::wstring& title) {
    BROWSEINFOW info{};
    // Modal to the window that asked, so that nothing else of it runs meanwhile.
    info.hwndOwner = GetActiveWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    const auto browse = SystemFunctionOf<decltype(SHBrowseForFolderW)>(L"shell32.dll", "SHBrowseForFolderW");
    const auto pathOf = SystemFunctionOf<decltype(SHGetPathFromIDListW)>(L"shell32.dll", "SHGetPathFromIDListW");
    if (!browse || !pathOf) return {};
    const CoTaskMem chosen(browse(&info));
    if (!chosen) return {};
    wchar_t path[MAX_PATH] = {};
    if (!pathOf(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path)) return {};
    return path;
}

bool Win32Platform::ask(const std::wstring& text) {
    return ProgramModalBox(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool Win32Platform::onNetwork(const std::wstring& path) {
    if (path.starts_with(L"\\\\")) return true;
    if (path.size() < 2 || path[1] != L':') return false;  // relative: on this computer
    const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

void Win32Platform::showMessage(const std::wstring& text, MessageIcon icon) {
    ProgramModalBox(text, MB_OK | (icon == MessageIcon::Information ? MB_ICONINFORMATION : 0u));
}

namespace {

// The shell's verb on a path, its errors left to the caller: the shell's own box would come on
// top of the program's message, or instead of it where no program is registered.
bool ShellExecutePath(const wchar_t* file, const wchar_t* parameters) {
    const auto execute = SystemFunctionOf<decltype(ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
    if (!execute) return false;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = BoxOwner();
    info.lpVerb = L"open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    return execute(&info) != FALSE;
}

}  // namespace

bool Win32Platform::openInShell(const std::wstring& path) {
    if (path.empty()) return false;
    return ShellExecutePath(path.c_str(), nullptr);
}

bool Win32Platform::showInExplorer(const std::wstring& path) {
    // Explorer asked to select what is not there opens some other folder instead.
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // The shell's own way keeps an Explorer window that shows the folder and only selects the
    // file in it; explorer /select, is the way where the shell lacks it.
    const auto parse = SystemFunctionOf<decltype(SHParseDisplayName)>(L"shell32.dll", "SHParseDisplayName");
    const auto select = SystemFunctionOf<decltype(SHOpenFolderAndSelectItems)>(
        L"shell32.dll", "SHOpenFolderAndSelectItems");
    if (parse && select) {
        PIDLIST_ABSOLUTE item = nullptr;
        if (SUCCEEDED(parse(path.c_str(), nullptr, &item, 0, nullptr)) && item) {
            const HRESULT shown = select(item, 0, nullptr, 0);
            CoTaskMemFree(item);
            if (SUCCEEDED(shown)) return true;
        }
    }
    const std::wstring explorer = EnvironmentValue(L"SystemRoot") + L"\\explorer.exe";
    const std::wstring parameters = L"/select,\"" + path + L"\"";
    return ShellExecutePath(explorer.c_str(), parameters.c_str());
}

}  // namespace ravolen

namespace ravolen {

void Win32Platform::keepAwake(const std::wstring& reason) {
    // A request's reason is fixed when it is made: a new reason is a new request, set before the
    // old one goes, so the machine is never left without one in between.
    std::wstring text = reason;
    REASON_CONTEXT context{};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = text.data();
    HANDLE request = PowerCreateRequest(&context);
    if (request != INVALID_HANDLE_VALUE && request != nullptr &&
        PowerSetRequest(request, PowerRequestSystemRequired)) {
        letSleep();
        powerRequest_ = request;
        awake_ = Awake::PowerRequest;
        return;
    }
    if (request != INVALID_HANDLE_VALUE && request != nullptr) CloseHandle(request);
    if (awake_ == Awake::PowerRequest) return;  // the earlier request still holds
    // Wine answers ERROR_CALL_NOT_IMPLEMENTED: the window thread's execution state holds instead.
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0) awake_ = Awake::ExecutionState;
}

void Win32Platform::letSleep() {
    if (powerRequest_) {
        PowerClearRequest(powerRequest_, PowerRequestSystemRequired);
        CloseHandle(powerRequest_);
        powerRequest_ = nullptr;
    }
    if (awake_ == Awake::ExecutionState) SetThreadExecutionState(ES_CONTINUOUS);
    awake_ = Awake::None;
}

void Win32Platform::registerRestart() {
    // An update's restart that signs the user back in starts the program again through the
    // restart manager; a power cut or any other restart through RunOnce, at the next logon.
    RegisterApplicationRestart(RestartArgument.data(), RESTART_NO_CRASH | RESTART_NO_HANG);
    const std::wstring program = GrowingBuffer([](wchar_t* buffer, UINT capacity) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, capacity);
        return length >= capacity ? capacity : static_cast<UINT>(length);
    });
    const std::wstring command = L"\"" + program + L"\" " + std::wstring(RestartArgument);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, RunOnceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, RunOnceValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void Win32Platform::unregisterRestart() {
    UnregisterApplicationRestart();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RunOnceKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, RunOnceValue);
    RegCloseKey(key);
}

std::optional<ProcessMark> Win32Platform::renderScriptProcess() { return scriptMark_; }

bool Win32Platform::processRunning(const ProcessMark& mark) {
    if (mark.processId == 0) return false;
    const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, mark.processId));
    FILETIME created{}, exited{}, kernel{}, user{};
    DWORD code = 0;
    if (!process || !GetProcessTimes(process.get(), &created, &exited, &kernel, &user) ||
        !GetExitCodeProcess(process.get(), &code)) {
        return false;
    }
    const unsigned long long creation =
        (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return creation == mark.created && code == STILL_ACTIVE;
}

bool Win32Platform::adoptScript(const ProcessMark& mark) {
    if (mark.processId == 0) return false;
    KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                                     FALSE, mark.processId));
    // Checked on the handle now held: the id cannot be reused while it is open.
    if (!process || !processRunning(mark)) return false;
    const unsigned long long started = ListedStart(mark.processId);
    looseScript_ = std::make_shared<const LooseScript>(LooseScript{std::move(process), mark.processId, started});
    scriptInJob_ = false;
    return true;
}

unsigned long long Win32Platform::systemTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace ravolen
