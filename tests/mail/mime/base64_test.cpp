#include <gtest/gtest.h>

#include <random>
#include <string>

#include "body_decode_cases.h"
#include "mail/mime/base64.h"

namespace {

using namespace std::string_literals;

struct EncodeCase {
    std::string input;
    std::string body;
    std::string word;
};

TEST(Base64EncodeTest, GroupsTailsAndLineEnds) {
    const std::string line57(57, 'x');
    std::string line76;
    for (int i = 0; i < 19; ++i) line76 += "eHh4";
    const EncodeCase cases[] = {
        {"abc", "YWJj\r\n", "YWJj"},
        {"a", "YQ==\r\n", "YQ=="},
        {"ab", "YWI=\r\n", "YWI="},
        {"", "\r\n", ""},
        {line57, line76 + "\r\n\r\n", line76},
        {line57 + "x", line76 + "\r\neA==\r\n", line76 + "eA=="},
        {"\xff\xfe\x00"s, "//4A\r\n", "//4A"},
    };
    for (const auto& c : cases) {
        std::string body, word;
        EXPECT_EQ(Base64Encode(c.input, body), 0);
        EXPECT_EQ(body, c.body) << c.input;
        EXPECT_EQ(Base64EncodeWord(c.input, word), 0);
        EXPECT_EQ(word, c.word) << c.input;
    }
}

// Long inputs, across the lengths at which the encoder works in blocks: the body form is the word
// form cut into lines of 76 characters, each ended by CR LF, with one more CR LF when the input is
// whole lines (57 bytes each); the word form decodes back to the input.
TEST(Base64EncodeTest, LongInputsAreTheWordFormInLines) {
    std::mt19937 rng(76);
    for (const size_t n : {3647u, 3648u, 3649u, 3705u, 7296u, 7297u, 7298u, 99999u, 100000u}) {
        std::string input(n, '\0');
        for (char& c : input) c = static_cast<char>(rng());
        std::string word, body, decoded;
        ASSERT_EQ(Base64EncodeWord(input, word), 0);
        ASSERT_EQ(Base64Encode(input, body), 0);
        std::string lines;
        for (size_t at = 0; at < word.size(); at += 76) lines += word.substr(at, 76) + "\r\n";
        if (n % 57 == 0) lines += "\r\n";
        EXPECT_EQ(body, lines) << n;
        EXPECT_EQ(Base64Decode(word, decoded, false), 0);
        EXPECT_EQ(decoded, input) << n;
    }
}

TEST(Base64DecodeTest, Table) {
    const BodyDecodeCase cases[] = {
        {"group over a line end", "YW\r\nJj", false, "abc", 0},
        // Bytes outside the alphabet are passed over, as mail readers do (values of Python's binascii).
        {"junk between lines", "YWJj\r\n#junk#\r\nZGVm", false,
         "abc\x8e\xe9\xe4"
         "def"s,
         -1},
        {"junk at a line end", "YWJj\r\nZGVm#\r\nZ2hp", false, "abcdefghi", -1},
        {"junk at the end of every line", "YWJj*\r\nZGVm*\r\n", false, "abcdef", -1},
        {"junk before a single symbol", "YWJjZGVm#x", false, "abcdef", -1},
        {"one fill", "YWI=", false, "ab", 0},
        {"two fills", "YQ==", false, "a", 0},
        // Where a fill completes a group, readers stop; pieces put together after it are decoded too.
        {"data after a fill", "YQ==YWJj", false, "aabc", -1},
        {"fills before any symbol", "====\r\nYWJj", false, "abc", 0},
        {"fill too early is passed over", "YW=Jj", false, "abc", 0},
        {"fills after one symbol", "Y===YWJj", false, "a\x85\x89"s, 0},
        {"skipped between symbols", " Y W\tJ!j \n", false, "abc", 0},
        {"leading line ends", "\r\n\r\nYWJj", false, "abc", 0},
        {"empty", "", false, "", 0},
        {"no fill, three symbols", "YWI", false, "ab", 0},
        {"no fill, two symbols", "YWJjYQ", false, "abca", 0},
        {"single symbol left", "YWJjY", false, "abc", 0},
        {"short fill", "YQ=", false, "a", 0},
        {"begin line with mode", "begin 644 x.bin\r\nYWJj\r\n", false, "abc", 0},
        {"begin line in capitals", "BEGIN 600 x\nYWJj", false, "abc", 0},
        {"begin-base64 line", "begin-base64 644 x\nYWJj\n====\n", false, "abc", 0},
        {"symbols spelling begin are data", "beginYWJj\r\nZGVm", false,
         "\x6d\xe8\x22\x9d\x85\x89\x8d\x91\x95"s, 0},
        {"begin without an octal mode is data", "begin 9abc", false, "\x6d\xe8\x22\x9f\xd6\x9b"s, 0},
        {"collapsed CR", "DQ0NCg==", true, "\r\n", 0},
        {"CR kept without collapse", "DQ0NCg==", false, "\r\r\r\n", 0},
        {"collapse across groups", "YQ0NDQ0K", true, "a\r\n", 0},
    };
    ExpectDecodes(Base64Decode, cases);
}

// Symbols that spell "begin" on the first line are data: the crafted bytes that encode to them
// must reach the scanner.
TEST(Base64DecodeTest, FirstLineSpellingBeginIsDecoded) {
    const std::string hidden = "\x6d\xe8\x22\x9d\x58\xab\xba\xcf\x80"s;
    std::string encoded;
    ASSERT_EQ(Base64EncodeWord(hidden, encoded), 0);
    ASSERT_EQ(encoded.compare(0, 5, "begin"), 0);
    std::string out;
    EXPECT_EQ(Base64Decode(encoded + "\r\nYWJj\r\n", out, false), 0);
    EXPECT_EQ(out, hidden + "abc");
}

TEST(Base64DecodeTest, OutputNeverLongerThanTheSymbolsAllow) {
    // Worst cases for the output size: no skipped bytes at all, and short groups everywhere.
    for (size_t n = 0; n < 40; ++n) {
        const std::string input(n, 'A');
        std::string out;
        Base64Decode(input, out, false);
        EXPECT_EQ(out.size(), n / 4 * 3 + (n % 4 >= 2 ? n % 4 - 1 : 0)) << n;
        EXPECT_EQ(out, std::string(out.size(), '\0'));
    }
}

} // namespace
