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
    // The context goes back as it came: the label's font, colour and mode are undone at the end.
    const int saved = SaveDC(item.hDC);
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
    RestoreDC(item.hDC, saved);
}

// A second press inside the double-click time reaches a button as a double click, which an
// owner-drawn button reports at once, without its pressed look and without a click on release,
// so the window procedure would miss a quick kill. Passed on as an ordinary press, it is a click
// like any other, measured on release like the first.
static LRESULT CALLBACK quick_click_button_proc(HWND button, UINT message, WPARAM wparam, LPARAM lparam)
{
    return CallWindowProcW(overlay.button_proc, button, message == WM_LBUTTONDBLCLK ? WM_LBUTTONDOWN : message,
                           wparam, lparam);
}

void take_double_clicks_as_clicks(HWND button)
{
    overlay.button_proc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(quick_click_button_proc)));
}

// Disabling the window that has the keyboard focus leaves it with no window at all, so the keys
// would reach nobody until the next click: the overlay takes the focus first.
void enable_button(HWND button, bool enabled)
{
    if (!enabled && GetFocus() == button) {
        SetFocus(overlay.main_window);
    }
    EnableWindow(button, enabled);
}
