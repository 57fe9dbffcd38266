#include "app/gdi_objects.h"

#include "app/overlay_state.h"
#include "app/theme.h"

HFONT create_ui_font(int height, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

void create_gdi_objects()
{
    overlay.body_font = create_ui_font(-14, FW_NORMAL);
    overlay.unit_font = create_ui_font(-17, FW_BOLD);
    overlay.label_font = create_ui_font(-12, FW_BOLD);
    overlay.readout_font = create_ui_font(-68, FW_HEAVY);
    overlay.title_font = create_ui_font(-15, FW_BOLD);

    overlay.background_brush = CreateSolidBrush(COLOUR_BACKGROUND);
    overlay.panel_brush = CreateSolidBrush(COLOUR_PANEL);
    overlay.accent_brush = CreateSolidBrush(COLOUR_ACCENT);
    overlay.border_brush = CreateSolidBrush(COLOUR_BORDER);
}

template <typename Handle>
static void delete_and_forget(Handle& handle)
{
    DeleteObject(handle);
    handle = nullptr;
}

void release_gdi_objects()
{
    delete_and_forget(overlay.body_font);
    delete_and_forget(overlay.unit_font);
    delete_and_forget(overlay.label_font);
    delete_and_forget(overlay.readout_font);
    delete_and_forget(overlay.title_font);
    delete_and_forget(overlay.background_brush);
    delete_and_forget(overlay.panel_brush);
    delete_and_forget(overlay.accent_brush);
    delete_and_forget(overlay.border_brush);
}
