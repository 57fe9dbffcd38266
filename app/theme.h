#pragma once
#include <windows.h>

// The overlay's colours; COLORREF holds them as blue, green, red.
inline constexpr COLORREF COLOUR_BACKGROUND = RGB(0x08, 0x08, 0x09);
inline constexpr COLORREF COLOUR_PANEL = RGB(0x10, 0x10, 0x13);
inline constexpr COLORREF COLOUR_ACCENT = RGB(0xFF, 0x33, 0x47);
inline constexpr COLORREF COLOUR_BORDER = RGB(0x2D, 0x2D, 0x34);
inline constexpr COLORREF COLOUR_STATUS_DOT = RGB(0x62, 0xD9, 0x8B);

inline constexpr COLORREF COLOUR_TEXT_PRIMARY = RGB(0xF5, 0xF5, 0xF2);
inline constexpr COLORREF COLOUR_TEXT_SECONDARY = RGB(0xA5, 0xA5, 0xAD);
inline constexpr COLORREF COLOUR_TEXT_DIM = RGB(0x70, 0x70, 0x7A);

inline constexpr COLORREF COLOUR_MARK_FILL = RGB(0xD9, 0x0F, 0x2D);
inline constexpr COLORREF COLOUR_MARK_FILL_PRESSED = RGB(0xB8, 0x0C, 0x26);
inline constexpr COLORREF COLOUR_BUTTON_FILL = RGB(0x16, 0x16, 0x1A);
inline constexpr COLORREF COLOUR_BUTTON_FILL_PRESSED = RGB(0x1F, 0x1F, 0x24);

// The client area, fixed: the window has no sizing border.
inline constexpr int CLIENT_WIDTH = 430;
inline constexpr int CLIENT_HEIGHT = 588;

// Rows 0 to 53 of the client drag the window; the separator is drawn right under them.
inline constexpr int DRAG_BAND_HEIGHT = 54;
