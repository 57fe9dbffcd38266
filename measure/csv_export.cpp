#include "measure/csv_export.h"

#include <windows.h>
#include <commdlg.h>

#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/overlay_state.h"
#include "measure/clock_text.h"

static constexpr char CSV_START[] = "\xEF\xBB\xBF" "measurement,enemy_visible,enemy_killed,time_to_kill_ms\r\n";
static constexpr std::size_t CHUNK_SIZE = 64 * 1024;
static constexpr std::size_t LONGEST_ROW = 128;  // two clock texts of 22 and two 20-digit numbers fit
static constexpr std::size_t PATH_CAPACITY = MAX_PATH;

// One row, "%llu,%s,%s,%lld" and CR LF, written in place.
static char* put_row(char* out, unsigned long long number, const Measurement& measurement)
{
    out = put_decimal(out, number);
    *out++ = ',';
    out = put_clock_text(out, measurement.enemy_visible);
    *out++ = ',';
    out = put_clock_text(out, measurement.enemy_killed);
    *out++ = ',';
    const std::int64_t ms = measurement.time_to_kill_ms;
    if (ms < 0) {
        *out++ = '-';
    }
    out = put_decimal(out, ms < 0 ? 0ULL - static_cast<unsigned long long>(ms) : static_cast<unsigned long long>(ms));
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

// Rows are gathered into chunks and each chunk is written with one fwrite, whose count is checked:
// a full disk must never pass for a written file.
static bool write_rows(std::FILE* file, const std::vector<Measurement>& measurements)
{
    char chunk[CHUNK_SIZE];
    std::size_t used = sizeof CSV_START - 1;
    std::memcpy(chunk, CSV_START, used);
    unsigned long long number = 0;
    for (const Measurement& measurement : measurements) {
        used = static_cast<std::size_t>(put_row(chunk + used, ++number, measurement) - chunk);
        if (CHUNK_SIZE - used < LONGEST_ROW) {
            if (std::fwrite(chunk, 1, used, file) != used) {
                return false;
            }
            used = 0;
        }
    }
    return std::fwrite(chunk, 1, used, file) == used;
}

// The rows go to a new file beside the chosen one, which takes its place only once every byte
// is on the disk: a full disk, a locked target or a power cut leaves the chosen path as it was.
bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements)
{
    // Same folder, so the last step is a rename on one volume; the platform picks a name no file has.
    wchar_t full_path[PATH_CAPACITY];
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path, PATH_CAPACITY, full_path, &name);
    if (length == 0 || length >= PATH_CAPACITY || !name) {
        return false;
    }
    const std::wstring folder(full_path, name);
    wchar_t temporary[PATH_CAPACITY];
    if (!GetTempFileNameW(folder.c_str(), L"qfx", 0, temporary)) {
        return false;
    }
    bool written = false;
    if (std::FILE* file = _wfopen(temporary, L"wb")) {
        // The close alone is not trusted to report a failed write-out, so the stream is flushed, its
        // error state read and the bytes committed to the disk first; the file is closed in any case.
        written = write_rows(file, measurements);
        written = std::fflush(file) == 0 && !std::ferror(file) && _commit(_fileno(file)) == 0 && written;
        written = std::fclose(file) == 0 && written;
    }
    // MoveFileExW rather than ReplaceFileW: it serves a new file and an existing one alike, in one
    // step, and write-through returns only once the rename itself is on the disk.
    if (written && MoveFileExW(temporary, full_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileW(temporary);
    return false;
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
    if (!GetSaveFileNameW(&dialog)) {
        return;
    }
    // The list is read only now: a measurement finished while the dialog was open belongs in the file.
    if (write_csv_file(path, overlay.measurements)) {
        overlay.status_text = L"CSV exported.";
        repaint_overlay();
        return;
    }
    overlay.status_text = L"Could not write the CSV file.";
    MessageBoxW(overlay.main_window, L"The CSV file could not be written.", OVERLAY_TITLE, MB_OK | MB_ICONERROR);
    repaint_overlay();
}
