#include "measure/csv_file.h"

#include <cstring>

#include "measure/clock_text.h"
#include "measure/safe_file.h"

static constexpr char CSV_START[] = "\xEF\xBB\xBF" "measurement,enemy_visible,enemy_killed,time_to_kill_ms\r\n";
static constexpr std::size_t LONGEST_ROW = 128;  // two clock texts of 22 and two 20-digit numbers fit

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

bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements)
{
    return write_file_safely(path, {CSV_START, sizeof CSV_START - 1},
                             [&](HANDLE file) { return write_rows(file, measurements); });
}
