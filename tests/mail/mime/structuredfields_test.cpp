// The address, date, message-id and trace fields of a parsed message get their own classes, and
// reading them changes nothing that is written back.
#include "mail/mime/addresslist.h"
#include "mail/mime/datetime.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mailbox.h"
#include "mail/mime/mailboxlist.h"
#include "mail/mime/message.h"
#include "mail/mime/msgid.h"
#include "mail/mime/stamp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const char kMessage[] = "Received: from relay.example (relay.example [10.1.2.3])\r\n"
                        "\tby mx.example with ESMTP id 42; Tue, 3 Jan 2004 10:00:00 +0100\r\n"
                        "Return-Path: <>\r\n"
                        "From: \"Smith, John\" <j@example.org>, k@example.org (K)\r\n"
                        "Sender: root\r\n"
                        "To: Friends: a@b, c@d;, e@f\r\n"
                        "Cc: Team: g@h, i@j\r\n"
                        "Date: 3 Jan 04 10:00 GMT\r\n"
                        "Message-Id: < abc (c) @ host >\r\n"
                        "Resent-Date: junk\r\n"
                        "Subject: hi\r\n"
                        "\r\n"
                        "body\r\n";

TEST(StructuredFields, ClassesByFieldName) {
    std::unique_ptr<DwMessage> m(DwMessage::NewMessage(kMessage, nullptr));
    m->Parse();
    DwHeaders& h = m->Headers();
    EXPECT_EQ(h.FindReceived()->From(), "relay.example (relay.example [10.1.2.3])");
    EXPECT_EQ(h.FindReceived()->Date().AsUnixTime(), 1073120400);
    EXPECT_FALSE(h.FindReturnPath()->IsValid());
    EXPECT_EQ(h.FindFrom()->MailboxCount(), 2);
    EXPECT_EQ(h.FindSender()->LocalPart(), "root");
    EXPECT_EQ(h.FindTo()->AddressCount(), 2);
    EXPECT_EQ(h.FindCc()->AddressCount(), 1);
    EXPECT_EQ(h.FindDate()->Year(), 2004);
    EXPECT_EQ(h.FindMessageId()->LocalPart(), "abc");
    EXPECT_EQ(h.FindResentDate()->Year(), 1970);
    EXPECT_EQ(h.FindBcc(), nullptr);
    std::unique_ptr<DwFieldBody> body(DwField::MakeFieldBody("RESENT-FROM", "a@b", nullptr));
    EXPECT_EQ(body->ClassId(), kCidMailboxList);
    body.reset(DwField::MakeFieldBody("content-id", "<a@b>", nullptr));
    EXPECT_EQ(body->ClassId(), kCidMsgId);

    // Nothing read was changed: the header block is written back as it came.
    m->Assemble();
    const std::string text = m->Text();
    EXPECT_EQ(text, kMessage);
}

TEST(StructuredFields, OnlyTheChangedFieldIsRewritten) {
    std::unique_ptr<DwMessage> m(DwMessage::NewMessage(kMessage, nullptr));
    m->Parse();
    DwHeaders& h = m->Headers();
    static_cast<DwMailbox*>(h.FindTo()->AddressAt(1))->SetDisplayName("E, F");
    ASSERT_EQ(h.FindDate()->SetValues(2004, 1, 3, 10, 0, 0, 0, "GMT"), 0);
    m->Assemble();
    std::string expected = kMessage;
    expected.replace(expected.find("To: "), std::string("To: Friends: a@b, c@d;, e@f").size(),
                     "To: Friends: a@b, c@d;,\r\n \"E, F\" <e@f>");
    expected.replace(expected.find("Date: "), std::string("Date: 3 Jan 04 10:00 GMT").size(),
                     "Date: Sat, 3 Jan 2004 10:00:00 +0000 (GMT)");
    EXPECT_EQ(m->Text(), expected);

    std::unique_ptr<DwMessage> again(DwMessage::NewMessage(m->Text(), nullptr));
    again->Parse();
    EXPECT_EQ(again->Headers().FindTo()->AddressCount(), 2);
    EXPECT_EQ(again->Headers().FindDate()->AsUnixTime(), 1073124000);
}

} // namespace
