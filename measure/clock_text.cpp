#include "measure/clock_text.h"

#include <cstdint>
#include <cstdio>

// Whole milliseconds, rounded half up in two separately rounded double steps (the build keeps
// the compiler from fusing them): 1.0005 s is 00:01.001 because 1.0005 * 1000.0 rounds to 1000.5.
static std::int64_t whole_milliseconds(double seconds)
{
    const double product = seconds * 1000.0;
    const double sum = product + 0.5;
    if (!(sum > 0.0) || sum >= 9223372036854775808.0) {  // negative, NaN, or beyond int64
        return 0;
    }
    return static_cast<std::int64_t>(sum);
}

void write_clock_text(double seconds, char (&text)[CLOCK_TEXT_CAPACITY])
{
    const long long ms = whole_milliseconds(seconds);
    const long long minutes = ms / 60000;
    const long long rest = ms - minutes * 60000;
    const long long whole_seconds = rest / 1000;
    const long long millis = rest - whole_seconds * 1000;
    std::snprintf(text, CLOCK_TEXT_CAPACITY, "%02lld:%02lld.%03lld", minutes, whole_seconds, millis);
}

void write_clock_text(double seconds, wchar_t (&text)[CLOCK_TEXT_CAPACITY])
{
    char narrow[CLOCK_TEXT_CAPACITY];
    write_clock_text(seconds, narrow);
    for (std::size_t i = 0; i < CLOCK_TEXT_CAPACITY; ++i) {
        text[i] = static_cast<wchar_t>(narrow[i]);
        if (narrow[i] == '\0') {
            break;
        }
    }
}

std::string format_clock_narrow(double seconds)
{
    char text[CLOCK_TEXT_CAPACITY];
    write_clock_text(seconds, text);
    return text;
}

std::wstring format_clock(double seconds)
{
    wchar_t text[CLOCK_TEXT_CAPACITY];
    write_clock_text(seconds, text);
    return text;
}
