#include "mail/mime/contentfile.h"
#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/fieldbody.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(SplitField, Table) {
    struct Case {
        std::string text, name, body;
    } cases[] = {
        {"Subject: hello\r\n", "Subject", "hello"},
        {"Subject: hello", "Subject", "hello"},
        {"Subject:", "Subject", ""},
        {"Subject:   \t x y \t\r\n", "Subject", "x y"},
        {"Subject : x\n", "Subject", "x"},
        {": body\n", "", "body"},
        {"", "", ""},
        {"no colon here \r\n", "no colon here", ""},
        {"\r\n", "", ""},
        {"To: a,\r\n b\r\n", "To", "a,\r\n b"},
        {"X: a:b\n", "X", "a:b"},
    };
    for (const Case& c : cases) {
        std::string name = "junk", body = "junk";
        SplitField(c.text, name, body);
        EXPECT_EQ(name, c.name) << c.text;
        EXPECT_EQ(body, c.body) << c.text;
    }
}

TEST(Field, AssemblesNameColonBlankBodyCrLf) {
    DwField field("Subject: hello\r\n", nullptr);
    field.Parse();
    EXPECT_EQ(field.FieldName(), "Subject");
    EXPECT_EQ(field.FieldBodyText(), "hello");
    field.SetFieldName("Subject");
    field.Assemble();
    EXPECT_EQ(field.Text(), "Subject: hello\r\n");
    DwField empty("Subject:", nullptr);
    empty.Parse();
    empty.MarkModified();
    empty.Assemble();
    EXPECT_EQ(empty.Text(), "Subject: \r\n");
}

TEST(Headers, ParseSplitsFieldsAtUnfoldedLineEnds) {
    DwHeaders headers("A: 1\r\nB: 2\n  folded\r\n\tagain\nC: 3", nullptr);
    headers.Parse();
    ASSERT_EQ(headers.FieldCount(), 3);
    EXPECT_EQ(headers.FieldAt(1).FieldBodyText(), "2\n  folded\r\n\tagain");
    EXPECT_EQ(headers.FieldAt(2).FieldBodyText(), "3");
    EXPECT_FALSE(headers.IsModified());
    DwHeaders blankLine("A: 1\n\nB: 2\n", nullptr);
    blankLine.Parse();
    ASSERT_EQ(blankLine.FieldCount(), 3);
    EXPECT_EQ(blankLine.FieldAt(1).FieldName(), "");
    EXPECT_EQ(blankLine.FieldAt(1).FieldBodyText(), "");
}

TEST(Headers, FieldBodyClassesByName) {
    struct Case {
        const char* name;
        int classId;
    } cases[] = {
        {"Content-Type", kCidMediaType},
        {"content-transfer-encoding", kCidMechanism},
        {"CONTENT-DISPOSITION", kCidDispositionType},
        {"X-Content-File", kCidContentFileType},
        {"Subject", kCidText},
        {"", kCidText},
        {"X-Unknown", kCidText},
        // Read as text until their own classes exist.
        {"To", kCidText},
        {"Date", kCidText},
    };
    for (const Case& c : cases) {
        std::unique_ptr<DwFieldBody> body(DwField::MakeFieldBody(c.name, "x", nullptr));
        ASSERT_TRUE(body) << c.name;
        EXPECT_EQ(body->ClassId(), c.classId) << c.name;
    }
    std::unique_ptr<DwFieldBody> file(DwField::MakeFieldBody("x-content-file", "", nullptr));
    EXPECT_STREQ(file->ClassName(), "DwContentFileType");
}

TEST(Headers, FindFieldIgnoresCaseAndTakesTheFirst) {
    DwHeaders headers("To: a\nTO: b\nSubject: s\n", nullptr);
    headers.Parse();
    ASSERT_NE(headers.FindField("to"), nullptr);
    EXPECT_EQ(headers.FindField("tO")->FieldBodyText(), "a");
    EXPECT_EQ(headers.FindField(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_TRUE(headers.HasTo());
    EXPECT_FALSE(headers.HasCc());
}

TEST(Headers, InsertRemoveClampAndMark) {
    DwHeaders headers("A: 1\nB: 2\n", nullptr);
    headers.Parse();
    headers.InsertFieldAt(-5, DwField::NewField("First: x", nullptr));
    headers.InsertFieldAt(99, DwField::NewField("Last: y", nullptr));
    EXPECT_TRUE(headers.IsModified());
    EXPECT_EQ(headers.FieldAt(0).Parent(), &headers);
    EXPECT_EQ(headers.FieldAt(0).Text(), "First: x");
    EXPECT_EQ(headers.FieldAt(3).Text(), "Last: y");
    EXPECT_EQ(headers.RemoveFieldAt(4), nullptr);
    EXPECT_EQ(headers.RemoveFieldAt(-1), nullptr);
    std::unique_ptr<DwField> removed(headers.RemoveFieldAt(0));
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->Parent(), nullptr);
    EXPECT_EQ(headers.FieldCount(), 3);
}

TEST(Headers, FieldBodyForAppendsMissingFieldAndMarksAncestors) {
    DwMessage message("Subject: s\n\nb", nullptr);
    message.Parse();
    message.Assemble();
    DwHeaders& headers = message.Headers();
    DwMediaType& type = headers.ContentType();
    EXPECT_TRUE(message.IsModified());
    ASSERT_EQ(headers.FieldCount(), 2);
    EXPECT_EQ(headers.FieldAt(1).FieldName(), "Content-Type");
    EXPECT_EQ(&type, headers.FieldAt(1).FieldBody());
    message.Assemble();
    DwMediaType& again = headers.ContentType();
    EXPECT_EQ(&again, &type);
    EXPECT_FALSE(message.IsModified()); // an existing field changes nothing
}

TEST(Headers, ReadersCreateNoField) {
    DwMessage message("Subject: s\n\nb", nullptr);
    message.Parse();
    message.Assemble();
    const std::string text = message.Text();
    EXPECT_EQ(message.Headers().FindContentTransferEncoding(), nullptr);
    EXPECT_EQ(message.Headers().FindContentDescription(), nullptr);
    EXPECT_EQ(message.Headers().FindFieldBody("X-Anything"), nullptr);
    EXPECT_EQ(message.Headers().FieldCount(), 1);
    EXPECT_FALSE(message.IsModified());
    ASSERT_NE(message.Headers().FindSubject(), nullptr);
    EXPECT_EQ(message.Headers().FindSubject()->Text(), "s");
    message.Assemble();
    EXPECT_EQ(message.Text(), text);
}

TEST(Headers, BodyReplacedByTextIsParsedFromThatText) {
    DwMessage message("Content-Transfer-Encoding: 7bit\n\nb", nullptr);
    message.Parse();
    DwField* field = message.Headers().FindField("Content-Transfer-Encoding");
    ASSERT_NE(field, nullptr);
    field->SetFieldBodyText("base64");
    EXPECT_EQ(field->FieldBody(), nullptr);
    ASSERT_NE(message.Headers().FindContentTransferEncoding(), nullptr);
    EXPECT_EQ(message.Headers().FindContentTransferEncoding()->AsEnum(), kCteBase64);
    field->SetFieldBodyText("quoted-printable");
    EXPECT_EQ(message.Headers().TransferEncoding().AsEnum(), kCteQuotedPrintable);
    message.Assemble();
    EXPECT_EQ(message.Text(), "Content-Transfer-Encoding: quoted-printable\r\n\r\nb");
}

TEST(Headers, CopiesCloneFields) {
    DwHeaders headers("A: 1\nB: 2\n", nullptr);
    headers.Parse();
    std::unique_ptr<DwHeaders> copy(static_cast<DwHeaders*>(headers.Clone()));
    ASSERT_EQ(copy->FieldCount(), 2);
    EXPECT_NE(&copy->FieldAt(0), &headers.FieldAt(0));
    EXPECT_EQ(copy->FieldAt(1).Parent(), copy.get());
    EXPECT_EQ(copy->FieldAt(1).FieldBody()->Parent(), &copy->FieldAt(1));
}

TEST(Headers, FieldBodyKeepsFoldingAndLineOffset) {
    DwText text("x", nullptr);
    EXPECT_TRUE(text.IsFolding());
    text.SetFolding(false);
    text.SetLineOffset(7);
    DwText copy(text);
    EXPECT_FALSE(copy.IsFolding());
    EXPECT_EQ(copy.LineOffset(), 7);
    DwText other("y", nullptr);
    other = text; // the line offset is copied, folding is not
    EXPECT_TRUE(other.IsFolding());
    EXPECT_EQ(other.LineOffset(), 7);
}

} // namespace
