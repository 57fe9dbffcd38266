#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "measure/measurement.h"

// The one record of the process: every handler reads and writes it, on the one thread.
struct OverlayState {
    HWND main_window = nullptr;
    std::int64_t counter_frequency = 0;
    std::int64_t visible_counter = 0;
    std::int64_t start_counter = 0;
    bool timing = false;
    bool hotkeys_ok = false;
    std::int64_t current_ms = 0;
    std::wstring status_text = L"Press F8 when the enemy becomes visible.";
    std::vector<Measurement> measurements;

    HFONT body_font = nullptr;
    HFONT unit_font = nullptr;
    HFONT label_font = nullptr;
    HFONT readout_font = nullptr;
    HFONT title_font = nullptr;

    HBRUSH background_brush = nullptr;
    HBRUSH panel_brush = nullptr;
    HBRUSH accent_brush = nullptr;
    HBRUSH border_brush = nullptr;

    HWND mark_button = nullptr;
    HWND reset_button = nullptr;
    HWND export_button = nullptr;
    HWND clear_button = nullptr;
    HWND close_button = nullptr;
    WNDPROC button_proc = nullptr;  // the platform's, which the buttons' subclass passes every message to
};

extern OverlayState overlay;

inline constexpr wchar_t OVERLAY_TITLE[] = L"Quillfen Replay Overlay";

// Every change of what is shown ends here: the next paint redraws all of it, without erasing first.
void repaint_overlay();
