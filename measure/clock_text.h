#pragma once
#include <cstddef>
#include <string>

// Room for any clock text: the longest, for the largest millisecond count, has 22 characters.
inline constexpr std::size_t CLOCK_TEXT_CAPACITY = 64;

// Seconds as minutes, seconds and milliseconds, "01:23.457", rounded half up to the millisecond.
// Minutes are never folded into hours. Negative, non-finite and huge inputs give "00:00.000".
// The narrow and the wide form give the same characters; the buffer forms allocate nothing.
void write_clock_text(double seconds, char (&text)[CLOCK_TEXT_CAPACITY]);
void write_clock_text(double seconds, wchar_t (&text)[CLOCK_TEXT_CAPACITY]);

std::string format_clock_narrow(double seconds);
std::wstring format_clock(double seconds);

// Writers for building a line in place: each writes its characters at out, without a
// terminating zero, and returns the end. put_decimal pads with zeros to min_digits.
char* put_decimal(char* out, unsigned long long value, int min_digits = 1);
char* put_clock_text(char* out, double seconds);
