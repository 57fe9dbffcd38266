#pragma once
#include <windows.h>

// Draws one of the flat buttons from scratch: fill, 1-pixel frame, centred label.
void draw_owner_button(const DRAWITEMSTRUCT& item);

// Makes a quick second click on the button an ordinary click: pressed while held, clicked on release.
void take_double_clicks_as_clicks(HWND button);
