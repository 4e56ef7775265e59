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
