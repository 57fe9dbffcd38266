#pragma once
#include <windows.h>

// The overlay window's procedure: routes every message to the code that handles it.
LRESULT CALLBACK overlay_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
