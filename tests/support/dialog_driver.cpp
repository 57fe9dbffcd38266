#include "tests/support/dialog_driver.h"

#include "app/overlay_state.h"
#include "tests/support/overlay_harness.h"

static DialogDriver* active_driver = nullptr;

// Control ids of the common file dialog: the file name field and the file type list.
static constexpr int FILE_NAME_EDIT = 0x480;
static constexpr int FILE_NAME_COMBO = 0x47C;
static constexpr int FILE_TYPE_COMBO = 0x470;
static constexpr int MESSAGE_BOX_ICON = 0x14;       // as Windows numbers it
static constexpr int WINE_MESSAGE_BOX_ICON = 0x440;  // as Wine does

static void CALLBACK driver_tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (active_driver) {
        active_driver->on_tick();
    }
}

DialogDriver::DialogDriver()
{
    active_driver = this;
    timer_ = SetTimer(nullptr, 0, 40, driver_tick);
}

DialogDriver::~DialogDriver()
{
    KillTimer(nullptr, timer_);
    active_driver = nullptr;
}

static bool is_dialog(HWND window)
{
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    return std::wstring(class_name) == L"#32770";
}

static BOOL CALLBACK take_first_dialog(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window) && is_dialog(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

static std::wstring owner_of(HWND window)
{
    return GetWindow(window, GW_OWNER) == overlay.main_window ? L" | owned by the overlay" : L" | other owner";
}

// The message box as the platform shows it: caption, text, visible buttons, icon and owner.
static std::wstring describe_box(HWND box)
{
    static const wchar_t* const BUTTON_NAMES[] = {L"OK", L"Cancel", L"Abort", L"Retry", L"Ignore", L"Yes", L"No"};
    std::wstring text = window_text(box) + L" | " + window_text(GetDlgItem(box, 0xFFFF)) + L" |";
    for (int id = IDOK; id <= IDNO; ++id) {
        HWND button = GetDlgItem(box, id);
        text += button && IsWindowVisible(button) ? std::wstring(L" ") + BUTTON_NAMES[id - IDOK] : L"";
    }
    HWND icon = GetDlgItem(box, MESSAGE_BOX_ICON);
    icon = icon ? icon : GetDlgItem(box, WINE_MESSAGE_BOX_ICON);
    const bool error_icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_ERROR);
    return text + (error_icon ? L" | error icon" : L" | no error icon") + owner_of(box);
}

struct ControlSearch {
    int id;
    HWND found;
};

static BOOL CALLBACK take_control(HWND window, LPARAM search)
{
    auto* wanted = reinterpret_cast<ControlSearch*>(search);
    if (GetDlgCtrlID(window) != wanted->id) {
        return TRUE;
    }
    wanted->found = window;
    return FALSE;
}

// Windows' own save dialog holds its fields inside panes of its own, Wine's as its direct children.
static HWND control_of(HWND dialog, int id)
{
    ControlSearch search{id, nullptr};
    EnumChildWindows(dialog, take_control, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void DialogDriver::on_tick()
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), take_first_dialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) {
        return;
    }
    HWND name = control_of(dialog, FILE_NAME_EDIT);
    if (!name) {
        name = control_of(dialog, FILE_NAME_COMBO);
    }
    if (name) {
        ++save_dialogs;
        HWND types = control_of(dialog, FILE_TYPE_COMBO);
        const LRESULT chosen = SendMessageW(types, CB_GETCURSEL, 0, 0);
        save_dialog = window_text(name) + L" |";
        for (LRESULT i = 0; i < SendMessageW(types, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t entry[128] = {};
            SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            save_dialog += (i == chosen ? L" *" : L" ") + std::wstring(entry);
        }
        save_dialog += owner_of(dialog);
        if (while_dialog_open) {
            while_dialog_open();
        }
        if (path.empty()) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        } else {
            SetWindowTextW(name, path.c_str());
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }
    } else if (is_dialog(GetWindow(dialog, GW_OWNER))) {
        ++overwrite_prompts;  // "... already exists. Do you want to replace it?", owned by the save dialog
        PostMessageW(dialog, WM_COMMAND, IDYES, 0);
    } else {  // the export's own error box, whoever owns it
        ++error_boxes;
        error_box = describe_box(dialog);
        status_during_box = overlay.status_text;
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
}
