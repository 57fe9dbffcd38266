#pragma once
#include <windows.h>

inline constexpr wchar_t OVERLAY_CLASS_NAME[] = L"QuillfenReplayOverlayWindow";
inline constexpr DWORD OVERLAY_EX_STYLE = WS_EX_TOPMOST | WS_EX_APPWINDOW;
inline constexpr DWORD OVERLAY_STYLE = WS_POPUP | WS_CLIPCHILDREN;

inline constexpr int EXIT_CLASS_FAILED = 1;
inline constexpr int EXIT_WINDOW_FAILED = 2;

// Start-up up to a created window: DPI awareness, the clock, fonts and brushes, class and window.
// Returns 0, or the exit code of the step that failed (with the drawing objects released).
int start_overlay(HINSTANCE instance);

// Shows the window; a hidden or maximized show command shows it normally.
void show_overlay(int show_command);

// Runs until the quit message or an error, releases the drawing objects, returns the exit code.
int run_message_loop();
