#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/codepagetables.h"
#include "base/recode.h"
#include "base/tvlist.h"

namespace {

const char* const kCp866 = "cp866";
const char* const kIso = "iso-8859-5";
const char* const kKoi8R = "koi8-r";
const char* const kKoi8U = "koi8-u";
const char* const kMac = "x-mac-cyrillic";
const char* const kMacU = "x-mac-cyrillic-u";
const char* const kWin = "windows-1251";

// The table of a built-in record as the program applies it: bytes 0x80-0xFF
// sent through RecodeString in one string.
std::vector<unsigned char> HighHalf(const char* from, const char* to) {
    char text[129];
    for (int i = 0; i < 128; ++i) text[i] = static_cast<char>(0x80 + i);
    text[128] = '\0';
    char out[129];
    EXPECT_EQ(RecodeString(text, out, from, to), 1) << from << " -> " << to;
    return std::vector<unsigned char>(out, out + 128);
}

unsigned char Map(const char* from, const char* to, int byte) {
    return HighHalf(from, to)[byte - 0x80];
}

struct Pair {
    const char* from;
    const char* to;
};

const std::vector<Pair> kBuiltinOrder = {
    {kCp866, kKoi8R}, {kIso, kKoi8R},   {kKoi8U, kKoi8R}, {kMac, kKoi8R}, {kMacU, kKoi8R}, {kWin, kKoi8R},
    {kCp866, kKoi8U}, {kIso, kKoi8U},   {kKoi8R, kKoi8U}, {kMac, kKoi8U}, {kMacU, kKoi8U}, {kWin, kKoi8U},
    {kCp866, kWin},   {kIso, kWin},     {kKoi8R, kWin},   {kKoi8U, kWin}, {kMac, kWin},    {kMacU, kWin},
    {kIso, kCp866},   {kKoi8R, kCp866}, {kKoi8U, kCp866}, {kMac, kCp866}, {kMacU, kCp866}, {kWin, kCp866},
    {kCp866, kMac},   {kIso, kMac},     {kKoi8R, kMac},   {kKoi8U, kMac}, {kMacU, kMac},   {kWin, kMac},
    {kCp866, kMacU},  {kWin, kIso},
};

TEST(CodePageTables, BuiltinRecordsInTheirOrder) {
    ASSERT_EQ(kBuiltinOrder.size(), static_cast<size_t>(BuiltinCodePageCount));
    for (int i = 0; i < BuiltinCodePageCount; ++i) {
        const DecodeData& record = BuiltinCodePages[i];
        EXPECT_STREQ(record.fromCharset, kBuiltinOrder[i].from) << i;
        EXPECT_STREQ(record.toCharset, kBuiltinOrder[i].to) << i;
        for (int b = 0; b < 0x80; ++b) ASSERT_EQ(record.table[b], 0) << i << " byte " << b;
        for (int b = 0x80; b < 0x100; ++b) ASSERT_NE(record.table[b], 0) << i << " byte " << b;
    }
}

TEST(CodePageTables, RegisterFillsTheListOnce) {
    CodePageList().Clear();
    EXPECT_EQ(RegisterBuiltinCodePages(), 1);
    EXPECT_EQ(CodePageList().Count(), 32u);
    EXPECT_EQ(RegisterBuiltinCodePages(), 0);
    EXPECT_EQ(CodePageList().Count(), 32u);
    // Recoding fills an emptied list again.
    CodePageList().Clear();
    char out[2];
    EXPECT_EQ(RecodeString("\xC1", out, kKoi8R, kCp866), 1);
    EXPECT_EQ(CodePageList().Count(), 32u);
}

struct Exception {
    const char* from;
    const char* to;
    int byte;
    int expected;
};

// Where these tables depart from the published mappings.
TEST(CodePageTables, EveryListedException) {
    const std::vector<Exception> cases = {
        {kKoi8U, kKoi8R, 0xAE, '?'},
        {kKoi8U, kKoi8R, 0xBE, '?'},
        {kKoi8R, kKoi8U, 0xAE, '?'},
        {kKoi8R, kKoi8U, 0xBE, '?'},
        {kCp866, kKoi8U, 0xBC, '?'},
        {kCp866, kKoi8U, 0xCE, '?'},
        {kKoi8U, kCp866, 0xAE, 0xF7},
        {kKoi8U, kCp866, 0xBE, 0xF6},
        {kKoi8U, kMac, 0xAD, '?'},
        {kKoi8U, kMac, 0xBD, '?'},
        {kMac, kKoi8U, 0xA2, '?'},
        {kMac, kKoi8U, 0xB6, '?'},
        {kMac, kWin, 0xA2, '?'},
        {kMac, kWin, 0xB6, '?'},
        {kMac, kWin, 0xFF, 0xA4},
        {kWin, kMac, 0x88, '?'},
        {kWin, kMac, 0xA5, '?'},
        {kWin, kMac, 0xB4, '?'},
        // Follows from the older Mac page having no Ukrainian GHE.
        {kMacU, kMac, 0xA2, '?'},
        {kMacU, kMac, 0xB6, '?'},
    };
    for (const Exception& c : cases)
        EXPECT_EQ(Map(c.from, c.to, c.byte), c.expected)
            << c.from << " -> " << c.to << " byte " << std::hex << c.byte;
}

TEST(CodePageTables, KnownCharacters) {
    const std::vector<Exception> cases = {
        {kCp866, kKoi8R, 0x80, 0xE1}, // А
        {kCp866, kWin, 0x80, 0xC0},   // А
        {kWin, kKoi8R, 0xA8, 0xB3},   // Ё
        {kWin, kKoi8R, 0xFF, 0xD1},   // я
        {kKoi8U, kWin, 0xA4, 0xBA},   // є
        {kKoi8R, kCp866, 0xA3, 0xF1}, // ё
        {kMac, kWin, 0xDF, 0xFF},     // я
        {kWin, kCp866, 0xB9, 0xFC},   // №
        {kWin, kIso, 0xC0, 0xB0},     // А
        {kCp866, kMacU, 0xF2, 0xB8},  // Є
        {kIso, kCp866, 0xF0, 0xFC},   // №
        {kKoi8R, kWin, 0x80, '?'},    // box drawing: the plain record has no look-alikes
        {kWin, kKoi8R, 0x98, '?'},    // no character there at all
    };
    for (const Exception& c : cases)
        EXPECT_EQ(Map(c.from, c.to, c.byte), c.expected)
            << c.from << " -> " << c.to << " byte " << std::hex << c.byte;
}

// Where both directions are built in, a character that survives one way comes
// back the other (outside the listed exceptions).
TEST(CodePageTables, ReversibleWhereBothWaysExist) {
    for (const Pair& p : kBuiltinOrder) {
        bool reverseBuiltin = false;
        for (const Pair& q : kBuiltinOrder) reverseBuiltin |= !strcmp(q.from, p.to) && !strcmp(q.to, p.from);
        if (!reverseBuiltin) continue;
        std::vector<unsigned char> there = HighHalf(p.from, p.to);
        std::vector<unsigned char> back = HighHalf(p.to, p.from);
        for (int b = 0x80; b < 0x100; ++b) {
            unsigned char t = there[b - 0x80];
            if (t == '?') continue;
            if (!strcmp(p.from, kKoi8U) && !strcmp(p.to, kCp866) && (b == 0xAE || b == 0xBE)) continue;
            ASSERT_GE(t, 0x80) << p.from << " -> " << p.to << " byte " << b;
            EXPECT_EQ(back[t - 0x80], b) << p.from << " -> " << p.to << " -> back, byte " << std::hex << b;
        }
    }
}

std::vector<unsigned char> LogTable() {
    char text[129];
    for (int i = 0; i < 128; ++i) text[i] = static_cast<char>(0x80 + i);
    text[128] = '\0';
    char out[129];
    EXPECT_EQ(RecodeKoi8ToWin1251(text, out), out);
    return std::vector<unsigned char>(out, out + 128);
}

TEST(LogRecoding, EveryEntry) {
    // Look-alikes for box drawing and signs, 0x80-0xBF.
    const unsigned char signs[64] = {
        0x2D, 0xA6, 0x2D, 0xAC, 0x4C, 0x2D, 0x2B, 0x2B, 0x54, 0x2B, 0x2B, 0x2D, 0x2D, 0x2D, 0xA6, 0xA6,
        0x2D, 0x2D, 0x2D, 0x3F, 0xA6, 0x95, 0x76, 0x3F, 0x3F, 0x3F, 0xA0, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F,
        0x3D, 0xA6, 0x2D, 0xB8, 0xE3, 0xE3, 0xAC, 0xAC, 0xAC, 0x4C, 0x4C, 0x4C, 0x2D, 0x2D, 0x2D, 0xA6,
        0xA6, 0xA6, 0xA6, 0xA8, 0xA6, 0xA6, 0x54, 0x54, 0x54, 0xA6, 0xA6, 0xA6, 0x2B, 0x2B, 0x2B, 0xA9,
    };
    // KOI8-R lists the letters in this order (positions in the alphabet
    // а..я); windows-1251 has them in alphabet order from 0xE0 (capitals 0xC0).
    const int koiOrder[32] = {30, 0,  1,  22, 4,  5,  20, 3, 21, 8,  9, 10, 11, 12, 13, 14,
                              15, 31, 16, 17, 18, 19, 6,  2, 28, 27, 7, 24, 29, 25, 23, 26};
    std::vector<unsigned char> table = LogTable();
    for (int i = 0; i < 64; ++i) EXPECT_EQ(table[i], signs[i]) << "byte " << std::hex << 0x80 + i;
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(table[0x40 + i], 0xE0 + koiOrder[i]) << "byte " << std::hex << 0xC0 + i;
        EXPECT_EQ(table[0x60 + i], 0xC0 + koiOrder[i]) << "byte " << std::hex << 0xE0 + i;
    }
}

TEST(LogRecoding, EdgeCases) {
    char out[16];
    RecodeKoi8ToWin1251("\xC1\xE1", out);
    EXPECT_STREQ(out, "\xE0\xC0");
    RecodeKoi8ToWin1251("\x80", out);
    EXPECT_STREQ(out, "-");
    RecodeKoi8ToWin1251("\xA3", out);
    EXPECT_STREQ(out, "\xB8");
    std::memset(out, 'x', sizeof out);
    RecodeKoi8ToWin1251("", out);
    EXPECT_STREQ(out, "");
    std::memset(out, 'x', sizeof out);
    RecodeKoi8ToWin1251(nullptr, out);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(RecodeKoi8ToWin1251("a", nullptr), nullptr);
    RecodeKoi8ToWin1251("Log: \x01\x0C\xF4\xC5\xD3\xD4\n", out);
    EXPECT_STREQ(out, "Log: \x01\x0C\xD2\xE5\xF1\xF2\n") << "bytes below 0x80 pass unchanged";
}

TEST(Cp866Recoding, WithTargetAndInPlace) {
    char text[] = "\x8F\xE0\xA8\xA2\xA5\xE2, \xF0!";
    char out[sizeof text];
    EXPECT_EQ(RecodeCp866ToKoi8(text, out), out);
    EXPECT_STREQ(out, "\xF0\xD2\xC9\xD7\xC5\xD4, \xB3!");
    EXPECT_STREQ(text, "\x8F\xE0\xA8\xA2\xA5\xE2, \xF0!") << "the source stays as it was";
    EXPECT_EQ(RecodeCp866ToKoi8(text, nullptr), text);
    EXPECT_STREQ(text, out);
    // The fixed table is the published one: the same as the built-in record.
    char all[129];
    for (int i = 0; i < 128; ++i) all[i] = static_cast<char>(0x80 + i);
    all[128] = '\0';
    RecodeCp866ToKoi8(all, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(all, all + 128), HighHalf(kCp866, kKoi8R));
}

TEST(RecodeString, NamesCompareWithoutCase) {
    char out[8];
    EXPECT_EQ(RecodeString("\xC1z", out, "KOI8-R", "CP866"), 1);
    EXPECT_STREQ(out, "\xA0z");
    EXPECT_EQ(RecodeString("\xC1z", out, "Koi8-R", "Windows-1251"), 1);
    EXPECT_STREQ(out, "\xE0z");
}

TEST(RecodeString, UnknownPairCopiesUnchanged) {
    const std::vector<Pair> unknown = {
        {kKoi8R, kKoi8R}, {"utf-8", kKoi8R}, {kIso, kMacU}, {kKoi8R, "koi8"}, {"", ""},
    };
    for (const Pair& p : unknown) {
        char out[8];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(RecodeString("\xC1\xE1q", out, p.from, p.to), 0) << p.from << " -> " << p.to;
        EXPECT_STREQ(out, "\xC1\xE1q");
    }
    char out[8] = "x";
    EXPECT_EQ(RecodeString("ab", out, nullptr, kKoi8R), 0);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(RecodeString(nullptr, out, kKoi8R, kCp866), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(RecodeString("ab", nullptr, kKoi8R, kCp866), 0);
}

TEST(RecodeString, InPlace) {
    char text[] = "\xEE\xD2\xC9\xD7\xC5\xD4 1";
    EXPECT_EQ(RecodeString(text, text, kKoi8R, kWin), 1);
    EXPECT_STREQ(text, "\xCD\xF0\xE8\xE2\xE5\xF2 1");
    EXPECT_EQ(RecodeString(text, text, "utf-7", kWin), 0);
    EXPECT_STREQ(text, "\xCD\xF0\xE8\xE2\xE5\xF2 1");
}

TEST(UpperCaseCyrillic, LettersAndNothingElse) {
    char sample[] = "\xC1\xA3\x61";
    EXPECT_EQ(UpperCaseCyrillic(sample), sample);
    EXPECT_STREQ(sample, "\xE1\xB3\x41");

    char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<char>(i);
    all[255] = '\0';
    UpperCaseCyrillic(all);
    for (int i = 1; i < 256; ++i) {
        int want = i;
        if (i >= 'a' && i <= 'z') want = i - 0x20;
        if (i >= 0xC0 && i <= 0xDF) want = i + 0x20;
        if (i == 0xA3) want = 0xB3;
        EXPECT_EQ(static_cast<unsigned char>(all[i - 1]), want) << "byte " << std::hex << i;
    }
    EXPECT_EQ(UpperCaseCyrillic(nullptr), nullptr);
}

} // namespace
