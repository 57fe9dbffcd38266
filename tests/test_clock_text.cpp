// Clock text and the elapsed-time arithmetic: the two places where a rounding slip would show
// every user a wrong number.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "app/overlay_state.h"
#include "measure/clock_text.h"
#include "measure/marker.h"

static const std::pair<double, const char*> CLOCK_CASES[] = {
    {0.0004, "00:00.000"},
    {0.0005, "00:00.001"},  // a half millisecond rounds up
    {59.9994, "00:59.999"},
    {59.9995, "01:00.000"},  // just below in binary, but the product rounds to 59999.5
    {1.0005, "00:01.001"},   // wider arithmetic would give 00:01.000
    {3599.9994, "59:59.999"},
    {3599.9995, "60:00.000"},
    {5999.9995, "100:00.000"},  // minutes never fold into hours
    {36000.0, "600:00.000"},
    {-0.0004, "00:00.000"},
    {-0.0006, "00:00.000"},
    {-1.0, "00:00.000"},
    {-0.0, "00:00.000"},
    {std::numeric_limits<double>::quiet_NaN(), "00:00.000"},
    {std::numeric_limits<double>::infinity(), "00:00.000"},
    {-std::numeric_limits<double>::infinity(), "00:00.000"},
    {9.3e15, "00:00.000"},  // beyond a signed 64-bit millisecond count
    {9.2e15, "153333333333333:20.000"},  // the longest text there is: 22 characters
};

// Both forms of the text, each against the characters written out above.
TEST(ClockText, RoundsHalfUpAndSplitsIntoMinutesSecondsMillis)
{
    for (const auto& [seconds, text] : CLOCK_CASES) {
        SCOPED_TRACE(testing::Message() << "seconds " << seconds);
        const std::string expected = text;
        char narrow[CLOCK_TEXT_CAPACITY];
        EXPECT_EQ(std::string(narrow, put_clock_text(narrow, seconds)), expected);
        wchar_t wide[CLOCK_TEXT_CAPACITY];
        format_clock(seconds, wide);
        EXPECT_EQ(std::wstring(wide), std::wstring(expected.begin(), expected.end()));
    }
}

// Frequency, ticks and the exact milliseconds, worked out with rational arithmetic.
static const std::int64_t ELAPSED_CASES[][3] = {
    {10'000'000, 0, 0},
    {10'000'000, 5'000, 1},   // exactly half a millisecond
    {10'000'000, 4'999, 0},   // just below it
    {10'000'000, 15'000, 2},  // 1.5 ms rounds up, not to even
    {10'000'000, 24'192'000'005'000, 2'419'200'001},  // four weeks of uptime and a half millisecond
    {10'000'000, 24'192'000'004'999, 2'419'200'000},
    {2'994'000'000, 1'497'000, 1},
    {2'994'000'000, 1'496'999, 0},
    {2'994'000'000, 5'432'313'601'497'000, 1'814'400'001},  // three weeks at a 3 GHz-class counter
    {2'994'000'000, 5'432'313'601'496'999, 1'814'400'000},
    {2'992'345'678, 9'007'199'254'740'992, 3'010'079'792},  // 2^53 ticks
    {10'000'000'000, 9'007'199'254'740'992, 900'719'925},
    {1'000, 9'007'199'254'740'992, 9'007'199'254'740'992},  // the largest product of all
};

TEST(ElapsedMs, RoundsToTheNearestMillisecondWithoutOverflow)
{
    for (const auto& [frequency, ticks, ms] : ELAPSED_CASES) {
        overlay.counter_frequency = frequency;
        overlay.visible_counter = 1'000'000;  // the difference counts, not the counter's own value
        EXPECT_EQ(elapsed_ms(overlay.visible_counter + ticks), ms) << "frequency " << frequency << ", ticks " << ticks;
    }
}
