#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Handles.h"
#include "platform/Platform.h"

namespace ravolen {

// Follows the processes of the render job and tells what happened since it was last asked.
class RenderJobFollower {
public:
    virtual ~RenderJobFollower() = default;
    // Never waits.
    virtual std::vector<RenderJobEvent> take() = 0;
};

// The job's completion port, read by a thread of its own: each process is seen as it starts, so
// none is missed however short it runs. Only the program that made the job has the port: a job
// takes one port in its life.
class PortFollower final : public RenderJobFollower {
public:
    // `port` is associated with the job under `key` and outlives this follower.
    PortFollower(HANDLE port, ULONG_PTR key);
    // Ends the thread within a bound and closes every process handle kept.
    ~PortFollower() override;
    std::vector<RenderJobEvent> take() override;

private:
    struct Waiting {
        RenderJobEvent event;
        bool needsImage = false;
        int tries = 0;
    };
    void run();
    void read(DWORD message, DWORD processId);
    void release();
    void push(RenderJobEvent event);

    HANDLE port_;
    ULONG_PTR key_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<RenderJobEvent> events_;
    // The thread's own: a kept handle keeps the exit code readable after the process ended.
    std::map<DWORD, KernelHandle> processes_;
    std::deque<Waiting> waiting_;  // read from the port, not yet told
    std::thread thread_;
};

// The job's process list, read at each take (once a second by the window): for a program started
// again during a render, whose job already has the first program's port. The processes running at
// the first take are told first, with their command lines, so the running row can be found.
// A process that starts and ends between two takes goes unseen.
class PollFollower final : public RenderJobFollower {
public:
    explicit PollFollower(KernelHandle job);
    std::vector<RenderJobEvent> take() override;

private:
    KernelHandle job_;  // closed once no process is left, so the job's name can go
    std::map<DWORD, KernelHandle> processes_;
    bool first_ = true;
};

// The ids of the job's processes; nothing when the job cannot be asked.
std::optional<std::vector<DWORD>> JobProcessIds(HANDLE job);

// The process's command line as it was started; empty when it cannot be read.
std::wstring ProcessCommandLine(HANDLE process, DWORD processId);

// The moment the process started, on this computer's clock.
LocalTime ProcessCreationTime(HANDLE process);

// The full path of the process's program; empty when it cannot be read.
std::wstring ProcessImagePath(HANDLE process);

}  // namespace ravolen
