#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include "app/overlay_state.h"

#include <array>
#include <cstdint>
#include <string>

// Handles every message waiting for this thread's windows; a WM_QUIT found on the way is noted.
void pump_messages();
bool quit_was_posted();

// Pumps messages until the condition holds or the time is up; returns the condition.
template <typename Condition>
bool pump_until(Condition condition, DWORD timeout_ms = 5000)
{
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    while (!condition()) {
        if (GetTickCount64() > end) {
            return false;
        }
        pump_messages();
        Sleep(1);
    }
    return true;
}

std::wstring window_text(HWND window);

// A wide text, such as a path, as UTF-8 for a test's messages.
std::string narrow(const std::wstring& text);

// What the overlay's next paint will redraw, as the platform holds it: "left top right bottom" of
// the update rectangle, with " erase" when the background is to be erased first; "none" when
// nothing waits. Lets the paint happen.
std::string pending_repaint();
constexpr char WHOLE_CLIENT[] = "0 0 430 588";

// Flags and colours as they are written: "0x5001000B", "#FF3347".
std::string hex(std::uint64_t value);
std::string rgb(COLORREF colour);

// A rectangle as four numbers, so that a failed comparison prints them; a window's on the screen.
std::array<LONG, 4> edges(RECT rect);
std::array<LONG, 4> place_of(HWND window);

// The built program, which lies beside the test programs.
std::wstring overlay_exe_path();

// A program a test starts: ended when the test ends, however it ends, so it never outlives it.
class StartedProgram {
public:
    StartedProgram(std::wstring command, WORD show_command = SW_SHOWNORMAL);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    bool started() const { return process.hProcess != nullptr; }
    PROCESS_INFORMATION process{};
};

// Whether some window holds the key as a global hotkey: then nobody else can register it.
bool key_is_held(UINT key);

// The overlay, started and shown the way the program does it and torn down after each test, so that
// every test begins from the initial state of a fresh process.
class OverlayTest : public ::testing::Test {
protected:
    // Runs before the overlay starts, for tests that arrange the world it starts into.
    virtual void before_start() {}
    void SetUp() override;
    void TearDown() override;
    HWND window() const { return overlay.main_window; }
};

// A 32-bit top-down bitmap selected into a memory context, to draw into and read back.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    COLORREF pixel(int x, int y) const;
    // Counts the pixels of one colour inside a rectangle.
    int count(COLORREF colour, RECT rect) const;

private:
    int width_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ original_;
    std::uint32_t* bits_ = nullptr;
};
