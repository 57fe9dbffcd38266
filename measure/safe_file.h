#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string_view>

// The file calls of a safe write whose answers differ between Windows and Wine, gathered in one
// place so that a test can make one of them answer as Windows documents.
struct FileCalls {
    decltype(&CreateFileW) create_file = CreateFileW;
    decltype(&GetFinalPathNameByHandleW) final_path_name = GetFinalPathNameByHandleW;
    decltype(&ReplaceFileW) replace_file = ReplaceFileW;
    decltype(&MoveFileExW) move_file = MoveFileExW;
    decltype(&SetFileInformationByHandle) set_file_information = SetFileInformationByHandle;
};
extern FileCalls file_calls;

// The most bytes one call reads or writes.
inline constexpr std::size_t CHUNK_SIZE = 64 * 1024;

// Every write's count is checked: a full disk must never pass for a written file.
bool write_all(HANDLE file, const char* bytes, std::size_t count);

// Writes the file at path: write gets a new, empty file and fills it with content that begins with
// start, as every file written this way does, so that a leftover of a cut-off write is known by
// it. The file at path is replaced only by a complete one: true when every byte was flushed to the
// disk and the new file then took its place; then, and only then, what earlier writes to the path
// left beside it is removed. On false the path and its folder are as they were, except where the
// platform had already taken the old file away, or another program holds the new file for more
// than about two seconds: the complete new file then stays beside the path. While it waits for
// another program, the hotkeys, timer ticks and paints of the thread's windows are handled.
bool write_file_safely(const wchar_t* path, std::string_view start, const std::function<bool(HANDLE)>& write);
