// The CSV file byte for byte, every way its writing can fail, and the export as the user drives it.
#include "tests/support/dialog_driver.h"
#include "tests/support/overlay_harness.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/overlay_state.h"
#include "measure/csv_export.h"
#include "measure/marker.h"

namespace {

const std::string HEADER = "\xEF\xBB\xBFmeasurement,enemy_visible,enemy_killed,time_to_kill_ms\r\n";

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

std::vector<Measurement> many(std::size_t count)
{
    std::vector<Measurement> list;
    for (std::size_t i = 0; i < count; ++i) {
        list.push_back({static_cast<double>(i), static_cast<double>(i) + 0.25, 250});
    }
    return list;
}

}  // namespace

TEST(CsvFile, WorkedExampleIsExactly113Bytes)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"example.csv");
    ASSERT_TRUE(write_csv_file(path.c_str(), {{1.5, 2.25, 750}, {83.4567, 84.2, 743}}));
    const std::string expected = HEADER + "1,00:01.500,00:02.250,750\r\n" + "2,01:23.457,01:24.200,743\r\n";
    EXPECT_EQ(read_file(path), expected);
}

TEST(CsvFile, RowsForSingleMeasurements)
{
    struct Case {
        Measurement measurement;
        const char* row;
    };
    const Case cases[] = {
        {{0.0, 0.0, 0}, "1,00:00.000,00:00.000,0\r\n"},
        {{6000.0, 6000.5, 500}, "1,100:00.000,100:00.500,500\r\n"},
        {{59.9995, 61.0005, 1001}, "1,01:00.000,01:01.001,1001\r\n"},
        {{1.0, 2.0, -3}, "1,00:01.000,00:02.000,-3\r\n"},
        {{0.0005, 1.0005, INT64_MAX}, "1,00:00.001,00:01.001,9223372036854775807\r\n"},
    };
    TempFolder folder;
    const std::wstring path = folder.file(L"one.csv");
    for (const Case& c : cases) {
        ASSERT_TRUE(write_csv_file(path.c_str(), {c.measurement}));
        EXPECT_EQ(read_file(path), HEADER + c.row);
    }
}

TEST(CsvFile, ReplacesALongerFileWholeAndRepeatsItselfExactly)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"again.csv");
    ASSERT_TRUE(write_csv_file(path.c_str(), many(1000)));
    ASSERT_TRUE(write_csv_file(path.c_str(), many(2)));
    const std::string first = read_file(path);
    EXPECT_EQ(first, HEADER + "1,00:00.000,00:00.250,250\r\n2,00:01.000,00:01.250,250\r\n");
    ASSERT_TRUE(write_csv_file(path.c_str(), many(2)));
    EXPECT_EQ(read_file(path), first);
    EXPECT_EQ(snapshot(folder.path()).size(), 1u) << "a temporary file was left beside the export";
}

TEST(CsvFile, LargeListsCrossTheWriteChunksIntact)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"large.csv");
    const std::vector<Measurement> list = many(100000);
    ASSERT_TRUE(write_csv_file(path.c_str(), list));
    const std::string content = read_file(path);
    std::size_t lines = 0;
    for (std::size_t at = content.find("\r\n"); at != std::string::npos; at = content.find("\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(lines, 100001u);
    EXPECT_EQ(content.find('\n') + 1, HEADER.size());
    const std::string last = "100000,1666:39.000,1666:39.250,250\r\n";
    EXPECT_EQ(content.substr(content.size() - last.size()), last);
    EXPECT_NE(content.find("\r\n54321,905:20.000,905:20.250,250\r\n"), std::string::npos);

    // The longest rows there are, across several chunks.
    ASSERT_TRUE(write_csv_file(path.c_str(), std::vector<Measurement>(3000, {9.2e15, 9.2e15, INT64_MIN})));
    std::string expected = HEADER;
    for (int i = 1; i <= 3000; ++i) {
        expected += std::to_string(i) + ",153333333333333:20.000,153333333333333:20.000,-9223372036854775808\r\n";
    }
    EXPECT_EQ(read_file(path), expected);
}

// Files of the user's own that look like temporary ones: an export must not touch them.
void add_lookalikes(const TempFolder& folder, const wchar_t* target)
{
    for (int i = 0; i < 3; ++i) {
        wchar_t name[MAX_PATH];
        GetTempFileNameW(folder.path().c_str(), L"qfx", 0, name);
        std::FILE* file = _wfopen(name, L"wb");
        std::fputs("the user's own", file);
        std::fclose(file);
    }
    std::FILE* file = _wfopen(folder.file((std::wstring(target) + L".tmp").c_str()).c_str(), L"wb");
    std::fputs("the user's own", file);
    std::fclose(file);
}

TEST(CsvFile, FailuresLeaveThePathAndItsFolderAsTheyWere)
{
    TempFolder folder;
    const std::wstring locked = folder.file(L"locked.csv");
    ASSERT_TRUE(write_csv_file(locked.c_str(), many(3)));
    add_lookalikes(folder, L"locked.csv");
    const auto before = snapshot(folder.path());
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::wstring cases[] = {
        folder.file(L"no-such-folder\\out.csv"),
        folder.file(L""),  // the folder itself
        locked,            // open in another program without sharing
    };
    for (const std::wstring& path : cases) {
        EXPECT_FALSE(write_csv_file(path.c_str(), many(2))) << std::string(path.begin(), path.end());
    }
    CloseHandle(holder);
    EXPECT_EQ(snapshot(folder.path()), before);

    // Once released, the same path takes the export; the look-alikes stay as they were.
    auto expected = snapshot(folder.path());
    ASSERT_TRUE(write_csv_file(locked.c_str(), many(2)));
    expected[L"locked.csv"] = HEADER + "1,00:00.000,00:00.250,250\r\n2,00:01.000,00:01.250,250\r\n";
    EXPECT_EQ(snapshot(folder.path()), expected);
}

// A 16 KiB disk mounted for this test by tests/support/small_disk.sh: it fills up for real.
class SmallDisk : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t mount[MAX_PATH] = {};
        if (!GetEnvironmentVariableW(L"QUILLFEN_SMALL_DISK", mount, MAX_PATH)) {
            char reason[512] = "run the test through tests/support/small_disk.sh";
            GetEnvironmentVariableA("QUILLFEN_SMALL_DISK_REFUSED", reason, sizeof reason);
            GTEST_SKIP() << "no small disk to fill: " << reason;
        }
        root_ = L"Z:" + std::wstring(mount);
        std::replace(root_.begin(), root_.end(), L'/', L'\\');
    }
    void TearDown() override
    {
        for (const auto& [name, bytes] : snapshot(root_)) {
            DeleteFileW(file(name).c_str());
        }
    }
    std::wstring file(const std::wstring& name) const { return root_ + L"\\" + name; }
    // Writes a file until the disk refuses more.
    void fill_up()
    {
        std::FILE* filler = _wfopen(file(L"filler").c_str(), L"wb");
        const std::string block(1024, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    std::wstring root_;
};

TEST_F(SmallDisk, AFullDiskLeavesThePathAsItWasAndTheNextExportAfterRoomIsMadeIsWhole)
{
    const std::wstring existing = file(L"session.csv");
    const std::wstring fresh = file(L"new.csv");
    ASSERT_TRUE(write_csv_file(existing.c_str(), many(3)));
    const auto before = snapshot(root_);
    EXPECT_FALSE(write_csv_file(existing.c_str(), many(2000))) << "the disk fills up part-way";
    EXPECT_EQ(snapshot(root_), before);

    fill_up();
    const auto full = snapshot(root_);
    EXPECT_FALSE(write_csv_file(fresh.c_str(), many(1))) << "the disk is full from the start";
    EXPECT_FALSE(write_csv_file(existing.c_str(), many(1)));
    EXPECT_EQ(snapshot(root_), full);

    DeleteFileW(file(L"filler").c_str());
    ASSERT_TRUE(write_csv_file(existing.c_str(), many(250)));
    const std::string content = read_file(existing);
    EXPECT_EQ(lines_of(content).size(), 251u);
    const std::string last = "250,04:09.000,04:09.250,250\r\n";
    EXPECT_EQ(content.substr(content.size() - last.size()), last);
    EXPECT_EQ(snapshot(root_).size(), 1u);
}

class Export : public OverlayTest {
protected:
    void measure(int count)
    {
        for (int i = 0; i < count; ++i) {
            toggle_mark();
            toggle_mark();
        }
    }
    TempFolder folder_;
};

TEST_F(Export, EmptyListShowsNoDialogAndChangesNothing)
{
    DialogDriver driver;
    driver.path = folder_.file(L"never.csv");
    ValidateRect(window(), nullptr);
    export_csv();
    pump_until([] { return false; }, 200);  // give a dialog time to appear, should one open
    EXPECT_EQ(driver.save_dialogs, 0);
    EXPECT_EQ(overlay.status_text, L"Press F8 when the enemy becomes visible.");
    EXPECT_EQ(pending_repaint(), "none");
    EXPECT_TRUE(snapshot(folder_.path()).empty());
}

TEST_F(Export, SavesThroughTheDialogWithItsDefaultsAndAppendsTheExtension)
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
    export_csv();

    EXPECT_EQ(driver.save_dialogs, 1);
    EXPECT_EQ(driver.save_dialog, L"quillfen-replay-measurements.csv | *CSV files (*.csv) All files (*.*) | owned by "
                                  L"the overlay");
    EXPECT_EQ(overlay.status_text, L"CSV exported.");
    EXPECT_EQ(pending_repaint(), WHOLE_CLIENT);
    const std::vector<std::string> lines = lines_of(read_file(folder_.file(L"session.csv")));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(0, 2), "3,") << "the measurement made during the dialog is not the last row";
    EXPECT_EQ(overlay.measurements.size(), 3u);
}

TEST_F(Export, CancelWritesNothingAndKeepsTheStatus)
{
    measure(1);
    DialogDriver driver;  // no path: cancel
    ValidateRect(window(), nullptr);
    export_csv();
    EXPECT_EQ(driver.save_dialogs, 1);
    EXPECT_EQ(overlay.status_text, L"Kill measured. Press F8 for the next enemy.");
    EXPECT_EQ(pending_repaint(), "none");
    EXPECT_TRUE(snapshot(folder_.path()).empty());
}

TEST_F(Export, OverwriteIsConfirmedAndReplacesTheFile)
{
    measure(1);
    const std::wstring path = folder_.file(L"existing.csv");
    ASSERT_TRUE(write_csv_file(path.c_str(), many(50)));
    DialogDriver driver;
    driver.path = path;
    export_csv();
    EXPECT_EQ(driver.overwrite_prompts, 1);
    EXPECT_EQ(overlay.status_text, L"CSV exported.");
    const std::vector<std::string> lines = lines_of(read_file(path));
    ASSERT_EQ(lines.size(), 2u) << "rows of the old file remain";
    EXPECT_EQ(lines[1].substr(0, 2), "1,");
}

TEST_F(Export, FailureShowsTheStatusThenTheErrorBoxThenRepaints)
{
    measure(3);
    const std::wstring path = folder_.file(L"in-use.csv");
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    DialogDriver driver;
    driver.path = path;
    ValidateRect(window(), nullptr);
    export_csv();
    CloseHandle(holder);

    EXPECT_EQ(driver.error_boxes, 1);
    EXPECT_EQ(driver.error_box, L"Quillfen Replay Overlay | The CSV file could not be written. | OK | error icon | "
                                L"owned by the overlay");
    EXPECT_EQ(driver.status_during_box, L"Could not write the CSV file.");
    EXPECT_EQ(pending_repaint(), WHOLE_CLIENT);
    EXPECT_EQ(overlay.status_text, L"Could not write the CSV file.");
    EXPECT_EQ(overlay.measurements.size(), 3u);
    EXPECT_TRUE(IsWindowEnabled(overlay.export_button));
}
