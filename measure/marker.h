#pragma once
#include <cstdint>

// The mark button's captions; two blanks before the bracket.
inline constexpr wchar_t MARK_CAPTION_VISIBLE[] = L"ENEMY VISIBLE  [F8]";
inline constexpr wchar_t MARK_CAPTION_KILL[] = L"MARK KILL  [F8]";

// The current tick count of the high-resolution counter.
std::int64_t read_counter();

// Whole milliseconds from the enemy-visible mark to the counter value now, halves rounded up.
std::int64_t elapsed_ms(std::int64_t now);

void toggle_mark();         // F8: enemy visible, then kill
void reset_marker();        // F10: abandon a started measurement
void clear_measurements();  // CLEAR: empty the list
void refresh_live_time();   // every timer tick: follow the clock while timing
