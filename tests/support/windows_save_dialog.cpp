#include "tests/support/windows_save_dialog.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

namespace {

// A dialog whose controls are made when it starts.
struct alignas(DWORD) EmptyDialog {
    DLGTEMPLATE header;
    WORD menu = 0, window_class = 0, title = 0;
};
constexpr EmptyDialog DIALOG{{WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER, 0, 0, 0, 0, 300, 90}};

HWND child(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style, int id = 0)
{
    return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 360, 150, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// Windows places each field three panes deep.
HWND pane_of(HWND dialog)
{
    HWND pane = dialog;
    for (const wchar_t* name : {L"DUIViewWndClassName", L"DirectUIHWND", L"FloatNotifySink"}) {
        WNDCLASSW kind{0, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, name};
        RegisterClassW(&kind);  // once; after that it answers that the class exists
        pane = child(pane, name, L"", 0);
    }
    return pane;
}

// The overwrite question, whose buttons DirectUI draws: TDM_CLICK_BUTTON presses one.
INT_PTR CALLBACK task_dialog_proc(HWND box, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        child(box, L"DirectUIHWND", L"", 0);
    } else if (message == TDM_CLICK_BUTTON) {
        EndDialog(box, static_cast<INT_PTR>(wparam));
    }
    return message == WM_INITDIALOG || message == TDM_CLICK_BUTTON;
}

// The typed name made a full path, with the default extension where it has none, once replacing
// an existing file is confirmed.
bool confirmed(HWND dialog, HWND name, LPOPENFILENAMEW settings)
{
    wchar_t typed[MAX_PATH] = {};
    GetWindowTextW(name, typed, MAX_PATH);
    std::wstring path = typed;
    if (path.find(L'.', path.find_last_of(L'\\') + 1) == std::wstring::npos) {
        path += L"." + std::wstring(settings->lpstrDefExt);
    }
    const DWORD length = GetFullPathNameW(path.c_str(), settings->nMaxFile, settings->lpstrFile, nullptr);
    if (length == 0 || length >= settings->nMaxFile) {
        return false;
    }
    const bool asks = (settings->Flags & OFN_OVERWRITEPROMPT) &&
                      GetFileAttributesW(settings->lpstrFile) != INVALID_FILE_ATTRIBUTES;
    return !asks ||
           DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &DIALOG.header, dialog, task_dialog_proc, 0) == IDYES;
}

INT_PTR CALLBACK save_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        auto* settings = reinterpret_cast<LPOPENFILENAMEW>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SetWindowTextW(dialog, L"Save As");
        HWND name = FindWindowExW(child(pane_of(dialog), L"ComboBox", L"", CBS_DROPDOWN | CBS_AUTOHSCROLL), nullptr,
                               L"Edit", nullptr);
        SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(name));
        // Explorer hides known extensions.
        std::wstring shown = settings->lpstrFile;
        if (shown.ends_with(L"." + std::wstring(settings->lpstrDefExt))) {
            shown.resize(shown.size() - std::wcslen(settings->lpstrDefExt) - 1);
        }
        SetWindowTextW(name, shown.c_str());
        HWND types = child(pane_of(dialog), L"ComboBox", L"", CBS_DROPDOWNLIST);
        for (const wchar_t* type = settings->lpstrFilter; *type; type += std::wcslen(type) + 1) {
            SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type));
            type += std::wcslen(type) + 1;  // past its pattern
        }
        SendMessageW(types, CB_SETCURSEL, settings->nFilterIndex ? settings->nFilterIndex - 1 : 0, 0);
        child(dialog, L"Button", L"&Save", BS_DEFPUSHBUTTON, IDOK);
        child(dialog, L"Button", L"Cancel", 0, IDCANCEL);
        SetFocus(name);
        return FALSE;
    }
    const WORD id = LOWORD(wparam);
    if (message == WM_COMMAND && (id == IDOK || id == IDCANCEL)) {
        if (id == IDCANCEL || confirmed(dialog, reinterpret_cast<HWND>(GetWindowLongPtrW(dialog, GWLP_USERDATA)),
                                        reinterpret_cast<LPOPENFILENAMEW>(GetWindowLongPtrW(dialog, DWLP_USER)))) {
            EndDialog(dialog, id == IDOK);
        }
        return TRUE;
    }
    return FALSE;
}

// Ends the platform's own dialog before it shows.
UINT_PTR CALLBACK cancel_at_once(HWND hook, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(GetParent(hook), IDCANCEL);
    }
    return 0;
}

}  // namespace

BOOL WINAPI windows_save_dialog(LPOPENFILENAMEW settings)
{
    if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &DIALOG.header, settings->hwndOwner, save_dialog_proc,
                                reinterpret_cast<LPARAM>(settings)) == 1) {
        return TRUE;
    }
    // A cancel leaves CommDlgExtendedError at 0, whatever an earlier dialog left: only the
    // platform's dialog can set that, so one is cancelled before it shows.
    OPENFILENAMEW cancelled = *settings;
    cancelled.Flags |= OFN_EXPLORER | OFN_ENABLEHOOK;
    cancelled.lpfnHook = cancel_at_once;
    GetSaveFileNameW(&cancelled);
    return FALSE;
}
