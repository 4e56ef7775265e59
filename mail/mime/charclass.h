// Byte classes of the MIME library: the RFC 822 / RFC 1521 class table of the tokenizers and
// byte tests by the rules of the C locale. Mail is parsed the same way whatever locale the
// process runs under, so nothing here asks <cctype>.
#pragma once

#include <cstddef>
#include <string>

enum : unsigned char {
    kCharControl = 1,      // 0x00-0x1F and DEL
    kCharSpace = 2,        // space, TAB, LF, CR
    kCharSpecial822 = 4,   // the 13 specials of RFC 822
    kCharTspecial1521 = 8, // the 15 tspecials of RFC 1521
};

// The class bits of every byte; bytes 0x80-0xFF have none.
struct CharClasses {
    unsigned char bits[256];
    constexpr unsigned char operator[](unsigned char c) const { return bits[c]; }
};
extern const CharClasses CharClassTable;

inline bool HasCharClass(unsigned char c, unsigned char classes) {
    return (CharClassTable[c] & classes) != 0;
}

// The C locale's isspace: space, TAB, LF, VT, FF, CR.
constexpr bool IsCSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
constexpr bool IsCDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsCUpper(unsigned char c) {
    return c >= 'A' && c <= 'Z';
}
constexpr bool IsCLower(unsigned char c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool IsCAlpha(unsigned char c) {
    return IsCUpper(c) || IsCLower(c);
}
constexpr bool IsCAlnum(unsigned char c) {
    return IsCAlpha(c) || IsCDigit(c);
}
constexpr bool IsCXDigit(unsigned char c) {
    return IsCDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
constexpr unsigned char CToLower(unsigned char c) {
    return IsCUpper(c) ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
constexpr unsigned char CToUpper(unsigned char c) {
    return IsCLower(c) ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

// Whole-string equality with A-Z equal to a-z and every other byte compared as it is.
// Inline: the names compared are short, and the call would cost as much as the compare.
inline bool EqualNoCaseC(const char* a, size_t lengthA, const char* b, size_t lengthB) {
    if (lengthA != lengthB) return false;
    for (size_t i = 0; i < lengthA; ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        // Two bytes apart in bit 0x20 alone are the two cases of a letter when either is a letter.
        if (x != y && ((x ^ y) != 0x20 || !IsCLower(x | 0x20))) return false;
    }
    return true;
}
inline bool EqualNoCaseC(const std::string& a, const char* b) {
    return EqualNoCaseC(a.data(), a.size(), b, b ? std::char_traits<char>::length(b) : 0);
}
