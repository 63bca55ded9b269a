#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
// noise: the two spreads meet); AtMostOrRatio: ours at most `limit` or `ratio` times the floor,
// whichever is more (where the floor alone takes much, `limit` cannot be had).
enum class Goal { Ratio, MicrosAbove, AtMost, WithinSpread, AtMostOrRatio };

struct Result {
    std::string name;
    Spread floor, ours;
    Goal goal;
    double limit;
    const char* unit;  // "us", "KiB" or "%"
    double ratio = 0;  // AtMostOrRatio's

    bool met() const {
        switch (goal) {
            case Goal::Ratio: return ours.median <= floor.median * limit;
            case Goal::MicrosAbove: return ours.median - floor.median <= limit;
            case Goal::AtMost: return ours.median <= limit;
            case Goal::WithinSpread: return ours.min <= floor.max;
            case Goal::AtMostOrRatio: return ours.median <= std::max(limit, floor.median * ratio);
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
    } else if (r.goal == Goal::AtMostOrRatio) {
        std::snprintf(goal, sizeof goal, "<= %.2f %s or %.1fx", r.limit, r.unit, r.ratio);
    } else {
        std::snprintf(goal, sizeof goal, "spreads meet");
    }
    // A goal above the floor has no ratio to speak of: the floor may be next to nothing; a floor
    // of nothing has none either.
    char shown[16] = "     -";
    if (r.goal != Goal::MicrosAbove && r.floor.median > 0) std::snprintf(shown, sizeof shown, "%5.2fx", ratio);
    // Shares of a processor are small numbers: whole ones would say nothing.
    const int digits = std::strcmp(r.unit, "%") == 0 ? 2 : 0;
    std::printf("%-44s %10.*f (%.*f-%.*f) %10.*f (%.*f-%.*f) %s  %s  %-10s %s\n", r.name.c_str(),
                digits, r.floor.median, digits, r.floor.min, digits, r.floor.max, digits, r.ours.median,
                digits, r.ours.min, digits, r.ours.max, r.unit, shown, goal, r.met() ? "met" : "MISSED");
    std::fflush(stdout);
}

}  // namespace ravolen::bench
