#include "mail/mime/encodedword.h"
#include "mail/mime/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Words(const std::string& text) {
    DwText body(text, nullptr);
    body.Parse();
    std::vector<std::string> words;
    for (int i = 0; i < body.WordCount(); ++i) words.push_back(body.WordAt(i).Text());
    return words;
}

TEST(Text, ParseTable) {
    EXPECT_EQ(Words("Hello   world"), (std::vector<std::string>{"Hello world"}));
    EXPECT_EQ(Words("a =?utf-8?Q?x?= b"), (std::vector<std::string>{"a", "=?utf-8?Q?x?=", "b"}));
    EXPECT_EQ(Words("=?a?Q?x?= =?a?B?eA==?="), (std::vector<std::string>{"=?a?Q?x?=", "=?a?B?eA==?="}));
    EXPECT_EQ(Words("=?x?= =?ab?= c"), (std::vector<std::string>{"=?x?= =?ab?= c"}));
    EXPECT_EQ(Words(""), std::vector<std::string>{});
    EXPECT_EQ(Words(" \t\r\n "), std::vector<std::string>{});
    EXPECT_EQ(Words("folded\r\n line"), (std::vector<std::string>{"folded line"}));
}

TEST(Text, AssembleJoinsAndFolds) {
    DwText text("a =?utf-8?Q?x?= b", nullptr);
    text.Parse();
    EXPECT_EQ(text.WordAt(1).Parent(), &text);
    text.MarkModified();
    text.Assemble();
    EXPECT_EQ(text.Text(), "a =?utf-8?Q?x?= b");
    DwText empty("   ", nullptr);
    empty.Parse();
    empty.MarkModified();
    empty.Assemble();
    EXPECT_EQ(empty.Text(), "");
    DwText longText(std::string(40, 'x') + " " + std::string(30, 'y'), nullptr);
    longText.Parse();
    longText.MarkModified();
    longText.Assemble();
    EXPECT_EQ(longText.Text(), std::string(40, 'x') + "\r\n " + std::string(30, 'y'));
}

TEST(Text, WordOperations) {
    DwText text("a =?utf-8?Q?x?= b", nullptr);
    text.Parse();
    text.InsertWordAt(-2, DwEncodedWord::NewEncodedWord("first", nullptr));
    EXPECT_EQ(text.WordAt(0).Text(), "first");
    std::unique_ptr<DwEncodedWord> removed(text.RemoveWordAt(0));
    EXPECT_EQ(removed->Parent(), nullptr);
    EXPECT_EQ(text.RemoveWordAt(7), nullptr);
    std::unique_ptr<DwText> copy(static_cast<DwText*>(text.Clone()));
    ASSERT_EQ(copy->WordCount(), 3);
    EXPECT_EQ(copy->WordAt(1).Parent(), copy.get());
    EXPECT_EQ(copy->WordAt(1).DecodedText(), "x");
}

TEST(TextDeathTest, WordAtOutsideExitsWithMinusOne) {
    DwText text("a", nullptr);
    text.Parse();
    EXPECT_EXIT(text.WordAt(1), ::testing::ExitedWithCode(255), "");
}

struct WordCase {
    std::string text;
    std::string charset;
    char type;
    std::string encoded;
    std::string decoded;
};

TEST(EncodedWord, ParseTable) {
    const WordCase cases[] = {
        {"=?ISO-8859-1?Q?Caf=E9?=", "ISO-8859-1", 'Q', "Caf=E9", "Caf\xE9"},
        {"=?UTF-8?B?SGk=?=", "UTF-8", 'B', "SGk=", "Hi"},
        {"=??Q?abc?=", "", 'Q', "abc", "abc"},
        {"=?a?q?"
         "?=",
         "a", 'q', "", ""},
        {"=?US-ASCII?X?abc?=", "US-ASCII", 0, "", "=?US-ASCII?X?abc?="},
        {"=?ISO-8859-1?Q?abc", "US-ASCII", 0, "", "=?ISO-8859-1?Q?abc"},
        {"plain", "US-ASCII", 0, "", "plain"},
        {"=?a?Q?bad=zz?=", "US-ASCII", 0, "", "=?a?Q?bad=zz?="},
        {"=?", "US-ASCII", 0, "", "=?"},
        {"=??", "US-ASCII", 0, "", "=??"},
        {"=?a?Q", "US-ASCII", 0, "", "=?a?Q"},
        {"=??Q?"
         "?=",
         "", 'Q', "", ""},
        {"=?a?Q?x?=trailing", "a", 'Q', "x", "x"},
    };
    for (const WordCase& c : cases) {
        DwEncodedWord word(c.text, nullptr);
        word.Parse();
        EXPECT_EQ(word.Charset(), c.charset) << c.text;
        EXPECT_EQ(word.EncodingType(), c.type) << c.text;
        EXPECT_EQ(word.EncodedText(), c.encoded) << c.text;
        EXPECT_EQ(word.DecodedText(), c.decoded) << c.text;
    }
}

TEST(EncodedWord, AssembleEncodesTheDecodedText) {
    DwEncodedWord word("=?utf-8?Q?a_b?=", nullptr);
    word.Parse();
    word.SetEncodingType('B');
    word.Assemble();
    EXPECT_EQ(word.Text(), "=?utf-8?B?YSBi?=");
    DwEncodedWord plain("old", nullptr);
    plain.Parse();
    plain.SetDecodedText("new");
    plain.Assemble();
    EXPECT_EQ(plain.Text(), "new");
    // Copies carry the parsed pieces.
    word.SetDecodedText("zz");
    std::unique_ptr<DwEncodedWord> copy(static_cast<DwEncodedWord*>(word.Clone()));
    copy->Assemble();
    EXPECT_EQ(copy->Text(), "=?utf-8?B?eno=?=");
}

} // namespace
