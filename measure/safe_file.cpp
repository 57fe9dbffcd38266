#include "measure/safe_file.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

FileCalls file_calls;

static constexpr int TEMPORARY_SLOTS = 8;  // writes to one file at the same time, each with its own
static constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What the file's new content takes over from the old file.
static constexpr DWORD KEPT_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// The attributes above are set on the new file itself. Carrying the old file's ACLs over needs
// WRITE_DAC, which a file share with the usual "Change" permission does not grant: without these
// flags every replacement there would fail.
static constexpr DWORD REPLACE_FLAGS = REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS;
// A virus scanner, the search indexer or a sync client looks into a file just closed, and for that
// moment it can be neither replaced, moved nor deleted: the waits between tries, about a second in all.
static constexpr DWORD LOOK_WAITS_MS[] = {10, 20, 40, 80, 150, 300, 400};

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

// The file a write goes to: where it really is, and how its new content gets there.
struct Target {
    std::wstring path;         // links followed where the platform can say, in the form that takes any length
    FileHandle existing;       // open for writing while it is rewritten in place
    bool exists = false;
    bool in_place = false;     // several names: rewritten where it lies, keeping all it has
    DWORD attributes = 0;
};

}  // namespace

bool write_all(HANDLE file, const char* bytes, std::size_t count)
{
    DWORD written = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

// The path the platform knows the open file or folder by, links followed; empty if it cannot say,
// as for a volume without a drive letter.
static std::wstring final_path_of(HANDLE file)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = file_calls.final_path_name(file, path.data(), static_cast<DWORD>(path.size()), 0);
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

// The path made full; name_at is where its last part begins, 0 when it ends in a separator.
static bool full_path_of(const wchar_t* path, std::wstring& full, std::size_t& name_at)
{
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    full.assign(size, L'\0');
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path, size, full.data(), &name);
    if (length == 0 || length >= size) {
        return false;
    }
    name_at = name ? static_cast<std::size_t>(name - full.data()) : 0;
    full.resize(length);
    return true;
}

// A full path in the form that the platform takes at any length.
static std::wstring long_form(const std::wstring& full)
{
    if (full.starts_with(L"\\\\?\\")) {
        return full;
    }
    const bool unc = full.starts_with(L"\\\\");  // \\server\share\...
    return (unc ? L"\\\\?\\UNC" : L"\\\\?\\") + full.substr(unc ? 1 : 0);
}

static bool delete_on_close(HANDLE file, bool remove)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Whether the file may be deleted, and so replaced. Some shared and drop-box folders grant every
// right but deleting: there a plain write still succeeds, so the file is rewritten where it lies.
// Asked up front, since a refusal later would look like another program's passing look.
static bool may_be_deleted(const wchar_t* path)
{
    FileHandle file;
    file.reset(file_calls.create_file(path, DELETE, SHARE_ALL, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file || GetLastError() != ERROR_ACCESS_DENIED;
}

// Finds where the rows must go, refusing what a plain write of the path would have refused: an
// existing file is opened for writing as such a write opens it, a new one needs its folder. Where
// the platform cannot name the real file, the path as given serves.
static bool find_target(const wchar_t* path, Target& target)
{
    std::wstring full;
    std::size_t name_at = 0;
    if (!full_path_of(path, full, name_at) || name_at == 0) {
        return false;
    }
    const bool deletable = may_be_deleted(path);
    FileHandle& file = target.existing;
    file.reset(file_calls.create_file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file.get(), &info)) {
            return false;
        }
        target.path = final_path_of(file.get());
        if (target.path.empty()) {
            target.path = long_form(full);
        }
        target.exists = true;
        target.attributes = info.dwFileAttributes;
        // Replacing would split a file of several names: it keeps its identity and is rewritten in place.
        target.in_place = info.nNumberOfLinks > 1 || !deletable;
        if (!target.in_place) {
            file.reset();  // the replacement needs the file closed
        }
        return true;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    const std::wstring folder_path = full.substr(0, name_at);
    FileHandle folder;
    folder.reset(file_calls.create_file(folder_path.c_str(), 0, SHARE_ALL, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        return false;
    }
    target.path = final_path_of(folder.get());
    if (target.path.empty()) {
        target.path = long_form(folder_path);
    }
    if (target.path.back() != L'\\') {
        target.path += L'\\';
    }
    target.path += full.substr(name_at);
    return true;
}

static std::wstring temporary_name(const std::wstring& target, int slot)
{
    return target + L".qfx" + std::to_wstring(slot) + L".tmp";
}

// A temporary file that a cut-off write left behind: one name, no link, not open anywhere,
// beginning as every such write begins. Anything else of that name is the user's and stays.
static void remove_leftover(const std::wstring& name, std::string_view start)
{
    FileHandle file;
    file.reset(file_calls.create_file(name.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    std::string begins(start.size(), '\0');
    DWORD read = 0;
    if (file && GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1 &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        ReadFile(file.get(), begins.data(), static_cast<DWORD>(begins.size()), &read, nullptr) &&
        begins.size() == read && begins == start) {
        delete_on_close(file.get(), true);
    }
}

// The temporary file lies beside the target and is named after it, so the last step is a rename
// on one volume and whatever an earlier write left is found again. It is marked for deletion
// while it is written: if the program is killed, the platform removes it.
static bool create_temporary(const std::wstring& target, FileHandle& file, std::wstring& name)
{
    for (int slot = 1; slot <= TEMPORARY_SLOTS; ++slot) {
        name = temporary_name(target, slot);
        file.reset(file_calls.create_file(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            if (delete_on_close(file.get(), true)) {
                return true;
            }
            file.reset();
            DeleteFileW(name.c_str());
            return false;
        }
        // A slot is taken by a file of that name, or by another write still under way, whose file
        // is marked for deletion: Windows answers a name so marked with access denied.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) {
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

// Waits as a modal loop does: the hotkeys, timer ticks and paints of the thread's windows are
// handled meanwhile, so that a key pressed now is timed now. Clicks and keys typed wait in the
// queue until the write is done.
static void wait_serving_the_windows(DWORD ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG message;
        for (const UINT kind : {WM_HOTKEY, WM_TIMER, WM_PAINT}) {
            if (PeekMessageW(&message, nullptr, kind, kind, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return;
        }
        // Also for what arrived while the others were handled, which the queue counts as seen.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_HOTKEY | QS_TIMER | QS_PAINT,
                                    MWMO_INPUTAVAILABLE);
    }
}

// Makes a step again, about a second at most, while its refusal may be another program's passing
// look at a file: such a refusal leaves every file where it was.
template <typename Step>
static bool tried_while_looked_at(Step step)
{
    for (std::size_t waits = 0;; ++waits) {
        if (step()) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool passing = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                             error == ERROR_UNABLE_TO_REMOVE_REPLACED;
        if (!passing || waits == std::size(LOOK_WAITS_MS)) {
            return false;
        }
        wait_serving_the_windows(LOOK_WAITS_MS[waits]);
    }
}

// Puts the complete, closed temporary file in the place of the old file. Should that fail, the
// temporary file goes, unless it is the only complete copy left.
static bool put_in_place(const Target& target, const std::wstring& temporary)
{
    bool replacing = true;
    const bool placed = tried_while_looked_at([&] {
        if (replacing) {
            if (file_calls.replace_file(target.path.c_str(), temporary.c_str(), nullptr, REPLACE_FLAGS, nullptr,
                                        nullptr)) {
                return true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                return false;
            }
            // The old file has left its name (deleted, or kept under another) and the new one
            // still has the temporary name: it is moved to the chosen one instead.
            replacing = false;
        }
        return file_calls.move_file(temporary.c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
    });
    // Unless the old file is still where it was, the new one is the only complete copy: it stays.
    // Whatever held the new file may hold it a little longer, and the folder is to be left as it was.
    if (!placed && replacing) {
        tried_while_looked_at([&] { return DeleteFileW(temporary.c_str()) != FALSE; });
    }
    return placed;
}

// A new file takes its name through the handle that made it: a folder may let its creator rename
// and delete it through that handle and no other (ReplaceFileW's remarks). A name that appeared
// meanwhile is never replaced, and should the name be refused, closing the handle removes the file.
static bool take_name(HANDLE temporary, const std::wstring& name)
{
    // FileName[1] holds the terminating zero.
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    if (!delete_on_close(temporary, false)) {
        return false;
    }
    if (tried_while_looked_at([&] {
            return file_calls.set_file_information(temporary, FileRenameInfo, rename,
                                                   static_cast<DWORD>(buffer.size())) != FALSE;
        })) {
        return true;
    }
    delete_on_close(temporary, true);
    return false;
}

// The temporary file, complete, takes the place of the old one or of none.
static bool replace_with(const Target& target, FileHandle& temporary, const std::wstring& temporary_path)
{
    if (!target.exists) {
        return take_name(temporary.get(), target.path);
    }
    // ReplaceFileW carries the old file's attributes and security over on Windows; Wine's does
    // not, so the attributes it keeps are set on the new file first.
    FILE_BASIC_INFO basic{};
    const DWORD kept = target.attributes & KEPT_ATTRIBUTES;
    basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(temporary.get(), FileBasicInfo, &basic, sizeof basic);
    if (!delete_on_close(temporary.get(), false)) {
        return false;
    }
    temporary.reset();
    return put_in_place(target, temporary_path);
}

// The content goes to a new file beside the chosen one, which takes the chosen name only once every
// byte of it has been flushed to the disk: a full disk or a locked target leaves the chosen path as
// it was.
bool write_file_safely(const wchar_t* path, std::string_view start, const std::function<bool(HANDLE)>& write)
{
    Target target;
    FileHandle temporary;
    std::wstring temporary_path;
    if (!find_target(path, target) || !create_temporary(target.path, temporary, temporary_path) ||
        !write(temporary.get()) || !FlushFileBuffers(temporary.get())) {
        return false;
    }
    const bool written = target.in_place ? rewrite_in_place(temporary.get(), target.existing.get())
                                         : replace_with(target, temporary, temporary_path);
    // Only now: until the new content is in place, a complete file kept by an earlier failure may
    // be the only copy of its rows.
    if (written) {
        for (int slot = 1; slot <= TEMPORARY_SLOTS; ++slot) {
            remove_leftover(temporary_name(target.path, slot), start);
        }
    }
    return written;
}
