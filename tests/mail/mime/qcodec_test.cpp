#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mail/mime/qcodec.h"

namespace {

using namespace std::string_literals;

TEST(QEncodeTest, Table) {
    const std::pair<std::string, std::string> cases[] = {
        {"a b=c?", "a_b=3Dc=3F"},
        {"_", "=5F"},
        {"caf\xe9", "caf=E9"},
        {"\t\x7f\x00"s, "=09=7F=00"},
        {"<>@[]^`{|}~!\"#$%&'()*+,-./:;", "<>@[]^`{|}~!\"#$%&'()*+,-./:;"},
        {"", ""},
    };
    for (const auto& [input, output] : cases) {
        std::string out = "old";
        EXPECT_EQ(QEncode(input, out), 0);
        EXPECT_EQ(out, output) << input;
    }
}

TEST(QEncodeTest, BufferStoresWhatFitsAndCountsAll) {
    size_t length = 99;
    EXPECT_EQ(QEncodeBuffer(nullptr, 3, nullptr, 0, &length), -1);
    EXPECT_EQ(length, 99u);
    EXPECT_EQ(QEncodeBuffer("a=b", 3, nullptr, 0, &length), 0);
    EXPECT_EQ(length, 5u);
    char small[4];
    memset(small, '#', sizeof small);
    EXPECT_EQ(QEncodeBuffer("a=b", 3, small, sizeof small, &length), 0);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(std::string(small, 4), "a=3D"); // no room for the rest or the NUL
    char exact[6];
    EXPECT_EQ(QEncodeBuffer("a=b", 3, exact, sizeof exact, &length), 0);
    EXPECT_STREQ(exact, "a=3Db");
}

struct DecodeCase {
    std::string input;
    std::string output;
    int result;
};

TEST(QDecodeTest, Table) {
    const DecodeCase cases[] = {
        {"a_b=3D", "a b=", 0},
        {"a_b=3d", "a b=", 0}, // lower-case digits are an escape, as mail readers take them
        {"caf=e9", "caf\xe9", 0},
        {"=", "=", -1},
        {"a=4", "a=4", -1},
        {"a=ZZb", "a=ZZb", -1},
        {"=3=41", "=3A", -1},
        {"a b\t?\x7f\x01", "ab", 0},
        {"raw\xe9\x80\x9f\xff", "raw\xe9\x80\x9f\xff", 0},
        {"", "", 0},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(QDecode(c.input, out), c.result) << c.input;
        EXPECT_EQ(out, c.output) << c.input;
    }
}

} // namespace
