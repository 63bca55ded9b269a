#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LocalTime.h"
#include "platform/TextCodec.h"

// A window as Windows names it, without the whole of <windows.h>.
struct HWND__;

namespace ravolen {

enum class WindowStyle { Hidden, MinimizedWithFocus };

enum class MessageIcon { None, Information };

// One program to start: `application` is a full path, so nothing is searched for; `commandLine`
// is the whole line the program receives, its own name first.
struct ProcessLaunch {
    std::wstring application;
    std::wstring commandLine;
    std::wstring workingFolder;
    WindowStyle style = WindowStyle::Hidden;
    // When set, the program's standard output and error go to this file, made anew.
    std::wstring outputFile = {};

    bool operator==(const ProcessLaunch&) const = default;
};

// An open-file dialog. `filter` pairs descriptions and patterns, all separated by '|'
// ("Max Files(*.max)|*.max"); `filterIndex` counts its pairs from 1.
struct OpenFileRequest {
    std::wstring title;
    std::wstring filter;
    int filterIndex = 1;
    bool multiple = false;

    bool operator==(const OpenFileRequest&) const = default;
};

// A save-file dialog. It adds no extension and asks nothing about an existing file: the caller
// decides the name and asks about the file it will write.
struct SaveFileRequest {
    std::wstring title;
    std::wstring filter;

    bool operator==(const SaveFileRequest&) const = default;
};

// What the user answered a save dialog: the path, its name exactly as typed (empty when
// cancelled), and the filter pair, counted from 1, that was chosen when they did.
struct SaveFileChoice {
    std::wstring path;
    int filterIndex = 1;
};

// What reading a whole file found. A file that is there but cannot be read (held open without
// sharing, an I/O error, larger than a read takes) is not a missing one: nothing may be saved
// over it as if it were new.
struct FileRead {
    enum class Outcome { Read, Missing, Unreadable };
    Outcome outcome = Outcome::Missing;
    std::string bytes;  // the whole content when Read
};

// What writing a whole file came to. A file that another program holds open without letting
// others write it (a night's script, held while it runs) is told from one that cannot be written.
enum class FileWrite { Written, Held, Failed };

// One entry of a folder.
struct FolderEntry {
    std::wstring name;
    bool folder = false;
    unsigned long long size = 0;      // bytes
    unsigned long long modified = 0;  // the last write, in 100 ns units since 1601 (UTC)

    bool operator==(const FolderEntry&) const = default;
};

// A 3ds Max installed on this computer.
struct MaxInstallation {
    int year = 0;         // 2012 for 3ds Max 2012
    std::wstring folder;  // holds 3dsmaxcmd.exe

    bool operator==(const MaxInstallation&) const = default;
};

// What a program that ran to its end printed.
struct ProcessOutput {
    unsigned long exitCode = 0;
    std::string output;  // standard output and standard error, as the program wrote them
    bool timedOut = false;  // ended, with every process it started, after the time limit
    bool stopped = false;   // ended, with every process it started, because it was told to stop
};

// The bounds of a program run to its end: a time limit in seconds (0 for none), and a flag that
// any thread may set to end it at once.
struct RunBounds {
    unsigned seconds = 0;
    const std::atomic<bool>* stop = nullptr;
};

// What became of a request to end the render job.
enum class RenderJobEnd {
    Ended,        // its processes were told to end
    NoneRunning,  // no process of it runs
    Unavailable,  // a render runs that cannot be ended from here (a copy running as administrator)
};

// What happened in the render job while this program followed it.
struct RenderJobEvent {
    enum class Kind {
        Started,   // a process started in the job
        Exited,    // a process of the job ended
        NoneLeft,  // the job has no process left: the render is over
    };
    Kind kind = Kind::Started;
    unsigned long processId = 0;
    std::wstring imagePath;     // Started: the program's full path, as the process itself tells it
    // Started, for a process that already ran when following began (the program joined a render
    // under way): its command line, and true in `joined`; such processes are told first.
    std::wstring commandLine;
    bool joined = false;
    std::int32_t exitCode = 0;  // Exited
    LocalTime at;               // Started: when the process began; else when it was seen

    bool operator==(const RenderJobEvent&) const = default;
};

// A process of the render job and what it did so far: the processor time it used, user and
// kernel, in 100 ns, and the bytes it read and wrote (files, network, devices).
struct ProcessTime {
    unsigned long processId = 0;
    unsigned long long time = 0;
    unsigned long long bytes = 0;

    bool operator==(const ProcessTime&) const = default;
};

// One process as it can be found again: its id and its creation, in 100 ns since 1601 (UTC), so
// that a reused id is never taken for it.
struct ProcessMark {
    unsigned long processId = 0;
    unsigned long long created = 0;

    bool operator==(const ProcessMark&) const = default;
};

// What the program is started with when Windows starts it again after a restart.
inline constexpr std::wstring_view RestartArgument = L"/restart";

// The progress shown on the program's taskbar button.
struct TaskbarProgress {
    enum class State { None, Normal, Error };
    State state = State::None;  // None: no progress shown
    unsigned done = 0;
    unsigned total = 0;

    bool operator==(const TaskbarProgress&) const = default;
};

// Everything modal or external that the windows need. Windows receive it when they are created, so
// tests hand them a recording fake and nothing ever blocks or leaves the process.
class Platform {
public:
    virtual ~Platform() = default;

    // The folder that holds the program, without a trailing separator.
    virtual std::wstring programFolder() const = 0;
    // The Windows system folder, where cmd.exe, shutdown.exe and taskkill.exe live.
    virtual std::wstring systemFolder() const = 0;
    // The user's own folder of this program, %LOCALAPPDATA%\Ravolen, without a trailing
    // separator (it may not exist yet); empty when Windows names no such folder.
    virtual std::wstring userDataFolder() const = 0;
    // The code page that the command interpreter reads batch files in.
    virtual const TextCodec& scriptCodec() const = 0;
    // The system's ANSI code page, in which Windows tools such as deadlinecommand print.
    virtual const TextCodec& ansiCodec() const = 0;
    // Deadline's client folder as its installer sets DEADLINE_PATH; empty when it is not set.
    virtual std::wstring deadlineFolder() const = 0;

    // Creates the folder unless it exists already; false when it is still missing afterwards.
    virtual bool createFolder(const std::wstring& path) = 0;
    // Replaces the file's whole content; false when any byte could not be written.
    virtual bool writeFile(const std::wstring& path, std::string_view bytes) = 0;
    // The same, telling a file that another holds from other failures.
    virtual FileWrite writeFileTelling(const std::wstring& path, std::string_view bytes) {
        return writeFile(path, bytes) ? FileWrite::Written : FileWrite::Failed;
    }
    // True when the path names an existing file (not a folder).
    virtual bool fileExists(const std::wstring& path) = 0;
    // The file's whole content, or nothing when it cannot be read.
    virtual std::optional<std::string> readFile(const std::wstring& path) = 0;
    // The same, telling a file that is not there from one that could not be read.
    virtual FileRead readFileTelling(const std::wstring& path) = 0;
    // Up to `most` bytes of the file from `offset` on (fewer at its end, none past it), or
    // nothing when it cannot be read: a file that grows is followed without reading it again.
    virtual std::optional<std::string> readFileFrom(const std::wstring& path,
                                                    unsigned long long offset, std::size_t most) = 0;
    // Replaces the file's content only once every byte is written: a temporary file beside it
    // takes the old one's place, so a failure never leaves half a file. False on failure.
    virtual bool replaceFile(const std::wstring& path, std::string_view bytes) = 0;
    // Adds the bytes at the file's end, making the file when it is missing, and returns only once
    // they are on the disk. False when any byte could not be written.
    virtual bool appendFile(const std::wstring& path, std::string_view bytes) = 0;
    // Deletes the file; false when it still exists afterwards.
    virtual bool deleteFile(const std::wstring& path) = 0;
    // The file's size in bytes, or nothing when it is not a file that can be asked.
    virtual std::optional<unsigned long long> fileSize(const std::wstring& path) = 0;
    // The entries of a folder, in no particular order; nothing when the path is not a folder.
    virtual std::optional<std::vector<FolderEntry>> folderEntries(const std::wstring& path) = 0;
    // The 3ds Max installations the registry and the Program Files folder know, newest first.
    virtual std::vector<MaxInstallation> maxInstallations() = 0;
    // Starts the program without waiting for it and without keeping a handle to it.
    virtual bool startProcess(const ProcessLaunch& launch) = 0;

    // Runs the program hidden, without a console window of its own, and waits for its end; nothing
    // when it cannot be started. The program and whatever it starts run in a job of their own,
    // ended as a whole when the bounds are reached.
    virtual std::optional<ProcessOutput> runAndRead(const ProcessLaunch& launch,
                                                    RunBounds bounds = {}) = 0;

    // The render job holds the render script and every process it starts, and nothing else. It
    // is found again by name, by this run of the program or a later one, as long as any of its
    // processes runs.
    //
    // Starts the program in the render job, without waiting; where it cannot join the job, the
    // program and what it starts stand in for the job.
    virtual bool startInRenderJob(const ProcessLaunch& launch) = 0;
    // True while a process of the render job runs, or a job that this user may not look into
    // exists.
    virtual bool renderJobRunning() = 0;
    // Ends every process of the render job, and no other.
    virtual RenderJobEnd endRenderJob() = 0;
    // Begins following the render job; from then on takeRenderJobEvents answers what happens in
    // it. False when no render job runs, or it cannot be followed.
    virtual bool followRenderJob() = 0;
    // What happened in the render job since the last call, in order. Never waits.
    virtual std::vector<RenderJobEvent> takeRenderJobEvents() = 0;
    // Stops following the render job (the render itself goes on).
    virtual void stopFollowingRenderJob() = 0;
    // The process of the render job and every process it started (and they started) that lies in
    // the render job, each with its processor time; nothing when the times cannot be read.
    virtual std::optional<std::vector<ProcessTime>> renderTreeTimes(unsigned long processId) {
        (void)processId;
        return std::nullopt;
    }
    // Ends that process and every process it started that lies in the render job, and nothing
    // else, each with `exitCode`: the script goes on to its next line. False when none could be.
    virtual bool endRenderTree(unsigned long processId, unsigned exitCode) {
        (void)processId;
        (void)exitCode;
        return false;
    }
    // Ends what is left in the render job of the tree of a process that has ended (the 3ds Max its
    // renderer started, a crash reporter), each with `exitCode`; the ids of those ended.
    virtual std::vector<unsigned long> endRenderTreeLeft(unsigned long processId, unsigned exitCode) {
        (void)processId;
        (void)exitCode;
        return {};
    }
    // Asks Windows to tell this program first, before other programs, when the session ends.
    virtual void askFirstAtSessionEnd() {}
    // True when another copy of the program was already running when this one first asked. The
    // answer holds for the whole run: the first copy keeps its claim until it ends.
    virtual bool previousInstanceRunning() = 0;

    // Modal to the active window. The chosen files as the common dialog gives them: one full path,
    // or (several chosen) the folder followed by each file's name. Nothing when the user
    // cancelled or the dialog failed. However many files are chosen, none is left out.
    virtual std::vector<std::wstring> openFiles(const OpenFileRequest& request) = 0;
    // Modal to the active window: the path the user named to save to, or empty when cancelled.
    virtual std::wstring saveFile(const SaveFileRequest& request) = 0;
    // The same dialog, also telling which of the request's filters was chosen.
    virtual SaveFileChoice chooseSaveFile(const SaveFileRequest& request) { return {saveFile(request), 1}; }
    // The folder the user chose in the shell's folder picker (only file-system folders, with an
    // edit box), its path exactly as the shell gives it; empty when the user cancelled or the
    // choice has no file-system path.
    virtual std::wstring browseFolder(const std::wstring& title) = 0;

    // Message boxes and questions belong to the window whose handler raised them and keep the
    // whole program modal while they are open, also when the program is not the active one.
    //
    // A modal question with the buttons 是 and 否 and the application's title; true for 是.
    virtual bool ask(const std::wstring& text) = 0;
    // True when both paths name one existing file, however each spells it.
    virtual bool sameFile(const std::wstring& a, const std::wstring& b) = 0;
    // True when the path lies on another computer: a UNC path, or a drive mapped to a share.
    virtual bool onNetwork(const std::wstring& path) = 0;

    // A modal message box with an OK button and the application's title.
    virtual void showMessage(const std::wstring& text, MessageIcon icon = MessageIcon::None) = 0;

    // Shows the progress on the taskbar button of the top-level window.
    virtual void showTaskbarProgress(HWND__* window, const TaskbarProgress& progress) = 0;

    // The window's icon in the notification area, its tip `tip` (as much as a tip holds), as
    // Windows programs tell that something finished; with `balloon` not empty, a balloon under the
    // application's title tells it once as the icon is added. An icon the window had already gives
    // way. The window receives `callbackMessage` with the shell's event in the low word of lParam
    // (NIN_BALLOONUSERCLICK, NIN_SELECT, ...). False where the shell shows none (Wine's null
    // driver, Explorer not running).
    virtual bool showNotification(HWND__* window, unsigned callbackMessage, const std::wstring& tip,
                                  const std::wstring& balloon) {
        (void)window;
        (void)callbackMessage;
        (void)tip;
        (void)balloon;
        return false;
    }
    // Takes the window's notification icon away again.
    virtual void removeNotification(HWND__* window) { (void)window; }
    // Flashes the window's taskbar button until the window is activated.
    virtual void flashTaskbarButton(HWND__* window) { (void)window; }

    // Opens the file in the program Windows has for it (an image in its viewer), or the folder in
    // Explorer, without waiting for either. False when the shell could not: the caller says so.
    virtual bool openInShell(const std::wstring& path) = 0;
    // Opens Explorer on the file's folder with the file selected. False when it could not.
    virtual bool showInExplorer(const std::wstring& path) = 0;
    // While a night renders here the computer must not sleep (the display may still turn off):
    // a power request, with the reason Windows lists in powercfg /requests. A later call replaces
    // the reason; letSleep lets go, so the machine's power plan and the shutdown line work again.
    virtual void keepAwake(const std::wstring& reason) { (void)reason; }
    virtual void letSleep() {}
    // While a night renders here the program starts again after Windows restarts (an update
    // signing the user back in, the next logon after a power cut), with RestartArgument: by the
    // restart manager and a one-time entry under HKCU's RunOnce. unregisterRestart takes both back.
    virtual void registerRestart() {}
    virtual void unregisterRestart() {}
    // While a night runs, its script is held open: others may read it but neither write, rename
    // nor delete it, as cmd reads the next line from disk each time. One script at a time: a new
    // hold lets go of the last. False when it cannot be opened. The program's end lets go too.
    virtual bool holdScript(const std::wstring& path) {
        (void)path;
        return false;
    }
    virtual void letGoOfScript() {}
    // The script last started in the render job; nothing when there was none.
    virtual std::optional<ProcessMark> renderScriptProcess() { return std::nullopt; }
    // True while that very process runs.
    virtual bool processRunning(const ProcessMark& process) {
        (void)process;
        return false;
    }
    // Takes that script, still running, for the render job where none could be had (the script
    // was started outside one): from then on it and what it starts are followed and ended as the
    // render job is. False when it does not run.
    virtual bool adoptScript(const ProcessMark& process) {
        (void)process;
        return false;
    }
    // Now, in 100 ns since 1601 (UTC), as files are stamped.
    virtual unsigned long long systemTime() { return 0; }
};

inline constexpr std::wstring_view ApplicationTitle = L"Ravolen";

}  // namespace ravolen
