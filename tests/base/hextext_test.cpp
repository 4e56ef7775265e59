#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/hextext.h"
#include "base/wordpair.h"

namespace {

TEST(HexText, BytesToHexWritesUpperCasePairs) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00, 0x5c};
    char text[9];
    EXPECT_EQ(BytesToHex(bytes, 2, text), 1);
    EXPECT_STREQ(text, "0AFF");
    EXPECT_EQ(BytesToHex(bytes, 4, text), 1);
    EXPECT_STREQ(text, "0AFF005C");

    std::memset(text, '#', sizeof text);
    EXPECT_EQ(BytesToHex(bytes, 0, text), 0);
    EXPECT_EQ(BytesToHex(bytes, -1, text), 0);
    EXPECT_EQ(BytesToHex(nullptr, 2, text), 0);
    EXPECT_EQ(BytesToHex(bytes, 2, nullptr), 0);
    EXPECT_EQ(text[0], '#') << "a refused call writes nothing";
}

TEST(HexText, HexToBytesReadsBothCases) {
    unsigned char out[4] = {};
    EXPECT_EQ(HexToBytes("0aFf10", out, sizeof out), 1);
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0x10);
    EXPECT_EQ(out[3], 0) << "nothing beyond the bytes of the text";
}

TEST(HexText, HexToBytesRefusesBadTextAndNeverWritesPastItsOutput) {
    const struct {
        const char* text;
        size_t size;
        const char* why;
    } cases[] = {
        {"", 4, "empty"},
        {"ABC", 4, "odd length"},
        {"0G", 4, "not a hexadecimal digit"},
        {"12 4", 4, "a blank"},
        {"1x", 4, "a letter beyond F"},
        {"-1", 4, "a sign"},
        {"0102030405", 4, "five bytes into four"},
        {"01", 0, "no room at all"},
    };
    for (const auto& c : cases) {
        unsigned char out[6];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(HexToBytes(c.text, out, c.size), 0) << c.why;
        for (unsigned char b : out) EXPECT_EQ(b, 0xEE) << c.why << ": nothing is written";
    }
    unsigned char out[2] = {0xEE, 0xEE};
    EXPECT_EQ(HexToBytes("7F", out, 1), 1) << "exactly the room it needs";
    EXPECT_EQ(out[0], 0x7F);
    EXPECT_EQ(out[1], 0xEE);
}

TEST(WordPair, SecondWordThenFirstWithinTheBuffer) {
    const uint32_t pair[2] = {5, 7};
    char text[32];
    FormatWordPair(pair, text, 16);
    EXPECT_STREQ(text, "75");
    FormatWordPair(pair, text, 1);
    EXPECT_STREQ(text, "");

    std::memset(text, '#', sizeof text);
    FormatWordPair(pair, text, 17);
    EXPECT_STREQ(text, "") << "a size above 16 gives an empty text";

    const uint32_t big[2] = {4294967295u, 4000000000u};
    std::memset(text, '#', sizeof text);
    FormatWordPair(big, text, 16);
    EXPECT_STREQ(text, "400000000042949") << "cut to the 15 characters that fit";
    EXPECT_EQ(text[16], '#') << "nothing written past the given size";

    std::memset(text, '#', sizeof text);
    FormatWordPair(pair, text, 0);
    EXPECT_EQ(text[0], '#') << "a buffer of no bytes is left alone";
}

} // namespace
