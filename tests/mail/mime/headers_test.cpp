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
        {"To", kCidAddressList},
        {"cc", kCidAddressList},
        {"Bcc", kCidAddressList},
        {"Reply-To", kCidAddressList},
        {"Resent-To", kCidAddressList},
        {"Resent-Cc", kCidAddressList},
        {"Resent-Bcc", kCidAddressList},
        {"Resent-Reply-To", kCidAddressList},
        {"From", kCidMailboxList},
        {"Resent-From", kCidMailboxList},
        {"Sender", kCidMailbox},
        {"Resent-Sender", kCidMailbox},
        {"Return-Path", kCidMailbox},
        {"Date", kCidDateTime},
        {"Resent-Date", kCidDateTime},
        {"Message-Id", kCidMsgId},
        {"Resent-Message-Id", kCidMsgId},
        {"Content-Id", kCidMsgId},
        {"Received", kCidStamp},
        {"Receive", kCidText},
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

// A name given as a literal, as characters known only at run time and as a std::string finds the
// same field: a case difference matches at any length, another name of the same length does not,
// nor do two bytes apart in bit 0x20 that are no letters, and a renamed field is found by its new name.
TEST(Headers, FindFieldFormsAgree) {
    DwHeaders headers("Content-Tipe: x\r\ncontent-TYPE: y\r\nContent-Transfer-Encodinx: z\r\n"
                      "CONTENT-TRANSFER-ENCODING: w\r\nX: v\r\n",
                      nullptr);
    headers.Parse();
    headers.FieldAt(0).SetFieldName("Content\rType");
    auto bodyOf = [](const DwField* field) { return field ? field->FieldBodyText() : std::string("(none)"); };
    const struct {
        std::string name;
        const char* body;
    } cases[] = {
        {"Content-Type", "y"},
        {"CONTENT-type", "y"},
        {"Content-Tipe", "(none)"},
        {"Content\rType", "x"},
        {"Content\rtype", "x"},
        {"Content-Typ", "(none)"},
        {"Content-Transfer-Encoding", "w"},
        {"content-transfer-encodinX", "z"},
        {"x", "v"},
        {"", "(none)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bodyOf(headers.FindField(c.name)), c.body) << c.name;
        EXPECT_EQ(bodyOf(headers.FindField(c.name.c_str())), c.body) << c.name;
    }
    EXPECT_EQ(bodyOf(headers.FindField("Content-Type")), "y");
    EXPECT_EQ(bodyOf(headers.FindField("Content-Tipe")), "(none)");
    EXPECT_EQ(bodyOf(headers.FindField("Content\rType")), "x");
    EXPECT_EQ(bodyOf(headers.FindField("content-transfer-encoding")), "w");
    EXPECT_EQ(bodyOf(headers.FindField("Content-Transfer-EncodinX")), "z");
    EXPECT_TRUE(headers.HasContentType());
    EXPECT_EQ(headers.FindContentTransferEncoding(),
              &static_cast<DwMechanism&>(*headers.FieldAt(3).FieldBody()));
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

namespace {

DwFieldBody* gHookedBody = nullptr;

DwFieldBody* MakeBodyThroughHook(const std::string& name, const std::string& text,
                                 DwMessageComponent* parent) {
    DwField::sMakeFieldBodyHook = nullptr;
    gHookedBody = DwField::MakeFieldBody(name, text, parent);
    DwField::sMakeFieldBodyHook = MakeBodyThroughHook;
    return gHookedBody;
}

} // namespace

// A parsed field makes its field body when it is first asked for; that body is the one Parse used to
// make at once: the same class, text and reading.
TEST(Field, BodyMadeWhenFirstAskedForIsTheParsedOne) {
    const char* const texts[] = {
        "Content-Type: text/plain; charset=us-ascii\r\n",
        "Content-Disposition: attachment; filename=\"a b.txt\"\r\n",
        "Content-Transfer-Encoding: base64\r\n",
        "From: Someone <someone@example.net>, other@example.org\r\n",
        "Date: Thu, 10 Dec 2026 10:00:00 +0100\r\n",
        "Subject: =?utf-8?Q?caf=C3=A9?= menu\r\n",
        "X-Anything: left as text\r\n",
    };
    for (const char* text : texts) {
        DwField field(text, nullptr);
        field.Parse();
        EXPECT_TRUE(field.IsFieldBodyPending()) << text;
        std::unique_ptr<DwFieldBody> expected(
            DwField::MakeFieldBody(field.FieldName(), field.FieldBodyText(), nullptr));
        expected->Parse();
        DwFieldBody* body = field.FieldBody();
        ASSERT_NE(body, nullptr) << text;
        EXPECT_FALSE(field.IsFieldBodyPending()) << text;
        EXPECT_EQ(body->ClassId(), expected->ClassId()) << text;
        EXPECT_EQ(body->Text(), field.FieldBodyText()) << text;
        EXPECT_EQ(body->Parent(), &field) << text;
        EXPECT_FALSE(field.IsModified()) << text;
        if (auto* type = dynamic_cast<DwMediaType*>(body)) {
            EXPECT_EQ(type->Charset(), "us-ascii");
        }
        if (auto* disposition = dynamic_cast<DwDispositionType*>(body)) {
            EXPECT_EQ(disposition->Filename(), "a b.txt");
        }
        field.MarkModified();
        field.Assemble();
        EXPECT_EQ(field.Text(), text);
    }
}

TEST(Field, BodyIsMadeAtParseWhileAHookIsSet) {
    DwField::sMakeFieldBodyHook = MakeBodyThroughHook;
    gHookedBody = nullptr;
    DwField field("Content-Type: text/html\r\n", nullptr);
    field.Parse();
    DwField::sMakeFieldBodyHook = nullptr;
    EXPECT_FALSE(field.IsFieldBodyPending());
    ASSERT_NE(gHookedBody, nullptr);
    EXPECT_EQ(field.FieldBody(), gHookedBody);
}

// What was parsed stays what it was read as: a new name or a copy does not change the body's class.
TEST(Field, BodyStillToBeMadeKeepsItsReading) {
    DwField renamed("Content-Type: text/html\r\n", nullptr);
    renamed.Parse();
    renamed.SetFieldName("X-Type");
    auto* type = dynamic_cast<DwMediaType*>(renamed.FieldBody());
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->Subtype(), kSubtypeHtml);

    DwField original("Content-Transfer-Encoding: base64\r\n", nullptr);
    original.Parse();
    DwField copy(original);
    EXPECT_NE(dynamic_cast<DwMechanism*>(copy.FieldBody()), nullptr);
    EXPECT_EQ(copy.FieldBody()->Parent(), &copy);

    DwField target("Subject: old\r\n", nullptr);
    target.Parse();
    target = original;
    EXPECT_NE(dynamic_cast<DwMechanism*>(target.FieldBody()), nullptr);

    DwField replaced("Content-Type: text/html\r\n", nullptr);
    replaced.Parse();
    replaced.SetFieldBody(nullptr);
    EXPECT_EQ(replaced.FieldBody(), nullptr);
    EXPECT_TRUE(replaced.IsModified());
}

// The name and the body text are read out of the parsed text when they are asked for; a new text
// before that leaves them as they were parsed, until the next Parse.
TEST(Field, NameAndBodyTextStayAsParsed) {
    DwMessage message("Subject: first\r\nContent-Disposition:  attachment \r\n\r\nbody", nullptr);
    message.Parse();
    DwField& field = message.Headers().FieldAt(1);
    EXPECT_EQ(field.FieldNameView(), "Content-Disposition");
    EXPECT_EQ(field.FieldBodyTextView(), "attachment");
    field.SetText("X: y\r\n");
    EXPECT_EQ(field.FieldName(), "Content-Disposition");
    EXPECT_EQ(field.FieldBodyText(), "attachment");
    field.Parse();
    EXPECT_EQ(field.FieldName(), "X");
    EXPECT_EQ(field.FieldBodyText(), "y");
    DwField& subject = message.Headers().FieldAt(0);
    DwField copy(subject);
    EXPECT_EQ(copy.FieldName(), "Subject");
    EXPECT_EQ(copy.FieldBodyText(), "first");
}
