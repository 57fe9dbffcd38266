#pragma once
#include <windows.h>

// Control ids of the five buttons.
inline constexpr int ID_MARK = 201;
inline constexpr int ID_RESET = 203;
inline constexpr int ID_EXPORT = 204;
inline constexpr int ID_CLEAR = 205;
inline constexpr int ID_CLOSE = 206;

// Global hotkeys, each the bare function key.
inline constexpr int HOTKEY_MARK = 101;    // F8
inline constexpr int HOTKEY_RESET = 103;   // F10
inline constexpr int HOTKEY_TOGGLE = 104;  // F7

inline constexpr UINT_PTR REFRESH_TIMER = 1;
inline constexpr UINT REFRESH_PERIOD_MS = 16;
