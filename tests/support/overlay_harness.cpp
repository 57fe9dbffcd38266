#include "tests/support/overlay_harness.h"

#include "app/gdi_objects.h"
#include "app/overlay_state.h"
#include "app/startup.h"

#include <cstdio>

static bool quit_seen = false;

void pump_messages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit_seen = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool quit_was_posted()
{
    return quit_seen;
}

std::wstring window_text(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::string narrow(const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

static int erase_requests = 0;

static LRESULT CALLBACK count_erase_requests(int code, WPARAM wparam, LPARAM lparam)
{
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lparam);
    erase_requests += message->message == WM_ERASEBKGND && message->hwnd == overlay.main_window;
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

std::string pending_repaint()
{
    RECT update;
    if (!GetUpdateRect(overlay.main_window, &update, FALSE)) {
        return "none";
    }
    erase_requests = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, count_erase_requests, nullptr, GetCurrentThreadId());
    UpdateWindow(overlay.main_window);
    UnhookWindowsHookEx(hook);
    return std::to_string(update.left) + " " + std::to_string(update.top) + " " + std::to_string(update.right) +
           " " + std::to_string(update.bottom) + (erase_requests ? " erase" : "");
}

std::string hex(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string rgb(COLORREF colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

std::array<LONG, 4> edges(RECT rect)
{
    return {rect.left, rect.top, rect.right, rect.bottom};
}

std::array<LONG, 4> place_of(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    return edges(rect);
}

std::wstring overlay_exe_path()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    result.erase(result.find_last_of(L'\\') + 1);
    return result + L"Quillfen-Replay-Overlay.exe";
}

StartedProgram::StartedProgram(std::wstring command, WORD show_command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show_command;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        process = {};
    }
}

StartedProgram::~StartedProgram()
{
    if (started()) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

bool key_is_held(UINT key)
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    const bool free = RegisterHotKey(probe, 1, MOD_NOREPEAT, key);
    UnregisterHotKey(probe, 1);
    DestroyWindow(probe);
    return !free;
}

// A key held by another program, most often an overlay left running, would fail test after test
// for reasons far from the cause: none runs then, and the one message names the key.
class HotkeysFree : public testing::Environment {
    void SetUp() override
    {
        for (const auto& [key, name] : {std::pair{VK_F7, "F7"}, {VK_F8, "F8"}, {VK_F10, "F10"}}) {
            ASSERT_FALSE(key_is_held(key)) << name << " is already held as a global hotkey by another program (an "
                                           << "overlay left running?): end it, the tests need F7, F8 and F10.";
        }
    }
};
static testing::Environment* const hotkeys_free = testing::AddGlobalTestEnvironment(new HotkeysFree);

void OverlayTest::SetUp()
{
    quit_seen = false;
    before_start();
    ASSERT_EQ(start_overlay(GetModuleHandleW(nullptr)), 0);
    show_overlay(SW_SHOWNOACTIVATE);
    pump_messages();
}

void OverlayTest::TearDown()
{
    if (IsWindow(overlay.main_window)) {
        DestroyWindow(overlay.main_window);
    }
    pump_messages();
    release_gdi_objects();
    UnregisterClassW(OVERLAY_CLASS_NAME, GetModuleHandleW(nullptr));
    overlay = OverlayState{};
}

Canvas::Canvas(int width, int height) : width_(width)
{
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top-down: row 0 first
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t*>(bits);
    original_ = SelectObject(dc_, bitmap_);
}

Canvas::~Canvas()
{
    SelectObject(dc_, original_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::pixel(int x, int y) const
{
    GdiFlush();
    const std::uint32_t value = bits_[y * width_ + x];  // bytes blue, green, red, unused
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

int Canvas::count(COLORREF colour, RECT rect) const
{
    int found = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            found += pixel(x, y) == colour;
        }
    }
    return found;
}
