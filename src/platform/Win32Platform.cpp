#include "platform/Win32Platform.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "base/Handles.h"

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

// Starts the program suspended when `suspended`, so that it can join a job before it runs.
bool CreateProcessFor(const ProcessLaunch& launch, bool suspended, PROCESS_INFORMATION& info) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = launch.style == WindowStyle::Hidden ? SW_HIDE : SW_SHOWMINIMIZED;
    std::wstring commandLine = launch.commandLine;  // CreateProcessW may write into it
    // A console of its own, hidden or minimised, whether or not this process has a console.
    const DWORD flags = CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT |
                        (suspended ? CREATE_SUSPENDED : 0u);
    return CreateProcessW(launch.application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          flags, nullptr,
                          launch.workingFolder.empty() ? nullptr : launch.workingFolder.c_str(),
                          &startup, &info) != FALSE;
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

std::vector<std::wstring> SplitAt(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.emplace_back(text.substr(start, end - start));
        if (end == std::wstring_view::npos) return pieces;
        start = end + 1;
    }
}

}  // namespace

Win32Platform::Win32Platform() : codec_(GetOEMCP()) {}

std::wstring Win32Platform::programFolder() const {
    const std::wstring module = GrowingBuffer([](wchar_t* buffer, UINT capacity) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, capacity);
        // A truncated path fills the whole buffer.
        return length >= capacity ? capacity : static_cast<UINT>(length);
    });
    const std::size_t separator = module.find_last_of(L'\\');
    return separator == std::wstring::npos ? module : module.substr(0, separator);
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

bool Win32Platform::writeFile(const std::wstring& path, std::string_view bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool Win32Platform::fileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32Platform::startProcess(const ProcessLaunch& launch) {
    PROCESS_INFORMATION info{};
    if (!CreateProcessFor(launch, false, info)) return false;
    // Nothing watches what was started.
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    return true;
}

bool Win32Platform::startInRenderJob(const ProcessLaunch& launch) {
    // Creates the job, or opens the one an earlier render left running. Without
    // JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE the render outlives this program.
    const KernelHandle job(CreateJobObjectW(nullptr, RenderJobName));
    PROCESS_INFORMATION info{};
    if (!CreateProcessFor(launch, true, info)) return false;
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    // Where no job can be had (none created, or this program sits in a job that forbids
    // nesting), the script runs all the same; cancelling then has no job to go by.
    if (!job || !AssignProcessToJobObject(job.get(), process.get())) jobsUnavailable_ = true;
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        TerminateProcess(process.get(), 1);
        return false;
    }
    return true;
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
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    options |= FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST | FOS_NOCHANGEDIR;
    if (request.multiple) options |= FOS_ALLOWMULTISELECT;
    dialog->SetOptions(options);
    dialog->SetTitle(request.title.c_str());
    const std::vector<std::wstring> pieces = SplitAt(request.filter, L'|');
    std::vector<COMDLG_FILTERSPEC> types;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        types.push_back({pieces[i].c_str(), pieces[i + 1].c_str()});
    }
    dialog->SetFileTypes(static_cast<UINT>(types.size()), types.data());
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
    const CoTaskMem chosen(SHBrowseForFolderW(&info));
    if (!chosen) return {};
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), path)) return {};
    return path;
}

void Win32Platform::showMessage(const std::wstring& text, MessageIcon icon) {
    const UINT style = MB_OK | (icon == MessageIcon::Information ? MB_ICONINFORMATION : 0u);
    // Owned by the active window, so the message is modal to the window that asked.
    MessageBoxW(GetActiveWindow(), text.c_str(), std::wstring(ApplicationTitle).c_str(), style);
}

}  // namespace ravolen
