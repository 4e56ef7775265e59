#include "mail/mime/charclass.h"

namespace {

constexpr CharClasses MakeCharClasses() {
    CharClasses table = {};
    for (int c = 0; c < 0x20; ++c) table.bits[c] = kCharControl;
    table.bits[0x7F] = kCharControl;
    for (unsigned char c : {' ', '\t', '\n', '\r'}) table.bits[c] |= kCharSpace;
    for (unsigned char c : {'"', '(', ')', ',', '.', ':', ';', '<', '>', '@', '[', '\\', ']'})
        table.bits[c] |= kCharSpecial822;
    for (unsigned char c : {'"', '(', ')', ',', '/', ':', ';', '<', '=', '>', '?', '@', '[', '\\', ']'})
        table.bits[c] |= kCharTspecial1521;
    return table;
}

} // namespace

constexpr CharClasses CharClassTable = MakeCharClasses();

bool EqualNoCaseC(const char* a, size_t lengthA, const char* b, size_t lengthB) {
    if (lengthA != lengthB) return false;
    for (size_t i = 0; i < lengthA; ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        // Two bytes apart in bit 0x20 alone are the two cases of a letter when either is a letter.
        if (x != y && ((x ^ y) != 0x20 || !IsCLower(x | 0x20))) return false;
    }
    return true;
}
