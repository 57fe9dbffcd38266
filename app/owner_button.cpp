#include "app/owner_button.h"

#include "app/ids.h"
#include "app/overlay_state.h"
#include "app/theme.h"
#include "render/draw_text.h"

static constexpr int LABEL_CAPACITY = 64;

// Fills or frames a rectangle with a brush that lives only for this one use.
static void paint_solid(HDC dc, const RECT& rect, COLORREF colour, bool frame_only)
{
    HBRUSH brush = CreateSolidBrush(colour);
    if (frame_only) {
        FrameRect(dc, &rect, brush);
    } else {
        FillRect(dc, &rect, brush);
    }
    DeleteObject(brush);
}

void draw_owner_button(const DRAWITEMSTRUCT& item)
{
    const bool is_mark = item.CtlID == ID_MARK;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool pressed = !disabled && (item.itemState & ODS_SELECTED) != 0;

    COLORREF fill = is_mark ? COLOUR_MARK_FILL : COLOUR_BUTTON_FILL;
    if (pressed) {
        fill = is_mark ? COLOUR_MARK_FILL_PRESSED : COLOUR_BUTTON_FILL_PRESSED;
    }
    paint_solid(item.hDC, item.rcItem, fill, false);
    paint_solid(item.hDC, item.rcItem, is_mark ? COLOUR_ACCENT : COLOUR_BORDER, true);

    wchar_t label[LABEL_CAPACITY] = {};
    GetWindowTextW(item.hwndItem, label, LABEL_CAPACITY);
    draw_text(item.hDC, label, item.rcItem, overlay.label_font, disabled ? COLOUR_TEXT_DIM : COLOUR_TEXT_PRIMARY,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
