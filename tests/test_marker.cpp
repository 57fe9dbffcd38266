// The marker on the real window with its real buttons: what each operation leaves behind.
#include "tests/support/overlay_harness.h"

#include <cmath>

#include "app/overlay_state.h"
#include "measure/marker.h"

namespace {

// F8, the kill a second after the mark.
void toggle()
{
    if (overlay.timing) {
        overlay.visible_counter -= overlay.counter_frequency;
    }
    toggle_mark();
}

struct Expected {
    void (*op)();  // nullptr: the state at start-up
    bool timing;
    std::size_t measurements;
    const wchar_t* status;
};

constexpr wchar_t STARTED[] = L"Enemy visible. Press F8 again on the kill.";
constexpr wchar_t KILLED[] = L"Kill measured. Press F8 for the next enemy.";
constexpr wchar_t RESET[] = L"Marker reset. Press F8 when the enemy is visible.";
constexpr wchar_t CLEARED[] = L"Measurements cleared.";

// Every operation in both states, one after the other. While timing the mark button reads MARK KILL
// and RESET is enabled; EXPORT CSV and CLEAR are enabled while the list holds anything.
const Expected SESSION[] = {
    {nullptr, false, 0, L"Press F8 when the enemy becomes visible."},
    {reset_marker, false, 0, RESET},  // reset while idle
    {clear_measurements, false, 0, CLEARED},  // clear while idle and empty
    {toggle, true, 0, STARTED},
    {reset_marker, false, 0, RESET},  // abandons, appends nothing
    {toggle, true, 0, STARTED},
    {toggle, false, 1, KILLED},
    {reset_marker, false, 1, RESET},  // the list stays
    {toggle, true, 1, STARTED},
    {toggle, false, 2, KILLED},
    {toggle, true, 2, STARTED},
    {clear_measurements, false, 0, CLEARED},  // clear abandons a running one
    {toggle, true, 0, STARTED},
    {toggle, false, 1, KILLED},
};

}  // namespace

class Marker : public OverlayTest {};

TEST_F(Marker, EachOperationSetsStateCaptionButtonsAndRepaints)
{
    for (const Expected& step : SESSION) {
        SCOPED_TRACE(testing::Message() << "step " << (&step - SESSION));
        ValidateRect(window(), nullptr);
        if (step.op) {
            step.op();
        }
        EXPECT_EQ(overlay.timing, step.timing);
        EXPECT_EQ(overlay.measurements.size(), step.measurements);
        EXPECT_EQ(overlay.status_text, step.status);
        EXPECT_EQ(window_text(overlay.mark_button), step.timing ? L"MARK KILL  [F8]" : L"ENEMY VISIBLE  [F8]");
        EXPECT_EQ(IsWindowEnabled(overlay.reset_button) != 0, step.timing);
        EXPECT_EQ(IsWindowEnabled(overlay.export_button) != 0, step.measurements > 0);
        EXPECT_EQ(IsWindowEnabled(overlay.clear_button) != 0, step.measurements > 0);
        EXPECT_TRUE(IsWindowEnabled(overlay.mark_button));
        EXPECT_EQ(pending_repaint(), step.op ? WHOLE_CLIENT : "none");
        EXPECT_EQ(overlay.current_ms == 0, step.timing || step.op != toggle) << overlay.current_ms;
    }
}

TEST_F(Marker, KillRecordsTheTickDifferenceRoundedHalfUpAndTimesSinceStartupAcrossClears)
{
    // At 2000 ticks a second every odd tick count is an exact half millisecond, where the
    // difference of the two stored times would round either way. Start-up lies far enough back
    // for those times to be inexact, yet near enough for the kill's tick to be read back from them.
    overlay.counter_frequency = 2000;
    overlay.start_counter = read_counter() - 10'000'000'000'000;
    double last_kill = 0.0;
    for (int i = 0; i < 64; ++i) {
        if (i == 32) {
            clear_measurements();  // the times go on counting from start-up
        }
        toggle_mark();
        toggle_mark();
        const Measurement& m = overlay.measurements.back();
        const std::int64_t kill = overlay.start_counter + std::llround(m.enemy_killed * 2000.0);
        const std::int64_t ticks = kill - overlay.visible_counter;
        ASSERT_GE(ticks, 0);
        EXPECT_EQ(m.time_to_kill_ms, (ticks + 1) / 2) << ticks << " ticks";
        EXPECT_EQ(overlay.current_ms, m.time_to_kill_ms);
        EXPECT_EQ(m.enemy_visible, static_cast<double>(overlay.visible_counter - overlay.start_counter) / 2000.0);
        EXPECT_GE(m.enemy_visible, last_kill);
        last_kill = m.enemy_killed;
    }
}

// Timer ticks as the window receives them: only the refresh timer's id 1 counts.
TEST_F(Marker, RefreshTicksFollowTheClockOnlyWhileTimingAndRepaintOnlyOnChange)
{
    auto tick = [this](WPARAM id) {
        ValidateRect(window(), nullptr);
        EXPECT_EQ(SendMessageW(window(), WM_TIMER, id, 0), 0);
        return pending_repaint();
    };
    EXPECT_EQ(tick(1), "none") << "idle tick repainted";
    EXPECT_EQ(overlay.current_ms, 0);

    toggle_mark();
    overlay.visible_counter -= overlay.counter_frequency / 4;  // F8 a quarter of a second ago
    EXPECT_EQ(tick(7), "none") << "another timer's tick was taken";
    EXPECT_EQ(overlay.current_ms, 0);
    EXPECT_EQ(tick(1), WHOLE_CLIENT) << "a changed value was not repainted";
    EXPECT_GE(overlay.current_ms, 250);

    // A counter so fast that no whole millisecond passes before the next tick: nothing to repaint.
    overlay.counter_frequency *= 1'000'000;
    overlay.current_ms = elapsed_ms(read_counter());
    EXPECT_EQ(tick(1), "none") << "an unchanged value was repainted";
}
