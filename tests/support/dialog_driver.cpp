#include "tests/support/dialog_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/overlay_state.h"
#include "tests/support/overlay_harness.h"

static DialogDriver* active_driver = nullptr;

static constexpr int MESSAGE_BOX_TEXT = 0xFFFF;
static constexpr int MESSAGE_BOX_ICON = 0x14;       // as Windows numbers it
static constexpr int WINE_MESSAGE_BOX_ICON = 0x440;  // as Wine does
// How long an answered window may take to close before the test fails.
static constexpr ULONGLONG STUCK_MS = 3000;

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

static std::wstring class_of(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

static bool is_dialog(HWND window)
{
    return class_of(window) == L"#32770";
}

static BOOL CALLBACK take_first_dialog(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window) && is_dialog(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK gather_child(HWND window, LPARAM children)
{
    reinterpret_cast<std::vector<HWND>*>(children)->push_back(window);
    return TRUE;
}

// Every window inside a dialog: Windows' own save dialog holds its fields inside panes of its own,
// Wine's as its direct children.
static std::vector<HWND> descendants_of(HWND dialog)
{
    std::vector<HWND> children;
    EnumChildWindows(dialog, gather_child, reinterpret_cast<LPARAM>(&children));
    return children;
}

static HWND control_of(HWND dialog, int id)
{
    for (HWND child : descendants_of(dialog)) {
        if (GetDlgCtrlID(child) == id) {
            return child;
        }
    }
    return nullptr;
}

// A button's text as it reads, without the mark of its access key.
static std::wstring label_of(HWND button)
{
    std::wstring label = window_text(button);
    std::erase(label, L'&');
    return label;
}

// The visible buttons, known by their text: ids differ (Windows gives an MB_OK box's OK button the
// id 2).
static std::vector<HWND> buttons_of(HWND dialog)
{
    std::vector<HWND> buttons;
    for (HWND child : descendants_of(dialog)) {
        if (IsWindowVisible(child) && class_of(child) == L"Button") {
            buttons.push_back(child);
        }
    }
    return buttons;
}

static HWND button_of(HWND dialog, const wchar_t* label)
{
    for (HWND button : buttons_of(dialog)) {
        if (label_of(button) == label) {
            return button;
        }
    }
    return nullptr;
}

static void press(HWND dialog, HWND button)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

static std::wstring owner_of(HWND window)
{
    return GetWindow(window, GW_OWNER) == overlay.main_window ? L" | owned by the overlay" : L" | other owner";
}

// The message box as the platform shows it: caption, text, visible buttons, icon and owner.
static std::wstring describe_box(HWND box)
{
    std::wstring text = window_text(box) + L" | " + window_text(GetDlgItem(box, MESSAGE_BOX_TEXT)) + L" |";
    for (HWND button : buttons_of(box)) {
        text += L" " + label_of(button);
    }
    HWND icon = GetDlgItem(box, MESSAGE_BOX_ICON);
    icon = icon ? icon : GetDlgItem(box, WINE_MESSAGE_BOX_ICON);
    const bool error_icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_ERROR);
    return text + (error_icon ? L" | error icon" : L" | no error icon") + owner_of(box);
}

// Any window as far as a test's message can tell it: class, title and the texts inside it.
static std::string describe_window(HWND window)
{
    std::wstring text = class_of(window) + L" \"" + window_text(window) + L"\"" + owner_of(window) + L":";
    for (HWND child : descendants_of(window)) {
        const std::wstring inner = window_text(child);
        if (IsWindowVisible(child) && !inner.empty()) {
            text += L" " + class_of(child) + L" \"" + inner + L"\"";
        }
    }
    return narrow(text);
}

// The save dialog's name field, known by what it is, as the dialogs of Windows and Wine number it
// differently: the visible edit of a combo box (Windows' address bar has one too, hidden behind its
// breadcrumbs).
static HWND file_name_of(HWND dialog)
{
    for (HWND child : descendants_of(dialog)) {
        if (IsWindowVisible(child) && class_of(child) == L"Edit" && class_of(GetParent(child)) == L"ComboBox") {
            return child;
        }
    }
    return nullptr;
}

// The file types: the drop-down list whose entries name patterns, as "CSV files (*.csv)", each
// entry listed and the chosen one marked *. Owner-drawn lists (folders, drives) hold no texts.
static std::wstring file_types_of(HWND dialog)
{
    for (HWND list : descendants_of(dialog)) {
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
        const bool texts = !(style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) || (style & CBS_HASSTRINGS);
        if (class_of(list) != L"ComboBox" || !texts) {
            continue;
        }
        std::wstring entries;
        for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t entry[128] = {};
            if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 128) {
                SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            }
            entries += (i == SendMessageW(list, CB_GETCURSEL, 0, 0) ? L" *" : L" ") + std::wstring(entry);
        }
        if (entries.find(L"(*.") != std::wstring::npos) {
            return entries;
        }
    }
    return L" no file types";
}

// Puts the name in as typing does, a character at a time into the focused field, so that the
// dialog learns it however it follows its field.
static void type_into(HWND field, const std::wstring& text)
{
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
    for (wchar_t character : text) {
        SendMessageW(field, WM_CHAR, character, 1);
    }
}

// A task dialog, as Windows asks whether to replace a file, takes a click by message whether or
// not its buttons are windows. A save dialog has DirectUI panes too, and the same message number
// means something else to it.
static bool is_task_dialog(HWND dialog)
{
    const std::vector<HWND> children = descendants_of(dialog);
    return !file_name_of(dialog) &&
           std::any_of(children.begin(), children.end(), [](HWND child) { return class_of(child) == L"DirectUIHWND"; });
}

// The first time as the user would (Cancel), then as the dialog manager does it; a window that
// survives both is destroyed.
static void close_window(HWND window, int attempt)
{
    if (attempt > 1) {
        DestroyWindow(window);
    } else if (file_name_of(window)) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    } else {
        EndDialog(window, IDCANCEL);
    }
}

void DialogDriver::on_tick()
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), take_first_dialog, reinterpret_cast<LPARAM>(&dialog));
    std::erase_if(seen_, [](const auto& entry) { return !IsWindow(entry.first); });
    if (!dialog) {
        return;
    }
    const ULONGLONG now = GetTickCount64();
    Seen& seen = seen_.try_emplace(dialog, Seen{now}).first->second;
    if (!seen.answered) {
        seen.answered = answer(dialog);
    }
    // Answered, it should have closed by now; unknown, it will not be answered.
    if (now - seen.since > STUCK_MS) {
        if (seen.closings == 0) {
            ADD_FAILURE() << (seen.answered ? "still open seconds after it was answered: " : "a window not expected: ")
                          << describe_window(dialog);
        }
        close_window(dialog, ++seen.closings);
        seen.since = now;
    }
}

bool DialogDriver::answer(HWND dialog)
{
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (HWND name = file_name_of(dialog)) {
        ++save_dialogs;
        save_dialog = window_text(name) + L" |" + file_types_of(dialog) + owner_of(dialog);
        if (while_dialog_open) {
            while_dialog_open();
        }
        if (!path.empty()) {
            type_into(name, path);
            EXPECT_EQ(narrow(window_text(name)), narrow(path)) << "the name field did not take the typed name";
        }
        press(dialog, control_of(dialog, path.empty() ? IDCANCEL : IDOK));
        return true;
    }
    // "... already exists. Do you want to replace it?", owned by the save dialog: a message box
    // under Wine, a task dialog on Windows.
    HWND yes = button_of(dialog, L"Yes");
    const bool task_dialog = is_task_dialog(dialog);
    if (is_dialog(owner) && (yes || task_dialog)) {
        ++overwrite_prompts;
        if (task_dialog) {
            PostMessageW(dialog, TDM_CLICK_BUTTON, IDYES, 0);
        } else {
            press(dialog, yes);
        }
        return true;
    }
    HWND ok = button_of(dialog, L"OK");
    if (owner == overlay.main_window && ok && GetDlgItem(dialog, MESSAGE_BOX_TEXT)) {
        ++error_boxes;
        error_box = describe_box(dialog);
        status_during_box = overlay.status_text;
        press(dialog, ok);
        return true;
    }
    return false;
}
