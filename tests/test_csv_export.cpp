// The CSV file byte for byte, every way its writing can fail, and the export as the user drives it.
#include "tests/support/dialog_driver.h"
#include "tests/support/overlay_harness.h"
#include "tests/support/windows_save_dialog.h"

#include <algorithm>
#include <cwchar>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/ids.h"
#include "app/overlay_state.h"
#include "measure/csv_export.h"
#include "measure/csv_file.h"
#include "measure/safe_file.h"
#include "measure/marker.h"

namespace {

const std::string HEADER = "\xEF\xBB\xBFmeasurement,enemy_visible,enemy_killed,time_to_kill_ms\r\n";
const std::string ONE_ROW_FILE = HEADER + "1,00:00.000,00:00.250,250\r\n";  // what many(1) gives

namespace fs = std::filesystem;

// A fresh folder of this test's own under the temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder() { fs::create_directory(path_); }
    ~TempFolder() { fs::remove_all(path_); }
    std::wstring path() const { return path_.wstring(); }
    std::wstring file(const wchar_t* name) const { return (path_ / name).wstring(); }

private:
    fs::path path_ = fs::temp_directory_path() / ("quillfen-csv-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                  std::to_string(GetTickCount64()));
};

std::string read_file(const std::wstring& path)
{
    std::ifstream file(fs::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every file of a folder with its bytes: what a failed export must leave exactly as it found.
std::map<std::wstring, std::string> snapshot(const std::wstring& folder)
{
    std::map<std::wstring, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().wstring()] = read_file(entry.path().wstring());
    }
    return files;
}

// The lines of a file, each without its CR LF.
std::vector<std::string> lines_of(const std::string& content)
{
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(content.substr(start, end - start));
    }
    return lines;
}

// A Unix path that a wrapper script names in an environment variable, as Wine names it; empty
// when the variable is not set.
std::wstring wine_path_from(const wchar_t* variable)
{
    wchar_t unix_path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(variable, unix_path, MAX_PATH)) {
        return {};
    }
    std::wstring path = L"Z:" + std::wstring(unix_path);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// Why a wrapper script in tests/support made nothing for the test, as it says in the variable.
std::string why_not_made(const char* variable, const char* script)
{
    char reason[512] = {};
    return GetEnvironmentVariableA(variable, reason, sizeof reason) ? reason
                                                                     : std::string("run the test through ") + script;
}

// The path the platform resolves a name to, links followed.
std::wstring final_path(const std::wstring& name)
{
    HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    wchar_t path[1024] = {};
    GetFinalPathNameByHandleW(file, path, 1024, 0);
    CloseHandle(file);
    return path;
}

std::vector<Measurement> many(std::size_t count)
{
    std::vector<Measurement> list;
    for (std::size_t i = 0; i < count; ++i) {
        list.push_back({static_cast<double>(i), static_cast<double>(i) + 0.25, 250});
    }
    return list;
}

// How long a scanner or sync client holds the new file (below): 1.5 s is well past the placing
// tries (about a second, with the waits rounded up to the clock's ticks) and well within the
// deleting ones after them.
DWORD hold_ms = 1500;
std::thread hold_of_the_new_file;

// Where Wine answers otherwise than Windows documents, a test makes one file call of the export
// answer as documented, for as long as this lives.
struct StandIns {
    StandIns() = default;
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;
    ~StandIns()
    {
        file_calls = FileCalls{};
        show_save_dialog = GetSaveFileNameW;
        hold_ms = 1500;
    }
};

// A virus scanner, the search indexer or a sync client that has the file open for a moment: the
// platform's call is refused this often, then made.
int refusals_left = 0;
DWORD refusal = 0;

bool refused()
{
    if (refusals_left <= 0) {
        return false;
    }
    --refusals_left;
    SetLastError(refusal);
    return true;
}

BOOL WINAPI replace_looked_at(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                              LPVOID reserved)
{
    return !refused() && ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
}

BOOL WINAPI move_looked_at(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    return !refused() && MoveFileExW(from, to, flags);
}

BOOL WINAPI rename_looked_at(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information, DWORD size)
{
    return !(kind == FileRenameInfo && refused()) && SetFileInformationByHandle(file, kind, information, size);
}

// Another program saves a file of the chosen name just before the new one would take it.
constexpr char ANOTHER_PROGRAMS[] = "another program's rows\r\n";

BOOL WINAPI rename_after_another_program_saved(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                               DWORD size)
{
    if (kind == FileRenameInfo) {
        std::ofstream(fs::path(static_cast<FILE_RENAME_INFO*>(information)->FileName), std::ios::binary)
            << ANOTHER_PROGRAMS;
    }
    return SetFileInformationByHandle(file, kind, information, size);
}

// ReplaceFileW on a file share that grants no WRITE_DAC, as with the usual "Change" permission: "if
// you specify [REPLACEFILE_IGNORE_MERGE_ERRORS] and do not have WRITE_DAC access, the function
// succeeds but the ACLs are not preserved", as with REPLACEFILE_IGNORE_ACL_ERRORS; without either
// it is refused.
BOOL WINAPI replace_without_write_dac(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                                      LPVOID exclude, LPVOID reserved)
{
    if (!(flags & (REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
}

// CreateFileW in a folder that grants every right but DELETE and FILE_DELETE_CHILD, as ReplaceFileW's
// remarks describe it: "you can then create a file, and you will get all the access you request on
// the handle returned to you at the time you create the file. If you requested delete permission
// at the time you created the file, you could delete or rename the file with that handle but not
// with any other." Renames and replacements by name are refused there too (ERROR_ACCESS_DENIED).
HANDLE WINAPI create_without_delete(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                    DWORD disposition, DWORD flags, HANDLE model)
{
    if ((access & DELETE) && disposition != CREATE_NEW) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

// A scanner or sync client that opens the new file without sharing as soon as the export first
// tries to put it in place.
BOOL WINAPI replace_held(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                         LPVOID reserved)
{
    if (!hold_of_the_new_file.joinable()) {
        HANDLE held = CreateFileW(replacement, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        hold_of_the_new_file = std::thread([held] {
            Sleep(hold_ms);
            CloseHandle(held);
        });
    }
    return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
}

// ReplaceFileW without a backup name, as documented for ERROR_UNABLE_TO_MOVE_REPLACEMENT: "the
// replaced file no longer exists and the replacement file exists under its original name".
BOOL WINAPI replace_losing_the_old_file(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    DeleteFileW(replaced);
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}

// As documented for ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: "The replacement file still exists under its
// original name [...] The file to be replaced still exists with a different name."
BOOL WINAPI replace_renaming_the_old_file(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID)
{
    MoveFileW(replaced, (std::wstring(replaced) + L".renamed").c_str());
    SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}

// GetFinalPathNameByHandleW for a drive letter, as documented for ERROR_PATH_NOT_FOUND: "if you
// create a volume and do not assign it a drive letter".
DWORD WINAPI final_path_on_a_volume_without_a_letter(HANDLE, LPWSTR, DWORD, DWORD)
{
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}

// CreateFileW as documented where long paths are not enabled: "the name is limited to MAX_PATH
// characters. To extend this limit [...] prepend "\\?\" to the path." Wine takes any length.
HANDLE WINAPI create_within_max_path(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE model)
{
    if (std::wcslen(name) >= MAX_PATH && !std::wstring_view(name).starts_with(L"\\\\?\\")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

// A file marked for deletion, as another export's temporary file is while written. DeleteFileW's
// documentation: "Subsequent calls to CreateFile to open the file fail with ERROR_ACCESS_DENIED";
// Wine answers ERROR_FILE_EXISTS.
std::wstring pending_deletion;

HANDLE WINAPI create_beside_a_pending_deletion(LPCWSTR name, DWORD access, DWORD share,
                                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                               HANDLE model)
{
    HANDLE file = CreateFileW(name, access, share, security, disposition, flags, model);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS &&
        std::wstring_view(name).ends_with(pending_deletion)) {
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return file;
}

// Another program that opens the chosen file without sharing just as the export begins: one held
// so before, Windows' save dialog itself refuses as in use.
constexpr wchar_t HELD_ONCE_CHOSEN[] = L"in-use.csv";
HANDLE holder_once_chosen = INVALID_HANDLE_VALUE;

HANDLE WINAPI create_held_once_chosen(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                      DWORD disposition, DWORD flags, HANDLE model)
{
    if (holder_once_chosen == INVALID_HANDLE_VALUE && std::wstring_view(name).ends_with(HELD_ONCE_CHOSEN)) {
        holder_once_chosen = CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return CreateFileW(name, access, share, security, disposition, flags, model);
}

// GetSaveFileNameW given a name longer than its buffer: it returns zero, and CommDlgExtendedError
// FNERR_BUFFERTOOSMALL. Wine's dialog crashes on such a name, so this one fails as Wine's does, for
// a record of no size: CommDlgExtendedError then gives CDERR_STRUCTSIZE.
BOOL WINAPI save_dialog_that_fails(LPOPENFILENAMEW dialog)
{
    OPENFILENAMEW of_no_size = *dialog;
    of_no_size.lStructSize = 0;
    return GetSaveFileNameW(&of_no_size);
}

std::wstring current_directory()
{
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    return folder;
}

}  // namespace

TEST(CsvFile, TheWorkedExampleOf113BytesAndRowsAtTheEdges)
{
    struct Case {
        std::vector<Measurement> measurements;
        std::string rows;
    };
    const Case cases[] = {
        {{{1.5, 2.25, 750}, {83.4567, 84.2, 743}}, "1,00:01.500,00:02.250,750\r\n2,01:23.457,01:24.200,743\r\n"},
        {{{0.0, 0.0, 0}}, "1,00:00.000,00:00.000,0\r\n"},
        {{{6000.0, 6000.5, 500}}, "1,100:00.000,100:00.500,500\r\n"},
        {{{59.9995, 61.0005, 1001}}, "1,01:00.000,01:01.001,1001\r\n"},
        {{{1.0, 2.0, -3}}, "1,00:01.000,00:02.000,-3\r\n"},
        {{{0.0005, 1.0005, INT64_MAX}}, "1,00:00.001,00:01.001,9223372036854775807\r\n"},
    };
    TempFolder folder;
    const std::wstring path = folder.file(L"one.csv");
    for (const Case& c : cases) {
        ASSERT_TRUE(write_csv_file(path.c_str(), c.measurements));
        EXPECT_EQ(read_file(path), HEADER + c.rows);
    }
}

TEST(CsvFile, LargeListsCrossTheWriteChunksIntact)
{
    // The longest rows there are, across several chunks, over a longer file.
    TempFolder folder;
    const std::wstring path = folder.file(L"large.csv");
    ASSERT_TRUE(write_csv_file(path.c_str(), many(100000)));
    ASSERT_TRUE(write_csv_file(path.c_str(), std::vector<Measurement>(3000, {9.2e15, 9.2e15, INT64_MIN})));
    std::string expected = HEADER;
    for (int i = 1; i <= 3000; ++i) {
        expected += std::to_string(i) + ",153333333333333:20.000,153333333333333:20.000,-9223372036854775808\r\n";
    }
    EXPECT_EQ(read_file(path), expected);
}

// The dialog returns paths of up to 259 characters; the temporary file's name, longer still, must
// fit wherever it is made, also where the platform cannot name the real file.
TEST(CsvFile, FoldersAsLongAsTheDialogAllows)
{
    TempFolder folder;
    StandIns stand_ins;
    file_calls.create_file = create_within_max_path;
    for (std::size_t length = 244; length <= 253; ++length) {
        file_calls.final_path_name = length % 2 ? final_path_on_a_volume_without_a_letter : GetFinalPathNameByHandleW;
        // A folder of that length, every part within the platform's limit of a name.
        std::wstring deep = folder.path();
        while (deep.size() < length) {
            deep += L"\\" + std::wstring(std::min<std::size_t>(length - deep.size() - 1, 100), L'f');
            CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
        }
        const std::wstring path = deep + L"\\a.csv";
        SCOPED_TRACE(testing::Message() << "a path of " << path.size() << " characters");
        ASSERT_TRUE(write_csv_file(path.c_str(), many(3)));
        ASSERT_TRUE(write_csv_file(path.c_str(), many(2)));
        EXPECT_EQ(lines_of(read_file(path)).size(), 3u);
    }
}

// Run as a child by the test below: exports without end, to be killed part-way.
constexpr wchar_t EXPORT_UNTIL_KILLED[] = L"QUILLFEN_EXPORT_UNTIL_KILLED";

TEST(CsvFile, AKilledExportLeavesNoPartOfAFile)
{
    wchar_t target[MAX_PATH];
    if (GetEnvironmentVariableW(EXPORT_UNTIL_KILLED, target, MAX_PATH)) {
        for (const std::vector<Measurement> list = many(1000000);;) {
            write_csv_file(target, list);
        }
    }
    TempFolder folder;
    const std::wstring path = folder.file(L"killed.csv");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(EXPORT_UNTIL_KILLED, path.c_str());
    StartedProgram child(L"\"" + std::wstring(self) + L"\" --gtest_filter=CsvFile.AKilledExportLeavesNoPartOfAFile");
    SetEnvironmentVariableW(EXPORT_UNTIL_KILLED, nullptr);
    ASSERT_TRUE(child.started());
    auto temporary_files = [&] { return snapshot(folder.path()).size() - fs::exists(path); };
    ASSERT_TRUE(pump_until([&] { return temporary_files() > 0; }, 20000)) << "the child never began to export";
    Sleep(50);
    TerminateProcess(child.process.hProcess, 9);
    WaitForSingleObject(child.process.hProcess, 10000);
    // A kill between the temporary file's last byte and its taking the name leaves it complete,
    // for the next export that succeeds to remove.
    const std::string complete_end = "1000000,16666:39.000,16666:39.250,250\r\n";
    auto left_complete = [&] {
        const auto files = snapshot(folder.path());
        return std::all_of(files.begin(), files.end(), [&](const auto& file) {
            return file.first == L"killed.csv" || file.second.ends_with(complete_end);
        });
    };
    EXPECT_TRUE(pump_until([&] { return temporary_files() <= 1 && left_complete(); }, 2000))
        << "the killed export left " << temporary_files() << " file(s) beside its target, not one complete";
    ASSERT_TRUE(write_csv_file(path.c_str(), many(1)));
    EXPECT_EQ(snapshot(folder.path()), (std::map<std::wstring, std::string>{{L"killed.csv", ONE_ROW_FILE}}));
}

TEST(CsvFile, FailuresLeaveThePathAndItsFolderAsTheyWere)
{
    TempFolder folder;
    const std::wstring locked = folder.file(L"locked.csv");
    ASSERT_TRUE(write_csv_file(locked.c_str(), many(3)));
    // Files of the user's own that look like temporary ones: an export must not touch them.
    for (const wchar_t* name : {L"qfx1A2B.tmp", L"locked.csv.tmp", L"locked.csv.qfx1.tmp"}) {
        std::ofstream(fs::path(folder.file(name))) << "the user's own, longer than an export's header: " << HEADER;
    }
    // One that begins as an export does, but has a second name: the user's too.
    std::ofstream(fs::path(folder.file(L"locked.csv.qfx3.tmp")), std::ios::binary) << HEADER;
    ASSERT_TRUE(CreateHardLinkW(folder.file(L"kept.csv").c_str(), folder.file(L"locked.csv.qfx3.tmp").c_str(), nullptr));
    const std::wstring read_only = folder.file(L"read-only.csv");
    ASSERT_TRUE(write_csv_file(read_only.c_str(), many(1)));
    SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_READONLY);
    const auto before = snapshot(folder.path());
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> cases = {
        folder.file(L"no-such-folder\\out.csv"),
        folder.file(L""),  // the folder itself
        locked,            // open in another program without sharing
    };
    // Windows refuses to open a read-only file for writing; root under Wine does not.
    HANDLE probe = CreateFileW(read_only.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool read_only_holds = probe == INVALID_HANDLE_VALUE;
    if (read_only_holds) {
        cases.push_back(read_only);
    } else {
        CloseHandle(probe);
    }
    for (const std::wstring& path : cases) {
        EXPECT_FALSE(write_csv_file(path.c_str(), many(2))) << narrow(path);
    }
    CloseHandle(holder);
    EXPECT_EQ(snapshot(folder.path()), before);

    // Once released, the same path takes the export and removes what an export cut off by a power
    // failure left there; the look-alikes stay as they were.
    auto expected = snapshot(folder.path());
    std::ofstream(fs::path(folder.file(L"locked.csv.qfx2.tmp")), std::ios::binary) << HEADER << "1,00:0";
    ASSERT_TRUE(write_csv_file(locked.c_str(), many(2)));
    expected[L"locked.csv"] = HEADER + "1,00:00.000,00:00.250,250\r\n2,00:01.000,00:01.250,250\r\n";
    EXPECT_EQ(snapshot(folder.path()), expected);
    SetFileAttributesW(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!read_only_holds) {
        GTEST_SKIP() << "the other cases passed; a read-only file is written here, as root under Wine writes what "
                        "Windows refuses (the run as an ordinary user tries it)";
    }
}

// Windows' partial failures of a replacement, as documented, file shares, and a scanner that looks
// into the file just as it is put in place: the rows reach the chosen path or, where the old file
// is gone and even the last move fails, stay complete beside it; otherwise the folder is as it was.
// What no other program delays takes a fraction of a second.
TEST(CsvFile, WhereWindowsAnswersOtherwiseWhenTheFileIsPutInPlace)
{
    const std::string old_rows = HEADER + "the old rows\r\n", new_rows = ONE_ROW_FILE;
    struct Case {
        const char* what;
        FileCalls calls;
        DWORD refusal;
        int refusals;
        bool existed, exported, at_once;
        std::map<std::wstring, std::string> files;
    };
    const Case cases[] = {
        {"the old file deleted", {.replace_file = replace_losing_the_old_file}, 0, 0, true, true, true,
         {{L"a.csv", new_rows}}},
        {"the old file renamed", {.replace_file = replace_renaming_the_old_file}, 0, 0, true, true, true,
         {{L"a.csv", new_rows}, {L"a.csv.renamed", old_rows}}},
        {"the old file deleted, the move refused",
         {.replace_file = replace_losing_the_old_file,
          .move_file = move_looked_at,
          .set_file_information = rename_looked_at},
         ERROR_SHARING_VIOLATION, 1000, true, false, false, {{L"a.csv.qfx1.tmp", new_rows}}},
        {"the old file looked at", {.replace_file = replace_looked_at}, ERROR_UNABLE_TO_REMOVE_REPLACED, 2, true, true,
         false, {{L"a.csv", new_rows}}},
        {"the new file looked at, replacing", {.replace_file = replace_looked_at}, ERROR_SHARING_VIOLATION, 3, true,
         true, false, {{L"a.csv", new_rows}}},
        {"the new file looked at", {.set_file_information = rename_looked_at}, ERROR_SHARING_VIOLATION, 3, false, true,
         false, {{L"a.csv", new_rows}}},
        {"the old file held for good", {.replace_file = replace_looked_at}, ERROR_SHARING_VIOLATION, 1000, true, false,
         false, {{L"a.csv", old_rows}}},
        {"the new file refused its name for good", {.set_file_information = rename_looked_at}, ERROR_SHARING_VIOLATION,
         1000, false, false, false, {}},
        {"a share that grants no WRITE_DAC", {.replace_file = replace_without_write_dac}, 0, 0, true, true, true,
         {{L"a.csv", new_rows}}},
        {"a folder that grants no delete, a new file",
         {.create_file = create_without_delete, .replace_file = replace_looked_at, .move_file = move_looked_at},
         ERROR_ACCESS_DENIED, 1000, false, true, true, {{L"a.csv", new_rows}}},
        {"a folder that grants no delete, an existing file",
         {.create_file = create_without_delete, .replace_file = replace_looked_at, .move_file = move_looked_at},
         ERROR_ACCESS_DENIED, 1000, true, true, true, {{L"a.csv", new_rows}}},
        {"the new file held past the tries, replacing", {.replace_file = replace_held}, 0, 0, true, false, false,
         {{L"a.csv", old_rows}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::wstring path = folder.file(L"a.csv");
        if (c.existed) {
            std::ofstream(fs::path(path), std::ios::binary) << old_rows;
        }
        StandIns stand_ins;
        file_calls = c.calls;
        refusal = c.refusal;
        // A failure, tried again, fails alike and leaves the same: a complete file kept beside the
        // path above all.
        for (int attempt = 1; attempt <= (c.exported ? 1 : 2); ++attempt) {
            SCOPED_TRACE(testing::Message() << "export " << attempt);
            refusals_left = c.refusals;
            const ULONGLONG start = GetTickCount64();
            EXPECT_EQ(write_csv_file(path.c_str(), many(1)), c.exported);
            if (c.at_once) {
                EXPECT_LT(GetTickCount64() - start, 500u) << "waited as if another program had the file";
            }
            if (hold_of_the_new_file.joinable()) {
                hold_of_the_new_file.join();
            }
            EXPECT_EQ(snapshot(folder.path()), c.files);
        }
    }
}

// Another program's file, saved under the chosen name just before the new file takes it, stays.
TEST(CsvFile, ANameTakenMeanwhileIsNotReplaced)
{
    TempFolder folder;
    StandIns stand_ins;
    file_calls.set_file_information = rename_after_another_program_saved;
    EXPECT_FALSE(write_csv_file(folder.file(L"a.csv").c_str(), many(1)));
    EXPECT_EQ(snapshot(folder.path()), (std::map<std::wstring, std::string>{{L"a.csv", ANOTHER_PROGRAMS}}));
}

TEST(CsvFile, TwoExportsToOneFileAtOnceEachHaveATemporaryFile)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"both.csv");
    pending_deletion = L"both.csv.qfx1.tmp";
    HANDLE other = CreateFileW(folder.file(pending_deletion.c_str()).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                               CREATE_NEW, 0, nullptr);
    FILE_DISPOSITION_INFO disposition{TRUE};
    ASSERT_TRUE(SetFileInformationByHandle(other, FileDispositionInfo, &disposition, sizeof disposition));
    StandIns stand_ins;
    file_calls.create_file = create_beside_a_pending_deletion;
    EXPECT_TRUE(write_csv_file(path.c_str(), many(1)));
    CloseHandle(other);
    EXPECT_EQ(snapshot(folder.path()),
              (std::map<std::wstring, std::string>{{L"both.csv", ONE_ROW_FILE}}));
}

// A 16 KiB disk mounted for this test by tests/support/small_disk.sh: it fills up for real.
class SmallDisk : public testing::Test {
protected:
    void SetUp() override
    {
        root_ = wine_path_from(L"QUILLFEN_SMALL_DISK");
        if (root_.empty()) {
            GTEST_SKIP() << "no small disk to fill: " << why_not_made("QUILLFEN_SMALL_DISK_REFUSED", "small_disk.sh");
        }
    }
    std::wstring file(const std::wstring& name) const { return root_ + L"\\" + name; }
    std::wstring root_;
};

// A file of one name is replaced, one of two is rewritten in place, growing: either way a full disk
// leaves it as it was.
TEST_F(SmallDisk, AFullDiskLeavesThePathAsItWasAndTheNextExportAfterRoomIsMadeIsWhole)
{
    for (const bool linked : {false, true}) {
        SCOPED_TRACE(linked ? "a file of two names" : "a file of one name");
        const std::wstring existing = file(L"session.csv");
        ASSERT_TRUE(write_csv_file(existing.c_str(), many(3)));
        if (linked) {
            ASSERT_TRUE(CreateHardLinkW(file(L"second-name.csv").c_str(), existing.c_str(), nullptr));
        }
        // A file written a KiB at a time until the disk refuses more.
        HANDLE filler =
            CreateFileW(file(L"filler").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr);
        const std::string block(1024, 'x');
        for (DWORD written = 0; WriteFile(filler, block.data(), 1024, &written, nullptr) && written == 1024;) {
        }
        const auto full = snapshot(root_);
        EXPECT_FALSE(write_csv_file(file(L"new.csv").c_str(), many(1))) << "the disk is full from the start";
        EXPECT_EQ(snapshot(root_), full);

        // Room made a KiB at a time, from none to more than the new file needs: whatever part of it
        // fits, the export is whole or fails and leaves the disk as it was.
        const std::vector<Measurement> list = many(250);
        LARGE_INTEGER size{};
        GetFileSizeEx(filler, &size);
        bool exported = false;
        for (int room = 0; room <= 12 && !exported; ++room) {
            SCOPED_TRACE(testing::Message() << room << " KiB made free");
            size.QuadPart -= room ? 1024 : 0;
            SetFilePointerEx(filler, size, nullptr, FILE_BEGIN);
            SetEndOfFile(filler);
            const auto before = snapshot(root_);
            exported = write_csv_file(existing.c_str(), list);
            if (exported) {
                const std::string content = read_file(existing);
                EXPECT_EQ(lines_of(content).size(), 251u);
                const std::string last = "250,04:09.000,04:09.250,250\r\n";
                EXPECT_EQ(content.substr(content.size() - std::min(content.size(), last.size())), last);
            } else {
                EXPECT_EQ(snapshot(root_), before);
            }
        }
        CloseHandle(filler);
        EXPECT_TRUE(exported);
        const auto left = snapshot(root_);
        EXPECT_EQ(left.size(), linked ? 3u : 2u) << "a temporary file was left beside the export";
        for (const auto& entry : left) {
            DeleteFileW(file(entry.first).c_str());
        }
    }
}

// The save dialog of a test, as seen on a composited desktop such as Windows': a window that it
// uncovered as it closed is not repainted. Wine 10 asks for a repaint with erase once the X server
// reports the uncovered part, a moment after the dialog is gone: that is let happen and then
// dropped, so that what waits after the dialog is the overlay's own request.
decltype(&GetSaveFileNameW) save_dialog = GetSaveFileNameW;

BOOL WINAPI on_a_composited_desktop(LPOPENFILENAMEW settings)
{
    const BOOL chosen = save_dialog(settings);
    pump_until([] { return false; }, 100);
    ValidateRect(overlay.main_window, nullptr);
    return chosen;
}

// Each export through the platform's own save dialog and through one built as Windows' is.
class Export : public OverlayTest, public testing::WithParamInterface<decltype(&GetSaveFileNameW)> {
protected:
    void SetUp() override
    {
        OverlayTest::SetUp();
        save_dialog = GetParam();
        show_save_dialog = on_a_composited_desktop;
    }
    StandIns stand_ins_;
    void measure(int count)
    {
        for (int i = 0; i < count; ++i) {
            toggle_mark();
            toggle_mark();
        }
    }
    TempFolder folder_;
};

INSTANTIATE_TEST_SUITE_P(SaveDialogs, Export, testing::Values(GetSaveFileNameW, windows_save_dialog),
                         [](const auto& dialog) { return dialog.index ? "BuiltAsWindows" : "ThePlatforms"; });

TEST_P(Export, SavesThroughTheDialogWithItsDefaultsAndAppendsTheExtension)
{
    measure(2);
    DialogDriver driver;
    driver.path = folder_.file(L"session");  // typed without an extension
    // F8 twice while the dialog is open: the new measurement belongs in the file.
    driver.while_dialog_open = [] {
        SendMessageW(overlay.main_window, WM_HOTKEY, 101, 0);
        SendMessageW(overlay.main_window, WM_HOTKEY, 101, 0);
    };
    ValidateRect(window(), nullptr);
    const std::wstring working_folder = current_directory();
    export_csv();

    EXPECT_EQ(current_directory(), working_folder) << "the folder saved in is held as the current one";
    EXPECT_EQ(driver.save_dialogs, 1);
    // Where Windows hides known extensions, the default name shows without ".csv".
    const std::wstring settings = L" | *CSV files (*.csv) All files (*.*) | owned by the overlay";
    EXPECT_TRUE(driver.save_dialog == L"quillfen-replay-measurements.csv" + settings ||
                driver.save_dialog == L"quillfen-replay-measurements" + settings)
        << narrow(driver.save_dialog);
    EXPECT_EQ(overlay.status_text, L"CSV exported.");
    EXPECT_EQ(pending_repaint(), WHOLE_CLIENT);
    const std::vector<std::string> lines = lines_of(read_file(folder_.file(L"session.csv")));
    ASSERT_EQ(lines.size(), 4u) << "the rows are not at the typed path with .csv appended";
    EXPECT_EQ(lines[3].substr(0, 2), "3,") << "the measurement made during the dialog is not the last row";
    EXPECT_EQ(overlay.measurements.size(), 3u);
}

// While the export waits for another program to let its new file go (0.5 s), F8 pressed 100 ms
// into it still completes the running measurement when it arrives: in the list, timed then, but
// not in this file, whose rows were read before. The export succeeds once the file is let go.
using ExportWaiting = OverlayTest;

TEST_F(ExportWaiting, AKeyPressedWhileTheNewFileIsHeldIsTimedWhenItArrives)
{
    for (int marks = 0; marks < 3; ++marks) {
        toggle_mark();
    }
    TempFolder folder;
    const std::wstring path = folder.file(L"held.csv");
    std::ofstream(fs::path(path)) << "the old rows";
    StandIns stand_ins;
    file_calls.replace_file = replace_held;
    hold_ms = 500;
    LARGE_INTEGER key_sent{};
    std::thread key([&] {
        Sleep(100);
        QueryPerformanceCounter(&key_sent);
        PostMessageW(overlay.main_window, WM_HOTKEY, HOTKEY_MARK, 0);
    });
    EXPECT_TRUE(write_csv_file(path.c_str(), overlay.measurements));
    key.join();
    hold_of_the_new_file.join();
    EXPECT_EQ(lines_of(read_file(path)).size(), 2u);
    ASSERT_EQ(overlay.measurements.size(), 2u) << "F8 was not handled while the export waited";
    const double sent = static_cast<double>(key_sent.QuadPart - overlay.start_counter) /
                        static_cast<double>(overlay.counter_frequency);
    EXPECT_LT((overlay.measurements[1].enemy_killed - sent) * 1000.0, 20.0) << "ms late";
}

// With an empty list no dialog opens; a cancelled one writes nothing. Either way the status
// stays and nothing is repainted.
TEST_P(Export, AnEmptyListOrACancelWritesNothing)
{
    for (int count : {0, 1}) {
        SCOPED_TRACE(testing::Message() << count << " measurements");
        measure(count);
        const std::wstring status = overlay.status_text;
        DialogDriver driver;  // no path: cancel
        ValidateRect(window(), nullptr);
        export_csv();
        pump_until([] { return false; }, 200);  // give a dialog time to appear, should one open
        EXPECT_EQ(driver.save_dialogs, count);
        EXPECT_EQ(overlay.status_text, status);
        EXPECT_EQ(pending_repaint(), "none");
    }
    EXPECT_TRUE(snapshot(folder_.path()).empty());
}

// Whatever name the user picks for the file, the file itself takes the rows and stays what it is:
// the link to it stays a link, its other name shows them too, its marks stay.
TEST_P(Export, OverwriteIsConfirmedAndTheFileItselfTakesTheRows)
{
    measure(1);
    const std::wstring first = folder_.file(L"first.csv"), second = folder_.file(L"second.csv");
    std::ofstream(fs::path(first)) << "made";
    ASSERT_TRUE(CreateHardLinkW(second.c_str(), first.c_str(), nullptr));
    struct Case {
        std::wstring chosen;
        DWORD attribute;
    };
    std::vector<Case> cases = {{first, 0},
                               {second, 0},
                               {folder_.file(L"hidden.csv"), FILE_ATTRIBUTE_HIDDEN}};
    const std::wstring link = wine_path_from(L"QUILLFEN_SYMBOLIC_LINK");
    if (!link.empty()) {
        cases.push_back({link, 0});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.chosen));
        // Written through the name as any program writes, so through the link to the file itself;
        // longer than the new file, so that a tail of it would show.
        std::ofstream(fs::path(c.chosen), std::ios::binary) << HEADER << "an old row, longer than the new one\r\nold\r\n";
        SetFileAttributesW(c.chosen.c_str(), c.attribute ? c.attribute : FILE_ATTRIBUTE_NORMAL);
        const std::wstring real = final_path(c.chosen);
        DialogDriver driver;
        driver.path = c.chosen;
        export_csv();
        EXPECT_EQ(driver.overwrite_prompts, 1);
        EXPECT_EQ(overlay.status_text, L"CSV exported.");
        const std::vector<std::string> lines = lines_of(read_file(real));
        ASSERT_EQ(lines.size(), 2u) << "rows of the old file remain, or the file was not written";
        EXPECT_EQ(lines[1].substr(0, 2), "1,");
        EXPECT_EQ(read_file(first), read_file(second)) << "the file's two names differ";
        EXPECT_EQ(final_path(c.chosen), real) << "the chosen name no longer leads to the same file";
        EXPECT_EQ(hex(GetFileAttributesW(c.chosen.c_str()) & c.attribute), hex(c.attribute));
        SetFileAttributesW(c.chosen.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(snapshot(folder_.path()).size(), 3u) << "a temporary file was left beside the export";
    if (link.empty()) {
        GTEST_SKIP() << "the other cases passed; no symbolic link to try: run the test through "
                        "tests/support/symbolic_link.sh";
    }
}

// A file held by another program, a save dialog that fails; as an ordinary user, also a read-only
// file of the user's own.
TEST_P(Export, FailureShowsTheStatusThenTheErrorBoxThenRepaints)
{
    measure(3);
    struct Case {
        std::wstring path;
        decltype(&GetSaveFileNameW) dialog;
    };
    std::vector<Case> cases = {{folder_.file(HELD_ONCE_CHOSEN), GetParam()},
                               {folder_.file(L"never-chosen.csv"), save_dialog_that_fails}};
    std::ofstream(fs::path(cases[0].path), std::ios::binary) << "the user's own\r\n";
    file_calls.create_file = create_held_once_chosen;
    const std::wstring foreign = wine_path_from(L"QUILLFEN_FOREIGN_FILES");
    if (!foreign.empty()) {
        cases.push_back({foreign + L"\\read-only.csv", GetParam()});
    }
    for (const auto& [path, dialog] : cases) {
        SCOPED_TRACE(narrow(path));
        const std::string before = read_file(path);
        DialogDriver driver;
        driver.path = path;
        save_dialog = dialog;
        ValidateRect(window(), nullptr);
        export_csv();
        if (path == cases[0].path) {  // the other program lets the file go
            ASSERT_NE(holder_once_chosen, INVALID_HANDLE_VALUE) << "the export never opened the chosen file";
            CloseHandle(std::exchange(holder_once_chosen, INVALID_HANDLE_VALUE));
        }
        EXPECT_EQ(read_file(path), before);

        EXPECT_EQ(driver.error_boxes, 1);
        EXPECT_EQ(driver.error_box, L"Quillfen Replay Overlay | The CSV file could not be written. | OK | error icon | "
                                    L"owned by the overlay");
        EXPECT_EQ(driver.status_during_box, L"Could not write the CSV file.");
        EXPECT_EQ(pending_repaint(), WHOLE_CLIENT);
        EXPECT_EQ(overlay.status_text, L"Could not write the CSV file.");
        EXPECT_EQ(overlay.measurements.size(), 3u);
        EXPECT_TRUE(IsWindowEnabled(overlay.export_button));
    }
}

// As an ordinary user, for whom permissions hold: what a plain write of the file would refuse,
// the export refuses, and the file stays as it was.
TEST(OrdinaryUser, FilesTheUserMayNotWriteAreRefusedAndStayAsTheyWere)
{
    const std::wstring files = wine_path_from(L"QUILLFEN_FOREIGN_FILES");
    if (files.empty()) {
        GTEST_SKIP() << "not run as an ordinary user: "
                     << why_not_made("QUILLFEN_ORDINARY_USER_REFUSED", "ordinary_user.sh");
    }
    const auto before = snapshot(files);
    for (const wchar_t* name : {L"read-only.csv", L"other-user.csv", L"other-group.csv"}) {
        const std::wstring path = files + L"\\" + name;
        EXPECT_FALSE(write_csv_file(path.c_str(), many(2))) << narrow(path);
    }
    EXPECT_EQ(snapshot(files), before);
}
