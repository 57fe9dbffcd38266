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
constexpr EmptyDialog SAVE_DIALOG{{WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, 0, 0, 0, 0, 300, 90}};
constexpr EmptyDialog TASK_DIALOG{{WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER, 0, 0, 0, 0, 200, 60}};

struct Session {
    LPOPENFILENAMEW settings;
    HWND name = nullptr;
};

// The panes pass their controls' notifications on, as Windows' do.
LRESULT CALLBACK pane_proc(HWND pane, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_COMMAND) {
        return SendMessageW(GetParent(pane), message, wparam, lparam);
    }
    return DefWindowProcW(pane, message, wparam, lparam);
}

HWND child(HWND parent, const wchar_t* window_class, const wchar_t* text, DWORD style, int y, int id = 0)
{
    return CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, 10, y, 360, 150, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// A control's place in the dialog: three panes deep.
HWND pane_at(HWND dialog, int y)
{
    HWND pane = dialog;
    for (const wchar_t* name : {L"DUIViewWndClassName", L"DirectUIHWND", L"FloatNotifySink"}) {
        WNDCLASSW kind{};
        kind.lpfnWndProc = pane_proc;
        kind.hInstance = GetModuleHandleW(nullptr);
        kind.lpszClassName = name;
        RegisterClassW(&kind);  // once; after that it answers that the class exists
        pane = child(pane, name, L"", 0, pane == dialog ? y : 0);
    }
    return pane;
}

INT_PTR CALLBACK task_dialog_proc(HWND box, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetWindowTextW(box, L"Confirm Save As");
        child(box, L"DirectUIHWND", L"", 0, 0);
        return TRUE;
    }
    if (message == TDM_CLICK_BUTTON || (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL)) {
        EndDialog(box, message == TDM_CLICK_BUTTON ? static_cast<INT_PTR>(wparam) : IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// The typed name made a full path with the default extension, once the user confirmed replacing.
bool confirmed(HWND dialog, const Session& session)
{
    std::wstring name(MAX_PATH, L'\0');
    name.resize(static_cast<std::size_t>(GetWindowTextW(session.name, name.data(), MAX_PATH)));
    const std::size_t last_part = name.find_last_of(L"\\/");
    if (name.find(L'.', last_part == std::wstring::npos ? 0 : last_part) == std::wstring::npos) {
        name += L"." + std::wstring(session.settings->lpstrDefExt);
    }
    wchar_t* path = session.settings->lpstrFile;
    const DWORD length = GetFullPathNameW(name.c_str(), session.settings->nMaxFile, path, nullptr);
    if (length == 0 || length >= session.settings->nMaxFile) {
        return false;
    }
    return !(session.settings->Flags & OFN_OVERWRITEPROMPT) || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ||
           DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &TASK_DIALOG.header, dialog, task_dialog_proc, 0) ==
               IDYES;
}

INT_PTR CALLBACK save_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        auto& session = *reinterpret_cast<Session*>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SetWindowTextW(dialog, L"Save As");
        HWND names = child(pane_at(dialog, 10), L"ComboBox", L"", CBS_DROPDOWN | CBS_AUTOHSCROLL, 0);
        session.name = FindWindowExW(names, nullptr, L"Edit", nullptr);
        // Explorer hides known extensions.
        std::wstring shown = session.settings->lpstrFile;
        const std::wstring extension = L"." + std::wstring(session.settings->lpstrDefExt);
        if (shown.ends_with(extension)) {
            shown.resize(shown.size() - extension.size());
        }
        SetWindowTextW(session.name, shown.c_str());
        HWND types = child(pane_at(dialog, 40), L"ComboBox", L"", CBS_DROPDOWNLIST, 0);
        for (const wchar_t* type = session.settings->lpstrFilter; *type; type += std::wcslen(type) + 1) {
            SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(type));
            type += std::wcslen(type) + 1;  // its pattern
        }
        const DWORD index = session.settings->nFilterIndex;
        SendMessageW(types, CB_SETCURSEL, index ? index - 1 : 0, 0);
        child(dialog, L"Button", L"&Save", BS_DEFPUSHBUTTON, 120, IDOK);
        child(dialog, L"Button", L"Cancel", BS_PUSHBUTTON, 150, IDCANCEL);
        SetFocus(session.name);
        return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        const auto& session = *reinterpret_cast<const Session*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (LOWORD(wparam) == IDCANCEL || confirmed(dialog, session)) {
            EndDialog(dialog, LOWORD(wparam) == IDOK);
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

BOOL WINAPI windows_save_dialog(LPOPENFILENAMEW settings)
{
    Session session{settings};
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &SAVE_DIALOG.header, settings->hwndOwner,
                                   save_dialog_proc, reinterpret_cast<LPARAM>(&session)) == 1;
}
