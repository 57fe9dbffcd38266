#include "render/paint.h"

#include <cwchar>
#include <iterator>

#include "app/overlay_state.h"
#include "app/theme.h"
#include "measure/clock_text.h"
#include "render/draw_text.h"

static constexpr UINT FORMAT_LEFT = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
static constexpr UINT FORMAT_RIGHT = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
static constexpr UINT FORMAT_CENTER = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
static constexpr UINT FORMAT_CENTER_TOP = DT_CENTER | DT_TOP | DT_SINGLELINE;

static constexpr wchar_t TITLE[] = L"QUILLFEN  /  REPLAY OVERLAY";
static constexpr wchar_t TAG[] = L"REPLAY";
static constexpr wchar_t LABEL[] = L"TIME FROM ENEMY VISIBLE TO KILL";
static constexpr wchar_t UNIT[] = L"MS";
static constexpr wchar_t PANEL_HEADING[] = L"RECENT MEASUREMENTS";
static constexpr wchar_t EMPTY_LIST[] = L"Completed measurements appear here.";
static constexpr wchar_t NO_READING[] = L"\u2014";
static constexpr wchar_t FOOTER_HOTKEYS[] = L"F8 VISIBLE / KILL   \u2022   F10 RESET   \u2022   F7 SHOW/HIDE";
static constexpr wchar_t FOOTER_WARNING[] = L"Global hotkeys unavailable. Use the overlay buttons.";

static constexpr int ACCENT_BAR_HEIGHT = 3;
static constexpr int PANEL_TOP = 278;
static constexpr int PANEL_SIDE = 14;
static constexpr int PANEL_BOTTOM_LIFT = 128;
static constexpr int SHOWN_ROWS = 4;
static constexpr int FIRST_ROW_TOP = 318;
static constexpr int ROW_PITCH = 34;
static constexpr int ROW_HEIGHT = 28;

static void draw_status_dot(HDC dc, int width)
{
    HBRUSH brush = CreateSolidBrush(COLOUR_STATUS_DOT);
    HGDIOBJ previous = SelectObject(dc, brush);
    Ellipse(dc, width - 132, 23, width - 124, 31);  // outlined with the default pen
    SelectObject(dc, previous);
    DeleteObject(brush);
}

// The dash only before anything was measured; a running measurement shows its 0.
static void draw_readout(HDC dc, int width)
{
    wchar_t number[32];
    const wchar_t* text = NO_READING;
    if (!overlay.measurements.empty() || overlay.timing || overlay.current_ms != 0) {
        std::swprintf(number, 32, L"%lld", static_cast<long long>(overlay.current_ms));
        text = number;
    }
    draw_text(dc, text, {20, 94, width - 88, 168}, overlay.readout_font, COLOUR_TEXT_PRIMARY, FORMAT_RIGHT);
}

// One row of the panel: position in the whole list, the two times, the time to kill.
static void draw_row(HDC dc, int width, int top, std::size_t index)
{
    const Measurement& measurement = overlay.measurements[index];
    const int bottom = top + ROW_HEIGHT;

    wchar_t number[16];
    std::swprintf(number, 16, L"%02llu", static_cast<unsigned long long>(index + 1));
    draw_text(dc, number, {28, top, 60, bottom}, overlay.body_font, COLOUR_TEXT_DIM, FORMAT_LEFT);

    wchar_t visible[CLOCK_TEXT_CAPACITY];
    wchar_t killed[CLOCK_TEXT_CAPACITY];
    wchar_t times[2 * CLOCK_TEXT_CAPACITY + 8];
    format_clock(measurement.enemy_visible, visible);
    format_clock(measurement.enemy_killed, killed);
    std::swprintf(times, std::size(times), L"%ls  \u2192  %ls", visible, killed);
    draw_text(dc, times, {64, top, 285, bottom}, overlay.body_font, COLOUR_TEXT_SECONDARY, FORMAT_LEFT);

    wchar_t time_to_kill[32];
    std::swprintf(time_to_kill, 32, L"%lld ms", static_cast<long long>(measurement.time_to_kill_ms));
    draw_text(dc, time_to_kill, {286, top, width - 28, bottom}, overlay.unit_font, COLOUR_TEXT_PRIMARY,
              FORMAT_RIGHT);
}

static void draw_panel(HDC dc, int width, int height)
{
    const RECT panel{PANEL_SIDE, PANEL_TOP, width - PANEL_SIDE, height - PANEL_BOTTOM_LIFT};
    FillRect(dc, &panel, overlay.panel_brush);
    FrameRect(dc, &panel, overlay.border_brush);
    draw_text(dc, PANEL_HEADING, {26, 286, width - 26, 312}, overlay.label_font, COLOUR_TEXT_SECONDARY,
              FORMAT_LEFT);

    const std::size_t count = overlay.measurements.size();
    if (count == 0) {
        draw_text(dc, EMPTY_LIST, {26, 322, width - 26, height - 140}, overlay.body_font, COLOUR_TEXT_DIM,
                  FORMAT_CENTER_TOP);
        return;
    }
    // The newest four, oldest at the top.
    const std::size_t first = count > SHOWN_ROWS ? count - SHOWN_ROWS : 0;
    for (std::size_t index = first; index < count; ++index) {
        draw_row(dc, width, FIRST_ROW_TOP + ROW_PITCH * static_cast<int>(index - first), index);
    }
}

static void draw_face(HDC dc, int width, int height)
{
    const RECT background{0, 0, width, height};
    const RECT accent_bar{0, 0, width, ACCENT_BAR_HEIGHT};
    const RECT separator{0, DRAG_BAND_HEIGHT, width, DRAG_BAND_HEIGHT + 1};

    FillRect(dc, &background, overlay.background_brush);
    FillRect(dc, &accent_bar, overlay.accent_brush);
    draw_text(dc, TITLE, {20, 14, 300, 44}, overlay.title_font, COLOUR_TEXT_PRIMARY, FORMAT_LEFT);
    draw_status_dot(dc, width);
    draw_text(dc, TAG, {width - 116, 14, width - 42, 42}, overlay.label_font, COLOUR_TEXT_SECONDARY, FORMAT_LEFT);
    FillRect(dc, &separator, overlay.border_brush);
    draw_text(dc, LABEL, {22, 70, width - 22, 92}, overlay.label_font, COLOUR_ACCENT, FORMAT_LEFT);
    draw_readout(dc, width);
    draw_text(dc, UNIT, {width - 82, 118, width - 22, 162}, overlay.unit_font, COLOUR_ACCENT, FORMAT_LEFT);
    draw_text(dc, overlay.status_text.c_str(), {22, 171, width - 22, 199}, overlay.body_font,
              COLOUR_TEXT_SECONDARY, FORMAT_LEFT);
    draw_panel(dc, width, height);
    draw_text(dc, overlay.hotkeys_ok ? FOOTER_HOTKEYS : FOOTER_WARNING, {20, height - 62, width - 20, height - 12},
              overlay.label_font, overlay.hotkeys_ok ? COLOUR_TEXT_DIM : COLOUR_ACCENT, FORMAT_CENTER);
}

void draw_overlay(HDC dc, int width, int height)
{
    // Everything goes to an off-screen bitmap first, so no half-drawn frame is ever seen.
    HDC offscreen = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ original_bitmap = SelectObject(offscreen, bitmap);
    draw_face(offscreen, width, height);
    BitBlt(dc, 0, 0, width, height, offscreen, 0, 0, SRCCOPY);
    SelectObject(offscreen, original_bitmap);
    DeleteObject(bitmap);
    DeleteDC(offscreen);
}

void paint_overlay(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    draw_overlay(dc, client.right, client.bottom);
    EndPaint(window, &paint);
}
