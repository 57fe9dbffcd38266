#include "bench/baseline_windows.h"

#include "app/theme.h"
#include "measure/marker.h"

static constexpr UINT_PTR TICK = 1;

std::vector<std::int64_t> baseline_hotkey_counters;

static void bare_paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    HDC offscreen = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ original = SelectObject(offscreen, bitmap);
    FillRect(offscreen, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    BitBlt(dc, 0, 0, client.right, client.bottom, offscreen, 0, 0, SRCCOPY);
    SelectObject(offscreen, original);
    DeleteObject(bitmap);
    DeleteDC(offscreen);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK baseline_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    const auto kind = static_cast<Baseline>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT:
        if (kind == Baseline::timer_only) {
            ValidateRect(window, nullptr);
        } else {
            bare_paint(window);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_HOTKEY:
        baseline_hotkey_counters.push_back(read_counter());
        return 0;
    case WM_TIMER:
        if (kind == Baseline::repaint_every_tick) {
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

HWND create_baseline_window(Baseline kind)
{
    static const ATOM registered = [] {
        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = baseline_wnd_proc;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"BenchBaselineWindow";
        return RegisterClassExW(&window_class);
    }();
    (void)registered;
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_APPWINDOW, L"BenchBaselineWindow", L"Baseline",
                                  WS_POPUP | WS_CLIPCHILDREN, 20, 72, CLIENT_WIDTH, CLIENT_HEIGHT, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(kind));
    if (kind != Baseline::bare_paint) {
        SetTimer(window, TICK, 16, nullptr);
    }
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}
