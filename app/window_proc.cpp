#include "app/window_proc.h"

#include <windowsx.h>

#include "app/ids.h"
#include "app/overlay_state.h"
#include "app/owner_button.h"
#include "app/theme.h"
#include "measure/csv_export.h"
#include "measure/marker.h"
#include "render/paint.h"

static constexpr DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
static constexpr wchar_t HOTKEYS_IN_USE[] = L"Some global hotkeys are already in use.";

// Button layout: 14-pixel side margins, the top row under the status line, the bottom row
// 116 pixels above the bottom of the client area.
static constexpr int MARGIN = 14;
static constexpr int TOP_ROW_Y = 212;
static constexpr int TOP_ROW_HEIGHT = 48;
static constexpr int BOTTOM_ROW_LIFT = 116;
static constexpr int BOTTOM_ROW_HEIGHT = 42;

// The five buttons in creation order. Their creation rectangles hold only until the first
// WM_SIZE, which comes before any of them is painted.
struct ButtonDefinition {
    HWND OverlayState::*field;
    int id;
    const wchar_t* label;
    int x, y, width, height;
};
static constexpr ButtonDefinition BUTTONS[] = {
    {&OverlayState::mark_button, ID_MARK, MARK_CAPTION_VISIBLE, 14, 212, 292, 48},
    {&OverlayState::reset_button, ID_RESET, L"RESET [F10]", 320, 212, 96, 48},
    {&OverlayState::export_button, ID_EXPORT, L"EXPORT CSV", 14, 442, 128, 42},
    {&OverlayState::clear_button, ID_CLEAR, L"CLEAR", 150, 442, 92, 42},
    {&OverlayState::close_button, ID_CLOSE, L"CLOSE", 250, 442, 166, 42},
};

static void on_create(HWND window)
{
    overlay.main_window = window;
    for (const ButtonDefinition& button : BUTTONS) {
        overlay.*button.field = CreateWindowExW(0, L"BUTTON", button.label, BUTTON_STYLE, button.x, button.y,
                                                button.width, button.height, window,
                                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)),
                                                GetModuleHandleW(nullptr), nullptr);
        take_double_clicks_as_clicks(overlay.*button.field);
    }
    enable_button(overlay.reset_button, false);
    enable_button(overlay.export_button, false);
    enable_button(overlay.clear_button, false);

    // All three are tried: the ones that register keep working when another program holds one.
    const bool mark_ok = RegisterHotKey(window, HOTKEY_MARK, MOD_NOREPEAT, VK_F8);
    const bool reset_ok = RegisterHotKey(window, HOTKEY_RESET, MOD_NOREPEAT, VK_F10);
    const bool toggle_ok = RegisterHotKey(window, HOTKEY_TOGGLE, MOD_NOREPEAT, VK_F7);
    overlay.hotkeys_ok = mark_ok && reset_ok && toggle_ok;
    if (!overlay.hotkeys_ok) {
        overlay.status_text = HOTKEYS_IN_USE;
    }
    SetTimer(window, REFRESH_TIMER, REFRESH_PERIOD_MS, nullptr);
}

static void on_destroy(HWND window)
{
    KillTimer(window, REFRESH_TIMER);
    UnregisterHotKey(window, HOTKEY_MARK);
    UnregisterHotKey(window, HOTKEY_RESET);
    UnregisterHotKey(window, HOTKEY_TOGGLE);
    PostQuitMessage(0);
}

static void layout_buttons(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right;
    const int bottom_row_y = client.bottom - BOTTOM_ROW_LIFT;
    MoveWindow(overlay.mark_button, MARGIN, TOP_ROW_Y, w - 148, TOP_ROW_HEIGHT, TRUE);
    MoveWindow(overlay.reset_button, w - 120, TOP_ROW_Y, 106, TOP_ROW_HEIGHT, TRUE);
    MoveWindow(overlay.export_button, MARGIN, bottom_row_y, 128, BOTTOM_ROW_HEIGHT, TRUE);
    MoveWindow(overlay.clear_button, 150, bottom_row_y, 92, BOTTOM_ROW_HEIGHT, TRUE);
    MoveWindow(overlay.close_button, 250, bottom_row_y, w - 264, BOTTOM_ROW_HEIGHT, TRUE);
}

// The window has no caption: its top band stands in for one.
static LRESULT hit_test(HWND window, WPARAM wparam, LPARAM lparam)
{
    const LRESULT result = DefWindowProcW(window, WM_NCHITTEST, wparam, lparam);
    if (result != HTCLIENT) {
        return result;
    }
    // Signed: monitors left of or above the primary one have negative coordinates.
    POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    ScreenToClient(window, &point);
    return point.y < DRAG_BAND_HEIGHT ? HTCAPTION : HTCLIENT;
}

static void on_command(HWND window, WPARAM wparam)
{
    if (HIWORD(wparam) != BN_CLICKED) {
        return;
    }
    switch (LOWORD(wparam)) {
    case ID_MARK: toggle_mark(); break;
    case ID_RESET: reset_marker(); break;
    case ID_EXPORT: export_csv(); break;
    case ID_CLEAR: clear_measurements(); break;
    case ID_CLOSE: DestroyWindow(window); break;
    default: break;
    }
}

// F7: hide, or come back where it was, on top, leaving the focus with the game.
static void toggle_visibility(HWND window)
{
    if (IsWindowVisible(window)) {
        ShowWindow(window, SW_HIDE);
    } else {
        ShowWindow(window, SW_SHOWNOACTIVATE);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    }
}

static void on_hotkey(HWND window, WPARAM id)
{
    switch (id) {
    case HOTKEY_MARK: toggle_mark(); break;
    case HOTKEY_RESET: reset_marker(); break;
    case HOTKEY_TOGGLE: toggle_visibility(window); break;
    default: break;
    }
}

LRESULT CALLBACK overlay_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE: on_create(window); return 0;
    case WM_DESTROY: on_destroy(window); return 0;
    case WM_SIZE: layout_buttons(window); return 0;
    case WM_PAINT: paint_overlay(window); return 0;
    case WM_ERASEBKGND: return 1;  // painting covers everything, off-screen: erasing would only flicker
    case WM_DRAWITEM: draw_owner_button(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)); return 1;
    case WM_NCHITTEST: return hit_test(window, wparam, lparam);
    case WM_COMMAND: on_command(window, wparam); return 0;
    case WM_TIMER:
        if (wparam == REFRESH_TIMER) {
            refresh_live_time();
        }
        return 0;
    case WM_HOTKEY: on_hotkey(window, wparam); return 0;
    default: return DefWindowProcW(window, message, wparam, lparam);
    }
}
