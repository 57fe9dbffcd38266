// The marker on the real window with its real buttons: what each operation leaves behind.
#include "tests/support/overlay_harness.h"

#include "app/overlay_state.h"
#include "measure/marker.h"

namespace {

enum class Op { none, toggle, reset, clear };

struct Expected {
    Op op;
    bool timing;
    std::size_t measurements;
    const wchar_t* status;
    const wchar_t* caption;
    bool reset_enabled;
    bool export_and_clear_enabled;
};

void run(Op op)
{
    switch (op) {
    case Op::none: break;
    case Op::toggle: toggle_mark(); break;
    case Op::reset: reset_marker(); break;
    case Op::clear: clear_measurements(); break;
    }
}

constexpr wchar_t VISIBLE_CAPTION[] = L"ENEMY VISIBLE  [F8]";
constexpr wchar_t KILL_CAPTION[] = L"MARK KILL  [F8]";
constexpr wchar_t STARTED[] = L"Enemy visible. Press F8 again on the kill.";
constexpr wchar_t KILLED[] = L"Kill measured. Press F8 for the next enemy.";
constexpr wchar_t RESET[] = L"Marker reset. Press F8 when the enemy is visible.";
constexpr wchar_t CLEARED[] = L"Measurements cleared.";

// Every operation in both states, one after the other.
const Expected SESSION[] = {
    {Op::none, false, 0, L"Press F8 when the enemy becomes visible.", VISIBLE_CAPTION, false, false},
    {Op::reset, false, 0, RESET, VISIBLE_CAPTION, false, false},       // reset while idle
    {Op::clear, false, 0, CLEARED, VISIBLE_CAPTION, false, false},     // clear while idle and empty
    {Op::toggle, true, 0, STARTED, KILL_CAPTION, true, false},
    {Op::reset, false, 0, RESET, VISIBLE_CAPTION, false, false},       // abandons, appends nothing
    {Op::toggle, true, 0, STARTED, KILL_CAPTION, true, false},
    {Op::toggle, false, 1, KILLED, VISIBLE_CAPTION, false, true},
    {Op::reset, false, 1, RESET, VISIBLE_CAPTION, false, true},        // the list stays
    {Op::toggle, true, 1, STARTED, KILL_CAPTION, true, true},
    {Op::toggle, false, 2, KILLED, VISIBLE_CAPTION, false, true},
    {Op::toggle, true, 2, STARTED, KILL_CAPTION, true, true},
    {Op::clear, false, 0, CLEARED, VISIBLE_CAPTION, false, false},     // clear abandons a running one
    {Op::toggle, true, 0, STARTED, KILL_CAPTION, true, false},
    {Op::toggle, false, 1, KILLED, VISIBLE_CAPTION, false, true},
};

bool repaint_pending()
{
    return GetUpdateRect(overlay.main_window, nullptr, FALSE) != 0;
}

// Moves the enemy-visible mark into the past, as if F8 had been pressed that long ago.
void move_mark_back(double seconds)
{
    overlay.visible_counter -= static_cast<std::int64_t>(seconds * static_cast<double>(overlay.counter_frequency));
}

}  // namespace

class Marker : public OverlayTest {};

TEST_F(Marker, EachOperationSetsStateCaptionButtonsAndRepaints)
{
    for (const Expected& step : SESSION) {
        SCOPED_TRACE(testing::Message() << "step " << (&step - SESSION));
        ValidateRect(window(), nullptr);
        run(step.op);
        EXPECT_EQ(overlay.timing, step.timing);
        EXPECT_EQ(overlay.measurements.size(), step.measurements);
        EXPECT_EQ(overlay.status_text, step.status);
        EXPECT_EQ(window_text(overlay.mark_button), step.caption);
        EXPECT_EQ(IsWindowEnabled(overlay.reset_button) != 0, step.reset_enabled);
        EXPECT_EQ(IsWindowEnabled(overlay.export_button) != 0, step.export_and_clear_enabled);
        EXPECT_EQ(IsWindowEnabled(overlay.clear_button) != 0, step.export_and_clear_enabled);
        EXPECT_TRUE(IsWindowEnabled(overlay.mark_button));
        if (step.op != Op::none) {
            EXPECT_TRUE(repaint_pending());
        }
        if (step.op == Op::toggle && step.timing) {
            EXPECT_EQ(overlay.current_ms, 0);
        }
        if (step.op == Op::reset || step.op == Op::clear) {
            EXPECT_EQ(overlay.current_ms, 0);
        }
    }
}

TEST_F(Marker, KillRecordsTimeToKillAndTimesSinceStartup)
{
    toggle_mark();
    move_mark_back(1.5);
    toggle_mark();
    ASSERT_EQ(overlay.measurements.size(), 1u);
    const Measurement& m = overlay.measurements[0];
    const double frequency = static_cast<double>(overlay.counter_frequency);
    EXPECT_EQ(m.enemy_visible, static_cast<double>(overlay.visible_counter - overlay.start_counter) / frequency);
    EXPECT_GE(m.time_to_kill_ms, 1500);
    EXPECT_LT(m.time_to_kill_ms, 1500 + 1000);  // allows for a very slow machine, not for a wrong unit
    EXPECT_EQ(overlay.current_ms, m.time_to_kill_ms);
    // From the tick difference itself, so within a millisecond of the stored times' difference.
    EXPECT_NEAR(static_cast<double>(m.time_to_kill_ms), (m.enemy_killed - m.enemy_visible) * 1000.0, 1.0);

    // The result stays on the readout: timer ticks leave it alone after the kill.
    const std::int64_t shown = overlay.current_ms;
    Sleep(30);
    refresh_live_time();
    EXPECT_EQ(overlay.current_ms, shown);
}

TEST_F(Marker, TwoMarksWithinHalfAMillisecondGiveZero)
{
    toggle_mark();
    overlay.visible_counter = read_counter();  // the kill follows at once
    overlay.counter_frequency *= 1000;         // so that the gap is far below half a millisecond
    toggle_mark();
    ASSERT_EQ(overlay.measurements.size(), 1u);
    EXPECT_EQ(overlay.measurements[0].time_to_kill_ms, 0);
}

TEST_F(Marker, TimeBaseContinuesAfterClear)
{
    toggle_mark();
    toggle_mark();
    const double first_kill = overlay.measurements[0].enemy_killed;
    clear_measurements();
    EXPECT_TRUE(overlay.measurements.empty());
    Sleep(5);
    toggle_mark();
    toggle_mark();
    ASSERT_EQ(overlay.measurements.size(), 1u);
    EXPECT_GT(overlay.measurements[0].enemy_visible, first_kill);
}

TEST_F(Marker, RefreshFollowsTheClockOnlyWhileTimingAndRepaintsOnlyOnChange)
{
    ValidateRect(window(), nullptr);
    refresh_live_time();
    EXPECT_EQ(overlay.current_ms, 0);
    EXPECT_FALSE(repaint_pending()) << "idle tick repainted";

    toggle_mark();
    move_mark_back(0.25);
    ValidateRect(window(), nullptr);
    refresh_live_time();
    EXPECT_GE(overlay.current_ms, 250);
    EXPECT_TRUE(repaint_pending()) << "a changed value was not repainted";

    // A counter so fast that no whole millisecond passes before the next tick: nothing to repaint.
    overlay.counter_frequency *= 1'000'000;
    overlay.current_ms = elapsed_ms(read_counter());
    ValidateRect(window(), nullptr);
    refresh_live_time();
    EXPECT_FALSE(repaint_pending()) << "an unchanged value was repainted";
}
