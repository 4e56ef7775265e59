#include "mail/mime/basicmessage.h"
#include "mail/mime/multipartmessage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>

#include "mail/mime/body.h"
#include "mail/mime/enums.h"
#include "mail/mime/generators.h"
#include "mail/mime/headers.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "scoped_tz.h"

namespace {

static_assert(!std::is_copy_constructible_v<BasicMessage> && !std::is_copy_assignable_v<BasicMessage>,
              "two wrappers would free one tree twice");
static_assert(!std::is_copy_constructible_v<MultipartMessage>, "");

DwMessage* Parsed(const std::string& text) {
    DwMessage* m = DwMessage::NewMessage(text, nullptr);
    m->Parse();
    return m;
}

class MessageWrappers : public ::testing::Test {
protected:
    void SetUp() override {
        DwProcessFacts facts;
        facts.now = 1073120400;
        facts.processId = 42;
        facts.hostName = "mail.example";
        SetProcessFacts(facts);
        RestartSerial(0);
    }
    void TearDown() override { SetProcessFacts({}); }
    ScopedTz tz_{"UTC0"};
};

TEST_F(MessageWrappers, AbsentFields) {
    BasicMessage m(Parsed("Subject: x\r\n\r\nbody\r\n"));
    EXPECT_EQ(m.Charset(), "");
    EXPECT_EQ(m.Type(), 0);
    EXPECT_EQ(m.Subtype(), 0);
    EXPECT_EQ(m.TypeStr(), "");
    EXPECT_EQ(m.Cte(), 0);
    EXPECT_EQ(m.CteStr(), "");
    EXPECT_EQ(m.Date(), -1);
    EXPECT_EQ(m.To(), "");
    EXPECT_EQ(m.Subject(), "x");
    EXPECT_EQ(m.Body(), "body\r\n");
    // Reading added nothing.
    EXPECT_EQ(m.Message().Headers().FieldCount(), 1);
    EXPECT_EQ(m.AsString(), "Subject: x\r\n\r\nbody\r\n");
}

TEST_F(MessageWrappers, FieldsRoundTrip) {
    BasicMessage m(Parsed("Content-Type: Text/Plain; charset=\"ISO-8859-1\"\r\n\r\nhi\r\n"));
    EXPECT_EQ(m.Charset(), "iso-8859-1");
    EXPECT_EQ(m.Type(), kTypeText);
    EXPECT_EQ(m.SubtypeStr(), "Plain");
    m.SetSubject("Hello");
    m.SetFrom("\"Smith, John\" <j@example.org>");
    m.SetTo("a@b, Team: c@d;");
    m.SetCte(kCteQuotedPrintable);
    m.SetDate(1073124000);
    m.SetSubtype(kSubtypeHtml);
    m.SetBody("<p>hi</p>\r\n");
    m.SetAutomaticFields();
    m.SetCharset("UTF-8");
    EXPECT_EQ(m.Charset(), "utf-8");

    BasicMessage again(Parsed(m.AsString()));
    EXPECT_EQ(again.Subject(), "Hello");
    EXPECT_EQ(again.From(), "\"Smith, John\" <j@example.org>");
    EXPECT_EQ(again.To(), "a@b, Team: c@d;");
    EXPECT_EQ(again.Cte(), kCteQuotedPrintable);
    EXPECT_EQ(again.Date(), 1073124000);
    EXPECT_EQ(again.DateStr(), "Sat, 3 Jan 2004 10:00:00 +0000 (UTC)");
    EXPECT_EQ(again.Type(), kTypeText);
    EXPECT_EQ(again.Subtype(), kSubtypeHtml);
    EXPECT_EQ(again.Body(), "<p>hi</p>\r\n");
    EXPECT_EQ(again.Charset(), "iso-8859-1");
    EXPECT_EQ(again.Message().Headers().FindFieldBody("MIME-Version")->Text(), "1.0");
    EXPECT_EQ(again.Message().Headers().FindFieldBody("Message-Id")->Text(),
              "<3FF68490.000001.00042@mail.example>");
}

TEST_F(MessageWrappers, MultipartRoundTrip) {
    MultipartMessage m;
    m.SetAutomaticFields();
    m.SetSubject("parts");
    MultipartBodyPart text;
    text.SetBody("Hello\r\n");
    m.AddBodyPart(text);
    MultipartBodyPart file;
    file.SetType(kTypeApplication);
    file.SetSubtype(kSubtypeOctetStream);
    file.SetCte(kCteBase64);
    file.SetContentDescription("a file");
    file.SetContentDisposition("attachment; filename=\"a.bin\"");
    file.SetBody("AAEC\r\n");
    m.AddBodyPart(file);
    EXPECT_EQ(m.NumberOfParts(), 2);
    const std::string assembled = m.AsString();

    MultipartMessage again(Parsed(assembled));
    EXPECT_EQ(again.Type(), kTypeMultipart);
    EXPECT_EQ(again.Subtype(), kSubtypeMixed);
    EXPECT_EQ(again.Message().Headers().FindContentType()->Boundary().size(), 45u);
    ASSERT_EQ(again.NumberOfParts(), 2);
    MultipartBodyPart part;
    again.GetBodyPart(0, part);
    EXPECT_EQ(part.TypeStr(), "Text");
    EXPECT_EQ(part.SubtypeStr(), "Plain");
    EXPECT_EQ(part.CteStr(), "7bit");
    EXPECT_EQ(part.Body(), "Hello\r\n");
    again.GetBodyPart(1, part);
    EXPECT_EQ(part.Type(), kTypeApplication);
    EXPECT_EQ(part.Subtype(), kSubtypeOctetStream);
    EXPECT_EQ(part.Cte(), kCteBase64);
    EXPECT_EQ(part.ContentDescription(), "a file");
    EXPECT_EQ(part.ContentDisposition(), "attachment; filename=\"a.bin\"");
    EXPECT_EQ(part.FileName(), "a.bin");
    EXPECT_EQ(part.Body(), "AAEC\r\n");
    // Assembled again without a change, the text is the same.
    EXPECT_EQ(again.AsString(), assembled);

    // An index outside the parts empties every field.
    again.GetBodyPart(5, part);
    EXPECT_EQ(part.TypeStr(), "");
    EXPECT_EQ(part.CteStr(), "");
    EXPECT_EQ(part.Body(), "");
    again.GetBodyPart(-1, part);
    EXPECT_EQ(part.SubtypeStr(), "");
}

TEST_F(MessageWrappers, PartsFromTheHeadersOfAPart) {
    MultipartMessage m(Parsed("Content-Type: multipart/mixed; boundary=xx\r\n\r\n"
                              "--xx\r\n"
                              "Content-Type: text/plain; charset=KOI8-R; name=n.txt\r\n"
                              "X-Content-File: x.doc\r\n\r\n"
                              "one\r\n"
                              "--xx\r\n"
                              "Content-Type: text/plain; name=n.txt\r\n"
                              "Content-Disposition: inline\r\n\r\n"
                              "two\r\n"
                              "--xx--\r\n"));
    ASSERT_EQ(m.NumberOfParts(), 2);
    MultipartBodyPart part;
    m.GetBodyPart(0, part);
    EXPECT_EQ(part.Charset(), "koi8-r");
    EXPECT_EQ(part.FileName(), "n.txt");
    EXPECT_EQ(part.XContentFileName(), "x.doc");
    // A disposition's file name replaces the type's, even when it has none.
    m.GetBodyPart(1, part);
    EXPECT_EQ(part.ContentDisposition(), "inline");
    EXPECT_EQ(part.FileName(), "");
}

TEST_F(MessageWrappers, SetBodyPartPadsWithinALimit) {
    MultipartMessage m;
    m.SetAutomaticFields();
    m.AddBodyPart(MultipartBodyPart());
    MultipartBodyPart part;
    part.SetBody("fourth\r\n");
    ASSERT_EQ(m.SetBodyPart(3, part), 0);
    ASSERT_EQ(m.NumberOfParts(), 4);
    MultipartBodyPart read;
    m.GetBodyPart(2, read);
    EXPECT_EQ(read.Body(), "");
    m.GetBodyPart(3, read);
    EXPECT_EQ(read.Body(), "fourth\r\n");

    EXPECT_EQ(m.SetBodyPart(-1, part), -1);
    EXPECT_EQ(m.SetBodyPart(2000000000, part), -1);
    EXPECT_EQ(m.SetBodyPart(4 + MultipartMessage::kMaxAddedParts, part), -1);
    EXPECT_EQ(m.NumberOfParts(), 4);
    EXPECT_EQ(m.SetBodyPart(3 + MultipartMessage::kMaxAddedParts, part), 0);
    EXPECT_EQ(m.NumberOfParts(), 4 + MultipartMessage::kMaxAddedParts);
}

TEST_F(MessageWrappers, TakeMessageReplacesTheTree) {
    BasicMessage m;
    EXPECT_EQ(m.AsString(), ""); // nothing changed, nothing to write
    m.TakeMessage(Parsed("Subject: new\r\n\r\n"));
    EXPECT_EQ(m.Subject(), "new");
    m.TakeMessage(&m.Message()); // the same tree is kept, not freed
    EXPECT_EQ(m.Subject(), "new");
}

} // namespace
