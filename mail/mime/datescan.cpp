#include "mail/mime/datescan.h"

#include <cstring>

#include "mail/mime/charclass.h"

namespace {

constexpr size_t kMaxZoneName = 19;
constexpr int kMaxZoneHours = 23;
constexpr int kMaxZoneMinutes = 59;

class DateReader {
public:
    explicit DateReader(const std::string& text) : s_(text.data()), end_(strnlen(text.data(), text.size())) {}

    bool AtEnd() const { return pos_ >= end_; }
    char Peek(size_t ahead = 0) const { return pos_ + ahead < end_ ? s_[pos_ + ahead] : '\0'; }
    size_t Pos() const { return pos_; }
    void Advance() { ++pos_; }

    // Moves on until accept() holds for the current character, jumping over comments. False at
    // the end of the text.
    template <class Accept> bool SkipTo(Accept accept) {
        while (pos_ < end_) {
            if (accept(static_cast<unsigned char>(s_[pos_]))) return true;
            if (s_[pos_] == '(')
                pos_ = CommentEnd(pos_);
            else
                ++pos_;
        }
        return false;
    }

    // One or two (up to four for a year) decimal digits at the current position.
    int Number(int maxDigits) {
        int value = 0;
        for (int i = 0; i < maxDigits && pos_ < end_ && IsCDigit(s_[pos_]); ++i, ++pos_)
            value = value * 10 + (s_[pos_] - '0');
        return value;
    }

    // The index after the comment opening at start (nesting counted, a backslash escapes); the
    // end of the text when it is not closed.
    size_t CommentEnd(size_t start, bool* closed = nullptr) const {
        int depth = 0;
        for (size_t i = start; i < end_; ++i) {
            if (s_[i] == '\\') {
                ++i;
            } else if (s_[i] == '(') {
                ++depth;
            } else if (s_[i] == ')' && --depth == 0) {
                if (closed) *closed = true;
                return i + 1;
            }
        }
        if (closed) *closed = false;
        return end_;
    }

    // The inside of the first comment from the current position, cut to kMaxZoneName bytes.
    std::string ZoneName() const {
        const void* open = memchr(s_ + pos_, '(', end_ - pos_);
        if (!open) return std::string();
        size_t start = static_cast<const char*>(open) - s_;
        bool closed = false;
        size_t stop = CommentEnd(start, &closed);
        if (stop - start <= 2) return std::string();
        size_t inside = stop - start - (closed ? 2 : 1);
        return std::string(s_ + start + 1, inside < kMaxZoneName ? inside : kMaxZoneName);
    }

private:
    const char* s_;
    size_t end_;
    size_t pos_ = 0;
};

bool IsMonthStart(unsigned char c) {
    return (c >= 'A' && c <= 'S') || (c >= 'a' && c <= 's');
}

bool IsZoneStart(unsigned char c) {
    return IsCAlpha(c) || c == '+' || c == '-';
}

int MonthIndex(char a, char b, char c) {
    static const char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    char name[3] = {static_cast<char>(CToLower(a)), static_cast<char>(CToLower(b)),
                    static_cast<char>(CToLower(c))};
    for (int i = 0; i < 12; ++i)
        if (memcmp(kMonths + 3 * i, name, 3) == 0) return i;
    return -1;
}

// +hhmm or -hhmm: the sign, then (after anything that is not a digit) four digits.
bool NumericZone(DateReader& r, int& zone) {
    int sign = r.Peek() == '-' ? -1 : 1;
    r.Advance();
    while (!r.AtEnd() && !IsCDigit(r.Peek())) r.Advance();
    for (size_t i = 0; i < 4; ++i)
        if (!IsCDigit(r.Peek(i))) return false;
    int hours = (r.Peek(0) - '0') * 10 + (r.Peek(1) - '0');
    int minutes = (r.Peek(2) - '0') * 10 + (r.Peek(3) - '0');
    // A zone no clock can show would come back changed from the next assembly.
    if (hours > kMaxZoneHours || minutes > kMaxZoneMinutes) return false;
    zone = sign * (hours * 60 + minutes);
    return true;
}

// The military zone of one letter by RFC 822: A-I and K-M west, N-Y east, Z naught.
bool MilitaryZone(char letter, int& zone) {
    if (letter >= 'A' && letter <= 'I') {
        zone = -60 * (letter - 'A' + 1);
    } else if (letter >= 'K' && letter <= 'M') {
        zone = -60 * (letter - 'K' + 10);
    } else if (letter >= 'N' && letter <= 'Y') {
        zone = 60 * (letter - 'N' + 1);
    } else if (letter == 'Z') {
        zone = 0;
    } else {
        return false;
    }
    return true;
}

bool NamedZone(const DateReader& r, int& zone) {
    char first = r.Peek();
    char second = static_cast<char>(CToUpper(r.Peek(1)));
    char third = static_cast<char>(CToUpper(r.Peek(2)));
    if (IsCLower(first) && !strchr("cegmpu", first)) return false;
    char letter = static_cast<char>(CToUpper(first));
    // Daylight and standard names of the four North American zones, by their first letter.
    struct Pair {
        char letter;
        int standard, daylight;
    };
    static const Pair kAmerican[] = {
        {'E', -300, -240}, {'C', -360, -300}, {'M', -420, -360}, {'P', -480, -420}};
    if (letter == 'U' && second == 'T') {
        zone = 0;
        return true;
    }
    if (letter == 'G' && second == 'M' && third == 'T') {
        zone = 0;
        return true;
    }
    for (const Pair& p : kAmerican) {
        if (letter == p.letter && third == 'T' && (second == 'S' || second == 'D')) {
            zone = second == 'S' ? p.standard : p.daylight;
            return true;
        }
    }
    return MilitaryZone(letter, zone);
}

bool Scan(DateReader& r, DwScannedDate& d) {
    if (!r.SkipTo(IsCDigit)) return false;
    d.day = r.Number(2);
    if (d.day < 1 || d.day > 31) return false;

    if (!r.SkipTo(IsMonthStart)) return false;
    d.month = MonthIndex(r.Peek(0), r.Peek(1), r.Peek(2));
    if (d.month < 0) return false;
    r.Advance();

    if (!r.SkipTo(IsCDigit)) return false;
    d.year = r.Number(4);
    if (d.year < 50)
        d.year += 2000;
    else if (d.year < 100)
        d.year += 1900;

    if (!r.SkipTo(IsCDigit)) return false;
    d.hour = r.Number(2);
    if (d.hour > 23) return false;

    if (!r.SkipTo([](unsigned char c) { return c == ':'; })) return false;
    if (!r.SkipTo(IsCDigit)) return false;
    d.minute = r.Number(2);
    if (d.minute > 59) return false;

    if (!r.SkipTo([](unsigned char c) { return IsZoneStart(c) || c == ':'; })) return false;
    if (r.Peek() == ':') {
        if (!r.SkipTo(IsCDigit)) return false;
        d.second = r.Number(2);
        if (d.second > 59) return false;
        if (!r.SkipTo(IsZoneStart)) return false;
    }
    bool zoned = IsCAlpha(r.Peek()) ? NamedZone(r, d.zone) : NumericZone(r, d.zone);
    if (!zoned) return false;
    d.zoneName = r.ZoneName();
    return true;
}

} // namespace

bool ScanRfc822Date(const std::string& text, DwScannedDate& out) {
    DateReader reader(text);
    DwScannedDate scanned;
    if (Scan(reader, scanned)) {
        out = scanned;
        return true;
    }
    out = DwScannedDate();
    return false;
}
