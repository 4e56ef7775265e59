// Our codecs against expected values that Python's base64, binascii, quopri and email modules
// gave for the same inputs (codec_fixtures.inc, written by make_codec_fixtures.py).
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "mail/mime/base64.h"
#include "mail/mime/decodewords.h"
#include "mail/mime/qcodec.h"
#include "mail/mime/quotedprintable.h"
#include "mail/mime/uuencode.h"

namespace {

struct FixtureBytes {
    const char* data;
    size_t size;
    std::string str() const { return std::string(data, size); }
};

#include "codec_fixtures.inc"

std::string WithoutCr(std::string s) {
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

TEST(CodecReferenceTest, Base64) {
    for (const auto& c : kBase64Cases) {
        const std::string raw = c[0].str();
        std::string out;
        EXPECT_EQ(Base64EncodeWord(raw, out), 0);
        EXPECT_EQ(out, c[1].str()) << raw.size();
        // Python ends the lines alike; an input of whole lines gets one more empty line here.
        EXPECT_EQ(Base64Encode(raw, out), 0);
        EXPECT_EQ(out, c[2].str() + (raw.size() % 57 == 0 ? "\r\n" : "")) << raw.size();
        EXPECT_EQ(Base64Decode(c[2].str(), out, false), 0);
        EXPECT_EQ(out, raw) << raw.size();
        EXPECT_EQ(Base64Decode(WithoutCr(c[2].str()), out, false), 0);
        EXPECT_EQ(out, raw) << raw.size();
        EXPECT_EQ(Base64Decode(c[1].str(), out, false), 0);
        EXPECT_EQ(out, raw) << raw.size();
    }
}

TEST(CodecReferenceTest, QuotedPrintable) {
    for (const auto& c : kQpDecodeCases) {
        std::string out;
        EXPECT_EQ(QpDecode(c[0].str(), out, false), 0) << c[0].str();
        EXPECT_EQ(out, c[1].str()) << c[0].str();
    }
    for (const auto& c : kQpForeignCases) {
        std::string out;
        EXPECT_EQ(QpDecode(c[1].str(), out, false), 0) << c[1].str();
        EXPECT_EQ(out, c[0].str()) << c[1].str();
    }
}

TEST(CodecReferenceTest, Q) {
    for (const auto& c : kQDecodeCases) {
        std::string out;
        EXPECT_EQ(QDecode(c[0].str(), out), 0) << c[0].str();
        EXPECT_EQ(out, c[1].str()) << c[0].str();
    }
    for (const auto& c : kQForeignCases) {
        std::string out;
        EXPECT_EQ(QDecode(c[1].str(), out), 0) << c[1].str();
        EXPECT_EQ(out, c[0].str()) << c[1].str();
    }
}

TEST(CodecReferenceTest, Uuencode) {
    for (const auto& c : kUuCases) {
        const std::string raw = c[0].str();
        const std::string name = c[1].str();
        std::string out;
        EXPECT_TRUE(UuEncode(raw, out, name.c_str()));
        EXPECT_EQ(out, c[2].str()) << name;
        DwUuencode uu;
        uu.SetEncodedData(c[2].str());
        EXPECT_EQ(uu.Decode(false), 0) << name;
        EXPECT_EQ(uu.RawData(), raw) << name;
        EXPECT_EQ(uu.TargetName(), name);
        EXPECT_EQ(uu.TargetMode(), 0644);
    }
}

TEST(CodecReferenceTest, EncodedWordsIntoKoi8) {
    for (const auto& c : kDecodeWordsKoi8Cases) {
        std::vector<char> text(c[0].data, c[0].data + c[0].size);
        text.push_back('\0');
        DecodeEncodedWords(text.data(), "koi8-r");
        EXPECT_EQ(std::string(text.data()), c[1].str()) << c[0].str();
    }
}

} // namespace
