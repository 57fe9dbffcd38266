// The window procedure on the real window: buttons, hotkeys, hit test, commands, F7 and CLOSE.
#include "tests/support/face.h"
#include "tests/support/overlay_harness.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/overlay_state.h"

namespace {

struct ButtonCase {
    HWND OverlayState::*field;
    int id;
    const wchar_t* label;
    bool enabled;
};

const ButtonCase BUTTONS[] = {
    {&OverlayState::mark_button, 201, L"ENEMY VISIBLE  [F8]", true},
    {&OverlayState::reset_button, 203, L"RESET [F10]", false},
    {&OverlayState::export_button, 204, L"EXPORT CSV", false},
    {&OverlayState::clear_button, 205, L"CLEAR", false},
    {&OverlayState::close_button, 206, L"CLOSE", true},
};

RECT client_rect_of(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

POINT centre_of(HWND child)
{
    RECT rect;
    GetWindowRect(child, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// A real left click at a point of the screen, through the platform's input queue, the button held
// down for a moment as a hand does; returns the counter value just before the release.
std::int64_t counter_now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// A click, pressed and released: the counter just before the release and just after the overlay
// has acted on it (once `acted` holds), so the moment it acted lies between the two however late
// the input comes through.
template <typename Condition>
std::pair<std::int64_t, std::int64_t> click_at(POINT point, Condition acted)
{
    SetCursorPos(point.x, point.y);
    INPUT press{INPUT_MOUSE, {}};
    press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &press, sizeof press);
    pump_until([] { return false; }, 40);
    press.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    const std::int64_t before = counter_now();
    SendInput(1, &press, sizeof press);
    pump_until(acted, 1000);
    return {before, counter_now()};
}

}  // namespace

class WindowProc : public OverlayTest {};

TEST_F(WindowProc, CreatesFiveOwnerDrawnButtonsLaidOutForTheClientSize)
{
    for (const ButtonCase& b : BUTTONS) {
        SCOPED_TRACE(testing::Message() << "button " << b.id);
        HWND button = overlay.*b.field;
        ASSERT_TRUE(IsWindow(button));
        EXPECT_EQ(GetParent(button), window());
        EXPECT_EQ(GetDlgCtrlID(button), b.id);
        EXPECT_EQ(window_text(button), b.label);
        EXPECT_EQ(IsWindowEnabled(button) != 0, b.enabled);
        EXPECT_EQ(hex(GetWindowLongPtrW(button, GWL_STYLE) & ~WS_DISABLED), "0x5001000B");
        // Already at the layout rectangle: the creation rectangle is never what is seen.
        EXPECT_EQ(edges(client_rect_of(button)), edges(BUTTON_RECTS[&b - BUTTONS]));
    }
    // A later WM_SIZE puts a displaced button back.
    MoveWindow(overlay.close_button, 0, 0, 10, 10, TRUE);
    EXPECT_EQ(SendMessageW(window(), WM_SIZE, 0, 0), 0);
    EXPECT_EQ(edges(client_rect_of(overlay.close_button)), edges(BUTTON_RECTS[4]));
}

// Another program may have got one of the three keys first (0: none).
class Hotkeys : public OverlayTest, public testing::WithParamInterface<UINT> {
protected:
    void before_start() override
    {
        other_ = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(GetParam() == 0 || RegisterHotKey(other_, 1, MOD_NOREPEAT, GetParam()));
    }
    void TearDown() override
    {
        OverlayTest::TearDown();
        UnregisterHotKey(other_, 1);
        DestroyWindow(other_);
    }
    HWND other_ = nullptr;
};

TEST_P(Hotkeys, TheFreeOnesAreHeldUntilCloseWhichDestroysTheWindowAndPostsQuit)
{
    const bool one_taken = GetParam() != 0;
    EXPECT_EQ(overlay.hotkeys_ok, !one_taken);
    EXPECT_EQ(overlay.status_text,
              one_taken ? L"Some global hotkeys are already in use." : L"Press F8 when the enemy becomes visible.");
    for (UINT key : {VK_F8, VK_F10, VK_F7}) {
        EXPECT_TRUE(key_is_held(key)) << "key " << key;
    }
    // CLOSE releases what it holds, the id that failed included, and leaves the other's key alone.
    EXPECT_EQ(SendMessageW(window(), WM_COMMAND, MAKEWPARAM(206, BN_CLICKED), 0), 0);
    EXPECT_FALSE(IsWindow(window()));
    pump_messages();
    EXPECT_TRUE(quit_was_posted());
    for (UINT key : {VK_F8, VK_F10, VK_F7}) {
        EXPECT_EQ(key_is_held(key), key == GetParam()) << "key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(NoneOrEachKey, Hotkeys, testing::Values(0u, VK_F8, VK_F10, VK_F7));

TEST_F(WindowProc, TopBandDragsTheWindowAndTheRestDoesNot)
{
    // Left of and above the primary monitor, so that screen coordinates are negative.
    for (POINT origin : {POINT{200, 150}, POINT{-300, -40}}) {
        SetWindowPos(window(), nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        auto hit = [&](int client_x, int client_y) {
            return SendMessageW(window(), WM_NCHITTEST, 0, MAKELPARAM(origin.x + client_x, origin.y + client_y));
        };
        EXPECT_EQ(hit(100, 0), HTCAPTION);
        EXPECT_EQ(hit(100, 53), HTCAPTION);
        EXPECT_EQ(hit(100, 54), HTCLIENT);
        EXPECT_EQ(hit(5, 300), HTCLIENT);
        EXPECT_EQ(hit(100, 700), HTNOWHERE);  // below the window: the default answer stands
    }
}

// Commands act on plain clicks only, hotkeys by their ids; unknown ones change nothing, even while timing.
TEST_F(WindowProc, CommandsAndHotkeysActByIdAndOnPlainClicksOnly)
{
    struct Case {
        UINT message;
        WPARAM wparam;
        std::size_t measurements;  // afterwards
        bool timing;
    };
    const Case cases[] = {
        {WM_COMMAND, MAKEWPARAM(201, BN_DOUBLECLICKED), 0, false}, {WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), 0, true},
        {WM_COMMAND, MAKEWPARAM(203, BN_DOUBLECLICKED), 0, true},  {WM_COMMAND, MAKEWPARAM(203, BN_CLICKED), 0, false},
        {WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), 0, true},        {WM_COMMAND, MAKEWPARAM(201, BN_CLICKED), 1, false},
        {WM_COMMAND, MAKEWPARAM(205, 1), 1, false},                {WM_COMMAND, MAKEWPARAM(999, BN_CLICKED), 1, false},
        {WM_COMMAND, MAKEWPARAM(205, BN_CLICKED), 0, false},       {WM_HOTKEY, 101, 0, true},
        {WM_HOTKEY, 102, 0, true},                                 {WM_HOTKEY, 103, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message << ", " << c.wparam);
        EXPECT_EQ(SendMessageW(window(), c.message, c.wparam, 0), 0);
        EXPECT_EQ(overlay.measurements.size(), c.measurements);
        EXPECT_EQ(overlay.timing, c.timing);
    }
}

// Two real clicks on the mark button measure the time between them, as F8 pressed twice does,
// whether the second one comes inside the double-click time (a quick kill) or just after it.
// RESET and CLEAR, which the click that focused them disables, hand the focus to the overlay.
TEST_F(WindowProc, TwoClicksOnTheMarkButtonMeasureHoweverQuickAndNoDisabledButtonKeepsTheFocus)
{
    const UINT double_click_ms = GetDoubleClickTime();
    const POINT centre = centre_of(overlay.mark_button);
    std::size_t rows = 0;
    // The panel first: activates the overlay, which Wine does slowly the first time.
    click_at({centre.x, centre.y + 150}, [] { return false; });
    for (UINT gap_ms : {150u, double_click_ms - 100, double_click_ms + 100}) {
        SCOPED_TRACE(testing::Message() << gap_ms << " ms between the clicks, double-click time " << double_click_ms);
        const auto first = click_at(centre, [] { return overlay.timing; });
        ASSERT_TRUE(overlay.timing) << "the first click did not start a measurement";
        Sleep(gap_ms - 60);  // from press to press, as the platform tells a double click
        const auto second = click_at(centre, [&] { return overlay.measurements.size() > rows; });
        ASSERT_EQ(overlay.measurements.size(), ++rows) << "the second click was not taken as the kill";
        // From the first release to the second, within what the input's delivery leaves open.
        const std::int64_t ms = overlay.measurements.back().time_to_kill_ms;
        EXPECT_GE(ms, (second.first - first.second) * 1000 / overlay.counter_frequency);
        EXPECT_LE(ms, (second.second - first.first) * 1000 / overlay.counter_frequency + 1);
        EXPECT_EQ(overlay.current_ms, overlay.measurements.back().time_to_kill_ms);
        Sleep(double_click_ms + 50);  // the next pair starts with a single click
    }
    click_at(centre, [] { return overlay.timing; });
    ASSERT_TRUE(overlay.timing) << "the mark button did not start a measurement for RESET";
    click_at(centre_of(overlay.reset_button), [] { return !overlay.timing; });
    ASSERT_FALSE(overlay.timing) << "RESET was not clicked";
    EXPECT_EQ(GetFocus(), window()) << "after RESET";
    click_at(centre_of(overlay.clear_button), [] { return overlay.measurements.empty(); });
    ASSERT_TRUE(overlay.measurements.empty()) << "CLEAR was not clicked";
    EXPECT_EQ(GetFocus(), window()) << "after CLEAR";
}

TEST_F(WindowProc, TheRefreshTimerTicksEvery16Ms)
{
    // The refresh timer runs by itself, id 1 every 16 ms. The platform rounds a period up to its
    // clock: about 16 ms under Wine, 31 ms on Windows' default 15.6 ms clock, while a 40 ms period
    // would give 40 or 47. The median of twenty intervals is spared by a late tick or two.
    std::vector<std::int64_t> ticks;
    MSG message;
    for (const ULONGLONG end = GetTickCount64() + 1000; ticks.size() < 21 && GetTickCount64() < end;) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(1);
            continue;
        }
        if (message.message == WM_TIMER && message.hwnd == window() && message.wParam == 1) {
            ticks.push_back(counter_now() * 1000 / overlay.counter_frequency);
        }
        DispatchMessageW(&message);
    }
    ASSERT_EQ(ticks.size(), 21u) << "the timer ticked fewer than 21 times in a second";
    std::vector<std::int64_t> intervals;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        intervals.push_back(ticks[i] - ticks[i - 1]);
    }
    std::nth_element(intervals.begin(), intervals.begin() + 10, intervals.end());
    EXPECT_GE(intervals[10], 12) << "median interval in ms";
    EXPECT_LE(intervals[10], 36) << "median interval in ms";
}

// Erasing is left to the paint, which covers everything: the erase request draws nothing.
TEST_F(WindowProc, EraseRequestsDrawNothing)
{
    Canvas canvas(W, H);
    PatBlt(canvas.dc(), 0, 0, W, H, WHITENESS);
    EXPECT_EQ(SendMessageW(window(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0), 1);
    EXPECT_EQ(canvas.count(RGB(255, 255, 255), {0, 0, W, H}), W * H);
}

TEST_F(WindowProc, F7HidesAndShowsInPlaceOnTopWithoutTakingTheActivation)
{
    HWND game = CreateWindowExW(0, L"STATIC", L"game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    SetForegroundWindow(game);
    SetActiveWindow(game);
    pump_messages();
    ASSERT_EQ(GetActiveWindow(), game);
    const auto before = place_of(window());

    EXPECT_EQ(SendMessageW(window(), WM_HOTKEY, 104, 0), 0);
    pump_messages();
    EXPECT_FALSE(IsWindowVisible(window()));

    SendMessageW(window(), WM_HOTKEY, 104, 0);
    pump_messages();
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_EQ(place_of(window()), before);
    EXPECT_TRUE(GetWindowLongPtrW(window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetTopWindow(nullptr), window());
    EXPECT_EQ(GetActiveWindow(), game);
    DestroyWindow(game);
}

// The real program, in its own process, started as a shortcut set to "Maximized" starts it:
// the usual window all the same, and CLOSE ends it with exit code 0.
TEST(Program, StartedMaximizedStandsAtItsPlaceAndExitsWithZeroOnClose)
{
    // It holds F7, F8 and F10 as long as it runs: it ends with the test, however the test ends.
    StartedProgram program(L"\"" + overlay_exe_path() + L"\"", SW_SHOWMAXIMIZED);
    ASSERT_TRUE(program.started());
    const PROCESS_INFORMATION& process = program.process;
    WaitForInputIdle(process.hProcess, 10000);
    HWND found = nullptr;
    ASSERT_TRUE(pump_until(
        [&] { return (found = FindWindowW(L"QuillfenReplayOverlayWindow", L"Quillfen Replay Overlay")) != nullptr; }));
    DWORD owner = 0;
    GetWindowThreadProcessId(found, &owner);
    EXPECT_EQ(owner, process.dwProcessId);
    EXPECT_EQ(place_of(found), usual_place());

    PostMessageW(found, WM_COMMAND, MAKEWPARAM(206, BN_CLICKED), 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exit_code = 99;
    GetExitCodeProcess(process.hProcess, &exit_code);
    EXPECT_EQ(exit_code, 0u);
}
