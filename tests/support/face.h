#pragma once
#include <windows.h>

#include <array>

// What the overlay must show, written once for every test and never taken from the program:
// its colours, its rectangles at the 430 x 588 client size, and its fonts by their parameters.

constexpr int W = 430;
constexpr int H = 588;

// Where the window stands: 36 pixels from the right edge of the primary screen, 72 from the top.
inline std::array<LONG, 4> usual_place()
{
    const LONG left = GetSystemMetrics(SM_CXSCREEN) - W - 36;
    return {left, 72, left + W, 72 + H};
}

constexpr COLORREF BACKGROUND = RGB(0x08, 0x08, 0x09);
constexpr COLORREF PANEL = RGB(0x10, 0x10, 0x13);
constexpr COLORREF ACCENT = RGB(0xFF, 0x33, 0x47);
constexpr COLORREF BORDER = RGB(0x2D, 0x2D, 0x34);
constexpr COLORREF DOT = RGB(0x62, 0xD9, 0x8B);
constexpr COLORREF PRIMARY = RGB(0xF5, 0xF5, 0xF2);
constexpr COLORREF SECONDARY = RGB(0xA5, 0xA5, 0xAD);
constexpr COLORREF DIM = RGB(0x70, 0x70, 0x7A);
constexpr COLORREF MARK_FILL = RGB(0xD9, 0x0F, 0x2D);
constexpr COLORREF MARK_PRESSED = RGB(0xB8, 0x0C, 0x26);
constexpr COLORREF BUTTON_FILL = RGB(0x16, 0x16, 0x1A);
constexpr COLORREF BUTTON_PRESSED = RGB(0x1F, 0x1F, 0x24);

constexpr RECT ACCENT_BAR{0, 0, W, 3};
constexpr RECT TITLE{20, 14, 300, 44};
constexpr RECT STATUS_DOT{298, 23, 306, 31};
constexpr RECT TAG{314, 14, 388, 42};
constexpr RECT LABEL{22, 70, 408, 92};
constexpr RECT READOUT{20, 94, 342, 168};
constexpr RECT UNIT{348, 118, 408, 162};
constexpr RECT STATUS{22, 171, 408, 199};
constexpr RECT HEADING{26, 286, 404, 312};
constexpr RECT EMPTY_TEXT{26, 322, 404, 448};
constexpr RECT FOOTER{20, 526, 410, 576};
inline RECT number_cell(int row) { return {28, 318 + 34 * row, 60, 346 + 34 * row}; }
inline RECT times_cell(int row) { return {64, 318 + 34 * row, 285, 346 + 34 * row}; }
inline RECT time_to_kill_cell(int row) { return {286, 318 + 34 * row, 402, 346 + 34 * row}; }

// The buttons after layout, in creation order: mark, reset, export, clear, close.
constexpr RECT BUTTON_RECTS[] = {
    {14, 212, 296, 260}, {310, 212, 416, 260}, {14, 472, 142, 514}, {150, 472, 242, 514}, {250, 472, 416, 514},
};

// Segoe UI at a pixel height (negative) and a weight; everything else as CreateFontW's defaults
// with ClearType quality.
struct FontLook {
    int height;
    int weight;
};
constexpr FontLook BODY_FONT{-14, 400};
constexpr FontLook UNIT_FONT{-17, 700};
constexpr FontLook LABEL_FONT{-12, 700};
constexpr FontLook READOUT_FONT{-68, 900};
constexpr FontLook TITLE_FONT{-15, 700};
