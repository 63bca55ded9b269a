#pragma once

#include "base/Handles.h"
#include "platform/CodePageCodec.h"
#include "platform/Platform.h"
#include "platform/ProcessTree.h"

#include <memory>
#include <optional>
#include <vector>

struct ITaskbarList3;

namespace ravolen {

class RenderJobFollower;

// The product's platform: the real file system, processes and message boxes.
class Win32Platform final : public Platform {
public:
    Win32Platform();
    // Stops following the render job and lets go of the taskbar.
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    std::wstring programFolder() const override;
    std::wstring systemFolder() const override;
    std::wstring userDataFolder() const override;
    std::wstring deadlineFolder() const override;
    const TextCodec& scriptCodec() const override { return codec_; }
    const TextCodec& ansiCodec() const override { return ansiCodec_; }

    bool createFolder(const std::wstring& path) override;
    bool writeFile(const std::wstring& path, std::string_view bytes) override;
    FileWrite writeFileTelling(const std::wstring& path, std::string_view bytes) override;
    bool fileExists(const std::wstring& path) override;
    std::optional<std::string> readFile(const std::wstring& path) override;
    FileRead readFileTelling(const std::wstring& path) override;
    std::optional<std::string> readFileFrom(const std::wstring& path, unsigned long long offset,
                                            std::size_t most) override;
    bool appendFile(const std::wstring& path, std::string_view bytes) override;
    bool deleteFile(const std::wstring& path) override;
    std::optional<unsigned long long> fileSize(const std::wstring& path) override;
    bool replaceFile(const std::wstring& path, std::string_view bytes) override;
    std::optional<std::vector<FolderEntry>> folderEntries(const std::wstring& path) override;
    std::vector<MaxInstallation> maxInstallations() override;
    std::wstring saveFile(const SaveFileRequest& request) override;
    SaveFileChoice chooseSaveFile(const SaveFileRequest& request) override;
    bool startProcess(const ProcessLaunch& launch) override;
    std::optional<ProcessOutput> runAndRead(const ProcessLaunch& launch,
                                            RunBounds bounds = {}) override;
    bool startInRenderJob(const ProcessLaunch& launch) override;
    bool renderJobRunning() override;
    RenderJobEnd endRenderJob() override;
    bool followRenderJob() override;
    std::vector<RenderJobEvent> takeRenderJobEvents() override;
    void stopFollowingRenderJob() override;
    std::optional<std::vector<ProcessTime>> renderTreeTimes(unsigned long processId) override;
    bool endRenderTree(unsigned long processId, unsigned exitCode) override;
    std::vector<unsigned long> endRenderTreeLeft(unsigned long processId, unsigned exitCode) override;
    void askFirstAtSessionEnd() override;
    bool previousInstanceRunning() override;
    std::vector<std::wstring> openFiles(const OpenFileRequest& request) override;
    std::wstring browseFolder(const std::wstring& title) override;
    void showMessage(const std::wstring& text, MessageIcon icon) override;
    bool ask(const std::wstring& text) override;
    bool onNetwork(const std::wstring& path) override;
    void showTaskbarProgress(HWND window, const TaskbarProgress& progress) override;
    bool showNotification(HWND window, unsigned callbackMessage, const std::wstring& tip,
                          const std::wstring& balloon) override;
    void removeNotification(HWND window) override;
    void flashTaskbarButton(HWND window) override;
    bool openInShell(const std::wstring& path) override;
    bool showInExplorer(const std::wstring& path) override;
    bool sameFile(const std::wstring& a, const std::wstring& b) override;
    void keepAwake(const std::wstring& reason) override;
    void letSleep() override;
    void registerRestart() override;
    void unregisterRestart() override;
    bool holdScript(const std::wstring& path) override;
    void letGoOfScript() override;
    std::optional<ProcessMark> renderScriptProcess() override;
    bool processRunning(const ProcessMark& process) override;
    bool adoptScript(const ProcessMark& process) override;
    unsigned long long systemTime() override;

    // The RunOnce entry that starts the program after the next logon.
    static constexpr const wchar_t* RunOnceKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    static constexpr const wchar_t* RunOnceValue = L"Ravolen";
    // How the computer is kept awake now: none, a power request, or the thread's execution state
    // (where Windows has no power requests, and under Wine).
    enum class Awake { None, PowerRequest, ExecutionState };
    Awake awake() const { return awake_; }

    // The render job's name (per logon session, as the program's single instance is), and the key
    // under which its messages reach its port.
    static constexpr const wchar_t* RenderJobName = L"Local\\Ravolen.RenderJob.5B0F7E2C";
    static constexpr ULONG_PTR RenderJobPortKey = 0x5B0F7E2C;
    // The mutex that tells a copy of the program that another runs in this logon session.
    static constexpr const wchar_t* InstanceMutexName = L"Local\\Ravolen.SingleInstance.5B0F7E2C";
    // The port the render job tells this program through, when this program made the job.
    HANDLE renderJobPort() const { return renderJobPort_.get(); }

    // A script that could not be put in the render job: held, so that its id is not reused while
    // its tree is followed, with its start as the system lists it.
    struct LooseScript {
        KernelHandle process;
        DWORD processId = 0;
        unsigned long long started = 0;
    };

    // The last script started in the render job: its process id, and the values of its inherited
    // handles to the job and to its output file, which are the same in the script's process as
    // they were here.
    struct ScriptStart {
        DWORD processId = 0;
        HANDLE jobHandle = nullptr;
        HANDLE outputHandle = nullptr;
    };
    ScriptStart lastScript() const { return lastScript_; }
    // True while the render job is followed through its completion port rather than by looking
    // at its process list.
    bool followingThroughPort() const;
    // The taskbar's answer to the last call of showTaskbarProgress (an HRESULT).
    long lastTaskbarAnswer() const { return lastTaskbarAnswer_; }

private:
    // The ids of the render job's processes (or, where the script could not join it, of the
    // script's tree); nothing when they cannot be had.
    std::optional<std::vector<DWORD>> renderJobProcesses();
    // The process and its tree as listed, only those in the render job, the process first.
    std::optional<std::vector<ListedProcess>> renderTree(DWORD processId);

    CodePageCodec codec_;
    CodePageCodec ansiCodec_;
    // Held for the whole run: a job's name lasts only while a handle to it is open, and the
    // processes inside it hold none.
    KernelHandle renderJob_;
    // Associated with the render job when this program made it; a job takes one port in its life.
    KernelHandle renderJobPort_;
    std::unique_ptr<RenderJobFollower> follower_;
    ScriptStart lastScript_;
    KernelHandle instanceMutex_;
    FileHandle scriptHold_;  // the running night's script, held against writing and deleting
    bool previousInstance_ = false;
    bool scriptInJob_ = false;  // the last script of this run started in the render job
    std::shared_ptr<const LooseScript> looseScript_;  // the last script, when it did not
    std::optional<ProcessMark> scriptMark_;
    HANDLE powerRequest_ = nullptr;  // a power request's handle, INVALID_HANDLE_VALUE never kept
    Awake awake_ = Awake::None;
    ComPtr<ITaskbarList3> taskbar_;  // made on the window thread at its first use
    bool taskbarUnavailable_ = false;
    long lastTaskbarAnswer_ = 0;
};

}  // namespace ravolen
