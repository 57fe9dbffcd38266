#pragma once
#include <cstdint>

// One completed measurement. Times count in seconds from start-up.
struct Measurement {
    double enemy_visible;
    double enemy_killed;
    std::int64_t time_to_kill_ms;
};
