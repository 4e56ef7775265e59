#include "mail/mime/calendar.h"

#include "scoped_tz.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

#include "calendar_fixture.inc"

TEST(Calendar, JulianDaysAgainstPython) {
    EXPECT_EQ(DateToJulianDay(1970, 1, 1), 2440588);
    for (const JulianCase& c : kJulianCases) {
        EXPECT_EQ(DateToJulianDay(c.year, c.month, c.day), c.julianDay)
            << c.year << "-" << c.month << "-" << c.day;
        int year = 0, month = 0, day = 0;
        JulianDayToDate(c.julianDay, &year, &month, &day);
        EXPECT_EQ(year, c.year);
        EXPECT_EQ(month, c.month);
        EXPECT_EQ(day, c.day);
    }
    // The day before 1 January of the year 1 is in the year -1: there is no year 0.
    int year = 0, month = 0, day = 0;
    JulianDayToDate(1721425, &year, &month, &day);
    EXPECT_EQ(year, -1);
    EXPECT_EQ(month, 12);
    EXPECT_EQ(day, 31);
    JulianDayToDate(2440588, nullptr, &month, nullptr);
    EXPECT_EQ(month, 1);
}

TEST(Calendar, UtcBrokenDownTimeAgainstPython) {
    for (const UtcCase& c : kUtcCases) {
        struct tm utc;
        TimeToUtcTm(c.seconds, &utc);
        EXPECT_EQ(utc.tm_year + 1900, c.year) << c.seconds;
        EXPECT_EQ(utc.tm_mon + 1, c.month) << c.seconds;
        EXPECT_EQ(utc.tm_mday, c.day) << c.seconds;
        EXPECT_EQ(utc.tm_hour, c.hour) << c.seconds;
        EXPECT_EQ(utc.tm_min, c.minute) << c.seconds;
        EXPECT_EQ(utc.tm_sec, c.second) << c.seconds;
        EXPECT_EQ(utc.tm_wday, c.weekday) << c.seconds;
        EXPECT_EQ(utc.tm_yday, c.yearDay) << c.seconds;
        EXPECT_EQ(UtcTmToTime(utc), c.seconds);
    }
    struct tm epoch;
    TimeToUtcTm(0, &epoch);
    EXPECT_EQ(epoch.tm_year, 70);
    EXPECT_EQ(epoch.tm_wday, 4);
    EXPECT_EQ(epoch.tm_yday, 0);
    TimeToUtcTm(0, nullptr);
}

TEST(Calendar, FieldsOutsideTheirRangeCarry) {
    struct tm t = {};
    t.tm_year = 104;
    t.tm_mon = 0;
    t.tm_mday = 32; // 1 February
    t.tm_hour = 25;
    EXPECT_EQ(UtcTmToTime(t), 1075683600); // 2004-02-02 01:00:00
    EXPECT_EQ(FromCalendarTime(ToCalendarTime(1075683600)), 1075683600);
}

// Sets TZ for one test and restores it after.
class LocalZoneTest : public ::testing::Test {
protected:
    static void UseZone(const char* tz) { ScopedTz::Use(tz); }

private:
    ScopedTz saved_;
};

TEST_F(LocalZoneTest, OffsetAndNameUnderFixedZones) {
    struct {
        const char* tz;
        DwTime at;
        int minutes;
        const char* name;
    } cases[] = {
        {"EST5EDT,M3.2.0,M11.1.0", 1073142000, -300, "EST"},  // 2004-01-03 15:00 UTC
        {"EST5EDT,M3.2.0,M11.1.0", 1088683200, -240, "EDT"},  // 2004-07-01 12:00 UTC
        {"EST5EDT,M3.2.0,M11.1.0", -86400 * 10, -300, "EST"}, // 1969-12-22
        {"<+0530>-5:30", 1073142000, 330, "+0530"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1088683200, 120, "CEST"},
        {"UTC0", 0, 0, "UTC"},
    };
    for (const auto& c : cases) {
        UseZone(c.tz);
        int minutes = 12345;
        char name[16] = "junk";
        LocalZone(c.at, &minutes, name, sizeof name);
        EXPECT_EQ(minutes, c.minutes) << c.tz << " " << c.at;
        EXPECT_STREQ(name, c.name) << c.tz;
    }
}

TEST_F(LocalZoneTest, OptionalOutputsAndShortBuffers) {
    UseZone("EST5EDT,M3.2.0,M11.1.0");
    LocalZone(1073142000, nullptr, nullptr, 0);
    char tiny[3] = {'x', 'x', 'x'};
    int minutes = 0;
    LocalZone(1073142000, &minutes, tiny, sizeof tiny); // "EST" needs 4 bytes
    EXPECT_EQ(minutes, -300);
    EXPECT_EQ(tiny[0], '\0');
    char none = 'x';
    LocalZone(1073142000, nullptr, &none, 0);
    EXPECT_EQ(none, 'x');

    // An instant past what a 32-bit time_t holds gives no zone there.
    UseZone("UTC0");
    char name[16];
    LocalZone(DwTime(1) << 40, &minutes, name, sizeof name);
    EXPECT_EQ(minutes, 0);
    EXPECT_STREQ(name, sizeof(time_t) < 8 ? "" : "UTC");
}

} // namespace
