#pragma once
#include <windows.h>

// Draws one of the flat buttons from scratch: fill, 1-pixel frame, centred label.
void draw_owner_button(const DRAWITEMSTRUCT& item);
