#include "mail/mime/charclass.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstring>
#include <string>

namespace {

TEST(CharClass, TableOverEveryByte) {
    const std::string specials822 = "\"(),.:;<>@[\\]";
    const std::string tspecials1521 = "\"(),/:;<=>?@[\\]";
    ASSERT_EQ(specials822.size(), 13u);
    ASSERT_EQ(tspecials1521.size(), 15u);
    for (int c = 0; c < 256; ++c) {
        unsigned char expect = 0;
        if (c < 0x20 || c == 0x7F) expect |= kCharControl;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') expect |= kCharSpace;
        if (c && specials822.find(static_cast<char>(c)) != std::string::npos) expect |= kCharSpecial822;
        if (c && tspecials1521.find(static_cast<char>(c)) != std::string::npos) expect |= kCharTspecial1521;
        EXPECT_EQ(CharClassTable[static_cast<unsigned char>(c)], expect) << c;
    }
}

// The byte tests are those of the C locale whatever locale the process runs under.
TEST(CharClass, ByteTestsFollowTheCLocale) {
    std::string saved = setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) {
        if (!setlocale(LC_ALL, locale)) continue;
        for (int c = 0; c < 256; ++c) {
            unsigned char b = static_cast<unsigned char>(c);
            bool ascii = c < 0x80; // under any locale, bytes above 0x7F are none of these
            EXPECT_EQ(IsCSpace(b), ascii && isspace(c) != 0) << c;
            EXPECT_EQ(IsCDigit(b), ascii && isdigit(c) != 0) << c;
            EXPECT_EQ(IsCAlpha(b), ascii && isalpha(c) != 0) << c;
            EXPECT_EQ(IsCAlnum(b), ascii && isalnum(c) != 0) << c;
            EXPECT_EQ(IsCXDigit(b), ascii && isxdigit(c) != 0) << c;
            EXPECT_EQ(IsCUpper(b), ascii && isupper(c) != 0) << c;
            EXPECT_EQ(IsCLower(b), ascii && islower(c) != 0) << c;
            EXPECT_EQ(CToLower(b), ascii ? tolower(c) : c) << c;
            EXPECT_EQ(CToUpper(b), ascii ? toupper(c) : c) << c;
        }
    }
    setlocale(LC_ALL, saved.c_str());
    // Latin-1 capital and small A with grave: equal only by a locale's rules, never here.
    EXPECT_FALSE(EqualNoCaseC(std::string("\xc0"), "\xe0"));
    EXPECT_FALSE(IsCSpace(0xA0));
    EXPECT_FALSE(IsCSpace(0x85));
}

TEST(CharClass, EqualNoCase) {
    EXPECT_TRUE(EqualNoCaseC(std::string("Base64"), "bASE64"));
    EXPECT_TRUE(EqualNoCaseC(std::string(""), ""));
    EXPECT_TRUE(EqualNoCaseC(std::string(""), nullptr));
    EXPECT_FALSE(EqualNoCaseC(std::string("base6"), "base64"));
    EXPECT_FALSE(EqualNoCaseC("base64", 6, "base64\0", 7)); // lengths differ
    EXPECT_FALSE(EqualNoCaseC(std::string("@"), "`"));      // 0x40 and 0x60
    EXPECT_FALSE(EqualNoCaseC(std::string("["), "{"));
    // Every pair of bytes, in the middle of a text: equal exactly when their C-locale lower cases are.
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const char a[] = {'k', static_cast<char>(x), 'Q'};
            const char b[] = {'K', static_cast<char>(y), 'q'};
            const bool expected =
                CToLower(static_cast<unsigned char>(x)) == CToLower(static_cast<unsigned char>(y));
            ASSERT_EQ(EqualNoCaseC(a, 3, b, 3), expected) << x << " " << y;
        }
    }
}

} // namespace
