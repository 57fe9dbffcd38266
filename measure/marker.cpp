#include "measure/marker.h"

#include "app/overlay_state.h"
#include "app/owner_button.h"

std::int64_t read_counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

std::int64_t elapsed_ms(std::int64_t now)
{
    // Exact integer rounding rather than floating point: whole seconds first, then the remainder,
    // so nothing overflows for any tick difference and frequency of at least 1 kHz, and the result
    // does not depend on the width of the compiler's long double. The counter is monotonic, so the
    // difference is never negative.
    const std::int64_t ticks = now - overlay.visible_counter;
    const std::int64_t frequency = overlay.counter_frequency;
    const std::int64_t seconds = ticks / frequency;
    const std::int64_t remainder = ticks % frequency;
    return seconds * 1000 + (remainder * 2000 + frequency) / (2 * frequency);
}

static void set_buttons(bool reset_enabled, const wchar_t* mark_caption)
{
    enable_button(overlay.reset_button, reset_enabled);
    SetWindowTextW(overlay.mark_button, mark_caption);
}

// Shared end of reset and clear: back to idle with the readout at 0.
static void return_to_idle(const wchar_t* status)
{
    overlay.current_ms = 0;
    overlay.status_text = status;
    overlay.timing = false;
    set_buttons(false, MARK_CAPTION_VISIBLE);
}

static void mark_enemy_visible()
{
    overlay.visible_counter = read_counter();
    overlay.current_ms = 0;
    overlay.status_text = L"Enemy visible. Press F8 again on the kill.";
    overlay.timing = true;
    set_buttons(true, MARK_CAPTION_KILL);
}

static void mark_kill()
{
    const std::int64_t now = read_counter();
    overlay.current_ms = elapsed_ms(now);
    const double frequency = static_cast<double>(overlay.counter_frequency);
    const double enemy_visible = static_cast<double>(overlay.visible_counter - overlay.start_counter) / frequency;
    const double enemy_killed = static_cast<double>(now - overlay.start_counter) / frequency;
    overlay.measurements.push_back({enemy_visible, enemy_killed, overlay.current_ms});
    overlay.status_text = L"Kill measured. Press F8 for the next enemy.";
    overlay.timing = false;
    set_buttons(false, MARK_CAPTION_VISIBLE);
    enable_button(overlay.export_button, true);
    enable_button(overlay.clear_button, true);
}

void toggle_mark()
{
    if (overlay.timing) {
        mark_kill();
    } else {
        mark_enemy_visible();
    }
    repaint_overlay();
}

void reset_marker()
{
    return_to_idle(L"Marker reset. Press F8 when the enemy is visible.");
    repaint_overlay();
}

void clear_measurements()
{
    overlay.measurements.clear();
    return_to_idle(L"Measurements cleared.");
    enable_button(overlay.export_button, false);
    enable_button(overlay.clear_button, false);
    repaint_overlay();
}

void refresh_live_time()
{
    if (!overlay.timing) {
        return;
    }
    const std::int64_t ms = elapsed_ms(read_counter());
    if (ms != overlay.current_ms) {
        overlay.current_ms = ms;
        repaint_overlay();
    }
}
