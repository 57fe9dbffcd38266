#include "measure/clock_text.h"

#include <cstdint>

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

// Digits by hand rather than through printf: the export writes three of these per row, and
// printf-style formatting made it several times slower than writing the bytes.
char* put_decimal(char* out, unsigned long long value, int min_digits)
{
    int digits = 1;
    for (unsigned long long limit = 10; digits < 20 && value >= limit; limit *= 10) {
        ++digits;
    }
    char* const end = out + (digits > min_digits ? digits : min_digits);
    for (char* at = end; at != out; value /= 10) {
        *--at = static_cast<char>('0' + value % 10);
    }
    return end;
}

// Exactly width digits, for the fields that never grow.
static char* put_fixed_digits(char* out, unsigned value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// "%02lld:%02lld.%03lld" of minutes, seconds and milliseconds.
char* put_clock_text(char* out, double seconds)
{
    const std::int64_t ms = whole_milliseconds(seconds);
    const std::int64_t minutes = ms / 60000;
    const auto rest = static_cast<unsigned>(ms - minutes * 60000);
    out = put_decimal(out, static_cast<unsigned long long>(minutes), 2);
    *out++ = ':';
    out = put_fixed_digits(out, rest / 1000, 2);
    *out++ = '.';
    return put_fixed_digits(out, rest % 1000, 3);
}

void format_clock(double seconds, wchar_t (&text)[CLOCK_TEXT_CAPACITY])
{
    char narrow[CLOCK_TEXT_CAPACITY];
    const char* end = put_clock_text(narrow, seconds);
    std::size_t length = 0;
    for (const char* c = narrow; c != end; ++c) {
        text[length++] = static_cast<wchar_t>(*c);
    }
    text[length] = L'\0';
}
