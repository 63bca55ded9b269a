#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "base/Handles.h"
#include "platform/Win32Platform.h"
#include "render/RenderCommand.h"
#include "render/RenderScript.h"
#include "support/RealPlatform.h"
#include "support/WindowTest.h"

namespace ravolen {
namespace {

using namespace test;  // the helpers for the real file system and processes

// A program started outside the program's render job, ended when the test is over.
class Outsider {
public:
    Outsider(const std::wstring& application, std::wstring commandLine) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                           CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info)) {
            process_.reset(info.hProcess);
            CloseHandle(info.hThread);
        }
    }
    ~Outsider() {
        if (alive()) TerminateProcess(process_.get(), 0);
    }
    bool alive() const {
        return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
    }

private:
    KernelHandle process_;
};

class RenderJobTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(standIn.c_str(), (install + L"\\3dsmaxcmd.exe").c_str(), FALSE));
        RemoveTree(scriptFolder);
    }
    void TearDown() override {
        release();
        Win32Platform platform;
        platform.endRenderJob();
        EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
        RemoveTree(scriptFolder);
    }

    std::vector<RenderJob> rows(int count, std::wstring_view name = L"scene") const {
        std::vector<RenderJob> jobs;
        for (int i = 1; i <= count; ++i) {
            const std::wstring scene = std::wstring(name) + std::to_wstring(i);
            jobs.push_back({temp.path() + L"\\" + scene + L".max", L"默认", temp.path() + L"\\out",
                            scene + L".tga", L"默认", L"默认"});
        }
        return jobs;
    }
    std::size_t calls() const {
        return Exists(log) ? ReadCalls(log).size() : 0;
    }
    // Each renderer call waits until released.
    void hold() const { CloseHandle(CreateFileW(holdFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, 0, nullptr)); }
    void release() const { DeleteFileW(holdFile.c_str()); }
    // Long enough for a script that was not ended to call its renderer again.
    static void settle() { Sleep(1500); }

    const TempFolder temp{L"ravolen-job"};
    const std::wstring install = temp.path() + L"\\Max 渲染 & 100%";
    const std::wstring standIn = WindowsPath(RAVOLEN_STANDIN);
    const std::wstring log = install + L"\\3dsmaxcmd-calls.log";
    const std::wstring holdFile = install + L"\\3dsmaxcmd-hold";
    const std::wstring scriptFolder = Win32Platform().programFolder() + L"\\bat";
};

// Whether any process of the system runs the program of this name.
bool AnyRuns(std::wstring_view image) {
    const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, std::wstring(image).c_str(), -1, TRUE) ==
            CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

// The artist's own 3ds Max and another console job run beside the render. Where the script could
// not be put in the render job (the job's name taken here; on Windows 7 any launcher's job), its
// own tree of processes is ended instead.
TEST_F(RenderJobTest, CancelEndsTheScriptAndItsRendererAndNothingElse) {
    const std::wstring system = Win32Platform().systemFolder();
    const std::wstring cmd = system + L"\\cmd.exe";
    const Outsider console(cmd, L"\"" + cmd + L"\" /d /k");
    const std::wstring other = temp.path() + L"\\artist";
    CreateDirectoryW(other.c_str(), nullptr);
    CopyFileW(standIn.c_str(), (other + L"\\3dsmax.exe").c_str(), FALSE);
    CloseHandle(CreateFileW((other + L"\\3dsmaxcmd-hold").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr));
    const std::wstring max = other + L"\\3dsmax.exe";
    const Outsider artist(max, L"\"" + max + L"\"");

    const struct {
        const char* name;
        bool restartBetween;
        bool jobTaken;
    } cases[] = {{"same run", false, false},
                 {"program restarted before the cancel", true, false},
                 {"no render job to be had", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log.c_str());
        hold();
        // CreateJobObjectW fails on a name another kind of object holds.
        const KernelHandle taken(c.jobTaken ? CreateMutexW(nullptr, FALSE, Win32Platform::RenderJobName)
                                            : nullptr);
        {
            Win32Platform platform;
            ASSERT_TRUE(StartRender(platform, {install, rows(3), false}));
            ASSERT_TRUE(WaitFor([&] { return calls() == 1; }));
            EXPECT_TRUE(platform.renderJobRunning());
            if (c.jobTaken) {
                EXPECT_FALSE(KernelHandle(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, Win32Platform::RenderJobName)));
                ASSERT_TRUE(platform.followRenderJob());  // the script's own tree
                EXPECT_FALSE(platform.followingThroughPort());
            }
            if (!c.restartBetween) {
                EXPECT_EQ(CancelRender(platform), RenderJobEnd::Ended);
                EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
            }
        }
        if (c.restartBetween) {
            Win32Platform later;
            EXPECT_TRUE(later.renderJobRunning());
            EXPECT_EQ(CancelRender(later), RenderJobEnd::Ended);
        }
        Win32Platform platform;
        EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
        EXPECT_TRUE(WaitFor([&] { return !AnyRuns(L"3dsmaxcmd.exe"); })) << "the renderer runs on";
        release();
        settle();
        EXPECT_EQ(calls(), 1u) << "a job line ran after the cancel";
        EXPECT_TRUE(console.alive());
        EXPECT_TRUE(artist.alive());
        EXPECT_EQ(platform.endRenderJob(), RenderJobEnd::NoneRunning);
    }
}

// A render job this user may not open (made by a copy running as administrator) is a render

// %LOCALAPPDATA% names a folder of the test's own while it lives, as the user's own folder.
struct OwnDataFolder {
    explicit OwnDataFolder(std::wstring folder) : path(std::move(folder)) {
        made = CreateDirectoryW(path.c_str(), nullptr) != FALSE;
        savedLength = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, MAX_PATH);
        SetEnvironmentVariableW(L"LOCALAPPDATA", path.c_str());
    }
    ~OwnDataFolder() { SetEnvironmentVariableW(L"LOCALAPPDATA", savedLength ? saved : nullptr); }
    OwnDataFolder(const OwnDataFolder&) = delete;
    OwnDataFolder& operator=(const OwnDataFolder&) = delete;
    std::wstring path;
    bool made = false;
    wchar_t saved[MAX_PATH] = {};
    DWORD savedLength = 0;
};

// under way: no script is written over it, and a cancel says it cannot end it.
TEST_F(RenderJobTest, AJobThatCannotBeOpenedCountsAsRunning) {
    test::ClosedSecurity closed;
    const KernelHandle elevated(CreateJobObjectW(&closed.attributes, Win32Platform::RenderJobName));
    ASSERT_TRUE(elevated);
    ASSERT_FALSE(KernelHandle(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, Win32Platform::RenderJobName)));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    Win32Platform platform;
    EXPECT_TRUE(platform.renderJobRunning());
    EXPECT_EQ(CancelRender(platform), RenderJobEnd::Unavailable);
    EXPECT_EQ(StartRender(platform, {install, rows(1), false}).failure, RenderStillRunningMessage);
    EXPECT_FALSE(Exists(scriptFolder + L"\\Render.bat"));
}

// Started by a launcher whose job ends everything in it when it closes (Task Scheduler, a
// remote-app host): where that job lets its processes leave, the night leaves it; where it does
// not, the night starts all the same, inside it.
TEST_F(RenderJobTest, ANightLeavesALaunchersJobWhereThatJobAllowsIt) {
    const KernelHandle launcher(CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(launcher);
    const auto limit = [&](DWORD flags) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = flags;
        return SetInformationJobObject(launcher.get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits) != FALSE;
    };
    // This test's process stays in the job for the rest of its life; nothing in it is ended.
    ASSERT_TRUE(AssignProcessToJobObject(launcher.get(), GetCurrentProcess()));
    for (const bool allowed : {true, false}) {
        SCOPED_TRACE(allowed ? "breakaway allowed" : "breakaway forbidden");
        ASSERT_TRUE(limit(allowed ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0));
        hold();
        Win32Platform platform;
        ASSERT_TRUE(StartRender(platform, {install, rows(2), false}));
        const KernelHandle script(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE,
                                              platform.lastScript().processId));
        ASSERT_TRUE(script);
        BOOL inLauncher = TRUE, inRender = FALSE;
        ASSERT_TRUE(IsProcessInJob(script.get(), launcher.get(), &inLauncher));
        EXPECT_EQ(inLauncher != FALSE, !allowed);
        // Kept in the launcher's job, the script may not be able to join the render job too (as
        // on Windows 7): it is then followed and ended as its own tree.
        if (allowed) {
            const KernelHandle render(OpenJobObjectW(JOB_OBJECT_QUERY, FALSE, Win32Platform::RenderJobName));
            ASSERT_TRUE(render);
            ASSERT_TRUE(IsProcessInJob(script.get(), render.get(), &inRender));
            EXPECT_TRUE(inRender);
        }
        ASSERT_TRUE(WaitFor([&] { return calls() == 1; }));
        EXPECT_TRUE(platform.renderJobRunning());
        EXPECT_EQ(CancelRender(platform), RenderJobEnd::Ended);
        EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
        release();
        settle();
        EXPECT_EQ(calls(), 1u);
        DeleteFileW(log.c_str());
    }
}

// The job's name lasts only while a handle to it is open, and the processes in it hold none: the
// script holds one of its own, inherited at the value the program gave it.
TEST_F(RenderJobTest, TheScriptHoldsAHandleToTheJobItRunsIn) {
    hold();
    Win32Platform::ScriptStart script;
    {
        Win32Platform platform;
        ASSERT_TRUE(StartRender(platform, {install, rows(2), false}));
        script = platform.lastScript();
    }  // every handle of the program's own is closed
    ASSERT_NE(script.jobHandle, nullptr);
    const KernelHandle process(
        OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, script.processId));
    ASSERT_TRUE(process);
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(process.get(), script.jobHandle, GetCurrentProcess(), &copy, 0,
                                FALSE, DUPLICATE_SAME_ACCESS))
        << "the script holds no handle at the value it inherited";
    const KernelHandle job(copy);
    BOOL inside = FALSE;
    ASSERT_TRUE(IsProcessInJob(process.get(), job.get(), &inside));
    EXPECT_TRUE(inside);

    Win32Platform later;
    EXPECT_TRUE(later.renderJobRunning());
    CancelRender(later);
    EXPECT_TRUE(WaitFor([&] { return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }));
    EXPECT_TRUE(WaitFor([&] { return !later.renderJobRunning(); }));
}

// cmd reads the script's next line from disk each time: while the night runs, nobody may write,
// rename or delete it. Wine's cmd keeps the script open as it runs, Windows' does not: the hold
// looked at here is the program's own, after the script ended.
TEST_F(RenderJobTest, TheProgramHoldsTheScriptAgainstWritingAndDeletingUntilItLetsGo) {
    Win32Platform platform;
    ASSERT_TRUE(StartRender(platform, {install, rows(1), false}));
    ASSERT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    const std::wstring script = scriptFolder + L"\\Render.bat";
    const auto opening = [&](DWORD access) {
        const FileHandle file(CreateFileW(script.c_str(), access,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
        return file ? static_cast<DWORD>(ERROR_SUCCESS) : GetLastError();
    };
    EXPECT_EQ(opening(GENERIC_WRITE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(opening(DELETE), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(opening(GENERIC_READ), static_cast<DWORD>(ERROR_SUCCESS)) << "others may read it";

    platform.letGoOfScript();
    EXPECT_EQ(opening(GENERIC_WRITE), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(opening(DELETE), static_cast<DWORD>(ERROR_SUCCESS));
}

// A copy in another logon session cannot see this session's render job, but shares the program's
// bat folder: a script it holds is a night under way, and no script goes to the user's own folder
// instead to start a second one.
TEST_F(RenderJobTest, AScriptHeldElsewhereRefusesTheStartAndNoScriptGoesToTheUsersFolder) {
    const OwnDataFolder ownData(temp.path() + L"\\本地 AppData");
    ASSERT_TRUE(ownData.made);
    const std::wstring& own = ownData.path;
    const std::wstring script = scriptFolder + L"\\Render.bat";
    ASSERT_TRUE(CreateDirectoryW(scriptFolder.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(script, "rem\r\n"));
    {
        const FileHandle other(CreateFileW(script.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(other);
        Win32Platform platform;
        EXPECT_EQ(StartRender(platform, {install, rows(1), false}).failure, RenderStillRunningMessage);
        EXPECT_FALSE(Exists(own + L"\\Ravolen\\bat\\Render.bat"));
        EXPECT_EQ(ReadFile(script), "rem\r\n");
        EXPECT_FALSE(platform.renderJobRunning());
    }
}

// Points this program's import of a system function at another while it lives, so that a test
// sees what the platform asked of Windows.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* name, void* replacement) {
        auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* const headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* module = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             module->Name && !slot_; ++module) {
            if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0) continue;
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
            for (; names->u1.AddressOfData && !slot_; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* imported = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char*>(imported->Name), name) == 0) {
                    slot_ = reinterpret_cast<void**>(&slots->u1.Function);
                }
            }
        }
        if (slot_) original_ = exchange(replacement);
    }
    ~ImportPatch() {
        if (slot_) exchange(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    void* original() const { return original_; }

private:
    void* exchange(void* function) {
        DWORD protection = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        void* const previous = std::exchange(*slot_, function);
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        return previous;
    }

    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// Every job's limits the program sets, while a test records them.
struct LimitsSet {
    HANDLE job;
    DWORD flags;
};
std::vector<LimitsSet> limitsSet;
decltype(&SetInformationJobObject) setInformation = nullptr;

BOOL WINAPI RecordingSetInformation(HANDLE job, JOBOBJECTINFOCLASS kind, LPVOID information, DWORD size) {
    if (kind == JobObjectExtendedLimitInformation) {
        limitsSet.push_back(
            {job, static_cast<const JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(information)->BasicLimitInformation.LimitFlags});
    }
    return setInformation(job, kind, information, size);
}

// A renderer that crashes ends at once rather than wait on Windows Error Reporting's box, and the
// render outlives the program. Wine 8 answers every question about a job's limits with none, so
// what is looked at is what the program asked of Windows for the job the script runs in.
TEST_F(RenderJobTest, TheRenderJobEndsACrashedProcessAndIsNotEndedWithTheProgram) {
    const ImportPatch patch("kernel32.dll", "SetInformationJobObject",
                            reinterpret_cast<void*>(&RecordingSetInformation));
    ASSERT_NE(patch.original(), nullptr);
    setInformation = reinterpret_cast<decltype(setInformation)>(patch.original());
    limitsSet.clear();
    hold();
    Win32Platform platform;
    ASSERT_TRUE(StartRender(platform, {install, rows(1), false}));
    ASSERT_EQ(limitsSet.size(), 1u);
    const KernelHandle script(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, platform.lastScript().processId));
    ASSERT_TRUE(script);
    BOOL inside = FALSE;
    ASSERT_TRUE(IsProcessInJob(script.get(), limitsSet[0].job, &inside));
    EXPECT_TRUE(inside) << "the limits are the render job's";
    EXPECT_NE(limitsSet[0].flags & JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION, 0u);
    EXPECT_EQ(limitsSet[0].flags & JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, 0u);
    CancelRender(platform);
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
}

// Installed where the program's folder cannot be written: here a file named bat stands where the
// folder must be made.
TEST_F(RenderJobTest, AnUnwritableProgramFolderSendsTheScriptToTheUsersOwnFolder) {
    const OwnDataFolder ownData(temp.path() + L"\\本地 AppData");
    ASSERT_TRUE(ownData.made);
    const std::wstring& own = ownData.path;
    CloseHandle(CreateFileW(scriptFolder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    Win32Platform platform;
    hold();
    const RenderStart started = StartRender(platform, {install, rows(2), false});
    ASSERT_TRUE(started);
    EXPECT_FALSE(started.besideProgram);
    const std::wstring script = own + L"\\Ravolen\\bat\\Render.bat";
    EXPECT_EQ(started.scriptPath, script);
    EXPECT_EQ(RenderStartedText(RenderStartedMessage, started),
              std::wstring(RenderStartedMessage) + L"\n渲染脚本保存在：" + script);
    ASSERT_TRUE(WaitFor([&] { return calls() == 1; }));
    const std::string running = ReadFile(script);
    EXPECT_EQ(StartRender(platform, {install, rows(3, L"next"), true}).failure,
              RenderStillRunningMessage);
    EXPECT_EQ(ReadFile(script), running);
    CancelRender(platform);
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    release();
    settle();
    EXPECT_EQ(calls(), 1u);

    DeleteFileW(scriptFolder.c_str());
}

TEST_F(RenderJobTest, ARenderWhileTheLastStillRunsLeavesItsScriptAlone) {
    Win32Platform platform;
    hold();
    ASSERT_TRUE(StartRender(platform, {install, rows(2), false}));
    ASSERT_TRUE(WaitFor([&] { return calls() == 1; }));
    const std::string running = ReadFile(scriptFolder + L"\\Render.bat");
    EXPECT_EQ(StartRender(platform, {install, rows(3, L"next"), true}).failure,
              RenderStillRunningMessage);
    EXPECT_EQ(ReadFile(scriptFolder + L"\\Render.bat"), running);

    release();
    ASSERT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    EXPECT_EQ(calls(), 2u);
    ASSERT_TRUE(StartRender(platform, {install, rows(3, L"next"), false}));
    ASSERT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    EXPECT_EQ(calls(), 5u);
}

TEST_F(RenderJobTest, WithoutItsRendererNoScriptIsWrittenExceptTheEmptyTables) {
    Win32Platform platform;
    const std::wstring missing = temp.path() + L"\\no max here";
    EXPECT_EQ(StartRender(platform, {missing, rows(1), true}).failure,
              L"找不到3dsMax的渲染程序：" + missing + L"\\3dsmaxcmd.exe，请检查3dsMax的安装路径。");
    EXPECT_FALSE(Exists(scriptFolder));
    EXPECT_FALSE(platform.renderJobRunning());

    ASSERT_TRUE(StartRender(platform, {missing, {}, false}));
    EXPECT_EQ(ReadFile(scriptFolder + L"\\Render.bat"), "\r\n");
    EXPECT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
}

TEST_F(RenderJobTest, BackburnerSwitchesReachTheRendererThroughCmd) {
    Win32Platform platform;
    std::vector<RenderJob> jobs = rows(2);
    jobs[0].scene = temp.path() + L"\\a\\lobby.max";
    jobs[1].scene = temp.path() + L"\\b & c\\lobby.max";
    const BackburnerSettings farm{L"render 01", 3235, 10, true};
    ASSERT_TRUE(StartRender(platform, {install, jobs, false}, &farm));
    ASSERT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
    const auto calls = ReadCalls(log);
    ASSERT_EQ(calls.size(), 2u);
    const std::vector<std::wstring> tail(calls[1].end() - 5, calls[1].end());
    EXPECT_EQ(tail, (std::vector<std::wstring>{L"-submit:render 01", L"-port:3235",
                                               L"-jobName:lobby (2)", L"-priority:10",
                                               L"-suspended:1"}));
    EXPECT_EQ(calls[0].at(calls[0].size() - 3), L"-jobName:lobby");
}

TEST_F(RenderJobTest, WinesShutdownAcceptsTheAbort) {
    const std::wstring shutdown = Win32Platform().systemFolder() + L"\\shutdown.exe";
    std::wstring commandLine = L"\"" + shutdown + L"\" -a";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(shutdown.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &info));
    const KernelHandle process(info.hProcess);
    CloseHandle(info.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
}

// The encoded length of the row's job line, as cmd reads it.
std::size_t LineBytes(const std::wstring& install, const RenderJob& row, const TextCodec& codec) {
    const ComposedScript script = ComposeRenderScript(install, {&row, 1}, false, codec);
    return script.refusal ? 0 : script.bytes.find('\n');
}

TEST_F(RenderJobTest, ALineOfMaxBytesReachesTheRendererWholeAndOneByteMoreIsRefused) {
    Win32Platform platform;
    const TextCodec& codec = platform.scriptCodec();
    constexpr std::size_t CmdReads = 8191;  // bytes of a line; the rest runs as another command
    // Each filler takes two bytes of the line: a Chinese character, a '%' written as "%%", a
    // backslash before the closing quote, which is doubled.
    for (std::wstring_view filler : {L"渲", L"%", L"\\"}) {
        SCOPED_TRACE(Utf8(filler));
        const auto row = [&](std::size_t bytes) {
            RenderJob job = rows(1)[0];
            const std::size_t bare = LineBytes(install, job, codec);
            job.scene += std::wstring((bytes - bare) % 2, L'n');
            for (std::size_t i = 0; i < (bytes - bare) / 2; ++i) job.scene += filler;
            return job;
        };
        const RenderJob fits = row(CmdReads);
        ASSERT_EQ(LineBytes(install, fits, codec), CmdReads);

        DeleteFileW(log.c_str());
        ASSERT_TRUE(StartRender(platform, {install, {fits}, false}));
        ASSERT_TRUE(WaitFor([&] { return !platform.renderJobRunning(); }));
        const auto received = ReadCalls(log);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].at(0), fits.scene);

        RenderJob over = row(CmdReads + 1);
        EXPECT_TRUE(StartRender(platform, {install, {over}, false}).failure.ends_with(
            L"的设置：命令行超过8191个字节"));
        EXPECT_FALSE(platform.renderJobRunning());
    }
}

}  // namespace
}  // namespace ravolen
