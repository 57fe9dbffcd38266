#pragma once
#include <cstddef>

// Clock text: seconds as minutes, seconds and milliseconds, "01:23.457", rounded half up to the
// millisecond. Minutes are never folded into hours (100:00.000). Negative, non-finite and huge
// inputs give "00:00.000". The narrow form builds CSV rows in place, the wide form fills a buffer
// for the screen; both give the same characters and allocate nothing.

// Room for any clock text: the longest, for the largest millisecond count, has 22 characters.
inline constexpr std::size_t CLOCK_TEXT_CAPACITY = 64;

// Narrow: writes the text at out, without a terminating zero, and returns its end.
char* put_clock_text(char* out, double seconds);

// Wide: the zero-terminated text in the buffer.
void format_clock(double seconds, wchar_t (&text)[CLOCK_TEXT_CAPACITY]);

// Writes value in decimal at out, padded with zeros to min_digits, and returns the end.
char* put_decimal(char* out, unsigned long long value, int min_digits = 1);
