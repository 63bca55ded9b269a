#include "app/SessionKeeper.h"

#include <utility>

#include "app/MainWindowIds.h"

namespace ravolen {

using namespace mainwindow;

SessionKeeper::SessionKeeper(Platform& platform, Sources sources)
    : platform_(platform),
      sources_(std::move(sources)),
      writer_([&platform, failure = failure_](const std::wstring& path, std::string_view bytes) {
          const bool written = platform.replaceFile(path, bytes);
          if (!written) failure->report(path);
          return written;
      }) {}

void SessionKeeper::attach(HWND window) {
    window_ = window;
    const std::lock_guard guard(failure_->lock);
    failure_->window = window;
}

void SessionKeeper::changed() {
    if (!ready_ || due_ || !window_) return;
    // The first change starts the wait; later ones ride along, so typing writes once a second.
    due_ = SetTimer(window_, IdTimerSession, SessionDelay, nullptr) != 0;
}

BackgroundWriter::Compose SessionKeeper::snapshot() {
    const std::wstring folder = platform_.userDataFolder();
    if (folder.empty() || !platform_.createFolder(folder)) return nullptr;
    // Only the rows' snapshot is taken here (a few hundred pointers); the bytes are composed on
    // the writer's thread.
    return [rows = sources_.rows(), settings = sources_.settings(), rowsPath = rowsPath(),
            settingsPath = settingsPath()]() mutable {
        SessionFiles files = ComposeSession(rows, std::move(settings));
        return std::vector<BackgroundWriter::File>{{rowsPath, std::move(files.rows)},
                                                   {settingsPath, std::move(files.settings)}};
    };
}

void SessionKeeper::saveDue() {
    if (window_) KillTimer(window_, IdTimerSession);
    due_ = false;
    if (!ready_) return;
    // Once a save succeeded again, the next failure is told again.
    if (writer_.lastWriteSucceeded()) failureTold_ = false;
    if (sources_.settle) sources_.settle();
    if (auto compose = snapshot()) writer_.post(std::move(compose));
}

void SessionKeeper::saveNow() {
    if (!ready_) return;
    if (window_) KillTimer(window_, IdTimerSession);
    due_ = false;
    if (sources_.settleNow) sources_.settleNow();
    if (const auto compose = snapshot()) writer_.writeNow(compose, BackgroundWriter::StopBound);
}

void SessionKeeper::stop() {
    ready_ = false;
    window_ = nullptr;
    const std::lock_guard guard(failure_->lock);
    failure_->window = nullptr;
}

void SessionKeeper::SaveFailure::report(const std::wstring& failed) {
    const std::lock_guard guard(lock);
    if (path.empty()) path = failed;  // the first file of a save that failed
    if (window) PostMessageW(window, WmSessionSaveFailed, 0, 0);
}

std::wstring SessionKeeper::SaveFailure::take() {
    const std::lock_guard guard(lock);
    return std::exchange(path, {});
}

// Once, not at every save: the artist learns that the table is not kept, and where.
void SessionKeeper::onSaveFailed() {
    const std::wstring path = failure_->take();
    if (path.empty() || failureTold_) return;
    failureTold_ = true;
    platform_.showMessage(L"无法保存当前任务表到：" + path +
                          L"\n请检查磁盘空间和该文件夹的写入权限，否则关闭程序后最近的改动不会保留。");
}

SessionKeeper::Restored SessionKeeper::restore(const SessionSettings& defaults) {
    Restored restored{defaults, {}, {}};
    const std::wstring folder = platform_.userDataFolder();
    if (folder.empty()) return restored;  // nowhere to keep it: this run is not saved
    bool keptAll = true;
    std::vector<std::pair<std::wstring, std::wstring>> damaged;
    std::vector<std::wstring> unreadable;
    // A damaged file is never thrown away: a copy of it stays beside it.
    const auto keep = [&](const std::wstring& path, const std::string& bytes) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::wstring copy = DamagedFileName(
            path, {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        const bool kept = platform_.replaceFile(copy, bytes);
        keptAll = keptAll && kept;
        damaged.emplace_back(path, kept ? copy : std::wstring());
    };
    // `take` puts back what the file holds and answers whether any of it could not be read. A
    // file that fails in any way (a hostile one that asks for more memory than there is) is
    // damaged, never the end of the program; one that is there but cannot be read is not missing.
    const auto read = [&](const std::wstring& path, const auto& take) {
        FileRead file;
        try {
            file = platform_.readFileTelling(path);
        } catch (...) {  // more than there is memory for: not read, so not to be written over
            file = {FileRead::Outcome::Unreadable, {}};
        }
        if (file.outcome == FileRead::Outcome::Unreadable) unreadable.push_back(path);
        if (file.outcome != FileRead::Outcome::Read) return;
        bool fault = true;
        try {
            fault = take(file.bytes);
        } catch (...) {
        }
        if (fault) keep(path, file.bytes);
    };
    read(settingsPath(), [&](const std::string& bytes) {
        auto settings = ReadSessionSettings(bytes, restored.settings);
        restored.settings = std::move(settings.value);
        return settings.damaged;
    });
    read(rowsPath(), [&](const std::string& bytes) {
        auto rows = ReadSessionRows(bytes);
        restored.rows = std::move(rows.value);
        return rows.damaged;
    });

    // What could not be kept or read must not be written over.
    ready_ = keptAll && unreadable.empty();
    if (!unreadable.empty()) restored.message = UnreadableFilesMessage(unreadable);
    if (!damaged.empty()) {
        restored.message += (restored.message.empty() ? L"" : L"\n\n") + DamagedFilesMessage(damaged);
    }
    return restored;
}

}  // namespace ravolen
