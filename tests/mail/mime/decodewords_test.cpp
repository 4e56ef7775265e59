#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mime/decodewords.h"

namespace {

using namespace std::string_literals;

std::string Decoded(const std::string& text, const char* target = "utf-8") {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    EXPECT_EQ(DecodeEncodedWords(buffer.data(), target), 0);
    const std::string out(buffer.data());
    EXPECT_LE(out.size(), text.size()) << text;
    return out;
}

struct Case {
    const char* name;
    std::string input;
    std::string output;
};

TEST(DecodeEncodedWordsTest, Table) {
    const Case cases[] = {
        {"words joined over a blank", "=?utf-8?Q?a?= =?utf-8?Q?b?=", "ab"},
        {"a leading '_' is a blank of its own", "=?utf-8?Q?a?= =?utf-8?Q?_b?=", "a b"},
        {"joined over any white space", "=?x?Q?a?=\t\r\n =?x?B?Yg==?=", "ab"},
        {"adjacent words without a blank", "=?x?Q?a?==?x?Q?b?=", "ab"},
        {"plain text keeps its blanks", "plain =?x?Q?x?= plain", "plain x plain"},
        {"text right after a word", "=?x?Q?a?=b =?x?Q?c?=", "ab c"},
        {"unknown letter", "=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"letter not followed by '?'", "=?utf-8?QQ?abc?=", "=?utf-8?QQ?abc?="},
        {"language suffix", "=?utf-8*en?Q?x?= y", "x y"},
        {"no closing", "=?x?Q?abc", "=?x?Q?abc"},
        {"too few marks", "=?x?=", "=?x?="},
        {"bare start", "=?", "=?"},
        {"empty charset and text", "a =?\?Q?\?= b", "a  b"},
        {"lower-case letters", "=?x?q?a?= =?x?b?Yg==?=", "ab"},
        {"B: invalid byte in the middle", "=?x?B?SGVsbG8*abc?= z", "Hel*abc z"},
        {"B: raw 0xFF in the middle", "=?x?B?YWJj\xffJj?= =?x?Q?c?=", "abc\xffJjc"},
        {"B: fill first", "=?x?B?=abc?=", "c"},
        {"B: fill third, not fourth", "=?x?B?YW=j?=", "j"},
        {"B: after the fill the rest is copied", "=?x?B?SGk=  xyz?=", "Hixyz"},
        {"B: white space between symbols", "=?x?B?SG k=?=", "Hi"},
        {"B: without fill characters", "=?x?B?SGk?= =?x?B?SGVsbG8?=", "HiHello"},
        {"B: single symbol left", "=?x?B?SGVsb?=", "Hel"},
        {"Q: escapes of either case", "=?x?Q?=3D=3d=E9?=", "==\xe9"},
        {"Q: bad escape copies the rest", "=?x?Q?a=ZZb_c=41?=", "a=ZZb c=41"},
        {"Q: half an escape", "=?x?Q?a=4Zb?=", "a=4Zb"},
        {"Q: '=' at the end", "=?x?Q?a=?=", "a="},
        {"Q: soft line breaks", "=?x?Q?a=\r\nb=\nc=\rd?=", "abcd"},
        {"Q: raw 0xFF does not end the text",
         "=?x?Q?a\xff"
         "b?= rest =?x?Q?c?=",
         "a\xff"
         "b rest c"},
        {"Q: =00 does not end the text", "=?x?Q?a=00b?= rest =?x?Q?c?=", "ab rest c"},
        {"B: NUL bytes left out", "=?x?B?YQBi?= rest", "ab rest"},
        {"nothing to decode", "plain text", "plain text"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(Decoded(c.input), c.output) << c.name;
}

TEST(DecodeEncodedWordsTest, RecodesIntoTheTarget) {
    // windows-1251 0xC0 and KOI8-R 0xE1 are both the capital letter A of the Cyrillic alphabet.
    EXPECT_EQ(Decoded("=?windows-1251?Q?=C0?=", "koi8-r"), "\xe1");
    EXPECT_EQ(Decoded("=?WINDOWS-1251?B?wA==?= x", "KOI8-R"), "\xe1 x");
    EXPECT_EQ(Decoded("=?koi8-r*ru?Q?=E1?=", "windows-1251"), "\xc0");
    // No table for the pair: the bytes stay.
    EXPECT_EQ(Decoded("=?utf-8?Q?=D0=90?=", "koi8-r"), "\xd0\x90");
}

// The charset buffer holds 255 bytes and a NUL: a longer name leaves the word as written.
TEST(DecodeEncodedWordsTest, CharsetNameLengths) {
    for (size_t length : {1u, 254u, 255u, 256u, 300u, 5000u}) {
        const std::string word = "=?" + std::string(length, 'c') + "?Q?x?=";
        const std::string expected = length <= 255 ? "x" : word;
        EXPECT_EQ(Decoded("a " + word + " b"), "a " + expected + " b") << length;
    }
}

// Long header texts made of many words, or of many word starts with no end, are walked once: the
// text closes up behind each word in the same pass, and a search for a word's end is not repeated.
TEST(DecodeEncodedWordsTest, LongTextsOfManyWords) {
    std::string words, expected;
    for (int i = 0; i < 50000; ++i) {
        words += "=?x?Q?ab?= ";
        expected += "ab";
    }
    EXPECT_EQ(Decoded(words + "end"), expected + " end");

    std::string starts;
    for (int i = 0; i < 200000; ++i) starts += "=?";
    EXPECT_EQ(Decoded(starts), starts);

    std::string rejected;
    for (int i = 0; i < 50000; ++i) rejected += "=?x?X?a ";
    EXPECT_EQ(Decoded(rejected + "?="), rejected + "?=");
}

TEST(DecodeEncodedWordsTest, NullTextIsLeftAlone) {
    EXPECT_EQ(DecodeEncodedWords(nullptr, "koi8-r"), 0);
}

} // namespace
