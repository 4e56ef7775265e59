#include <gtest/gtest.h>

#include <string>

#include "mail/mime/uuencode.h"

namespace {

const char* const kCat = "begin 644 x\r\n#0V%T\r\n`\r\nend\r\n";

TEST(UuEncodeTest, LinesOfTheEncoding) {
    std::string out;
    EXPECT_TRUE(UuEncode("Cat", out, "x"));
    EXPECT_EQ(out, kCat);
    EXPECT_TRUE(UuEncode("", out, "empty"));
    EXPECT_EQ(out, "begin 644 empty\r\n`\r\nend\r\n");
    // A zero value is a backquote, never a blank; the tail group is filled with backquotes.
    EXPECT_TRUE(UuEncode(std::string(4, '\0'), out, "z"));
    EXPECT_EQ(out, "begin 644 z\r\n$````````\r\n`\r\nend\r\n");
}

TEST(UuEncodeTest, ModeAndName) {
    DwUuencode uu;
    EXPECT_STREQ(uu.TargetName(), "");
    EXPECT_EQ(uu.TargetMode(), 0644);
    uu.SetTargetMode(0755);
    uu.SetTargetName(std::string(300, 'n').c_str());
    EXPECT_EQ(std::string(uu.TargetName()), std::string(255, 'n'));
    uu.SetRawData("a");
    uu.Encode();
    EXPECT_EQ(uu.EncodedData(), "begin 755 " + std::string(255, 'n') + "\r\n!80``\r\n`\r\nend\r\n");
}

struct DecodeCase {
    const char* name;
    std::string input;
    std::string output;
    int result;
};

TEST(UuDecodeTest, Table) {
    const DecodeCase cases[] = {
        {"whole", kCat, "Cat", 0},
        {"no end line", "begin 644 x\r\n#0V%T\r\n`\r\n", "Cat", -1},
        {"no zero-length line", "begin 644 x\r\n#0V%T\r\n", "Cat", -1},
        {"LF line ends", "begin 644 x\n#0V%T\n`\nend\n", "Cat", 0},
        {"begin after text", "junk\r\nbegin 644 x\r\n#0V%T\r\n`\r\nend\r\n", "Cat", 0},
        {"no begin line", "#0V%T\r\n`\r\nend\r\n", "", -1},
        {"begin inside a line is none", "x begin 644 x\r\n#0V%T\r\n`\r\nend\r\n", "", -1},
        {"data from the first line when it starts with M",
         "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7HQ,C,T-38W.#DP04)#1$5&1TA)\r\n`\r\nend\r\n",
         "abcdefghijklmnopqrstuvwxyz1234567890ABCDEFGHI", 0},
        {"a blank line ends the data", "begin 644 x\r\n#0V%T\r\n \r\nend\r\n", "Cat", 0},
        {"blank and tab line ends the data", "begin 644 x\n#0V%T\n \t \nend\n", "Cat", 0},
        {"blank lines between data lines", "begin 644 x\r\n\r\n#0V%T\r\n\r\n`\r\nend\r\n", "Cat", 0},
        {"short line does not read the next one", "begin 644 x\r\nM0V%T\r\n`\r\nend\r\n", "Cat", 0},
        {"last group of three characters", "begin 644 x\r\n#0V%T\r\n\"0V%\r\n`\r\nend\r\n", "CatCa", 0},
        {"last group of two characters", "begin 644 x\r\n#0V%T\r\n\"0V\r\n`\r\nend\r\n", "CatC", 0},
        {"last group cut to one character", "begin 644 x\r\n#0V%\r\n`\r\nend\r\n", "Ca", 0},
        {"length character alone", "begin 644 x\r\nM\r\n`\r\nend\r\n", "", 0},
        {"text ends after the length character", "begin 644 x\r\nM", "", -1},
        {"blank value is zero", "begin 644 x\r\n#    \r\n`\r\nend\r\n", std::string(3, '\0'), 0},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        EXPECT_EQ(UuDecode(c.input, out, false), c.result) << c.name;
        EXPECT_EQ(out, c.output) << c.name;
    }
}

TEST(UuDecodeTest, BeginLineGivesNameAndMode) {
    DwUuencode uu;
    uu.SetEncodedData("begin 0755   some.name trailing words\r\n#0V%T\r\n`\r\nend\r\n");
    EXPECT_EQ(uu.Decode(false), 0);
    EXPECT_EQ(uu.TargetMode(), 0755);
    EXPECT_STREQ(uu.TargetName(), "some.name");
    EXPECT_EQ(uu.RawData(), "Cat");

    DwUuencode longName;
    longName.SetEncodedData("begin 644 " + std::string(400, 'n') + "\r\n#0V%T\r\n`\r\nend\r\n");
    EXPECT_EQ(longName.Decode(false), 0);
    EXPECT_EQ(std::string(longName.TargetName()), std::string(255, 'n'));
    EXPECT_EQ(longName.RawData(), "Cat");

    DwUuencode none;
    none.SetTargetName("keep");
    none.SetEncodedData("no data here");
    EXPECT_EQ(none.Decode(false), -1);
    EXPECT_EQ(none.TargetMode(), 0);
    EXPECT_STREQ(none.TargetName(), "");
}

TEST(UuDecodeTest, AppendsAndCollapsesCr) {
    DwUuencode uu;
    uu.SetRawData("x");
    uu.SetEncodedData("begin 644 x\r\n$#0T-\"@``\r\n`\r\nend\r\n"); // CR CR CR LF
    EXPECT_EQ(uu.Decode(true), 0);
    EXPECT_EQ(uu.RawData(), "x\r\n");
}

// A line may claim up to 63 bytes with a single character: the output grows with what the lines
// really hold, never past it.
TEST(UuDecodeTest, LengthCharactersClaimingMoreThanTheLineHolds) {
    std::string input = "begin 644 x\n";
    for (int i = 0; i < 1000; ++i) input += "_\n_!!\n";
    input += "`\nend\n";
    std::string out;
    EXPECT_EQ(UuDecode(input, out, false), 0);
    EXPECT_EQ(out.size(), 1000u);
}

} // namespace
