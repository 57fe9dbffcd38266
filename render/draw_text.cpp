#include "render/draw_text.h"

void draw_text(HDC dc, const wchar_t* text, RECT rect, HFONT font, COLORREF colour, UINT format)
{
    SelectObject(dc, font);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, text, -1, &rect, format);
}
