// Calendar arithmetic of the date fields: Julian day numbers, broken-down UTC time and the
// local zone's offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The library's time value: seconds since 1970-01-01 00:00 UTC, wide enough on every platform
// for dates before 1970 and after 2038.
using DwTime = int64_t;

// Julian day number of a Gregorian date (Fliegel and Van Flandern); 1970-01-01 is 2440588.
int64_t DateToJulianDay(int year, int month, int day);
// The inverse; a year below 1 is lowered by one more (there is no year 0). Null outputs are
// skipped.
void JulianDayToDate(int64_t julianDay, int* year, int* month, int* day);

// Seconds of a broken-down UTC time (tm_year from 1900, tm_mon from 0; the fields are not
// range-checked).
DwTime UtcTmToTime(const struct tm& utc);
// Broken-down UTC time of an instant, with weekday (0 Sunday) and day of the year; nothing
// happens for a null output.
void TimeToUtcTm(DwTime seconds, struct tm* utc);

inline time_t ToCalendarTime(DwTime seconds) {
    return static_cast<time_t>(seconds);
}
inline DwTime FromCalendarTime(time_t seconds) {
    return static_cast<DwTime>(seconds);
}

// The local zone's offset from UTC at an instant in minutes east of UTC, and its "%Z"
// abbreviation when a buffer of positive size is given (always NUL-terminated). An instant the
// system cannot place gives 0 and an empty name. A change of TZ takes effect after tzset().
void LocalZone(DwTime seconds, int* minutesEast, char* name, size_t nameSize);
