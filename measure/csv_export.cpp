#include "measure/csv_export.h"

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "app/overlay_state.h"
#include "measure/csv_file.h"

static constexpr DWORD PATH_CAPACITY = MAX_PATH;

decltype(&GetSaveFileNameW) show_save_dialog = GetSaveFileNameW;

static std::wstring current_directory()
{
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

void export_csv()
{
    if (overlay.measurements.empty()) {
        return;
    }
    wchar_t path[PATH_CAPACITY] = L"quillfen-replay-measurements.csv";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = overlay.main_window;
    dialog.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = PATH_CAPACITY;
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    // The dialog makes the folder it saved in the current one, and the process would hold it: a
    // USB stick could not be ejected, nor the folder renamed, until the overlay closes.
    const std::wstring working_folder = current_directory();
    const BOOL chosen = show_save_dialog(&dialog);
    SetCurrentDirectoryW(working_folder.c_str());
    // A cancel is no failure, but a dialog that failed is: the user clicked Save and must learn
    // that nothing was written (a name longer than the buffer, say).
    if (!chosen && CommDlgExtendedError() == 0) {
        return;
    }
    // The list is read only now: a measurement finished while the dialog was open belongs in the file.
    if (chosen && write_csv_file(path, overlay.measurements)) {
        overlay.status_text = L"CSV exported.";
        repaint_overlay();
        return;
    }
    overlay.status_text = L"Could not write the CSV file.";
    MessageBoxW(overlay.main_window, L"The CSV file could not be written.", OVERLAY_TITLE, MB_OK | MB_ICONERROR);
    repaint_overlay();
}
