// The lenient reader of RFC 822 dates behind the date field body.
#pragma once

#include <string>

struct DwScannedDate {
    int year = 1970;
    int month = 0; // 0 is January
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int zone = 0;         // minutes east of UTC
    std::string zoneName; // the inside of the comment after the zone, at most 19 bytes
};

// Reads day, month name, year, hour, minute, optional seconds and a zone, passing over anything
// else (a weekday name, comments) on the way. Two-digit years below 50 are 20xx, 50 to 99 19xx.
// The single military letters carry RFC 822's signs (A is -1 hour, N +1 hour), which RFC 1123
// calls reversed; they are kept as mail has long been read. False, with out at 1970-01-01
// 00:00:00 +0000, when a part is missing or out of range; a numeric zone must be four digits
// of at most 23 hours and 59 minutes. The text ends at its first NUL.
bool ScanRfc822Date(const std::string& text, DwScannedDate& out);
