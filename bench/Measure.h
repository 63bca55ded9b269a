#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace ravolen::bench {

// Microseconds from the performance counter.
class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double micros() const {
        LARGE_INTEGER now{}, frequency{};
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1e6 /
               static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_{};
};

struct Spread {
    double median = 0, min = 0, max = 0;
};

inline Spread SpreadOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    if (samples.empty()) return {};
    return {samples[samples.size() / 2], samples.front(), samples.back()};
}

// One piece of work, prepared untimed before each repetition.
struct Work {
    std::function<void()> prepare;
    std::function<void()> run;
};

// Times ours and its floor in turns, so that both see the same machine.
inline std::pair<Spread, Spread> TimePair(int repetitions, const Work& ours, const Work& floor) {
    std::vector<double> oursSamples, floorSamples;
    for (int i = 0; i < repetitions; ++i) {
        for (auto [work, samples] : {std::pair{&floor, &floorSamples}, std::pair{&ours, &oursSamples}}) {
            if (work->prepare) work->prepare();
            const Stopwatch watch;
            work->run();
            samples->push_back(watch.micros());
        }
    }
    return {SpreadOf(oursSamples), SpreadOf(floorSamples)};
}

// Ratio: ours at most `limit` times the floor; MicrosAbove: at most `limit` above it; AtMost: ours
// at most `limit` whatever the floor (a frame, a second); WithinSpread: ours' fastest sample no
// slower than the floor's slowest, the floor being ours with fewer rows (the same time within the
// noise: the two spreads meet).
enum class Goal { Ratio, MicrosAbove, AtMost, WithinSpread };

struct Result {
    std::string name;
    Spread floor, ours;
    Goal goal;
    double limit;
    const char* unit;  // "us" or "KiB"

    bool met() const {
        switch (goal) {
            case Goal::Ratio: return ours.median <= floor.median * limit;
            case Goal::MicrosAbove: return ours.median - floor.median <= limit;
            case Goal::AtMost: return ours.median <= limit;
            case Goal::WithinSpread: return ours.min <= floor.max;
        }
        return false;
    }
};

inline void Print(const Result& r) {
    const double ratio = r.floor.median > 0 ? r.ours.median / r.floor.median : 0;
    char goal[32];
    if (r.goal == Goal::Ratio) {
        std::snprintf(goal, sizeof goal, "<= %.2fx", r.limit);
    } else if (r.goal == Goal::MicrosAbove) {
        std::snprintf(goal, sizeof goal, "<= +%.0f %s", r.limit, r.unit);
    } else if (r.goal == Goal::AtMost) {
        std::snprintf(goal, sizeof goal, "<= %.0f %s", r.limit, r.unit);
    } else {
        std::snprintf(goal, sizeof goal, "spreads meet");
    }
    // A goal above the floor has no ratio to speak of: the floor may be next to nothing.
    char shown[16] = "     -";
    if (r.goal != Goal::MicrosAbove) std::snprintf(shown, sizeof shown, "%5.2fx", ratio);
    std::printf("%-44s %10.0f (%.0f-%.0f) %10.0f (%.0f-%.0f) %s  %s  %-10s %s\n", r.name.c_str(),
                r.floor.median, r.floor.min, r.floor.max, r.ours.median, r.ours.min, r.ours.max,
                r.unit, shown, goal, r.met() ? "met" : "MISSED");
    std::fflush(stdout);
}

}  // namespace ravolen::bench
