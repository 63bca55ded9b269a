#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "support/TestCodec.h"

namespace ravolen::test {

// Records every call in order and answers from its fields; nothing leaves the process.
class FakePlatform final : public Platform {
public:
    struct Message {
        std::wstring text;
        MessageIcon icon;
        bool operator==(const Message&) const = default;
    };

    std::wstring folder = L"C:\\Tools\\Ravolen";
    std::wstring system = L"C:\\windows\\system32";
    // Empty: no session is kept, so that the program's writer thread stays out of tests that do
    // not look at it. Session tests name a folder before the window is created.
    std::wstring userData;
    std::wstring deadline;  // DEADLINE_PATH
    const TextCodec* codec = &Cp936();
    const TextCodec* ansi = &Cp936();  // what Windows tools print in
    bool failCreateFolder = false;
    // Folders that can neither be made nor written into, with everything inside them.
    std::set<std::wstring> unwritable;
    std::map<std::wstring, unsigned long long> sizes;  // fileSize's answers; else the content's
    bool failWrite = false;
    // Files another program holds open without letting others write (a night's script in
    // another logon session): writing them is a sharing violation.
    std::set<std::wstring> held;
    bool failStart = false;
    bool previousInstance = false;
    std::set<std::wstring> missingFiles;
    // Files that are there but cannot be read, as one held open without sharing.
    std::set<std::wstring> unreadable;
    // Called as each whole file is read: a test may make reading throw (no memory for it).
    std::function<void(const std::wstring&)> onRead;
    std::vector<std::wstring> openAnswer;  // what every open-file dialog answers
    std::wstring folderAnswer;             // what every folder picker answers
    std::wstring saveAnswer;               // what every save dialog answers
    int saveFilterAnswer = 1;              // and the filter chosen in it
    std::map<std::wstring, std::vector<FolderEntry>> folderContents;
    std::vector<MaxInstallation> installations;
    bool failReplace = false;
    bool answer = true;                    // what every question answers
    std::vector<std::wstring> questions;
    std::vector<std::wstring> networkDrives = {L"N:"};  // besides UNC paths
    std::vector<std::optional<ProcessOutput>> runAnswers;  // in turn; then runAnswer  // every other path is an existing file
    bool renderRunning = false;
    RenderJobEnd jobEnd = RenderJobEnd::NoneRunning;

    std::set<std::wstring> folders;
    std::map<std::wstring, std::string> files;
    std::vector<ProcessLaunch> started;  // alone and in the render job alike
    std::vector<ProcessLaunch> startedInJob;
    std::vector<Message> messages;
    std::vector<OpenFileRequest> openRequests;
    std::vector<std::wstring> folderTitles;
    std::vector<SaveFileRequest> saveRequests;
    std::vector<std::wstring> calls;  // "createFolder <path>", "writeFile <path>", ...
    // The session is saved on a thread of its own: what it touches (the record of calls and the
    // files) is taken under this lock. A test reads them once the program's writer is idle.
    mutable std::recursive_mutex lock;
    void record(std::wstring call) {
        const std::lock_guard guard(lock);
        calls.push_back(std::move(call));
    }
    // A file written, as a renderer writes its image: its bytes, and its entry in its folder's
    // listing with their size, so that reading it, asking its size and listing its folder agree.
    void putFile(const std::wstring& path, std::string bytes, unsigned long long modified = 0) {
        const std::lock_guard guard(lock);
        const std::size_t separator = path.find_last_of(L'\\');
        std::vector<FolderEntry>& entries = folderContents[path.substr(0, separator)];
        const std::wstring name = path.substr(separator + 1);
        const FolderEntry entry{name, false, bytes.size(), modified};
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const FolderEntry& e) { return e.name == name; });
        if (found == entries.end()) {
            entries.push_back(entry);
        } else {
            *found = entry;
        }
        files[path] = std::move(bytes);
        sizes.erase(path);
        missingFiles.erase(path);
    }

    // Lets a test look at the application's state at the moment a message is shown.
    std::function<void(const std::wstring&)> onMessage;
    // Called as every open-file dialog or folder picker opens: a test may make it fail.
    std::function<void()> beforeDialog;
    // The same for a question, before it is answered.
    std::function<void(const std::wstring&)> onAsk;
    std::vector<RunBounds> runBounds;  // of each runAndRead
    // Called for each runAndRead, on the caller's thread, before it answers.
    std::function<void(const ProcessLaunch&, RunBounds)> onRun;

    bool inUnwritable(const std::wstring& path) const {
        for (const std::wstring& closed : unwritable) {
            if (path == closed || path.starts_with(closed + L"\\")) return true;
        }
        return false;
    }

    std::wstring programFolder() const override { return folder; }
    std::wstring systemFolder() const override { return system; }
    std::wstring userDataFolder() const override { return userData; }
    std::wstring deadlineFolder() const override { return deadline; }
    const TextCodec& scriptCodec() const override { return *codec; }
    const TextCodec& ansiCodec() const override { return *ansi; }

    bool createFolder(const std::wstring& path) override {
        const std::lock_guard guard(lock);
        record(L"createFolder " + path);
        if (failCreateFolder || inUnwritable(path)) return false;
        folders.insert(path);
        return true;
    }
    bool writeFile(const std::wstring& path, std::string_view bytes) override {
        const std::lock_guard guard(lock);
        record(L"writeFile " + path);
        if (failWrite || inUnwritable(path) || held.count(path)) return false;
        files[path] = std::string(bytes);
        return true;
    }
    FileWrite writeFileTelling(const std::wstring& path, std::string_view bytes) override {
        const std::lock_guard guard(lock);
        if (held.count(path)) {
            record(L"writeFile " + path);
            return FileWrite::Held;
        }
        return writeFile(path, bytes) ? FileWrite::Written : FileWrite::Failed;
    }
    // The program's own hold of the script: the path held now, and each call in order,
    // "holdScript <path>" and "letGoOfScript".
    std::optional<std::wstring> holding;
    std::vector<std::wstring> scriptHolds;
    bool holdScript(const std::wstring& path) override {
        scriptHolds.push_back(L"holdScript " + path);
        holding = path;
        return true;
    }
    void letGoOfScript() override {
        scriptHolds.push_back(L"letGoOfScript");
        holding.reset();
    }
    bool fileExists(const std::wstring& path) override {
        const std::lock_guard guard(lock);
        record(L"fileExists " + path);
        return missingFiles.count(path) == 0;
    }
    std::optional<std::string> readFile(const std::wstring& path) override {
        const std::lock_guard guard(lock);
        record(L"readFile " + path);
        const auto found = files.find(path);
        if (found == files.end() || unreadable.count(path)) return std::nullopt;
        return found->second;
    }
    FileRead readFileTelling(const std::wstring& path) override {
        const std::lock_guard guard(lock);
        record(L"readFileTelling " + path);
        if (onRead) onRead(path);
        if (unreadable.count(path)) return {FileRead::Outcome::Unreadable, {}};
        const auto found = files.find(path);
        if (found == files.end()) return {FileRead::Outcome::Missing, {}};
        return {FileRead::Outcome::Read, found->second};
    }
    std::optional<std::string> readFileFrom(const std::wstring& path, unsigned long long offset,
                                            std::size_t most) override {
        const std::lock_guard guard(lock);
        record(L"readFileFrom " + path + L" " + std::to_wstring(offset) + L" " + std::to_wstring(most));
        const auto found = files.find(path);
        if (found == files.end() || unreadable.count(path)) return std::nullopt;
        if (offset >= found->second.size()) return std::string();
        return found->second.substr(static_cast<std::size_t>(offset), most);
    }
    std::optional<unsigned long long> fileSize(const std::wstring& path) override {
        record(L"fileSize " + path);
        if (const auto size = sizes.find(path); size != sizes.end()) return size->second;
        const auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second.size();
    }
    bool replaceFile(const std::wstring& path, std::string_view bytes) override {
        const std::lock_guard guard(lock);
        record(L"replaceFile " + path);
        if (failReplace) return false;
        files[path] = std::string(bytes);
        return true;
    }
    std::optional<std::vector<FolderEntry>> folderEntries(const std::wstring& path) override {
        const auto found = folderContents.find(path);
        if (found == folderContents.end()) return std::nullopt;
        return found->second;
    }
    std::vector<MaxInstallation> maxInstallations() override { return installations; }
    std::wstring saveFile(const SaveFileRequest& request) override {
        record(L"saveFile " + request.title);
        saveRequests.push_back(request);
        return saveAnswer;
    }
    SaveFileChoice chooseSaveFile(const SaveFileRequest& request) override {
        return {saveFile(request), saveFilterAnswer};
    }
    std::optional<ProcessOutput> runAnswer;  // what every program run to its end answers
    std::optional<ProcessOutput> runAndRead(const ProcessLaunch& launch, RunBounds bounds) override {
        record(L"runAndRead " + launch.commandLine);
        started.push_back(launch);
        runBounds.push_back(bounds);
        const std::size_t turn = runs++;
        if (onRun) onRun(launch, bounds);
        if (turn < runAnswers.size()) return runAnswers[turn];
        return runAnswer;
    }
    std::size_t runs = 0;  // programs run to their end so far
    bool ask(const std::wstring& text) override {
        record(L"ask " + text);
        questions.push_back(text);
        if (onAsk) onAsk(text);
        return answer;
    }
    // Pairs of spellings of one file, besides the same spelling twice.
    std::vector<std::pair<std::wstring, std::wstring>> sameFiles;
    bool sameFile(const std::wstring& a, const std::wstring& b) override {
        if (a == b) return true;
        for (const auto& [x, y] : sameFiles) {
            if ((a == x && b == y) || (a == y && b == x)) return true;
        }
        return false;
    }
    bool onNetwork(const std::wstring& path) override {
        if (path.starts_with(L"\\\\")) return true;
        for (const std::wstring& drive : networkDrives) {
            if (path.starts_with(drive)) return true;
        }
        return false;
    }
    bool startInRenderJob(const ProcessLaunch& launch) override {
        record(L"startInRenderJob " + launch.commandLine);
        if (failStart) return false;
        started.push_back(launch);
        startedInJob.push_back(launch);
        return true;
    }
    // The render job as a test tells it: followRenderJob answers `followable`, and each
    // takeRenderJobEvents hands over what the test queued since.
    bool followable = true;
    bool following = false;
    std::vector<RenderJobEvent> jobEvents;
    std::vector<std::pair<HWND__*, TaskbarProgress>> taskbar;  // every progress shown, in order
    bool followRenderJob() override {
        record(L"followRenderJob");
        following = followable;
        return followable;
    }
    std::vector<RenderJobEvent> takeRenderJobEvents() override {
        std::vector<RenderJobEvent> taken;
        taken.swap(jobEvents);
        return taken;
    }
    void stopFollowingRenderJob() override {
        record(L"stopFollowingRenderJob");
        following = false;
    }
    // The processor times of each renderer's tree as the test sets them (none set: they cannot
    // be read), and every tree ended, with its exit code.
    std::map<unsigned long, std::vector<ProcessTime>> treeTimes;
    bool treesEnd = true;
    std::vector<std::pair<unsigned long, unsigned>> endedTrees;
    std::optional<std::vector<ProcessTime>> renderTreeTimes(unsigned long processId) override {
        const auto found = treeTimes.find(processId);
        if (found == treeTimes.end()) return std::nullopt;
        return found->second;
    }
    bool endRenderTree(unsigned long processId, unsigned exitCode) override {
        endedTrees.emplace_back(processId, exitCode);
        return treesEnd;
    }
    // What each ended renderer's tree left running, by the renderer's id, and every call.
    std::map<unsigned long, std::vector<unsigned long>> leftOf;
    std::vector<unsigned long> leftAsked;
    std::vector<unsigned long> endRenderTreeLeft(unsigned long processId, unsigned) override {
        leftAsked.push_back(processId);
        const auto found = leftOf.find(processId);
        return found == leftOf.end() ? std::vector<unsigned long>{} : found->second;
    }
    void showTaskbarProgress(HWND__* window, const TaskbarProgress& progress) override {
        taskbar.emplace_back(window, progress);
    }
    // Every notification icon added (its callback message, tip and balloon, empty for none),
    // removed, and every flash.
    struct Notification {
        HWND__* window;
        unsigned callbackMessage;
        std::wstring tip;
        std::wstring balloon;
    };
    std::vector<Notification> notifications;
    int notificationsRemoved = 0;
    std::vector<HWND__*> flashes;
    bool showNotification(HWND__* window, unsigned callbackMessage, const std::wstring& tip,
                          const std::wstring& balloon) override {
        notifications.push_back({window, callbackMessage, tip, balloon});
        return true;
    }
    void removeNotification(HWND__*) override { ++notificationsRemoved; }
    void flashTaskbarButton(HWND__* window) override { flashes.push_back(window); }
    // Every path opened in the shell or shown in Explorer, as "open <path>" and "select <path>";
    // false fails them.
    bool shellWorks = true;
    std::vector<std::wstring> shellCalls;
    bool openInShell(const std::wstring& path) override {
        shellCalls.push_back(L"open " + path);
        return shellWorks;
    }
    bool showInExplorer(const std::wstring& path) override {
        shellCalls.push_back(L"select " + path);
        return shellWorks;
    }
    // The power request and the restart registration, each call in order: "keepAwake <reason>",
    // "letSleep", "registerRestart", "unregisterRestart".
    std::vector<std::wstring> nightHolds;
    void keepAwake(const std::wstring& reason) override { nightHolds.push_back(L"keepAwake " + reason); }
    void letSleep() override { nightHolds.push_back(L"letSleep"); }
    void registerRestart() override { nightHolds.push_back(L"registerRestart"); }
    void unregisterRestart() override { nightHolds.push_back(L"unregisterRestart"); }
    std::optional<ProcessMark> script = ProcessMark{4242, 77};  // the last script started
    std::set<unsigned long> runningProcesses;                    // by id, for processRunning
    unsigned long long now = 1000;                               // systemTime's answer
    std::optional<ProcessMark> renderScriptProcess() override { return script; }
    bool processRunning(const ProcessMark& process) override {
        return runningProcesses.count(process.processId) != 0;
    }
    unsigned long long systemTime() override { return now; }
    bool adoptScript(const ProcessMark& process) override {
        if (!processRunning(process)) return false;
        record(L"adoptScript " + std::to_wstring(process.processId));
        renderRunning = true;
        return true;
    }
    bool appendFile(const std::wstring& path, std::string_view bytes) override {
        const std::lock_guard guard(lock);
        record(L"appendFile " + path);
        if (failWrite || inUnwritable(path)) return false;
        files[path] += bytes;
        return true;
    }
    bool deleteFile(const std::wstring& path) override {
        const std::lock_guard guard(lock);
        record(L"deleteFile " + path);
        files.erase(path);
        return true;
    }
    bool renderJobRunning() override {
        record(L"renderJobRunning");
        return renderRunning;
    }
    RenderJobEnd endRenderJob() override {
        record(L"endRenderJob");
        return jobEnd;
    }
    bool startProcess(const ProcessLaunch& launch) override {
        record(L"startProcess " + launch.commandLine);
        if (failStart) return false;
        started.push_back(launch);
        return true;
    }
    bool previousInstanceRunning() override {
        record(L"previousInstanceRunning");
        return previousInstance;
    }
    std::vector<std::wstring> openFiles(const OpenFileRequest& request) override {
        record(L"openFiles " + request.title);
        if (beforeDialog) beforeDialog();
        openRequests.push_back(request);
        return openAnswer;
    }
    std::wstring browseFolder(const std::wstring& title) override {
        record(L"browseFolder " + title);
        if (beforeDialog) beforeDialog();
        folderTitles.push_back(title);
        return folderAnswer;
    }
    void showMessage(const std::wstring& text, MessageIcon icon) override {
        record(L"showMessage " + text);
        messages.push_back({text, icon});
        if (onMessage) onMessage(text);
    }
};

}  // namespace ravolen::test
