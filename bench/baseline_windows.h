#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// Windows that do only the unavoidable part of the overlay's work, as yardsticks.
enum class Baseline {
    bare_paint,          // each paint: off-screen context and bitmap, one fill, one copy
    timer_only,          // a 16 ms timer whose ticks do nothing
    repaint_every_tick,  // a 16 ms timer, and a bare paint of the whole client on every tick
};

HWND create_baseline_window(Baseline kind);

// Counter values read as each WM_HOTKEY reached a baseline window: the least delay any program
// that timestamps a hotkey in its window procedure can have.
extern std::vector<std::int64_t> baseline_hotkey_counters;
