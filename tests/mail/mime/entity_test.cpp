#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/entity.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    std::string headers;
    std::string body;
};

TEST(SplitHeadersAndBody, Table) {
    const SplitCase cases[] = {
        {"empty", "", "", ""},
        {"one field without line end", "Subject: hi", "Subject: hi", ""},
        {"plain words first", "plain words\nmore\n", "", "plain words\nmore\n"},
        {"starts with an empty line", "\nbody\n", "", "body\n"},
        {"starts with an empty CR LF line", "\r\nbody", "", "body"},
        {"two fields, empty line, body", "A: 1\nB: 2\n\nbody\n", "A: 1\nB: 2\n", "body\n"},
        {"CR LF throughout", "A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2\r\n", "body\r\n"},
        {"continuation lines stay", "A: 1\n  more\n\tand more\n\nb", "A: 1\n  more\n\tand more\n", "b"},
        {"blanks before the colon", "Subject : x\nTo:\ty\n\nb", "Subject : x\nTo:\ty\n", "b"},
        {"every line a field", "A: 1\nB: 2\n", "A: 1\nB: 2\n", ""},
        {"mailbox envelope line", "From a@b Thu Dec 10 10:00:00 2026\nA: 1\n\nb",
         "From a@b Thu Dec 10 10:00:00 2026\nA: 1\n", "b"},
        // A part without its blank line whose body is one base64 line: the '=' and the
        // missing colon make it body, not header.
        {"base64 line ending in =", "Content-Type: text/plain\nQUJDREVGRw==\n", "Content-Type: text/plain\n",
         "QUJDREVGRw==\n"},
        {"last line is body without its line end", "A: 1\nQUJDREVGRw==", "A: 1\n", "QUJDREVGRw=="},
        {"plain words without line end", "plain", "", "plain"},
        {"'=' alone is no field", "a=b\nc\n", "", "a=b\nc\n"},
        {"colon inside a sentence", "A: 1\nsee here: this\n", "A: 1\n", "see here: this\n"},
        {"lone CR is no line end", "A: 1\rB\n\nb", "A: 1\rB\n", "b"},
        // As mail readers take them: an empty field name, "From " lines anywhere, a first ">From " line
        // and a byte-order mark before the first field.
        {"empty field name", ":x\nA: 1\n\nb", ":x\nA: 1\n", "b"},
        {"mailbox line among the fields", "A: 1\nFrom a@b Thu\nB: 2\n\nb", "A: 1\nFrom a@b Thu\nB: 2\n", "b"},
        {"quoted mailbox line first", ">From - Fri Dec 13 15:01:21 1996\nA: 1\n\nb",
         ">From - Fri Dec 13 15:01:21 1996\nA: 1\n", "b"},
        {"quoted mailbox line later is body", "A: 1\n>From x\nB: 2\n\nb", "A: 1\n", ">From x\nB: 2\n\nb"},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "A: 1\n\nb",
         "A: 1\n", "b"},
    };
    for (const SplitCase& c : cases) {
        std::string headers = "junk", body = "junk";
        SplitHeadersAndBody(c.text, headers, body);
        EXPECT_EQ(headers, c.headers) << c.name;
        EXPECT_EQ(body, c.body) << c.name;
        // The parse notes what a strict reader takes of the block it cut.
        DwMessage message(c.text, nullptr);
        message.Parse();
        EXPECT_EQ(message.StrictHeaderLength(), StrictHeaderLength(headers)) << c.name;
        // And the fields are those of the block parsed alone.
        DwHeaders alone(headers, nullptr);
        alone.Parse();
        ASSERT_EQ(message.Headers().FieldCount(), alone.FieldCount()) << c.name;
        for (int i = 0; i < alone.FieldCount(); ++i)
            EXPECT_EQ(message.Headers().FieldAt(i).TextView(), alone.FieldAt(i).TextView()) << c.name;
    }
}

// The field name is read several bytes a step: a name of any length, ended by any byte that is none
// of its bytes, must read as a name read byte by byte does.
TEST(SplitHeadersAndBody, FieldNamesOfEveryLengthEndedByEveryKindOfByte) {
    using namespace std::string_literals;
    const std::string nameBytes = "!#~Az09-_.";
    const std::string stops[] = {":"s, " "s, "\t"s, "\r"s, "\n"s, "\0"s, "\x7F"s, "\x80"s, "\x01"s};
    for (const char* lineEnd : {"\n", "\r\n"}) {
        for (size_t length = 1; length < 12; ++length) {
            std::string name;
            for (size_t i = 0; i < length; ++i) name += nameBytes[i % nameBytes.size()];
            for (const std::string& stop : stops) {
                const std::string line = name + stop + "x" + lineEnd;
                const std::string text = line + lineEnd + "body";
                std::string headers, body;
                SplitHeadersAndBody(text, headers, body);
                const bool field = stop == ":";
                EXPECT_EQ(headers, field ? line : "") << length << " " << int(stop[0]) << lineEnd[0];
                EXPECT_EQ(body, field ? "body" : text) << length << " " << int(stop[0]) << lineEnd[0];
            }
        }
    }
}

TEST(StrictHeaderLength, StopsWhereAStrictReaderStops) {
    const struct {
        std::string block;
        size_t length;
    } cases[] = {
        {"A: 1\nB: 2\n", 10},     {"A: 1\nSubject : x\nB: 2\n", 5},
        {">From x\nA: 1\n", 0},   {"A: 1\n  folded\nFrom a\n", 21},
        {"A : 1\n", 0},           {"A: 1\r\nB\t: 2\r\nC: 3\r\n", 6},
        {"A: 1\n\tB : 2\n", 12},  {": x\nA: 1\n", 9},
        {"A: 1\nB:2\nC :3\n", 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrictHeaderLength(c.block), c.length) << c.block;
        DwMessage message(c.block + "\r\nb", nullptr);
        message.Parse();
        EXPECT_EQ(message.Headers().TextView(), c.block);
        EXPECT_EQ(message.StrictHeaderLength(), c.length) << c.block;
    }
}

// A header block that changed after the parse is read again, whether it was given a text of its own
// or assembled into a new text of the tree.
TEST(StrictHeaderLength, EntityReadsAChangedBlockAgain) {
    DwMessage given("A : 1\nB: 2\n\nb", nullptr);
    given.Parse();
    EXPECT_EQ(given.StrictHeaderLength(), 0u);
    given.Headers().SetText("B: 2\nA : 1\n");
    EXPECT_EQ(given.StrictHeaderLength(), 5u);

    DwMessage assembled("A: 1\nB: 2\n\nb", nullptr);
    assembled.Parse();
    EXPECT_EQ(assembled.StrictHeaderLength(), 10u);
    assembled.Headers().FieldAt(1).SetText("B : 2\n");
    assembled.Headers().MarkModified();
    assembled.Assemble();
    ASSERT_EQ(assembled.Headers().TextView(), "A: 1\nB : 2\n");
    EXPECT_EQ(assembled.StrictHeaderLength(), 5u);
}

// The first field of a parsed entity splits as its text alone does, however its first line starts.
TEST(Entity, FirstFieldSplitsAsItsTextAlone) {
    const char* const texts[] = {
        "Subject: a: b\r\n\r\nx",
        "Subject : a\r\nTo: b\r\n\r\nx",
        "\xEF\xBB\xBFSubject:a\n\nx",
        " folded: first\nTo: b\n\nx",
        "From a@b Mon\nTo: c\n\nx",
        ">From a@b\nTo: c\n\nx",
        ":\n\nx",
        "Subject: a",
        "To:b\r\n c:d\r\n\r\n",
    };
    for (const char* text : texts) {
        DwMessage message(text, nullptr);
        message.Parse();
        ASSERT_GE(message.Headers().FieldCount(), 1) << text;
        const DwField& field = message.Headers().FieldAt(0);
        std::string name, body;
        SplitField(field.TextView(), name, body);
        EXPECT_EQ(field.FieldName(), name) << text;
        EXPECT_EQ(field.FieldBodyText(), body) << text;
    }
}

TEST(Entity, ParseMarksEveryEntityAndAssembleWritesCrLfSeparator) {
    DwMessage message("A: 1\nB: 2\n\nbody line", nullptr);
    message.Parse();
    EXPECT_TRUE(message.IsModified());
    EXPECT_EQ(message.Headers().FieldCount(), 2);
    EXPECT_EQ(message.Body().Text(), "body line");
    message.Assemble();
    EXPECT_FALSE(message.IsModified());
    // The header block keeps its LF ends; the separator becomes CR LF.
    EXPECT_EQ(message.Text(), "A: 1\nB: 2\n\r\nbody line");
}

TEST(Entity, EmptyTextGivesNoFieldsAndEmptyBody) {
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage("", nullptr));
    message->Parse();
    EXPECT_EQ(message->Headers().FieldCount(), 0);
    EXPECT_EQ(message->Body().Text(), "");
}

TEST(Entity, CopyHasNoParentAndOwnChildren) {
    DwMessage message("Subject: s\n\nb", nullptr);
    message.Parse();
    std::unique_ptr<DwMessage> copy(static_cast<DwMessage*>(message.Clone()));
    EXPECT_EQ(copy->Parent(), nullptr);
    EXPECT_EQ(copy->ClassId(), kCidMessage);
    EXPECT_EQ(copy->Headers().Parent(), copy.get());
    EXPECT_EQ(copy->Body().Parent(), copy.get());
    EXPECT_NE(&copy->Headers(), &message.Headers());
    EXPECT_EQ(copy->Headers().FieldCount(), 1);
    DwBodyPart part("X: y\n\nz", nullptr);
    part.Parse();
    EXPECT_EQ(part.ClassId(), kCidBodyPart);
    EXPECT_STREQ(part.ClassName(), "DwBodyPart");
}

TEST(Entity, AssembleOfUnmodifiedNodeKeepsItsText) {
    DwMessage message("Subject: s\n\nb", nullptr);
    message.Parse();
    message.Assemble();
    const std::string text = message.Text();
    message.Body().SetText("changed"); // marks the message
    message.Assemble();
    EXPECT_EQ(message.Text(), "Subject: s\n\r\nchanged");
    EXPECT_NE(message.Text(), text);
}

// The creation hooks are what the parsers create through.
DwBodyPart* CountingBodyPart(const std::string& text, DwMessageComponent* parent);
int gPartsMade = 0;
DwBodyPart* CountingBodyPart(const std::string& text, DwMessageComponent* parent) {
    ++gPartsMade;
    return new DwBodyPart(text, parent);
}

TEST(Entity, ParsersCreateThroughHooks) {
    gPartsMade = 0;
    DwBodyPart::sNewBodyPartHook = CountingBodyPart;
    DwMessage message("Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b\n\ntwo\n--b--\n",
                      nullptr);
    message.Parse();
    DwBodyPart::sNewBodyPartHook = nullptr;
    EXPECT_EQ(message.Body().PartCount(), 2);
    EXPECT_EQ(gPartsMade, 2);
}

// A header block of a hook's own class reads the text it is given as its own.
class OwnTextHeaders : public DwHeaders {
public:
    OwnTextHeaders(const std::string& text, DwMessageComponent* parent) : DwHeaders(text, parent) {}
    void Parse() override {
        seen = text_;
        DwHeaders::Parse();
    }
    std::string seen;
};

TEST(Entity, HeadersOfAHookClassReadTheirOwnText) {
    DwHeaders::sNewHeadersHook = [](const std::string& text, DwMessageComponent* parent) -> DwHeaders* {
        return new OwnTextHeaders(text, parent);
    };
    DwMessage message("Subject: a\r\nTo: b\r\n\r\nbody\r\n", nullptr);
    DwHeaders::sNewHeadersHook = nullptr;
    message.Parse();
    auto& headers = dynamic_cast<OwnTextHeaders&>(message.Headers());
    EXPECT_EQ(headers.seen, "Subject: a\r\nTo: b\r\n");
    EXPECT_EQ(headers.FieldCount(), 2);
    EXPECT_TRUE(message.IsModified());
}

// The class a hook sees its parent as while the parent's constructor asks for its children.
std::vector<int> gParentClasses;

TEST(Entity, HookSeesTheEntityItMakesChildrenForAsAnEntity) {
    gParentClasses.clear();
    DwHeaders::sNewHeadersHook = [](const std::string& text, DwMessageComponent* parent) -> DwHeaders* {
        gParentClasses.push_back(parent->ClassId());
        return new DwHeaders(text, parent);
    };
    DwMessage message("Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b--\n", nullptr);
    message.Parse();
    DwHeaders::sNewHeadersHook = nullptr;
    ASSERT_EQ(message.Body().PartCount(), 1);
    // The message's and the part's: each seen while its DwEntity constructor runs.
    EXPECT_EQ(gParentClasses, (std::vector<int>{kCidEntity, kCidEntity}));
    EXPECT_EQ(message.ClassId(), kCidMessage);
    EXPECT_EQ(message.Body().PartAt(0).ClassId(), kCidBodyPart);
    EXPECT_STREQ(message.Body().PartAt(0).ClassName(), "DwBodyPart");
}

} // namespace
