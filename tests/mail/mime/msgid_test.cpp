#include "mail/mime/msgid.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/mime/generators.h"

namespace {

TEST(MsgId, ParseTable) {
    const struct {
        const char* text;
        const char* localPart;
        const char* domain;
    } cases[] = {
        {"<abc.def@mail.host>", "abc.def", "mail.host"},
        {"<\"a b\".c@host>", "\"a b\".c", "host"},
        {"<x@[10.1.2.3]>", "x", "[10.1.2.3]"},
        {"< abc (c) @ host >", "abc", "host"},
        {"junk before <a@b> after", "a", "b"},
        {"no angle a@b", "", ""},
        {"<no-at-sign>", "no-at-sign", ""},
        {"<a@b", "a", "b"},
        {"<a", "a", ""},
        {"<", "", ""},
        {"", "", ""},
        {"<a@b.c> <d@e>", "a", "b.c"},
        {"<\"unclosed@x>", "", ""},
    };
    for (const auto& c : cases) {
        DwMsgId id(c.text, nullptr);
        id.Parse();
        EXPECT_EQ(id.LocalPart(), c.localPart) << c.text;
        EXPECT_EQ(id.Domain(), c.domain) << c.text;
        EXPECT_EQ(id.Text(), c.text);
        EXPECT_FALSE(id.IsModified());
    }
}

TEST(MsgId, AssembleWritesOnlyAWholeId) {
    DwMsgId id("< abc (c) @ host >", nullptr);
    id.Parse();
    id.SetDomain("other.host");
    id.Assemble();
    EXPECT_EQ(id.Text(), "<abc@other.host>");
    EXPECT_FALSE(id.IsModified());

    // An id without both halves is not written as "<@>": the text stays, still modified.
    id.SetLocalPart("");
    id.Assemble();
    EXPECT_EQ(id.Text(), "<abc@other.host>");
    EXPECT_TRUE(id.IsModified());
    DwMsgId empty;
    empty.MarkModified();
    empty.Assemble();
    EXPECT_EQ(empty.Text(), "");
    EXPECT_TRUE(empty.IsModified());
}

class MsgIdDefault : public ::testing::Test {
protected:
    void TearDown() override { SetProcessFacts({}); }
};

TEST_F(MsgIdDefault, TheGeneratedForm) {
    const struct {
        DwTime now;
        uint32_t serialBefore;
        int pid;
        std::string host;
        const char* text;
    } cases[] = {
        {255, 0, 42, "mail", "<000000FF.000001.00042@mail>"},
        {0x123456789LL, 0x1FFFFFE, 1234567, "h", "<23456789.FFFFFF.34567@h>"},
        {1073120400, 9, 99999, "", "<3FF68490.00000A.99999@>"},
        {1, 0, 7, std::string(60, 'x'), nullptr},
    };
    for (const auto& c : cases) {
        DwProcessFacts facts;
        facts.now = c.now;
        facts.processId = c.pid;
        facts.hostName = c.host;
        SetProcessFacts(facts);
        RestartSerial(c.serialBefore);
        DwMsgId id;
        id.CreateDefault();
        if (c.text) {
            EXPECT_EQ(id.Text(), c.text);
        } else {
            EXPECT_EQ(id.Text(), "<00000001.000001.00007@" + std::string(55, 'x') + ">");
        }
        EXPECT_EQ(id.Text().size(), 23 + std::min<size_t>(c.host.size(), 55) + 1);
        EXPECT_FALSE(id.IsModified());
        EXPECT_EQ(id.Domain(), c.host.substr(0, 55));
    }
    // Two ids in one second differ in the counter.
    DwMsgId first, second;
    first.CreateDefault();
    second.CreateDefault();
    EXPECT_NE(first.Text(), second.Text());
    EXPECT_EQ(first.Text().substr(0, 9), second.Text().substr(0, 9));
}

TEST_F(MsgIdDefault, TheSystemsHostNameIsTerminatedAndCut) {
    DwMsgId id;
    id.CreateDefault();
    const std::string& text = id.Text();
    ASSERT_GE(text.size(), 24u);
    EXPECT_LE(text.size(), 79u);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(text.back(), '>');
    EXPECT_EQ(text[22], '@');
}

TEST_F(MsgIdDefault, CreatingMarksTheTreeSoTheNewIdIsWritten) {
    DwMsgId parent("<p@q>", nullptr);
    DwMsgId* id = new DwMsgId("<a@b>", &parent);
    std::unique_ptr<DwMsgId> owned(id);
    id->CreateDefault();
    EXPECT_TRUE(parent.IsModified());
    EXPECT_FALSE(id->IsModified());
    std::unique_ptr<DwMessageComponent> clone(id->Clone());
    EXPECT_EQ(clone->Text(), id->Text());
    EXPECT_EQ(static_cast<DwMsgId&>(*clone).LocalPart(), id->LocalPart());
    EXPECT_EQ(clone->Parent(), nullptr);
}

} // namespace
