#include "shell/scan/nameformat.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/shell/log_capture.h"

namespace {

class NameText : public ::testing::Test {
protected:
    void SetUp() override {
        savedOn = RecodeNonprintable;
        savedMode = RecodeMode;
        savedChar = RecodeChar;
    }
    void TearDown() override {
        RecodeNonprintable = savedOn;
        RecodeMode = savedMode;
        RecodeChar = savedChar;
    }
    std::string Text(const std::string& name) { return FormatNameText(name.c_str(), out, sizeof(out)); }

    char out[kNameTextSize];
    int savedOn = 0, savedMode = 0;
    char savedChar = 0;
};

TEST_F(NameText, EscapesControlCharactersWhenRecodingIsOff) {
    RecodeNonprintable = 0;
    struct Row {
        std::string name, text;
    };
    for (const Row& r : {Row{"a\tb", "a\\tb"}, Row{"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
                         Row{"c:\\dir", "c:\\\\dir"}, Row{"x\x01y\xC3", "x\x01y\xC3"}, Row{"", ""}})
        EXPECT_EQ(r.text, Text(r.name)) << r.name;
}

TEST_F(NameText, RecodesNonprintableBytesAsHexOrReplacement) {
    RecodeNonprintable = 1;
    RecodeMode = RecodeQuotedPrintable;
    EXPECT_EQ("a=09b", Text("a\tb"));
    EXPECT_EQ("=01=C3=7F=", Text("\x01\xC3\x7F="));
    EXPECT_EQ("back\\slash", Text("back\\slash"));
    RecodeMode = RecodeReplace;
    RecodeChar = '_';
    EXPECT_EQ("a_b_", Text("a\tb\xFF"));
}

TEST_F(NameText, LeavesAPrintableNameAsItIs) {
    RecodeNonprintable = 1;
    const char* name = "/srv/files/plain name.txt";
    EXPECT_EQ(name, FormatNameText(name, out, sizeof(out)));
    std::string longName(10000, 'n');
    EXPECT_EQ(longName.c_str(), FormatNameText(longName.c_str(), out, sizeof(out)));
}

TEST_F(NameText, StaysWithinItsBufferAndCutsAtAWholeEscape) {
    const std::string tabs(4000, '\t');
    RecodeNonprintable = 0;
    std::string text = Text(tabs);
    EXPECT_EQ(4094u, text.size());
    EXPECT_EQ("\\t", text.substr(text.size() - 2));
    RecodeNonprintable = 1;
    RecodeMode = RecodeQuotedPrintable;
    text = Text(tabs);
    EXPECT_EQ(4095u, text.size());
    EXPECT_EQ("=09", text.substr(text.size() - 3));
    RecodeMode = RecodeReplace;
    EXPECT_EQ(4000u, Text(tabs).size());
    EXPECT_EQ(4095u, Text(tabs + tabs).size());
}

TEST(HexEscapeName, IsBoundedByItsBuffer) {
    char small[8];
    EXPECT_STREQ("ab=09", HexEscapeName("ab\t\t", small, sizeof(small)));
    EXPECT_STREQ("abcdefg", HexEscapeName("abcdefghij", small, sizeof(small)));
    char none[1] = {'z'};
    EXPECT_STREQ("", HexEscapeName("\t", none, sizeof(none)));
    EXPECT_STREQ("", HexEscapeName(nullptr, small, sizeof(small)));
}

} // namespace

namespace {

class NameForLog : public LogCaptureTest {
protected:
    void SetUp() override {
        LogCaptureTest::SetUp();
        savedOn = RecodeNonprintable;
        savedMode = RecodeMode;
    }
    void TearDown() override {
        RecodeNonprintable = savedOn;
        RecodeMode = savedMode;
        LogCaptureTest::TearDown();
    }
    int savedOn = 0, savedMode = 0;
};

TEST_F(NameForLog, StartsTheLineWithTheFormattedName) {
    RecodeNonprintable = 0;
    PrintMessage("pending text ");
    FormatNameForLog("a\tb");
    PrintMessage(" - Ok");
    EndMessageLine(0);
    RecodeNonprintable = 1;
    RecodeMode = RecodeQuotedPrintable;
    FormatNameForLog("a\tb");
    EndMessageLine(0);
    ASSERT_EQ(2u, Lines().size());
    EXPECT_EQ("a\\tb - Ok\n", Lines()[0]);
    EXPECT_EQ("a=09b\n", Lines()[1]);
}

} // namespace
