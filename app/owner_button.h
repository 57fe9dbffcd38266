#pragma once
#include <windows.h>

// Draws one of the flat buttons from scratch: fill, 1-pixel frame, centred label.
void draw_owner_button(const DRAWITEMSTRUCT& item);

// Makes a quick second click on the button an ordinary click: pressed while held, clicked on release.
void take_double_clicks_as_clicks(HWND button);

// Enables or disables a button; one that loses the keyboard focus this way hands it to the overlay.
void enable_button(HWND button, bool enabled);
