#pragma once
#include <windows.h>

// One line of text in its rectangle, clipped to it, without filling behind the glyphs.
void draw_text(HDC dc, const wchar_t* text, RECT rect, HFONT font, COLORREF colour, UINT format);
