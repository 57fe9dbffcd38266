// Measures the overlay against the least that any Win32 program doing the same job must spend,
// in the same run, and prints one Markdown table row per figure.
#include <windows.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/gdi_objects.h"
#include "app/ids.h"
#include "app/overlay_state.h"
#include "app/startup.h"
#include "bench/baseline_windows.h"
#include "measure/csv_file.h"
#include "measure/marker.h"

namespace {

std::int64_t ticks_per_second()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

double counter_seconds()
{
    return static_cast<double>(read_counter()) / static_cast<double>(ticks_per_second());
}

// A tick count as whole milliseconds, halves rounded up: what an ideal overlay records.
std::int64_t rounded_ms(std::int64_t ticks)
{
    return (ticks * 2000 + ticks_per_second()) / (2 * ticks_per_second());
}

double cpu_seconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

struct Summary {
    double min, median, p99, max;
};

Summary summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return {values.front(), values[n / 2], values[std::min(n - 1, n * 99 / 100)], values.back()};
}

std::string format(const char* pattern, double a, double b = 0, double c = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

void row(const std::string& figure, const std::string& overlay_value, const std::string& baseline,
         const std::string& ratio, const char* target)
{
    std::printf("| %s | %s | %s | %s | %s |\n", figure.c_str(), overlay_value.c_str(), baseline.c_str(),
                ratio.c_str(), target);
    std::fflush(stdout);
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Runs the message loop as the program does, waiting for input, for the given time.
void run_loop_for(double seconds)
{
    const double end = counter_seconds() + seconds;
    for (double left = seconds; left > 0; left = end - counter_seconds()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left * 1000) + 1, QS_ALLINPUT);
        pump();
    }
}

std::wstring beside_me(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

const std::wstring OVERLAY_EXE = beside_me(L"Quillfen-Replay-Overlay.exe");
const std::wstring MINIMAL_EXE = beside_me(L"minimal_window.exe");

struct Child {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    double startup_seconds = 0;
};

HWND top_window_of(DWORD process_id)
{
    struct Search {
        DWORD process_id;
        HWND found;
    } search{process_id, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->process_id && IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// From process creation until its message loop first waits for input, after the first paint.
Child start_child(const std::wstring& exe)
{
    Child child;
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    const double start = counter_seconds();
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child.process);
    WaitForInputIdle(child.process.hProcess, 20000);
    child.startup_seconds = counter_seconds() - start;
    for (int i = 0; i < 200 && !child.window; ++i) {
        child.window = top_window_of(child.process.dwProcessId);
        Sleep(5);
    }
    return child;
}

void close_child(Child& child)
{
    PostMessageW(child.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(child.process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(child.process.hProcess, 1);
    }
    CloseHandle(child.process.hThread);
    CloseHandle(child.process.hProcess);
}

double peak_working_set_mib(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

double file_kib(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return static_cast<double>(data.nFileSizeLow) / 1024.0;
}

void bench_startup_size_and_memory()
{
    std::vector<double> overlay_times, minimal_times;
    for (int run = 0; run < 15; ++run) {
        Child overlay_child = start_child(OVERLAY_EXE);
        overlay_times.push_back(overlay_child.startup_seconds * 1000);
        close_child(overlay_child);
        Child minimal_child = start_child(MINIMAL_EXE);
        minimal_times.push_back(minimal_child.startup_seconds * 1000);
        close_child(minimal_child);
    }
    const Summary ours = summarize(overlay_times), least = summarize(minimal_times);
    row("Start-up to first wait for input (min / median / max)",
        format("%.1f / %.1f / %.1f ms", ours.min, ours.median, ours.max),
        format("%.1f / %.1f / %.1f ms", least.min, least.median, least.max),
        format("%.2f (medians)", ours.median / least.median), "within 1.5");
    row("Executable size", format("%.1f KiB", file_kib(OVERLAY_EXE)), format("%.1f KiB", file_kib(MINIMAL_EXE)),
        format("%.2f", file_kib(OVERLAY_EXE) / file_kib(MINIMAL_EXE)), "under 256 KiB");

    Child minimal_child = start_child(MINIMAL_EXE);
    Sleep(300);
    const double minimal_peak = peak_working_set_mib(minimal_child.process.hProcess);
    close_child(minimal_child);
    Child overlay_child = start_child(OVERLAY_EXE);
    Sleep(300);
    const double startup_peak = peak_working_set_mib(overlay_child.process.hProcess);
    // F8 pressed 200,000 times, then F7: posted messages are handled in order, so once the window
    // hides, every press before it has been handled.
    for (int press = 0; press < 200000; ++press) {
        while (!PostMessageW(overlay_child.window, WM_HOTKEY, HOTKEY_MARK, 0)) {
            Sleep(1);  // the queue is full: let the overlay catch up
        }
    }
    PostMessageW(overlay_child.window, WM_HOTKEY, HOTKEY_TOGGLE, 0);
    for (int wait = 0; wait < 120000 && IsWindowVisible(overlay_child.window); wait += 10) {
        Sleep(10);
    }
    const double loaded_peak = peak_working_set_mib(overlay_child.process.hProcess);
    close_child(overlay_child);
    row("Peak working set at start-up", format("%.1f MiB", startup_peak), format("%.1f MiB", minimal_peak),
        format("%.2f", startup_peak / minimal_peak), "reported");
    row("Peak working set with 100,000 measurements", format("%.1f MiB", loaded_peak), format("%.1f MiB", minimal_peak),
        format("%.2f", loaded_peak / minimal_peak), "reported");
}

void start_in_process_overlay()
{
    start_overlay(GetModuleHandleW(nullptr));
    show_overlay(SW_SHOWNOACTIVATE);
    pump();
}

void stop_in_process_overlay()
{
    DestroyWindow(overlay.main_window);
    pump();
    release_gdi_objects();
    UnregisterClassW(OVERLAY_CLASS_NAME, GetModuleHandleW(nullptr));
    overlay = OverlayState{};
}

// One full repaint: invalidate, then paint at once.
double repaint_ms(HWND window)
{
    const double start = counter_seconds();
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    return (counter_seconds() - start) * 1000;
}

void bench_paint()
{
    HWND bare = create_baseline_window(Baseline::bare_paint);
    start_in_process_overlay();
    struct State {
        const char* name;
        void (*prepare)();
    };
    const State states[] = {
        {"start-up", [] {}},
        {"a measurement running, four rows",
         [] {
             for (int i = 0; i < 4; ++i) {
                 toggle_mark();
                 toggle_mark();
             }
             toggle_mark();
         }},
        {"100,000 measurements",
         [] {
             reset_marker();
             while (overlay.measurements.size() < 100000) {
                 overlay.measurements.push_back({1234.5678, 1235.0, 432});
             }
         }},
    };
    for (const State& state : states) {
        state.prepare();
        std::vector<double> ours, least;
        for (int i = 0; i < 1000; ++i) {
            ours.push_back(repaint_ms(overlay.main_window));
            least.push_back(repaint_ms(bare));
        }
        const Summary o = summarize(ours), b = summarize(least);
        row(std::string("Paint, ") + state.name + " (median / p99)", format("%.3f / %.3f ms", o.median, o.p99),
            format("%.3f / %.3f ms", b.median, b.p99), format("%.2f / %.2f", o.median / b.median, o.p99 / b.p99),
            "within 1.5");
        row(std::string("Paint, ") + state.name + ", share of the 16 ms tick (median)",
            format("%.1f %%", o.median / 16 * 100), format("%.1f %%", b.median / 16 * 100), "", "reported");
    }
    stop_in_process_overlay();
    DestroyWindow(bare);
    pump();
}

// A second thread presses F8 twice at known counter times while the target window repaints
// every tick, and returns the true intervals in ticks.
std::vector<std::int64_t> press_pairs(HWND target, int count, const std::function<bool()>& all_handled)
{
    std::vector<std::int64_t> true_ticks(count);
    const std::int64_t frequency = ticks_per_second();
    std::atomic<bool> done = false;
    std::thread presser([&] {
        unsigned seed = 12345;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            const std::int64_t interval_ms = 20 + static_cast<std::int64_t>(seed >> 16) % 21;
            const std::int64_t visible = read_counter();
            PostMessageW(target, WM_HOTKEY, HOTKEY_MARK, 0);
            Sleep(static_cast<DWORD>(interval_ms - 3));  // asleep for most of it, to leave the cores free
            std::int64_t killed = read_counter();
            while (killed - visible < frequency * interval_ms / 1000) {
                killed = read_counter();
            }
            PostMessageW(target, WM_HOTKEY, HOTKEY_MARK, 0);
            true_ticks[i] = killed - visible;
            Sleep(3);
        }
        done = true;
    });
    while (!done || !all_handled()) {
        run_loop_for(0.05);
    }
    presser.join();
    return true_ticks;
}

// Recorded minus ideal milliseconds.
std::string error_summary(const std::vector<std::int64_t>& true_ticks, const std::vector<std::int64_t>& recorded_ms)
{
    std::vector<double> errors, magnitudes;
    for (std::size_t i = 0; i < true_ticks.size(); ++i) {
        errors.push_back(static_cast<double>(recorded_ms[i] - rounded_ms(true_ticks[i])));
        magnitudes.push_back(errors.back() < 0 ? -errors.back() : errors.back());
    }
    const Summary m = summarize(magnitudes);
    return format("%+.0f / %.0f / %.0f ms", summarize(errors).median, m.p99, m.max);
}

void bench_measurement_error()
{
    constexpr int COUNT = 1000;
    HWND bare = create_baseline_window(Baseline::repaint_every_tick);
    baseline_hotkey_counters.clear();
    const auto bare_ticks = press_pairs(bare, COUNT, [] { return baseline_hotkey_counters.size() >= 2 * COUNT; });
    std::vector<std::int64_t> bare_ms;
    for (int i = 0; i < COUNT; ++i) {
        bare_ms.push_back(rounded_ms(baseline_hotkey_counters[2 * i + 1] - baseline_hotkey_counters[2 * i]));
    }
    DestroyWindow(bare);
    pump();

    start_in_process_overlay();
    const auto ticks = press_pairs(overlay.main_window, COUNT, [] { return overlay.measurements.size() >= COUNT; });
    std::vector<std::int64_t> ours_ms;
    for (const Measurement& m : overlay.measurements) {
        ours_ms.push_back(m.time_to_kill_ms);
    }
    stop_in_process_overlay();
    row("Measurement error, recorded minus true interval, 1000 measurements (median, then p99 and worst of its size)",
        error_summary(ticks, ours_ms), error_summary(bare_ticks, bare_ms), "", "median 0, p99 within 1 ms");
}

double cpu_percent_over(double seconds)
{
    const double cpu_start = cpu_seconds(), wall_start = counter_seconds();
    run_loop_for(seconds);
    return (cpu_seconds() - cpu_start) / (counter_seconds() - wall_start) * 100;
}

void bench_cpu()
{
    constexpr double SECONDS = 10;
    HWND timer_only = create_baseline_window(Baseline::timer_only);
    const double idle_baseline = cpu_percent_over(SECONDS);
    DestroyWindow(timer_only);
    HWND repainting = create_baseline_window(Baseline::repaint_every_tick);
    const double running_baseline = cpu_percent_over(SECONDS);
    DestroyWindow(repainting);
    pump();

    start_in_process_overlay();
    const double idle = cpu_percent_over(SECONDS);
    toggle_mark();
    const double running = cpu_percent_over(SECONDS);
    stop_in_process_overlay();
    row("CPU idle, share of one core over 10 s", format("%.2f %%", idle), format("%.2f %%", idle_baseline),
        format("%.2f", idle / idle_baseline), "within 1.5");
    row("CPU while a measurement runs, share of one core over 10 s", format("%.2f %%", running),
        format("%.2f %%", running_baseline), format("%.2f", running / running_baseline), "within 2");
}

// The bytes in one write, on the disk when it returns.
void write_committed(const std::wstring& path, const std::string& bytes)
{
    std::FILE* file = nullptr;
    _wfopen_s(&file, path.c_str(), L"wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    _commit(_fileno(file));
    std::fclose(file);
}

void bench_export()
{
    std::vector<Measurement> list;
    for (int i = 0; i < 100000; ++i) {
        list.push_back({i * 0.75, i * 0.75 + 0.4321, 432});
    }
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring ours_path = std::wstring(folder) + L"quillfen-bench-export.csv";
    const std::wstring plain_path = std::wstring(folder) + L"quillfen-bench-fwrite.csv";
    const std::wstring plain_temporary = plain_path + L".tmp";
    write_csv_file(ours_path.c_str(), list);
    std::string bytes;
    std::FILE* file = nullptr;
    if (_wfopen_s(&file, ours_path.c_str(), L"rb") == 0) {
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            bytes.append(buffer, n);
        }
        std::fclose(file);
    }
    write_committed(plain_path, bytes);
    std::vector<double> ours, least;
    for (int run = 0; run < 41; ++run) {
        double start = counter_seconds();
        write_csv_file(ours_path.c_str(), list);
        ours.push_back((counter_seconds() - start) * 1000);
        // The least a safe replacement costs: the same bytes in one write, on the disk, put in the
        // old file's place by the platform's replace operation.
        start = counter_seconds();
        write_committed(plain_temporary, bytes);
        ReplaceFileW(plain_path.c_str(), plain_temporary.c_str(), nullptr, 0, nullptr, nullptr);
        least.push_back((counter_seconds() - start) * 1000);
    }
    DeleteFileW(ours_path.c_str());
    DeleteFileW(plain_path.c_str());
    const Summary o = summarize(ours), b = summarize(least);
    row("Export of 100,000 measurements (min / median / max)",
        format("%.1f / %.1f / %.1f ms", o.min, o.median, o.max), format("%.1f / %.1f / %.1f ms", b.min, b.median, b.max),
        format("%.2f (medians)", o.median / b.median), "within 2");
}

}  // namespace

// With arguments, runs only the named sections: startup, paint, error, cpu, export.
int main(int argc, char** argv)
{
    SetProcessDPIAware();
    const std::pair<const char*, void (*)()> sections[] = {
        {"startup", bench_startup_size_and_memory}, {"paint", bench_paint},   {"error", bench_measurement_error},
        {"cpu", bench_cpu},                         {"export", bench_export},
    };
    std::printf("| Figure | Overlay | Baseline | Ratio | Target |\n|---|---|---|---|---|\n");
    for (const auto& [name, run] : sections) {
        const bool wanted = argc == 1 || std::find_if(argv + 1, argv + argc, [&](const char* arg) {
                                             return std::string(arg) == name;
                                         }) != argv + argc;
        if (wanted) {
            const double start = counter_seconds();
            run();
            std::fprintf(stderr, "%s: %.1f s\n", name, counter_seconds() - start);
        }
    }
    return 0;
}
