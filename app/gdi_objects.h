#pragma once
#include <windows.h>

// A "Segoe UI" font; a negative height asks for that character height in pixels.
HFONT create_ui_font(int height, int weight);

// The five fonts and four brushes that live as long as the process.
void create_gdi_objects();
void release_gdi_objects();
