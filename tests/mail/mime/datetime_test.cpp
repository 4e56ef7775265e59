#include "mail/mime/datetime.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/mime/datescan.h"
#include "scoped_tz.h"

namespace {

#include "date_fixture.inc"

struct DateCase {
    const char* text;
    int year, month, day, hour, minute, second, zone;
    const char* zoneName;
};

void ExpectFields(const DwDateTime& d, const DateCase& c) {
    EXPECT_EQ(d.Year(), c.year) << c.text;
    EXPECT_EQ(d.Month(), c.month) << c.text;
    EXPECT_EQ(d.Day(), c.day) << c.text;
    EXPECT_EQ(d.Hour(), c.hour) << c.text;
    EXPECT_EQ(d.Minute(), c.minute) << c.text;
    EXPECT_EQ(d.Second(), c.second) << c.text;
    EXPECT_EQ(d.Zone(), c.zone) << c.text;
    EXPECT_EQ(d.ZoneName(), c.zoneName) << c.text;
}

// An unreadable date reads as the epoch in UTC, without a zone name.
#define EPOCH 1970, 1, 1, 0, 0, 0, 0, ""

TEST(DateTime, ScannerTable) {
    const DateCase cases[] = {
        {"Tue, 3 Jan 2004 10:00:00 +0100 (CET)", 2004, 1, 3, 10, 0, 0, 60, "CET"},
        {"3 Jan 04 10:00 GMT", 2004, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 99 10:00 GMT", 1999, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 49 10:00 GMT", 2049, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 50 10:00 GMT", 1950, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 104 10:00 GMT", 104, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 2004 10:00:00", EPOCH},
        {"3 Jan 2004 10:00:00 EDT", 2004, 1, 3, 10, 0, 0, -240, ""},
        {"3 Jan 2004 10:00:00 est", 2004, 1, 3, 10, 0, 0, -300, ""},
        {"3 Jan 2004 10:00:00 CDT", 2004, 1, 3, 10, 0, 0, -300, ""},
        {"3 Jan 2004 10:00:00 MDT", 2004, 1, 3, 10, 0, 0, -360, ""},
        {"3 Jan 2004 10:00:00 PST", 2004, 1, 3, 10, 0, 0, -480, ""},
        {"3 Jan 2004 10:00:00 UTC", 2004, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 2004 10:00:00 ut", 2004, 1, 3, 10, 0, 0, 0, ""},
        // The military letters with RFC 822's signs; a name that is not in the table falls back
        // to its first letter.
        {"3 Jan 2004 10:00:00 CET", 2004, 1, 3, 10, 0, 0, -180, ""},
        {"3 Jan 2004 10:00:00 X", 2004, 1, 3, 10, 0, 0, 660, ""},
        {"3 Jan 2004 10:00:00 A", 2004, 1, 3, 10, 0, 0, -60, ""},
        {"3 Jan 2004 10:00:00 K", 2004, 1, 3, 10, 0, 0, -600, ""},
        {"3 Jan 2004 10:00:00 M", 2004, 1, 3, 10, 0, 0, -720, ""},
        {"3 Jan 2004 10:00:00 N", 2004, 1, 3, 10, 0, 0, 60, ""},
        {"3 Jan 2004 10:00:00 Y", 2004, 1, 3, 10, 0, 0, 720, ""},
        {"3 Jan 2004 10:00:00 Z", 2004, 1, 3, 10, 0, 0, 0, ""},
        {"3 Jan 2004 10:00:00 p", 2004, 1, 3, 10, 0, 0, 180, ""},
        {"3 Jan 2004 10:00:00 u", 2004, 1, 3, 10, 0, 0, 480, ""},
        {"3 Jan 2004 10:00:00 J", EPOCH},
        {"3 Jan 2004 10:00:00 z", EPOCH},
        {"3 Jan 2004 10:00:00 x", EPOCH},
        // Months in any case, full names; the weekday is passed over, never checked.
        {"Mon, 3 jan 2004 10:00 +0000", 2004, 1, 3, 10, 0, 0, 0, ""},
        {"3 JAN 2004 10:00 +0000", 2004, 1, 3, 10, 0, 0, 0, ""},
        {"3 oCT 2004 10:00 +0000", 2004, 10, 3, 10, 0, 0, 0, ""},
        {"3 December 2004 10:00 +0000", 2004, 12, 3, 10, 0, 0, 0, ""},
        {"3 Foo 2004 10:00 +0000", EPOCH},
        {"31 Feb 2004 10:00 +0000", 2004, 2, 31, 10, 0, 0, 0, ""},
        // Out of range.
        {"32 Jan 2004 10:00 GMT", EPOCH},
        {"0 Jan 2004 10:00 GMT", EPOCH},
        {"3 Jan 2004 24:00 GMT", EPOCH},
        {"3 Jan 2004 10:60 GMT", EPOCH},
        {"3 Jan 2004 10:00:60 GMT", EPOCH},
        {"3 Jan 2004 10:00 -05", EPOCH},
        {"3 Jan 2004 10:00 +", EPOCH},
        // Zones no clock shows would not survive a round trip: refused.
        {"3 Jan 2004 10:00 +9999", EPOCH},
        {"3 Jan 2004 10:00 +2400", EPOCH},
        {"3 Jan 2004 10:00 -0060", EPOCH},
        {"3 Jan 2004 10:00 +2359", 2004, 1, 3, 10, 0, 0, 1439, ""},
        {"3 Jan 2004 10:00 -2359", 2004, 1, 3, 10, 0, 0, -1439, ""},
        // Comments anywhere; the zone's comment names it, cut to 19 bytes.
        {"(x 1 Feb) 3 (y) Jan (z) 2004 (10) 10:00 (a) +0100", 2004, 1, 3, 10, 0, 0, 60, ""},
        {"3 Jan 2004 10:00:00 +0100 (Central European Time, I guess)", 2004, 1, 3, 10, 0, 0, 60,
         "Central European Ti"},
        {"3 Jan 2004 10:00:00 +0100 ()", 2004, 1, 3, 10, 0, 0, 60, ""},
        {"3 Jan 2004 10:00:00 +0100 (a (b) c)", 2004, 1, 3, 10, 0, 0, 60, "a (b) c"},
        {"3 Jan 2004 10:00:00 +0100 (open", 2004, 1, 3, 10, 0, 0, 60, "open"},
        {"3 Jan 2004 10:00:00 (unclosed +0100", EPOCH},
        // Cut short anywhere: every look-ahead stays inside the text.
        {"3", EPOCH},
        {"3 J", EPOCH},
        {"3 Ja", EPOCH},
        {"3 Jan", EPOCH},
        {"3 Jan 2004", EPOCH},
        {"3 Jan 2004 10", EPOCH},
        {"3 Jan 2004 10:", EPOCH},
        {"3 Jan 2004 10:00:", EPOCH},
        {"3 Jan 2004 10:00 E", 2004, 1, 3, 10, 0, 0, -300, ""},
        {"3 Jan 2004 10:00 ES", 2004, 1, 3, 10, 0, 0, -300, ""},
        {"3 Jan 2004 10:00 G", 2004, 1, 3, 10, 0, 0, -420, ""},
        {"3 Jan 2004 10:00 GM", 2004, 1, 3, 10, 0, 0, -420, ""},
        {"3 Jan 2004 10:00 +010", EPOCH},
        {"", EPOCH},
    };
    for (const DateCase& c : cases) {
        DwDateTime d(c.text, nullptr);
        d.Parse();
        ExpectFields(d, c);
        EXPECT_FALSE(d.IsModified());
        EXPECT_EQ(d.Text(), c.text); // reading never changes the text
    }
}

TEST(DateTime, TextEndsAtNul) {
    DwScannedDate d;
    EXPECT_FALSE(ScanRfc822Date(std::string("3 Jan 2004 10:00\0 +0100", 23), d));
    EXPECT_TRUE(ScanRfc822Date(std::string("3 Jan 2004 10:00 +0100\0junk", 27), d));
    EXPECT_EQ(d.zone, 60);
}

TEST(DateTime, AgreesWithPythonOnRfc2822Dates) {
    for (const ReferenceDate& r : kReferenceDates) {
        DwScannedDate d;
        ASSERT_TRUE(ScanRfc822Date(r.text, d)) << r.text;
        EXPECT_EQ(d.year, r.year) << r.text;
        EXPECT_EQ(d.month + 1, r.month) << r.text;
        EXPECT_EQ(d.day, r.day) << r.text;
        EXPECT_EQ(d.hour, r.hour) << r.text;
        EXPECT_EQ(d.minute, r.minute) << r.text;
        EXPECT_EQ(d.second, r.second) << r.text;
        EXPECT_EQ(d.zone, r.zone) << r.text;
    }
}

TEST(DateTime, AssembleWritesTheComputedWeekday) {
    DwDateTime d("Tue, 3 Jan 2004 10:00:00 +0100 (CET)", nullptr);
    d.Parse();
    d.Assemble(); // not modified: the text stays
    EXPECT_EQ(d.Text(), "Tue, 3 Jan 2004 10:00:00 +0100 (CET)");
    d.MarkModified();
    d.Assemble();
    EXPECT_EQ(d.Text(), "Sat, 3 Jan 2004 10:00:00 +0100 (CET)");
    EXPECT_FALSE(d.IsModified());

    ASSERT_EQ(d.SetValues(2004, 1, 3, 10, 0, 0, -300, "EST"), 0);
    d.Assemble();
    EXPECT_EQ(d.Text(), "Sat, 3 Jan 2004 10:00:00 -0500 (EST)");
    ASSERT_EQ(d.SetValues(987, 12, 31, 23, 59, 59, -1439, nullptr), 0);
    d.Assemble();
    EXPECT_EQ(d.Text(), "Mon, 31 Dec  987 23:59:59 -2359");
    // A zone name cannot close the comment or start a line of its own.
    ASSERT_EQ(d.SetValues(2004, 1, 3, 10, 0, 0, 0, "a)\r\nBcc: x(y"), 0);
    d.Assemble();
    EXPECT_EQ(d.Text(), "Sat, 3 Jan 2004 10:00:00 +0000 (aBcc: xy)");

    d.SetFromUnixTime(0, 0);
    d.Assemble();
    EXPECT_EQ(d.Text(), "Thu, 1 Jan 1970 00:00:00 +0000 (UTC)");
}

TEST(DateTime, ValuesTheTextCannotCarryAreRefused) {
    DwDateTime d;
    ASSERT_EQ(d.SetValues(2004, 1, 3, 10, 0, 0, 60, "CET"), 0);
    d.Assemble();
    const std::string before = d.Text();
    const int bad[][7] = {
        {2004, 0, 3, 10, 0, 0, 0},    {2004, -5, 3, 10, 0, 0, 0},    {2004, 13, 3, 10, 0, 0, 0},
        {2004, 1, 0, 10, 0, 0, 0},    {2004, 1, 32, 10, 0, 0, 0},    {2004, 1, 3, 24, 0, 0, 0},
        {2004, 1, 3, -1, 0, 0, 0},    {2004, 1, 3, 10, 60, 0, 0},    {2004, 1, 3, 10, 0, 60, 0},
        {2004, 1, 3, 10, 0, 0, 1440}, {2004, 1, 3, 10, 0, 0, -6039}, {10000, 1, 3, 10, 0, 0, 0},
        {-1, 1, 3, 10, 0, 0, 0},
    };
    for (const auto& v : bad) {
        EXPECT_EQ(d.SetValues(v[0], v[1], v[2], v[3], v[4], v[5], v[6], "X"), -1) << v[1] << " " << v[6];
        EXPECT_FALSE(d.IsModified());
        EXPECT_EQ(d.Month(), 1);
        EXPECT_EQ(d.Zone(), 60);
    }
    EXPECT_EQ(d.SetValuesLocal(2004, 13, 1, 0, 0, 0), -1);
    d.Assemble();
    EXPECT_EQ(d.Text(), before);

    // Every value that is taken comes back from its own text.
    ASSERT_EQ(d.SetValues(2004, 12, 31, 23, 59, 59, 1439, nullptr), 0);
    d.Assemble();
    DwDateTime again(d.Text(), nullptr);
    again.Parse();
    EXPECT_EQ(again.AsUnixTime(), d.AsUnixTime());
    EXPECT_EQ(again.Zone(), 1439);
}

// Days since 1970 by a method of its own (days from civil, era-based), to check the Julian-day
// arithmetic over many years.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

TEST(DateTime, WeekdayAndUnixTimeOverFourHundredYears) {
    static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    DwDateTime d;
    for (int year = 1800; year < 2200; ++year) {
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; ++month) {
            int days = month == 2 && !leap ? 28 : kMonthDays[month - 1];
            for (int day = 1; day <= days; day += (day == 1 ? 13 : days - 14)) {
                ASSERT_EQ(d.SetValues(year, month, day, 13, 14, 15, -90, nullptr), 0);
                long long civil = DaysFromCivil(year, month, day);
                ASSERT_EQ(d.DayOfWeek(), ((civil + 4) % 7 + 7) % 7) << year << "-" << month << "-" << day;
                long long seconds = civil * 86400 + 13 * 3600 + 14 * 60 + 15 + 90 * 60;
                ASSERT_EQ(d.AsUnixTime(), seconds) << year << "-" << month << "-" << day;
                DwDateTime back;
                back.SetFromUnixTime(seconds, 0);
                ASSERT_EQ(back.Year(), year);
                ASSERT_EQ(back.Month(), month);
                ASSERT_EQ(back.Day(), day);
                ASSERT_EQ(back.Hour(), 14);
                ASSERT_EQ(back.Minute(), 44);
            }
        }
    }
    // The UTC second before 1970 reads as 0 before the zone is taken off.
    ASSERT_EQ(d.SetValues(1969, 12, 31, 23, 59, 59, 0, nullptr), 0);
    EXPECT_EQ(d.AsUnixTime(), 0);
    ASSERT_EQ(d.SetValues(1969, 12, 31, 23, 59, 58, 0, nullptr), 0);
    EXPECT_EQ(d.AsUnixTime(), -2);
    ASSERT_EQ(d.SetValues(2004, 1, 3, 10, 0, 0, 60, nullptr), 0);
    EXPECT_EQ(d.AsUnixTime(), 1073120400); // 09:00:00 UTC
}

TEST(DateTime, LocalTimeAcrossADaylightSavingChange) {
    ScopedTz tz("EST5EDT,M3.2.0,M11.1.0");
    // 2004-03-14 07:00:00 UTC: 02:00 EST becomes 03:00 EDT.
    const DwTime change = 1079247600;
    const struct {
        DwTime at;
        int hour, minute, zone;
        const char* name;
    } instants[] = {
        {change - 3600, 1, 0, -300, "EST"},
        {change - 1, 1, 59, -300, "EST"},
        {change, 3, 0, -240, "EDT"},
        {change + 1800, 3, 30, -240, "EDT"},
    };
    for (const auto& c : instants) {
        DwDateTime d;
        d.SetFromUnixTime(c.at, 1);
        EXPECT_EQ(d.Day(), 14) << c.at;
        EXPECT_EQ(d.Hour(), c.hour) << c.at;
        EXPECT_EQ(d.Minute(), c.minute) << c.at;
        EXPECT_EQ(d.Zone(), c.zone) << c.at;
        EXPECT_EQ(d.ZoneName(), c.name) << c.at;
        EXPECT_EQ(d.AsUnixTime(), c.at);
        EXPECT_TRUE(d.IsModified());

        DwDateTime local;
        ASSERT_EQ(local.SetValuesLocal(2004, 3, 14, c.hour, c.minute, d.Second()), 0);
        EXPECT_EQ(local.Zone(), c.zone) << c.at;
        EXPECT_EQ(local.ZoneName(), c.name) << c.at;
        EXPECT_EQ(local.AsUnixTime(), c.at);
    }
    DwDateTime winter;
    ASSERT_EQ(winter.SetValuesLocal(2004, 1, 3, 10, 0, 0), 0);
    winter.Assemble();
    EXPECT_EQ(winter.Text(), "Sat, 3 Jan 2004 10:00:00 -0500 (EST)");
    DwDateTime summer;
    ASSERT_EQ(summer.SetValuesLocal(2004, 7, 3, 10, 0, 0), 0);
    summer.Assemble();
    EXPECT_EQ(summer.Text(), "Sat, 3 Jul 2004 10:00:00 -0400 (EDT)");
}

TEST(DateTime, CopiesAndTheClockConstructor) {
    DwDateTime d("3 Jan 2004 10:00:00 +0100 (CET)", nullptr);
    d.Parse();
    DwDateTime copy(d);
    EXPECT_EQ(copy.Parent(), nullptr);
    EXPECT_EQ(copy.ClassId(), kCidDateTime);
    EXPECT_STREQ(copy.ClassName(), "DwDateTime");
    EXPECT_EQ(copy.AsUnixTime(), d.AsUnixTime());
    EXPECT_EQ(copy.ZoneName(), "CET");
    DwDateTime assigned;
    assigned = d;
    EXPECT_EQ(assigned.Text(), d.Text());
    EXPECT_EQ(assigned.Zone(), 60);
    std::unique_ptr<DwMessageComponent> clone(d.Clone());
    EXPECT_EQ(static_cast<DwDateTime&>(*clone).Day(), 3);

    ScopedTz tz("UTC0");
    DwDateTime now(0);
    EXPECT_TRUE(now.IsModified());
    EXPECT_EQ(now.ZoneName(), "UTC");
    now.Assemble();
    DwDateTime reread(now.Text(), nullptr);
    reread.Parse();
    EXPECT_EQ(reread.AsUnixTime(), now.AsUnixTime());
}

} // namespace
