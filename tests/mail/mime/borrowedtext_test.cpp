// A message tree over bytes it borrows reads, changes and assembles as one over its own copy of them,
// and never writes into them.
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"
#include "tests/mail/mime/treedump.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const std::string kMultipart = "Subject: s\nContent-Type: multipart/mixed; boundary=b\n\npreamble\n--b\n"
                               "Content-Type: text/plain\n\none\n--b\n"
                               "Content-Type: text/html\r\n\r\n<p>two</p>\r\n--b--\nepilogue\n";
const std::string kNested = "Subject: outer\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n"
                            "Content-Type: multipart/alternative; boundary=\"in\"\r\n\r\n--in\r\n"
                            "Content-Type: text/plain\r\n\r\ninner text\r\n--in--\r\n";
const std::string kSingle = "From: a@example.org\nSubject: one part\n\nthe body\nof one part\n";

// The first entity without parts or a nested message.
DwEntity& FirstLeaf(DwEntity& entity) {
    DwBody& body = entity.Body();
    if (body.PartCount() > 0) return FirstLeaf(body.PartAt(0));
    if (body.NestedMessage()) return FirstLeaf(*body.NestedMessage());
    return entity;
}

std::unique_ptr<DwMessage> Parsed(const std::string& text, bool borrowed) {
    std::unique_ptr<DwMessage> message(borrowed ? DwMessage::NewMessage(DwBorrowedText{text}, nullptr)
                                                : DwMessage::NewMessage(text, nullptr));
    message->Parse();
    return message;
}

bool Inside(const std::string& text, const std::string& bytes) {
    return text.data() >= bytes.data() && text.data() < bytes.data() + bytes.size();
}

// For each shape: the parsed trees alike; unchanged or with a changed leaf (its body, or a field of
// it), the assembled trees alike; the borrowed bytes untouched throughout.
TEST(BorrowedText, ATreeOverBorrowedBytesReadsAndAssemblesAsAnOwnedOne) {
    enum Change { kNone, kBody, kField };
    for (const std::string* shape : {&kMultipart, &kNested, &kSingle}) {
        for (const Change change : {kNone, kBody, kField}) {
            const std::string bytes = *shape;
            std::unique_ptr<DwMessage> owned = Parsed(*shape, false);
            std::unique_ptr<DwMessage> borrowed = Parsed(bytes, true);
            // Read where they lie: no copy was made.
            EXPECT_EQ(borrowed->TextView().data(), bytes.data());
            EXPECT_EQ(DumpTree(*owned), DumpTree(*borrowed)) << *shape;
            for (DwMessage* message : {owned.get(), borrowed.get()}) {
                DwEntity& leaf = FirstLeaf(*message);
                if (change == kBody) leaf.Body().SetText("changed body\r\n");
                if (change == kField) leaf.Headers().FieldAt(0).SetFieldBodyText("text/x-changed");
                message->Assemble();
            }
            EXPECT_EQ(owned->Text(), borrowed->Text()) << *shape << change;
            EXPECT_EQ(DumpTree(*owned), DumpTree(*borrowed)) << *shape << change;
            EXPECT_FALSE(Inside(borrowed->Text(), bytes));
            EXPECT_EQ(*shape, bytes);
        }
    }
}

// The text of a node that is all of the borrowed bytes, or a piece of them, is a copy of its own: it
// stays right however the tree or the bytes go on.
TEST(BorrowedText, TheTextOfABorrowedSpanIsACopy) {
    for (const std::string* shape : {&kMultipart, &kNested, &kSingle}) {
        auto bytes = std::make_unique<std::string>(*shape);
        std::unique_ptr<DwMessage> borrowed = Parsed(*bytes, true);
        std::unique_ptr<DwMessage> owned = Parsed(*shape, false);
        const DwEntity& leaf = FirstLeaf(*borrowed);
        const std::string& rootText = borrowed->Text();
        const std::string& leafText = leaf.Text();
        const std::string& bodyText = leaf.Body().Text();
        EXPECT_EQ(*shape, rootText);
        EXPECT_EQ(FirstLeaf(*owned).Text(), leafText);
        EXPECT_EQ(FirstLeaf(*owned).Body().Text(), bodyText);
        for (const std::string* text : {&rootText, &leafText, &bodyText})
            EXPECT_FALSE(Inside(*text, *bytes)) << *shape;
        // The copies hold when the borrowed bytes change and when the tree is assembled.
        const std::string leafBefore = leafText;
        bytes->assign(bytes->size(), '#');
        EXPECT_EQ(*shape, rootText);
        EXPECT_EQ(leafBefore, leaf.Text());
        borrowed.reset();
    }
}

// Assembled, a borrowed tree holds nothing of the bytes it was parsed from: they may go then.
TEST(BorrowedText, AnAssembledTreeLetsTheBorrowedBytesGo) {
    for (const bool change : {false, true}) {
        auto bytes = std::make_unique<std::string>(kMultipart);
        std::unique_ptr<DwMessage> message = Parsed(*bytes, true);
        ASSERT_NE(message->TextSpan(), nullptr);
        const std::weak_ptr<DwTextBuffer> parsed = message->TextSpan()->buffer;
        if (change) message->Body().PartAt(1).Body().SetText("changed\r\n");
        message->Assemble();
        EXPECT_TRUE(parsed.expired()) << change;
        const std::string assembled = message->Text();
        bytes.reset();
        EXPECT_EQ(assembled, message->Text());
        EXPECT_EQ(message->Body().PartAt(0).Body().Text(), "one");
        EXPECT_EQ(message->Body().PartAt(1).Body().Text(), change ? "changed\r\n" : "<p>two</p>");
    }
}

} // namespace
