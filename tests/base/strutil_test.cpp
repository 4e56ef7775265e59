#include "base/strutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Cp866, UpperCaseOverAllBytes) {
    for (int c = 0; c < 256; ++c) {
        int expect = c;
        if (c >= 'a' && c <= 'z') expect = c - 0x20;
        if (c >= 0xA0 && c <= 0xAF) expect = c - 0x20;
        if (c >= 0xE0 && c <= 0xEF) expect = c - 0x50;
        EXPECT_EQ(Cp866ToUpper(static_cast<unsigned char>(c)), expect) << c;
    }
    EXPECT_EQ(Cp866ToUpper(0xA0), 0x80);
    EXPECT_EQ(Cp866ToUpper(0xAF), 0x8F);
    EXPECT_EQ(Cp866ToUpper(0xE0), 0x90);
    EXPECT_EQ(Cp866ToUpper(0xEF), 0x9F);
    EXPECT_EQ(Cp866ToUpper(0xB0), 0xB0);
    EXPECT_EQ(Cp866ToUpper(0xF1), 0xF1);
}

TEST(Cp866, StringHelpers) {
    char s[] = "ab\xA5\xEF-z";
    EXPECT_STREQ(StrUpperCp866(s), "AB\x85\x9F-Z");
    EXPECT_EQ(StrEqualNoCase("Hello", "hELLO"), 1);
    EXPECT_EQ(StrEqualNoCase("Hello", "Hell"), 0);
    EXPECT_EQ(StrEqualNoCase("", ""), 1);
    EXPECT_EQ(StrEqualNoCase(nullptr, ""), 0);
    EXPECT_EQ(CharEqualNoCase(0xE0, 0x90), 1);
    EXPECT_EQ(CharEqualNoCase(0xF1, 0xF0), 0);
}

TEST(CString, InPlaceEdits) {
    char a[] = "a//b///c/";
    EXPECT_STREQ(SqueezeChar(a, '/'), "a/b/c/");
    char b[8] = "bc";
    EXPECT_STREQ(InsertChar(b, 'a'), "abc");
    EXPECT_STREQ(DeleteChar(b), "bc");
    char e[] = "";
    EXPECT_STREQ(DeleteChar(e), "");
    EXPECT_LT(MemCompare("ab\x01", "ab\xff", 3), 0);
    EXPECT_EQ(MemCompare("abc", "abd", 2), 0);
    EXPECT_EQ(MemCompare("x", "y", 0), 0);
    EXPECT_EQ(StrLength("four"), 4u);
    char d[10] = {};
    MemCopyWords(d, "123456789", 9);
    EXPECT_STREQ(d, "123456789");
}

TEST(StdString, CaseCompareAndTrim) {
    struct Case {
        const char *a, *b;
        int expect;
    } cases[] = {
        {"abc", "ABC", 0}, {"abc", "abd", -1}, {"b", "A", 1},
        {"ab", "abc", -1}, {"abc", "AB", 1},   {"", "", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrCaseCompare(c.a, c.b), c.expect) << c.a << " " << c.b;
        EXPECT_EQ(StrCaseCompareStrings(c.a, c.b), c.expect) << c.a << " " << c.b;
    }
    EXPECT_EQ(StrCaseCompare("", nullptr), 0);
    EXPECT_EQ(StrCaseCompare("x", nullptr), 1);
    EXPECT_EQ(StrCaseCompareCore("a\0b", 3, "a\0c", 3), -1);

    std::string s = " \t\r\n mixed Case \n\t";
    TrimWhitespace(s);
    EXPECT_EQ(s, "mixed Case");
    StringToLower(s);
    EXPECT_EQ(s, "mixed case");
    std::string blank = " \t \r\n";
    TrimWhitespace(blank);
    EXPECT_EQ(blank, "");
}

} // namespace
