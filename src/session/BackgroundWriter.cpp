#include "session/BackgroundWriter.h"

namespace ravolen {

BackgroundWriter::BackgroundWriter(Write write) : write_(std::move(write)) {}

BackgroundWriter::~BackgroundWriter() {
    if (!thread_.joinable()) return;
    bool ended = false;
    {
        std::unique_lock guard(state_->lock);
        state_->stopping = true;
        state_->pending = nullptr;
        state_->changed.notify_all();
        ended = state_->changed.wait_for(guard, StopBound, [&] { return state_->threadDone; });
    }
    // A write that hangs past the bound is left to the thread, which keeps its state alive.
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

bool BackgroundWriter::WriteAll(const Write& write, const std::vector<File>& files) {
    bool ok = true;
    for (const File& file : files) ok = write(file.first, file.second) && ok;
    return ok;
}

void BackgroundWriter::Run(std::shared_ptr<State> state, Write write) {
    std::unique_lock guard(state->lock);
    for (;;) {
        state->changed.wait(guard, [&] { return state->stopping || (state->pending && !state->busy); });
        if (state->stopping) break;
        Compose compose = std::move(state->pending);
        state->pending = nullptr;
        state->busy = true;
        guard.unlock();
        const bool ok = WriteAll(write, compose());
        guard.lock();
        state->busy = false;
        state->lastOk = ok;
        state->changed.notify_all();
    }
    state->threadDone = true;
    state->changed.notify_all();
}

void BackgroundWriter::post(Compose compose) {
    {
        const std::lock_guard guard(state_->lock);
        state_->pending = std::move(compose);
        state_->changed.notify_all();
    }
    if (!thread_.joinable()) thread_ = std::thread(Run, state_, write_);
}

bool BackgroundWriter::writeNow(const Compose& compose, std::chrono::milliseconds bound) {
    {
        std::unique_lock guard(state_->lock);
        state_->pending = nullptr;
        if (!state_->changed.wait_for(guard, bound, [&] { return !state_->busy; })) return false;
        state_->busy = true;
    }
    const bool ok = WriteAll(write_, compose());
    const std::lock_guard guard(state_->lock);
    state_->busy = false;
    state_->lastOk = ok;
    state_->changed.notify_all();
    return ok;
}

bool BackgroundWriter::idle(std::chrono::milliseconds bound) {
    std::unique_lock guard(state_->lock);
    return state_->changed.wait_for(guard, bound, [&] { return !state_->pending && !state_->busy; });
}

bool BackgroundWriter::lastWriteSucceeded() {
    const std::lock_guard guard(state_->lock);
    return state_->lastOk;
}

}  // namespace ravolen
