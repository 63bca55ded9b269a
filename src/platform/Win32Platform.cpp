#include "platform/Win32Platform.h"
#include "platform/SystemLibrary.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "base/BoxOwner.h"
#include "base/Handles.h"
#include "platform/FileReplacement.h"
#include "platform/RenderJobFollower.h"
#include "platform/TypedName.h"

namespace ravolen {
namespace {

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

// Per logon session, as the program's single instance is.
constexpr wchar_t RenderJobName[] = L"Local\\Ravolen.RenderJob.5B0F7E2C";

KernelHandle OpenRenderJob() {
    return KernelHandle(OpenJobObjectW(JOB_OBJECT_QUERY | JOB_OBJECT_TERMINATE, FALSE, RenderJobName));
}

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
// `output`, one of them, its standard output and error go there.
bool CreateProcessFor(const ProcessLaunch& launch, bool suspended, PROCESS_INFORMATION& info,
                      std::vector<HANDLE> inherited = {}, HANDLE output = nullptr) {
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
    // A console of its own, hidden or minimised, whether or not this process has a console.
    DWORD flags = CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT |
                  (suspended ? CREATE_SUSPENDED : 0u);
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

Win32Platform::~Win32Platform() { stopFollowingRenderJob(); }

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
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteAll(file.get(), bytes);
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

// The key under which the render job's messages reach its port.
constexpr ULONG_PTR RenderJobKey = 0x5B0F7E2C;

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

}  // namespace

bool Win32Platform::startInRenderJob(const ProcessLaunch& launch) {
    // Creates the job, or opens the one an earlier render left running, and keeps it for the
    // whole run. Without JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE the render outlives this program.
    if (!renderJob_) renderJob_.reset(CreateJobObjectW(nullptr, RenderJobName));
    // The port is associated before the script joins, so that even its own start is seen.
    if (renderJob_ && !renderJobPort_) {
        KernelHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = reinterpret_cast<PVOID>(RenderJobKey);
        association.CompletionPort = port.get();
        if (port && SetInformationJobObject(renderJob_.get(),
                                            JobObjectAssociateCompletionPortInformation,
                                            &association, sizeof association)) {
            renderJobPort_ = std::move(port);
        }
    }
    // What an earlier night left in the port, unread, is not this night's.
    if (renderJobPort_ && !follower_) {
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
    PROCESS_INFORMATION info{};
    if (!CreateProcessFor(launch, true, info, {inheritable, output.get()}, output.get())) {
        return false;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    // Where no job can be had (none created, or this program sits in a job that forbids
    // nesting), the script runs all the same; cancelling then has no job to go by.
    if (!renderJob_ || !AssignProcessToJobObject(renderJob_.get(), process.get())) {
        jobsUnavailable_ = true;
    }
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(process.get(), 1);
        return false;
    }
    lastScript_ = {info.dwProcessId, inheritable, output.get()};
    return true;
}

bool Win32Platform::followRenderJob() {
    if (follower_) return true;
    if (renderJobPort_) {
        // Every message since the script started waits in the port, even if it all ended already.
        follower_ = std::make_unique<PortFollower>(renderJobPort_.get(), RenderJobKey);
        return true;
    }
    // Joined late: the job's port, if any, is the first program's.
    KernelHandle job(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, RenderJobName));
    if (!job || ActiveProcesses(job.get()) == 0) return false;
    follower_ = std::make_unique<PollFollower>(std::move(job));
    return true;
}

std::vector<RenderJobEvent> Win32Platform::takeRenderJobEvents() {
    return follower_ ? follower_->take() : std::vector<RenderJobEvent>{};
}

void Win32Platform::stopFollowingRenderJob() { follower_.reset(); }

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

bool Win32Platform::renderJobRunning() {
    const KernelHandle job = OpenRenderJob();
    return job && ActiveProcesses(job.get()) > 0;
}

RenderJobEnd Win32Platform::endRenderJob() {
    const KernelHandle job = OpenRenderJob();
    if (job && ActiveProcesses(job.get()) > 0) {
        return TerminateJobObject(job.get(), 1) ? RenderJobEnd::Ended : RenderJobEnd::Unavailable;
    }
    if (jobsUnavailable_) return RenderJobEnd::Unavailable;
    // No job to find: nothing of ours runs, unless jobs cannot be had here at all.
    if (job) return RenderJobEnd::NoneRunning;
    return KernelHandle(CreateJobObjectW(nullptr, nullptr)) ? RenderJobEnd::NoneRunning
                                                             : RenderJobEnd::Unavailable;
}

bool Win32Platform::previousInstanceRunning() {
    if (!instanceMutex_) {
        // Per logon session, as a user sees "already running"; held until this process ends.
        instanceMutex_.reset(
            CreateMutexW(nullptr, FALSE, L"Local\\Ravolen.SingleInstance.5B0F7E2C"));
        previousInstance_ = instanceMutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
    }
    return previousInstance_;
}

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

}  // namespace ravolen
