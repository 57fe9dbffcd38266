#include "app/startup.h"

#include "app/gdi_objects.h"
#include "app/overlay_state.h"
#include "app/theme.h"
#include "app/window_proc.h"
#include "measure/marker.h"

// Room left between the window and the right edge of the primary screen, and above it.
static constexpr int WINDOW_RIGHT_GAP = 36;
static constexpr int WINDOW_TOP = 72;

static bool register_overlay_class(HINSTANCE instance)
{
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = overlay_wnd_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    window_class.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = overlay.background_brush;
    window_class.lpszClassName = OVERLAY_CLASS_NAME;
    return RegisterClassExW(&window_class) != 0;
}

static HWND create_overlay_window(HINSTANCE instance)
{
    RECT outer{0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
    AdjustWindowRectEx(&outer, WS_POPUP, FALSE, OVERLAY_EX_STYLE);  // clipping children adds no frame
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int x = GetSystemMetrics(SM_CXSCREEN) - width - WINDOW_RIGHT_GAP;
    return CreateWindowExW(OVERLAY_EX_STYLE, OVERLAY_CLASS_NAME, OVERLAY_TITLE, OVERLAY_STYLE, x, WINDOW_TOP, width,
                           height, nullptr, nullptr, instance, nullptr);
}

int start_overlay(HINSTANCE instance)
{
    SetProcessDPIAware();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    overlay.counter_frequency = frequency.QuadPart;
    overlay.start_counter = read_counter();

    create_gdi_objects();
    if (!register_overlay_class(instance)) {
        release_gdi_objects();
        return EXIT_CLASS_FAILED;
    }
    if (!create_overlay_window(instance)) {
        release_gdi_objects();
        return EXIT_WINDOW_FAILED;
    }
    return 0;
}

void show_overlay(int show_command)
{
    // Hidden would leave nothing to click, and the fixed-size window has no maximized form: both
    // show it normally. Every other command, the minimized ones too, is taken as given.
    const bool normal = show_command == SW_HIDE || show_command == SW_SHOWMAXIMIZED;
    ShowWindow(overlay.main_window, normal ? SW_SHOWNORMAL : show_command);
    UpdateWindow(overlay.main_window);
}

int run_message_loop()
{
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    release_gdi_objects();
    return static_cast<int>(message.wParam);
}
