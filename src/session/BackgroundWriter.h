#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ravolen {

// Files composed and written on a thread of its own, so that saving many rows costs the window's
// thread only taking their snapshot. The newest request replaces one not yet started; a request
// under way is finished first. Every write, its own or one on the caller's thread, goes one at a
// time, and no caller ever waits longer than the bound it names.
class BackgroundWriter {
public:
    using File = std::pair<std::wstring, std::string>;  // path, bytes
    using Compose = std::function<std::vector<File>()>;
    // Writes one file whole; false when it could not.
    using Write = std::function<bool(const std::wstring& path, std::string_view bytes)>;

    explicit BackgroundWriter(Write write);
    // Drops what has not started and waits at most StopBound for a write under way.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    static constexpr std::chrono::milliseconds StopBound{3000};

    // Composes and writes on the thread, after the write under way if any.
    void post(Compose compose);
    // Composes and writes on the calling thread now, dropping what was posted; waits at most
    // `bound` for a write under way. False when that did not end in time or a file failed.
    bool writeNow(const Compose& compose, std::chrono::milliseconds bound);
    // True once nothing is posted or under way, waiting at most `bound`.
    bool idle(std::chrono::milliseconds bound);
    // Whether the last write, here or on the thread, wrote every file.
    bool lastWriteSucceeded();

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        Compose pending;
        bool busy = false;  // a write under way, on either thread
        bool stopping = false;
        bool threadDone = false;
        bool lastOk = true;
    };
    static void Run(std::shared_ptr<State> state, Write write);
    static bool WriteAll(const Write& write, const std::vector<File>& files);

    Write write_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::thread thread_;
};

}  // namespace ravolen
