// Properties of the codecs over generated inputs: every decoder gives back what its encoder was
// given, and the encoded forms keep their line rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mail/mime/base64.h"
#include "mail/mime/qcodec.h"
#include "mail/mime/quotedprintable.h"
#include "mail/mime/uuencode.h"

namespace {

// Random bytes, and text made of the pieces that the encoders treat specially.
std::vector<std::string> Inputs() {
    std::mt19937 rng(2045);
    const char* const pieces[] = {"From ", "From", ".", "=",    " ",    "  ",   "\t",     "\r\n", "\r",
                                  "\n",    "?",    "_", "word", "\xe9", "\xa0", "(80 x)", "\0"};
    std::vector<std::string> inputs = {
        "", "\r\n", " ", ".", "From ", std::string(57, '\0'), std::string(1000, ' ')};
    for (int i = 0; i < 300; ++i) {
        const size_t length = rng() % (i < 150 ? 100 : 700);
        std::string s;
        if (i % 2) {
            while (s.size() < length) s += static_cast<char>(rng() & 0xFF);
        } else {
            while (s.size() < length) {
                const size_t k = rng() % (sizeof pieces / sizeof pieces[0]);
                s += k == 16 ? std::string(1, '\0') : k == 15 ? std::string(80, 'x') : std::string(pieces[k]);
            }
        }
        inputs.push_back(s);
    }
    return inputs;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(CodecRoundTripTest, Base64) {
    for (const auto& input : Inputs()) {
        std::string encoded, decoded;
        ASSERT_EQ(Base64Encode(input, encoded), 0);
        ASSERT_EQ(Base64Decode(encoded, decoded, false), 0);
        EXPECT_EQ(decoded, input);
        const auto lines = Lines(encoded);
        // Every line but the last two (the short one and the empty rest after the final CR LF) is
        // 76 characters long.
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.back(), "");
        for (size_t i = 0; i + 2 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 76u);
        EXPECT_LE(lines[lines.size() - 2].size(), 76u);
        EXPECT_EQ(encoded.find_first_of("\r\n") == std::string::npos, false);

        ASSERT_EQ(Base64EncodeWord(input, encoded), 0);
        EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(encoded.size() % 4, 0u);
        ASSERT_EQ(Base64Decode(encoded, decoded, false), 0);
        EXPECT_EQ(decoded, input);
    }
}

TEST(CodecRoundTripTest, QuotedPrintable) {
    for (const auto& input : Inputs()) {
        std::string encoded, decoded;
        ASSERT_EQ(QpEncode(input, encoded), 0);
        ASSERT_EQ(QpDecode(encoded, decoded, false), 0) << encoded;
        EXPECT_EQ(decoded, input) << encoded;
        for (const auto& line : Lines(encoded)) {
            EXPECT_LE(line.size(), 76u) << line;
            EXPECT_NE(line.compare(0, 5, "From "), 0) << line;
            EXPECT_NE(line.compare(0, 1, "."), 0) << line;
            if (!line.empty()) {
                EXPECT_NE(line.back(), ' ') << line;
                EXPECT_NE(line.back(), '\t') << line;
            }
            for (unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;
        }
    }
}

TEST(CodecRoundTripTest, Q) {
    for (const auto& input : Inputs()) {
        std::string encoded, decoded;
        ASSERT_EQ(QEncode(input, encoded), 0);
        EXPECT_EQ(encoded.find_first_of(" \t\r\n?"), std::string::npos);
        ASSERT_EQ(QDecode(encoded, decoded), 0);
        EXPECT_EQ(decoded, input);
    }
}

TEST(CodecRoundTripTest, Uuencode) {
    for (const auto& input : Inputs()) {
        std::string encoded, decoded;
        ASSERT_TRUE(UuEncode(input, encoded, "file.bin"));
        ASSERT_EQ(UuDecode(encoded, decoded, false), 0);
        EXPECT_EQ(decoded, input);
        for (const auto& line : Lines(encoded)) {
            EXPECT_LE(line.size(), 61u);
            EXPECT_EQ(line.find(' ', line.compare(0, 6, "begin ") == 0 ? 10 : 0), std::string::npos) << line;
        }
    }
}

} // namespace
