#include "app/overlay_state.h"

OverlayState overlay;

void repaint_overlay()
{
    InvalidateRect(overlay.main_window, nullptr, FALSE);
}
