#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>

// Answers the modal windows that an export opens, from inside their own message loops:
// the save dialog, the overwrite prompt and the error box. What it saw is kept for the test.
// A window it does not know, or one still open seconds after it was answered, fails the test,
// is described and closed: a test never waits on a dialog for long.
struct DialogDriver {
    // What to type into the save dialog; empty: press Cancel instead.
    std::wstring path;
    // Runs while the save dialog is open, before the name is typed.
    std::function<void()> while_dialog_open;

    // Observations.
    int save_dialogs = 0;
    int overwrite_prompts = 0;
    int error_boxes = 0;
    std::wstring save_dialog;  // file name | the file types, the chosen one marked * | owner
    std::wstring error_box;    // caption | text | buttons | icon | owner
    std::wstring status_during_box;

    // Starts answering; stops when destroyed.
    DialogDriver();
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    void on_tick();

private:
    // Whether it knew the window and answered it; each window is answered once.
    bool answer(HWND dialog);

    struct Seen {
        ULONGLONG since;  // first seen, or last tried to close
        bool answered = false;
        int closings = 0;
    };
    UINT_PTR timer_ = 0;
    std::map<HWND, Seen> seen_;
};
