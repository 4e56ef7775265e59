#include "mail/mime/calendar.h"

namespace {

constexpr int64_t kJulianDay1970 = 2440588;
constexpr int64_t kSecondsPerDay = 86400;

// The formula's divisions truncate toward zero, as C++'s do; 64 bits keep every int date exact.
int64_t JulianDay(int64_t year, int64_t month, int64_t day) {
    int64_t a = (month - 14) / 12;
    return (1461 * (year + 4800 + a)) / 4 + (367 * (month - 2 - 12 * a)) / 12 -
           (3 * ((year + 4900 + a) / 100)) / 4 + day - 32075;
}

void CivilDate(int64_t julianDay, int64_t& year, int64_t& month, int64_t& day) {
    int64_t l = julianDay + 68569;
    int64_t n = (4 * l) / 146097;
    l = l - (146097 * n + 3) / 4;
    int64_t i = (4000 * (l + 1)) / 1461001;
    l = l - (1461 * i) / 4 + 31;
    int64_t j = (80 * l) / 2447;
    day = l - (2447 * j) / 80;
    l = j / 11;
    month = j + 2 - 12 * l;
    year = 100 * (n - 49) + i + l;
    if (year < 1) --year;
}

} // namespace

int64_t DateToJulianDay(int year, int month, int day) {
    return JulianDay(year, month, day);
}

void JulianDayToDate(int64_t julianDay, int* year, int* month, int* day) {
    int64_t y, m, d;
    CivilDate(julianDay, y, m, d);
    if (year) *year = static_cast<int>(y);
    if (month) *month = static_cast<int>(m);
    if (day) *day = static_cast<int>(d);
}

DwTime UtcTmToTime(const struct tm& utc) {
    int64_t days = DateToJulianDay(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday) - kJulianDay1970;
    return ((days * 24 + utc.tm_hour) * 60 + utc.tm_min) * 60 + utc.tm_sec;
}

void TimeToUtcTm(DwTime seconds, struct tm* utc) {
    if (!utc) return;
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) { // an instant before 1970 falls on its own day
        rest += kSecondsPerDay;
        --days;
    }
    int64_t julianDay = days + kJulianDay1970;
    int64_t year, month, day;
    CivilDate(julianDay, year, month, day);
    *utc = tm{};
    utc->tm_sec = static_cast<int>(rest % 60);
    utc->tm_min = static_cast<int>(rest / 60 % 60);
    utc->tm_hour = static_cast<int>(rest / 3600);
    utc->tm_mday = static_cast<int>(day);
    utc->tm_mon = static_cast<int>(month - 1);
    utc->tm_year = static_cast<int>(year - 1900);
    int64_t weekday = (julianDay + 1) % 7;
    utc->tm_wday = static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
    utc->tm_yday = static_cast<int>(julianDay - JulianDay(year, 1, 1));
}

void LocalZone(DwTime seconds, int* minutesEast, char* name, size_t nameSize) {
    int offset = 0;
    if (name && nameSize > 0) name[0] = '\0';
    struct tm local = {};
    time_t t = ToCalendarTime(seconds);
    if (FromCalendarTime(t) == seconds && localtime_r(&t, &local)) {
        offset = static_cast<int>((UtcTmToTime(local) - seconds) / 60);
        if (name && nameSize > 0 && strftime(name, nameSize, "%Z", &local) == 0) name[0] = '\0';
    }
    if (minutesEast) *minutesEast = offset;
}
