// The least a Win32 program doing the overlay's job must do: one popup window of the overlay's
// size and styles that fills its client once. The benchmark compares start-up, size and memory
// against it.
#include <windows.h>

static LRESULT CALLBACK minimal_wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

int WINAPI WinMain(_In_ HINSTANCE instance, _In_opt_ HINSTANCE, _In_ LPSTR, _In_ int show_command)
{
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = minimal_wnd_proc;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"MinimalBaselineWindow";
    if (!RegisterClassExW(&window_class)) {
        return 1;
    }
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_APPWINDOW, L"MinimalBaselineWindow", L"Minimal",
                                  WS_POPUP | WS_CLIPCHILDREN, 100, 72, 430, 588, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 2;
    }
    ShowWindow(window, show_command ? show_command : SW_SHOWNORMAL);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
