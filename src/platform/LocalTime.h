#pragma once

#include <compare>

namespace ravolen {

// A moment on this computer's clock, as the artist reads it.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;

    auto operator<=>(const LocalTime&) const = default;
};

}  // namespace ravolen
