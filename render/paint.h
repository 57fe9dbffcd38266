#pragma once
#include <windows.h>

// The whole face of the overlay from the state record, drawn off-screen and copied to dc
// in one BitBlt. Reads the state, changes nothing.
void draw_overlay(HDC dc, int width, int height);

// WM_PAINT: begins the paint, draws the whole client area, ends the paint.
void paint_overlay(HWND window);
