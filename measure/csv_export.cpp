#include "measure/csv_export.h"

#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/overlay_state.h"
#include "measure/clock_text.h"

static constexpr char CSV_START[] = "\xEF\xBB\xBF" "measurement,enemy_visible,enemy_killed,time_to_kill_ms\r\n";
static constexpr std::size_t CHUNK_SIZE = 64 * 1024;
static constexpr std::size_t LONGEST_ROW = 128;  // two clock texts of 22 and two 20-digit numbers fit
static constexpr std::size_t PATH_CAPACITY = MAX_PATH;
static constexpr int TEMPORARY_SLOTS = 8;  // exports to one file at the same time, each with its own
static constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What the file's new content takes over from the old file; read-only files are rewritten in place.
static constexpr DWORD KEPT_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

namespace {

// Closes the handle it holds when it goes.
class FileHandle {
public:
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE)
    {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
        handle_ = handle;
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The file an export writes: where it really is, and how its new content gets there.
struct Target {
    std::wstring path;         // links followed, in the form that takes any length
    FileHandle existing;       // open for writing while it is rewritten in place
    bool exists = false;
    bool in_place = false;     // several names, or read-only: rewritten where it lies, keeping all it has
    DWORD attributes = 0;
};

}  // namespace

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

// Every write's count is checked: a full disk must never pass for a written file.
static bool write_all(HANDLE file, const char* bytes, std::size_t count)
{
    DWORD written = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

// Rows are gathered into chunks and each chunk is written with one call.
static bool write_rows(HANDLE file, const std::vector<Measurement>& measurements)
{
    char chunk[CHUNK_SIZE];
    std::size_t used = sizeof CSV_START - 1;
    std::memcpy(chunk, CSV_START, used);
    unsigned long long number = 0;
    for (const Measurement& measurement : measurements) {
        used = static_cast<std::size_t>(put_row(chunk + used, ++number, measurement) - chunk);
        if (CHUNK_SIZE - used < LONGEST_ROW) {
            if (!write_all(file, chunk, used)) {
                return false;
            }
            used = 0;
        }
    }
    return write_all(file, chunk, used);
}

// The path the platform knows the open file or folder by, links followed; empty if it cannot say.
static std::wstring final_path_of(HANDLE file)
{
    std::wstring path(PATH_CAPACITY, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), 0);
        if (length == 0) {
            return {};
        }
        const bool fits = length < path.size();
        path.resize(length);  // too small: length is the size needed, the terminating zero included
        if (fits) {
            return path;
        }
    }
}

static bool delete_on_close(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Finds where the rows must go, refusing what a plain write of the path would have refused: an
// existing file is opened for writing as such a write opens it, a new one needs its folder.
static bool find_target(const wchar_t* path, Target& target)
{
    FileHandle& file = target.existing;
    file.reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        BY_HANDLE_FILE_INFORMATION info{};
        target.path = final_path_of(file.get());
        if (target.path.empty() || !GetFileInformationByHandle(file.get(), &info)) {
            return false;
        }
        target.exists = true;
        target.attributes = info.dwFileAttributes;
        // Replacing would split a file of several names, and the platform refuses to replace a
        // read-only one: both keep their identity and are rewritten in place.
        target.in_place = info.nNumberOfLinks > 1 || (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
        if (!target.in_place) {
            file.reset();  // the replacement needs the file closed
        }
        return true;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path, size, full.data(), &name);
    if (length == 0 || length >= size || !name) {
        return false;
    }
    FileHandle folder;
    folder.reset(CreateFileW(std::wstring(full.data(), name).c_str(), 0, SHARE_ALL, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    target.path = folder ? final_path_of(folder.get()) : std::wstring();
    if (target.path.empty()) {
        return false;
    }
    if (target.path.back() != L'\\') {
        target.path += L'\\';
    }
    target.path += name;
    return true;
}

static std::wstring temporary_name(const std::wstring& target, int slot)
{
    return target + L".qfx" + std::to_wstring(slot) + L".tmp";
}

// A temporary file that a killed or cut-off export left behind: one name, no link, not open
// anywhere, beginning as every export begins. Anything else of that name is the user's and stays.
static void remove_leftover(const std::wstring& name)
{
    FileHandle file;
    file.reset(CreateFileW(name.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    char start[sizeof CSV_START - 1];
    DWORD read = 0;
    if (file && GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1 &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        ReadFile(file.get(), start, sizeof start, &read, nullptr) && read == sizeof start &&
        std::memcmp(start, CSV_START, sizeof start) == 0) {
        delete_on_close(file.get(), true);
    }
}

// The temporary file lies beside the target and is named after it, so the last step is a rename
// on one volume and whatever an earlier export left is found again. It is marked for deletion
// while it is written: if the program is killed, the platform removes it.
static bool create_temporary(const std::wstring& target, FileHandle& file, std::wstring& name)
{
    for (int slot = 1; slot <= TEMPORARY_SLOTS; ++slot) {
        remove_leftover(temporary_name(target, slot));
    }
    for (int slot = 1; slot <= TEMPORARY_SLOTS; ++slot) {
        name = temporary_name(target, slot);
        file.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            if (delete_on_close(file.get(), true)) {
                return true;
            }
            file.reset();
            DeleteFileW(name.c_str());
            return false;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

static bool cut_at(HANDLE file, LARGE_INTEGER size)
{
    return SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

static bool copy_bytes(HANDLE from, HANDLE to, LONGLONG begin, LONGLONG end)
{
    const LARGE_INTEGER start{.QuadPart = begin};
    if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN) || !SetFilePointerEx(to, start, nullptr, FILE_BEGIN)) {
        return false;
    }
    char chunk[CHUNK_SIZE];
    for (LONGLONG at = begin; at < end;) {
        DWORD read = 0;
        const auto want = static_cast<DWORD>(std::min<LONGLONG>(end - at, CHUNK_SIZE));
        if (!ReadFile(from, chunk, want, &read, nullptr) || read != want || !write_all(to, chunk, read)) {
            return false;
        }
        at += read;
    }
    return true;
}

// Copies the complete temporary file over the target. The bytes beyond the old end go first: if
// the disk cannot take them, the target is cut back to its old length, unchanged. The rest only
// overwrites bytes the file already has. Should that still fail, the temporary file, complete,
// is kept beside the damaged one.
static bool rewrite_in_place(HANDLE temporary, HANDLE target)
{
    LARGE_INTEGER old_size{}, new_size{};
    if (!GetFileSizeEx(target, &old_size) || !GetFileSizeEx(temporary, &new_size)) {
        return false;
    }
    const LONGLONG common = std::min(old_size.QuadPart, new_size.QuadPart);
    if (!copy_bytes(temporary, target, common, new_size.QuadPart)) {
        cut_at(target, old_size);
        return false;
    }
    if (!copy_bytes(temporary, target, 0, common) || !cut_at(target, new_size) || !FlushFileBuffers(target)) {
        delete_on_close(temporary, false);
        return false;
    }
    return true;
}

// The rows go to a new file beside the chosen one, which takes its place only once every byte is
// on the disk: a full disk, a locked target or a power cut leaves the chosen path as it was.
bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements)
{
    Target target;
    FileHandle temporary;
    std::wstring temporary_path;
    if (!find_target(path, target) || !create_temporary(target.path, temporary, temporary_path) ||
        !write_rows(temporary.get(), measurements) || !FlushFileBuffers(temporary.get())) {
        return false;
    }
    if (target.in_place) {
        return rewrite_in_place(temporary.get(), target.existing.get());
    }
    // ReplaceFileW carries the old file's attributes and security over on Windows; Wine's does
    // not, so the attributes it keeps are set on the new file first.
    if (target.exists) {
        FILE_BASIC_INFO basic{};
        const DWORD kept = target.attributes & KEPT_ATTRIBUTES;
        basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(temporary.get(), FileBasicInfo, &basic, sizeof basic);
    }
    if (!delete_on_close(temporary.get(), false)) {
        return false;
    }
    temporary.reset();
    // A new file never replaces one that appeared meanwhile; write-through returns only once the
    // rename is on the disk.
    const bool placed = target.exists
                            ? ReplaceFileW(target.path.c_str(), temporary_path.c_str(), nullptr, 0, nullptr, nullptr)
                            : MoveFileExW(temporary_path.c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!placed) {
        DeleteFileW(temporary_path.c_str());
    }
    return placed;
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
