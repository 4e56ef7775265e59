#include "mail/mime/datetime.h"

#include <cstdio>
#include <cstdlib>

#include "mail/mime/datescan.h"
#include "mail/mime/generators.h"

namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kMaxZone = 23 * 60 + 59;
constexpr size_t kLocalZoneNameSize = 100;

bool ValuesFit(int year, int month, int day, int hour, int minute, int second, int zone) {
    return year >= 0 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 &&
           hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59 && zone >= -kMaxZone &&
           zone <= kMaxZone;
}

// The zone name goes into a comment: nothing that would end the comment or the line.
std::string CommentSafe(const std::string& name) {
    std::string safe;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F && c != '(' && c != ')' && c != '\\') safe += c;
    }
    return safe;
}

} // namespace

DwCreationHook<DwDateTime> DwDateTime::sNewDateTimeHook = nullptr;

DwDateTime::DwDateTime() {
    SetClass(kCidDateTime, "DwDateTime");
}

DwDateTime::DwDateTime(const std::string& text, DwMessageComponent* parent) : DwFieldBody(text, parent) {
    SetClass(kCidDateTime, "DwDateTime");
}

DwDateTime::DwDateTime(int local) {
    SetClass(kCidDateTime, "DwDateTime");
    SetFromUnixTime(CurrentTime(), local);
}

DwDateTime::DwDateTime(const DwDateTime& other)
    : DwFieldBody(other), year_(other.year_), month_(other.month_), day_(other.day_), hour_(other.hour_),
      minute_(other.minute_), second_(other.second_), zone_(other.zone_), zoneName_(other.zoneName_) {
    SetClass(kCidDateTime, "DwDateTime");
}

DwDateTime& DwDateTime::operator=(const DwDateTime& other) {
    if (this != &other) {
        DwFieldBody::operator=(other);
        year_ = other.year_;
        month_ = other.month_;
        day_ = other.day_;
        hour_ = other.hour_;
        minute_ = other.minute_;
        second_ = other.second_;
        zone_ = other.zone_;
        zoneName_ = other.zoneName_;
    }
    return *this;
}

DwDateTime::~DwDateTime() = default;

DwDateTime* DwDateTime::NewDateTime(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewDateTimeHook, text, parent);
}

DwMessageComponent* DwDateTime::Clone() const {
    return new DwDateTime(*this);
}

void DwDateTime::Parse() {
    SetModified(false);
    DwScannedDate d;
    ScanRfc822Date(text_, d); // an unreadable date leaves the defaults in d
    year_ = d.year;
    month_ = d.month + 1;
    day_ = d.day;
    hour_ = d.hour;
    minute_ = d.minute;
    second_ = d.second;
    zone_ = d.zone;
    zoneName_ = d.zoneName;
}

void DwDateTime::Assemble() {
    if (!IsModified()) return;
    int absZone = std::abs(zone_);
    char buffer[96];
    snprintf(buffer, sizeof buffer, "%s, %d %s %4d %02d:%02d:%02d %c%02d%02d", kDayNames[DayOfWeek()], day_,
             kMonthNames[((month_ - 1) % 12 + 12) % 12], year_, hour_, minute_, second_,
             zone_ < 0 ? '-' : '+', absZone / 60 % 24, absZone % 60);
    text_ = buffer;
    std::string name = CommentSafe(zoneName_);
    if (!name.empty()) text_ += " (" + name + ")";
    SetModified(false);
}

int DwDateTime::DayOfWeek() const {
    int64_t weekday = (DateToJulianDay(year_, month_, day_) + 1) % 7;
    return static_cast<int>(weekday < 0 ? weekday + 7 : weekday);
}

DwTime DwDateTime::AsUnixTime() const {
    struct tm utc = {};
    utc.tm_year = year_ - 1900;
    utc.tm_mon = month_ - 1;
    utc.tm_mday = day_;
    utc.tm_hour = hour_;
    utc.tm_min = minute_;
    utc.tm_sec = second_;
    DwTime t = UtcTmToTime(utc);
    if (t == -1) t = 0;
    return t - DwTime(zone_) * 60;
}

void DwDateTime::SetFromUnixTime(DwTime t, int local) {
    int offset = 0;
    char name[kLocalZoneNameSize] = "UTC";
    if (local) LocalZone(t, &offset, name, sizeof name);
    struct tm fields;
    TimeToUtcTm(t + DwTime(offset) * 60, &fields);
    year_ = fields.tm_year + 1900;
    month_ = fields.tm_mon + 1;
    day_ = fields.tm_mday;
    hour_ = fields.tm_hour;
    minute_ = fields.tm_min;
    second_ = fields.tm_sec;
    zone_ = offset;
    zoneName_ = name;
    MarkModified();
}

int DwDateTime::SetValues(int year, int month, int day, int hour, int minute, int second, int zone,
                          const char* zoneName) {
    if (!ValuesFit(year, month, day, hour, minute, second, zone)) return -1;
    year_ = year;
    month_ = month;
    day_ = day;
    hour_ = hour;
    minute_ = minute;
    second_ = second;
    zone_ = zone;
    zoneName_ = zoneName ? zoneName : "";
    MarkModified();
    return 0;
}

int DwDateTime::SetValuesLocal(int year, int month, int day, int hour, int minute, int second) {
    if (!ValuesFit(year, month, day, hour, minute, second, 0)) return -1;
    struct tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    DwTime t = UtcTmToTime(fields);
    int guess = 0, offset = 0;
    char name[kLocalZoneNameSize];
    LocalZone(t, &guess, nullptr, 0);
    LocalZone(t - DwTime(guess) * 60, &offset, name, sizeof name);
    return SetValues(year, month, day, hour, minute, second, offset, name);
}
