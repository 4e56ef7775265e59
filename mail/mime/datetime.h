// The field body of the date fields and of the date in a trace stamp.
#pragma once

#include <string>

#include "mail/mime/calendar.h"
#include "mail/mime/fieldbody.h"

// A calendar date and time of day with the zone offset they are written in. Reads RFC 822 dates
// leniently (an unreadable one gives 1970-01-01 00:00:00 +0000) and writes the RFC 822 form.
class DwDateTime : public DwFieldBody {
public:
    DwDateTime();
    DwDateTime(const std::string& text, DwMessageComponent* parent);
    // The current time, in the local zone when local is not 0, else in UTC; modified, so that
    // the first Assemble writes it.
    explicit DwDateTime(int local);
    DwDateTime(const DwDateTime& other);
    DwDateTime& operator=(const DwDateTime& other);
    ~DwDateTime() override;

    void Parse() override;
    // "Sat, 3 Jan 2004 10:00:00 -0500 (EST)": the weekday computed, the zone name only when known.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwDateTime* NewDateTime(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwDateTime> sNewDateTimeHook;

    int Year() const { return year_; }
    int Month() const { return month_; }
    int Day() const { return day_; }
    int Hour() const { return hour_; }
    int Minute() const { return minute_; }
    int Second() const { return second_; }
    int Zone() const { return zone_; }
    const std::string& ZoneName() const { return zoneName_; }

    // 0 is Sunday.
    int DayOfWeek() const;
    // Seconds since 1970 of the instant. The second before 1970 reads as 0 before the zone is
    // taken off, so that -1 stays free to mean "no date".
    DwTime AsUnixTime() const;
    DwTime AsCalendarTime() const { return AsUnixTime(); }
    // The fields of instant t: UTC (zone name "UTC") when local is 0, else the local time with
    // the local zone's offset and name.
    void SetFromUnixTime(DwTime t, int local);
    void SetFromCalendarTime(DwTime t, int local) { SetFromUnixTime(t, local); }
    // Stores the values; null zoneName is empty. -1, nothing stored, for a value the text could
    // not carry back: a month outside 1-12, a day outside 1-31, an hour, minute or second out of
    // range, a zone of 24 hours or more, a year outside 0-9999.
    int SetValues(int year, int month, int day, int hour, int minute, int second, int zone,
                  const char* zoneName);
    // The values as a local time: the zone is the local zone's at the instant they denote. -1 as
    // above.
    int SetValuesLocal(int year, int month, int day, int hour, int minute, int second);

private:
    int year_ = 1970;
    int month_ = 1;
    int day_ = 1;
    int hour_ = 0;
    int minute_ = 0;
    int second_ = 0;
    int zone_ = 0;
    std::string zoneName_;
};
