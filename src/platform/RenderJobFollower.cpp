#include "platform/RenderJobFollower.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace ravolen {
namespace {

LocalTime LocalTimeOf(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

LocalTime Now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return LocalTimeOf(now);
}

// The exit code as cmd's %ERRORLEVEL% shows it: an NTSTATUS such as 0xC0000005 is negative.
std::int32_t ExitCodeOf(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<std::int32_t>(code);
}

RenderJobEvent EventOf(RenderJobEvent::Kind kind, DWORD processId, const LocalTime& at) {
    RenderJobEvent event;
    event.kind = kind;
    event.processId = processId;
    event.at = at;
    return event;
}

using QueryInformationProcess = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

QueryInformationProcess NtQuery() {
    static const auto query = reinterpret_cast<QueryInformationProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    return query;
}

constexpr ULONG ProcessCommandLineInformation = 60;  // Windows 8.1 and later
constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG StatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG StatusBufferTooSmall = static_cast<LONG>(0xC0000023);

// Asked of the process itself: the command line the system keeps for it.
std::optional<std::wstring> AskedCommandLine(HANDLE process) {
    const QueryInformationProcess query = NtQuery();
    if (!query) return std::nullopt;
    std::vector<unsigned char> buffer(sizeof(UNICODE_STRING) + 1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(process, ProcessCommandLineInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status >= 0) {
            UNICODE_STRING text;
            std::memcpy(&text, buffer.data(), sizeof text);
            if (!text.Buffer) return std::wstring();
            return std::wstring(text.Buffer, text.Length / sizeof(wchar_t));
        }
        if (status != StatusInfoLengthMismatch && status != StatusBufferOverflow &&
            status != StatusBufferTooSmall) {
            return std::nullopt;
        }
        buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
    }
    return std::nullopt;
}

template <typename T>
bool ReadFrom(HANDLE process, const void* address, T& value) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, &value, sizeof value, &read) && read == sizeof value;
}

// Read from the process's own memory, where a system does not answer the question above.
std::wstring CommandLineFromMemory(DWORD processId) {
    const QueryInformationProcess query = NtQuery();
    const KernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!query || !process) return {};
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 ||
        !basic.PebBaseAddress) {
        return {};
    }
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    if (!ReadFrom(process.get(), basic.PebBaseAddress, peb) || !peb.ProcessParameters ||
        !ReadFrom(process.get(), peb.ProcessParameters, parameters)) {
        return {};
    }
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    SIZE_T read = 0;
    if (text.empty() ||
        !ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, text.data(),
                           text.size() * sizeof(wchar_t), &read) ||
        read != text.size() * sizeof(wchar_t)) {
        return {};
    }
    return text;
}

// The process opened to be followed: its program and, later, its exit code.
KernelHandle OpenFollowed(DWORD processId) {
    return KernelHandle(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
}

}  // namespace

std::optional<std::vector<DWORD>> JobProcessIds(HANDLE job) {
    std::size_t room = 32;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::size_t size =
            offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList) + room * sizeof(ULONG_PTR);
        std::vector<ULONG_PTR> storage(size / sizeof(ULONG_PTR) + 1);
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(storage.data());
        const BOOL ok = QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                                  static_cast<DWORD>(size), nullptr);
        if (ok && list->NumberOfProcessIdsInList >= list->NumberOfAssignedProcesses) {
            std::vector<DWORD> ids;
            for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
                ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
            }
            return ids;
        }
        if (!ok && GetLastError() != ERROR_MORE_DATA) return std::nullopt;
        room = std::max<std::size_t>(room * 2, list->NumberOfAssignedProcesses + 8);
    }
    return std::nullopt;
}

std::optional<std::vector<ListedProcess>> ListProcesses() {
    using QuerySystem = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QuerySystem>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return std::nullopt;
    // SYSTEM_PROCESS_INFORMATION as documented, up to its I/O counts, with the fields winternl.h
    // leaves reserved named (the start, the parent's id, the counts); the threads follow it.
    struct Entry {
        ULONG nextEntryOffset;
        ULONG numberOfThreads;
        LARGE_INTEGER workingSetPrivateSize;
        ULONG hardFaultCount;
        ULONG numberOfThreadsHighWatermark;
        ULONGLONG cycleTime;
        LARGE_INTEGER createTime;
        LARGE_INTEGER userTime;
        LARGE_INTEGER kernelTime;
        UNICODE_STRING imageName;
        LONG basePriority;
        HANDLE uniqueProcessId;
        HANDLE inheritedFromUniqueProcessId;
        ULONG handleCount;
        ULONG sessionId;
        ULONG_PTR uniqueProcessKey;
        SIZE_T peakVirtualSize;
        SIZE_T virtualSize;
        ULONG pageFaultCount;
        SIZE_T peakWorkingSetSize;
        SIZE_T workingSetSize;
        SIZE_T quotaPeakPagedPoolUsage;
        SIZE_T quotaPagedPoolUsage;
        SIZE_T quotaPeakNonPagedPoolUsage;
        SIZE_T quotaNonPagedPoolUsage;
        SIZE_T pagefileUsage;
        SIZE_T peakPagefileUsage;
        SIZE_T privatePageCount;
        LARGE_INTEGER readOperationCount;
        LARGE_INTEGER writeOperationCount;
        LARGE_INTEGER otherOperationCount;
        LARGE_INTEGER readTransferCount;
        LARGE_INTEGER writeTransferCount;
        LARGE_INTEGER otherTransferCount;
    };
#ifdef _WIN64
    static_assert(offsetof(Entry, uniqueProcessId) == 80 && offsetof(Entry, privatePageCount) == 200 &&
                  offsetof(Entry, readTransferCount) == 232 && sizeof(Entry) == 256);
#endif
    constexpr ULONG SystemProcessInformation = 5;
    std::vector<ULONGLONG> buffer(64 * 1024);  // 8-byte aligned, as the entries need
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        const LONG status = query(SystemProcessInformation, buffer.data(), size, &needed);
        if (status == StatusInfoLengthMismatch) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed / sizeof(ULONGLONG) + 4096));
            continue;
        }
        if (status < 0) return std::nullopt;
        // Only what the system wrote is read, never past the buffer.
        const std::size_t filled = needed > 0 && needed < size ? needed : size;
        std::vector<ListedProcess> processes;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (std::size_t at = 0; at + sizeof(Entry) <= filled;) {
            Entry entry;
            std::memcpy(&entry, bytes + at, sizeof entry);
            const auto count = [](const LARGE_INTEGER& value) {
                return static_cast<unsigned long long>(value.QuadPart);
            };
            // The system's own count of each process's processor time: Wine 8 answers it truly
            // where GetProcessTimes and a job's accounting read 0. Bytes moved are the process's
            // reads and writes of files, the network and devices alike.
            processes.push_back({static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(entry.uniqueProcessId)),
                                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(entry.inheritedFromUniqueProcessId)),
                                 count(entry.createTime), count(entry.userTime) + count(entry.kernelTime),
                                 count(entry.readTransferCount) + count(entry.writeTransferCount) +
                                     count(entry.otherTransferCount)});
            if (entry.nextEntryOffset == 0) break;
            at += entry.nextEntryOffset;
        }
        return processes;
    }
    return std::nullopt;
}

std::wstring ProcessCommandLine(HANDLE process, DWORD processId) {
    if (auto asked = AskedCommandLine(process)) return *asked;
    return CommandLineFromMemory(processId);
}

LocalTime ProcessCreationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    SYSTEMTIME universal{}, local{};
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // Wine 8 answers another process's start with a moment far in the future: a start not yet
    // come is not believed, and the moment it was seen stands in.
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user) ||
        (created.dwLowDateTime == 0 && created.dwHighDateTime == 0) ||
        CompareFileTime(&created, &now) > 0 || !FileTimeToSystemTime(&created, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return Now();
    }
    return LocalTimeOf(local);
}

std::wstring ProcessImagePath(HANDLE process) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        DWORD length = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
            path.resize(length);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        path.resize(path.size() * 2);
    }
    return {};
}

PortFollower::PortFollower(HANDLE port, ULONG_PTR key, HANDLE job)
    : port_(port), key_(key), job_(job), thread_([this] { run(); }) {}

PortFollower::~PortFollower() {
    stop_ = true;
    thread_.join();  // the thread looks at the flag at least every 100 ms
}

std::vector<RenderJobEvent> PortFollower::take() {
    std::vector<RenderJobEvent> taken;
    const std::lock_guard lock(mutex_);
    taken.swap(events_);
    return taken;
}

void PortFollower::push(RenderJobEvent event) {
    const std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

void PortFollower::run() {
    while (!stop_) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED value = nullptr;
        // While a program's path is awaited, the port is read on at once all the same: a process
        // is opened the moment its start is read, so that even a short one cannot vanish.
        if (GetQueuedCompletionStatus(port_, &message, &key, &value, waiting_.empty() ? 100 : 10) &&
            key == key_) {
            read(message, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(value)));
        } else if (GetTickCount64() >= nextLook_) {
            look();  // only once the port has nothing more to say
        }
        release();
    }
}

// For the process messages the value is the process id, not a pointer.
void PortFollower::read(DWORD message, DWORD processId) {
    switch (message) {
        case JOB_OBJECT_MSG_NEW_PROCESS: {
            // Already made from the job's list, or from an earlier message of the same start.
            if (processes_.contains(processId)) break;
            Waiting started{EventOf(RenderJobEvent::Kind::Started, processId, Now())};
            // One that ended before it could be opened is told without its program: it cannot
            // be told apart from any other.
            if (KernelHandle process = OpenFollowed(processId)) {
                started.event.at = ProcessCreationTime(process.get());  // not when it was seen
                started.needsImage = true;
                processes_[processId].process = std::move(process);
            } else if (!unopened(processId)) {
                unopened_.push_back(processId);
            }
            waiting_.push_back(std::move(started));
            break;
        }
        case JOB_OBJECT_MSG_EXIT_PROCESS:
        case JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS: {
            const auto found = processes_.find(processId);
            // Its exit code cannot be had, or its end was told already.
            if (found == processes_.end() || found->second.exitTold) break;
            found->second.exitTold = true;
            Waiting exited{EventOf(RenderJobEvent::Kind::Exited, processId, Now())};
            exited.event.exitCode = ExitCodeOf(found->second.process.get());
            waiting_.push_back(std::move(exited));
            break;
        }
        case JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO:
            // Maybe a nested job's: believed only when the job itself is empty.
            look();
            break;
        default: break;
    }
}

bool PortFollower::unopened(DWORD processId) const {
    return std::find(unopened_.begin(), unopened_.end(), processId) != unopened_.end();
}

// Asks the job what it holds and tells what the port did not.
void PortFollower::look() {
    nextLook_ = GetTickCount64() + 1000;
    if (noneLeft_) return;
    const std::optional<std::vector<DWORD>> ids = JobProcessIds(job_);
    if (!ids) return;
    const auto inJob = [&](DWORD id) { return std::find(ids->begin(), ids->end(), id) != ids->end(); };
    std::erase_if(unopened_, [&](DWORD id) { return !inJob(id); });
    for (auto& [id, followed] : processes_) {
        if (followed.exitTold || inJob(id)) continue;
        read(JOB_OBJECT_MSG_EXIT_PROCESS, id);
    }
    for (const DWORD id : *ids) {
        if (!processes_.contains(id) && !unopened(id)) read(JOB_OBJECT_MSG_NEW_PROCESS, id);
    }
    if (ids->empty()) {
        noneLeft_ = true;
        waiting_.push_back({EventOf(RenderJobEvent::Kind::NoneLeft, 0, Now())});
    }
}

// Right at its start a process may not tell its program yet (Wine's do not until they have
// loaded it): it is asked again for a while, and once more after it ended; what came after it
// waits, so that the events keep their order.
void PortFollower::release() {
    while (!waiting_.empty()) {
        Waiting& front = waiting_.front();
        const auto found = processes_.find(front.event.processId);
        if (front.needsImage && found != processes_.end()) {
            const HANDLE process = found->second.process.get();
            // Asked by its exit code: Wine signals a process whose first thread has not run yet.
            DWORD code = 0;
            const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
            front.event.imagePath = ProcessImagePath(process);
            if (front.event.imagePath.empty() && !ended && ++front.tries < 200) return;
            // Its row is the one its line names, whatever the rows before it did.
            front.event.commandLine = ProcessCommandLine(process, front.event.processId);
        }
        if (front.event.kind == RenderJobEvent::Kind::Exited && found != processes_.end()) {
            processes_.erase(found);  // its start was told before: the handle is needed no more
        }
        push(std::move(front.event));
        waiting_.pop_front();
    }
}

PollFollower::PollFollower(ProcessIdSource ids) : ids_(std::move(ids)) {}

std::vector<RenderJobEvent> PollFollower::take() {
    std::vector<RenderJobEvent> events;
    if (!ids_) return events;
    const auto ids = ids_();
    if (!ids) return events;
    const LocalTime now = Now();
    // Ended first: they ended before the ones that are new since the last look.
    for (auto it = processes_.begin(); it != processes_.end();) {
        if (std::find(ids->begin(), ids->end(), it->first) != ids->end()) {
            ++it;
            continue;
        }
        RenderJobEvent event = EventOf(RenderJobEvent::Kind::Exited, it->first, now);
        event.exitCode = ExitCodeOf(it->second.get());
        events.push_back(std::move(event));
        it = processes_.erase(it);
    }
    struct Found {
        FILETIME created;
        RenderJobEvent event;
    };
    std::vector<Found> started;
    for (const DWORD id : *ids) {
        if (processes_.contains(id)) continue;
        KernelHandle process = OpenFollowed(id);
        if (!process) continue;  // ended meanwhile: nothing can be told of it
        DWORD code = 0;
        const std::wstring image = ProcessImagePath(process.get());
        // Just started, it may not tell its program yet (under Wine): looked at again next time.
        if (image.empty() && GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE) {
            continue;
        }
        RenderJobEvent event =
            EventOf(RenderJobEvent::Kind::Started, id, ProcessCreationTime(process.get()));
        event.imagePath = image;
        event.commandLine = ProcessCommandLine(process.get(), id);
        event.joined = first_;
        FILETIME created{}, exited{}, kernel{}, user{};
        GetProcessTimes(process.get(), &created, &exited, &kernel, &user);
        started.push_back({created, std::move(event)});
        processes_[id] = std::move(process);
    }
    // In the order they started: the script before its renderer.
    std::stable_sort(started.begin(), started.end(), [](const Found& a, const Found& b) {
        return CompareFileTime(&a.created, &b.created) < 0;
    });
    for (Found& found : started) events.push_back(std::move(found.event));
    first_ = false;
    if (ids->empty()) {
        events.push_back(EventOf(RenderJobEvent::Kind::NoneLeft, 0, now));
        ids_ = nullptr;
        processes_.clear();
    }
    return events;
}

}  // namespace ravolen
