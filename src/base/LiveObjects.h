#pragma once

#include <atomic>
#include <cstddef>

namespace ravolen {

// The program's own objects that a window creates and must give back when it goes. Counted where
// they are made and released, so that a test can see that opening and closing a window leaves
// nothing behind: Wine answers GetGuiResources with 0, so the system cannot tell.
// Window counts the system's windows of the program's classes, WindowObject the C++ objects behind
// them, which may outlive their window (or, deferred, their last handler).
enum class LiveKind { Font, Brush, Bitmap, Window, WindowObject, Subclass, Reflection };

class LiveObjects {
public:
    static int Count(LiveKind kind) { return counts_[Index(kind)].load(std::memory_order_relaxed); }
    static void Made(LiveKind kind) { counts_[Index(kind)].fetch_add(1, std::memory_order_relaxed); }
    static void Released(LiveKind kind) {
        counts_[Index(kind)].fetch_sub(1, std::memory_order_relaxed);
    }

private:
    static constexpr std::size_t Index(LiveKind kind) { return static_cast<std::size_t>(kind); }
    static inline std::atomic<int> counts_[7]{};
};

}  // namespace ravolen
