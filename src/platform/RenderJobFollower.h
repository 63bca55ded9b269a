#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Handles.h"
#include "platform/Platform.h"
#include "platform/ProcessTree.h"

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
//
// The port is a hint, the job the truth: Windows does not promise to deliver every message, and
// a job nested inside this one (3ds Max, a plug-in or a licence helper may make one) tells this
// port when it empties, with no sign of which job it was. So the job itself is asked once a
// second and whenever it is said to be empty; what the port missed is made from its answer, and
// the night ends only when the job holds no process.
class PortFollower final : public RenderJobFollower {
public:
    // `port` is associated with `job` under `key`; both outlive this follower.
    PortFollower(HANDLE port, ULONG_PTR key, HANDLE job);
    // Ends the thread within a bound and closes every process handle kept.
    ~PortFollower() override;
    std::vector<RenderJobEvent> take() override;

private:
    struct Waiting {
        RenderJobEvent event;
        bool needsImage = false;
        int tries = 0;
    };
    struct Followed {
        KernelHandle process;  // keeps the exit code readable after the process ended
        bool exitTold = false;
    };
    void run();
    void read(DWORD message, DWORD processId);
    void look();
    bool unopened(DWORD processId) const;  // told already, without a handle
    void release();
    void push(RenderJobEvent event);

    HANDLE port_;
    ULONG_PTR key_;
    HANDLE job_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<RenderJobEvent> events_;
    // The thread's own.
    std::map<DWORD, Followed> processes_;
    std::vector<DWORD> unopened_;  // in the job, told, but could not be opened
    bool noneLeft_ = false;        // the job's end is told
    ULONGLONG nextLook_ = 0;
    std::deque<Waiting> waiting_;  // read from the port, not yet told
    std::thread thread_;
};

// The ids of the processes to follow, looked at again at each take; nothing when they cannot be
// had this time.
using ProcessIdSource = std::function<std::optional<std::vector<DWORD>>()>;

// A list of processes looked at once a second: the render job's, for a program started again
// during a render, whose job already has the first program's port; or the script's own tree of
// processes, where no job could be had. The processes running at the first take are told first.
// Each process that starts is told with its command line, so that its row can be found; one that
// starts and ends between two takes goes unseen.
class PollFollower final : public RenderJobFollower {
public:
    explicit PollFollower(ProcessIdSource ids);
    std::vector<RenderJobEvent> take() override;

private:
    ProcessIdSource ids_;  // let go of once no process is left, so that a job's name can go
    std::map<DWORD, KernelHandle> processes_;
    bool first_ = true;
};

// The ids of the job's processes; nothing when the job cannot be asked.
std::optional<std::vector<DWORD>> JobProcessIds(HANDLE job);

// Every process of the system, with the one that started it and when; nothing when the system
// does not say.
std::optional<std::vector<ListedProcess>> ListProcesses();

// The process's command line as it was started; empty when it cannot be read.
std::wstring ProcessCommandLine(HANDLE process, DWORD processId);

// The moment the process started, on this computer's clock.
LocalTime ProcessCreationTime(HANDLE process);

// The full path of the process's program; empty when it cannot be read.
std::wstring ProcessImagePath(HANDLE process);

}  // namespace ravolen
