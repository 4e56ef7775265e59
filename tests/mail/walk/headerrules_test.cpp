#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/tvstrlist.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"
#include "mail/walk/headerrules.h"
#include "unix/config/daemonsettings.h"
#include "unix/logcapture.h"
#include "unix/protocol/scanrequest.h"
#include "unix/config/settingslife.h"

namespace {

std::unique_ptr<DwMessage> Parsed(const std::string& text) {
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
    message->Parse();
    return message;
}

// Rules, the rule switch, the MissingHeader list and the reason string, set up for one case and gone
// after it.
class HeaderRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        FreeFilterRules();
        FreeReasonString();
        RuleSwitch = 1;
        MissingHeader = std::make_unique<tvStringList>(1);
    }
    void TearDown() override {
        FreeFilterRules();
        FreeReasonString();
        RuleSwitch = 0;
        MissingHeader.reset();
    }
    static std::string Reason() { return ReasonString() ? ReasonString() : "(none)"; }
    LogCapture log_;
};

const char kPlain[] =
    "From: a@b.example\r\nSubject: hello\r\nDate: Thu, 1 Jan 2026 00:00:00 +0000\r\n\r\nbody\r\n";

TEST_F(HeaderRulesTest, MissingHeaderNamesEveryFieldUpToTheFirstMissing) {
    MissingHeader->AddString("From");
    MissingHeader->AddString("Date");
    auto message = Parsed("From: a@b.example\r\nSubject: s\r\n\r\nbody\r\n");
    EXPECT_EQ(ApplyHeaderRules(0, *message, "mail.eml"), 1);
    EXPECT_EQ(Reason(), "MissingHeader: \"From\" \"Date\"");
    ASSERT_NE(RequestReasonText, nullptr);
    EXPECT_STREQ(RequestReasonText, "MissingHeader: \"From\" \"Date\"");
    ASSERT_EQ(log_.Lines().size(), 1u);
    EXPECT_NE(log_.Lines()[0].find("mail.eml - rejected ('Date' missing)"), std::string::npos)
        << log_.Lines()[0];

    FreeReasonString();
    EXPECT_EQ(RequestReasonText, nullptr);
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(kPlain), "m"), 0);
    EXPECT_EQ(Reason(), "(none)");
}

TEST_F(HeaderRulesTest, RuleSwitchOffChecksNothing) {
    MissingHeader->AddString("X-Absent");
    ASSERT_EQ(AddMessageRule("Subject = \"hello\"", 1), 1);
    ASSERT_EQ(AddPartRule("Subject = \"hello\"", 1), 1);
    RuleSwitch = 0;
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(kPlain), "m"), 0);
    RuleSwitch = 1;
    EXPECT_NE(ApplyHeaderRules(0, *Parsed(kPlain), "m"), 0);
}

TEST_F(HeaderRulesTest, AcceptRuleDecidesFirstAndSkipsMissingHeader) {
    MissingHeader->AddString("X-Absent");
    ASSERT_EQ(AddMessageRule("From = \"@b\\.example$\"", 0), 1);
    ASSERT_EQ(AddMessageRule("Subject = \"hello\"", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(kPlain), "m"), 0);
    EXPECT_EQ(Reason(), "(none)");

    FreeFilterRules();
    ASSERT_EQ(AddMessageRule("From = \"nobody\"", 0), 1);
    ASSERT_EQ(AddMessageRule("Subject = \"hel+o\"   ", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(kPlain), "m.eml"), 1);
    EXPECT_EQ(Reason(), "Subject = \"hel+o\"");
    ASSERT_FALSE(log_.Lines().empty());
    EXPECT_NE(log_.Lines().back().find("m.eml - rejected by filter condition {Subject = \"hel+o\"}"),
              std::string::npos)
        << log_.Lines().back();
}

TEST_F(HeaderRulesTest, RefusedRulesAreNotAdded) {
    EXPECT_EQ(AddMessageRule("AND Subject = \"x\"", 1), 0);
    EXPECT_EQ(AddMessageRule("Subject = \"[\"", 1), 0);
    ASSERT_TRUE(MessageRules);
    EXPECT_TRUE(MessageRules->rules.empty());
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(kPlain), "m"), 0);
}

TEST_F(HeaderRulesTest, FieldTests) {
    struct Case {
        const char* rule;
        std::string headers;
        int rejected;
    } cases[] = {
        {"Subject = \"8bit\"", "Subject: caf\xE0\r\n", 1},
        {"subject = \"8BIT\"", "Subject: plain\r\nSubject: more\r\n", 0},
        {"Subject = \"8bit\"", "Subject: about 8bit mail\r\n", 1},
        {"Subject != \"8bit\"", "Subject: caf\xE0\r\n", 0},
        {"X-Other = \"8bit\"", "Subject: caf\xE0\r\n", 0},
        // Lower-case Cyrillic patterns match the KOI8-R upper-cased body, raw or encoded.
        {"Subject = \"\xD0\xD2\xC9\xD7\xC5\xD4\"", "Subject: \xF0\xD2\xC9\xD7\xC5\xD4 all\r\n", 1},
        {"Subject = \"^\xD0\xD2\xC9\xD7\xC5\xD4$\"", "Subject: =?koi8-r?B?8NLJ18XU?=\r\n", 1},
        {"Subject = \"\xD0\xD2\xC9\xD7\xC5\xD4\"", "Subject: \xF0\xD2\xC9\xD7\xC5\r\n", 0},
        // Every field of the name is tried.
        {"Received = \"evil\"", "Received: from good\r\nReceived: from EVIL\r\n", 1},
        {"NO \"Date\"", "Subject: s\r\n", 1},
        {"NO \"date\"", "Date: now\r\n", 0},
        {"X-Absent != \"x\"", "Subject: s\r\n", 1},
        {"( Subject = \"a\" OR Subject = \"b\" OR Subject = \"c\" ) AND From = \"x\"",
         "Subject: a\r\nFrom: y\r\n", 0},
        {"( Subject = \"a\" OR Subject = \"b\" OR Subject = \"c\" ) AND From = \"x\"",
         "Subject: a\r\nFrom: x\r\n", 1},
    };
    for (const Case& c : cases) {
        FreeFilterRules();
        ASSERT_EQ(AddMessageRule(c.rule, 1), 1) << c.rule;
        auto message = Parsed(c.headers + "\r\nbody\r\n");
        EXPECT_EQ(ApplyHeaderRules(0, *message, "m") != 0, c.rejected != 0) << c.rule << " on " << c.headers;
    }
}

const char kNestedAttachment[] = "From: a@b.example\r\n"
                                 "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
                                 "\r\n"
                                 "--outer\r\n"
                                 "Content-Type: text/plain\r\n"
                                 "\r\n"
                                 "see the forwarded mail\r\n"
                                 "--outer\r\n"
                                 "Content-Type: message/rfc822\r\n"
                                 "\r\n"
                                 "From: c@d.example\r\n"
                                 "Content-Type: multipart/mixed; boundary=\"inner\"\r\n"
                                 "\r\n"
                                 "--inner\r\n"
                                 "Content-Type: text/plain\r\n"
                                 "\r\n"
                                 "hi\r\n"
                                 "--inner\r\n"
                                 "Content-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=\"tool.EXE\"\r\n"
                                 "\r\n"
                                 "MZ\r\n"
                                 "--inner--\r\n"
                                 "--outer--\r\n";

TEST_F(HeaderRulesTest, PartRulesReachThePartsOfNestedMessages) {
    ASSERT_EQ(AddPartRule("FileName = \"\\.exe$\"", 1), 1);
    auto message = Parsed(kNestedAttachment);
    EXPECT_EQ(ApplyHeaderRules(0, *message, "fwd.eml"), kRuleRejected);
    EXPECT_EQ(Reason(), "FileName = \"\\.exe$\"");

    FreeFilterRules();
    FreeReasonString();
    ASSERT_EQ(AddPartRule("From = \"c@d\"", 1), 1); // the nested message's own headers
    EXPECT_EQ(ApplyHeaderRules(0, *message, "fwd.eml"), kRuleRejected);

    FreeFilterRules();
    ASSERT_EQ(AddPartRule("FileName = \"\\.zip$\"", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *message, "fwd.eml"), 0);
    // A multipart's own headers are not tested against part rules (a nested message's top ones are).
    FreeFilterRules();
    ASSERT_EQ(AddPartRule("Content-Type = \"outer\"", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *message, "fwd.eml"), 0);
    FreeFilterRules();
    ASSERT_EQ(AddPartRule("Content-Type = \"inner\"", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *message, "fwd.eml"), kRuleRejected);
}

TEST_F(HeaderRulesTest, FileNameWithoutALabelIsAnOrdinaryField) {
    ASSERT_EQ(AddPartRule("FileName = \"^notes\"", 1), 1);
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed("FileName: notes.txt\r\n\r\nx\r\n"), "m"), kRuleRejected);
    EXPECT_EQ(
        ApplyHeaderRules(
            0, *Parsed("Content-Type: text/plain; name=\"other\"\r\nFileName: notes.txt\r\n\r\nx\r\n"), "m"),
        0);
}

// The RFC 2231 forms of a file name, and every name a part is given, meet the FileName rules.
TEST_F(HeaderRulesTest, FileNameInEveryFormItIsWritten) {
    ASSERT_EQ(AddPartRule("FileName = \"\\.exe$\"", 1), 1);
    const struct {
        const char* what;
        const char* fields;
        int result;
    } cases[] = {
        {"extended", "Content-Disposition: attachment; filename*=UTF-8''x.exe", kRuleRejected},
        {"extended, escaped", "Content-Disposition: attachment; filename*=UTF-8'en'x%2Eexe", kRuleRejected},
        {"pieces", "Content-Disposition: attachment; filename*0=\"x\"; filename*1=.ex; filename*2=e",
         kRuleRejected},
        {"extended pieces", "Content-Type: application/x; name*0*=UTF-8''x; name*1*=%2E%65xe", kRuleRejected},
        {"plain name first, extended one later",
         "Content-Disposition: attachment; filename=a.txt; filename*=''x.exe", kRuleRejected},
        {"the type's name behind the disposition's",
         "Content-Type: application/x; name=\"x.exe\"\r\nContent-Disposition: attachment; filename=a.txt",
         kRuleRejected},
        {"encoded word", "Content-Disposition: attachment; filename=\"=?utf-8?B?eC5leGU=?=\"", kRuleRejected},
        {"no such name", "Content-Disposition: attachment; filename*=UTF-8''x.txt", 0},
    };
    for (const auto& c : cases) {
        const std::string mail = std::string("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n") +
                                 c.fields + "\r\n\r\nMZ\r\n--b--\r\n";
        EXPECT_EQ(ApplyHeaderRules(0, *Parsed(mail), "m"), c.result) << c.what;
    }
}

TEST_F(HeaderRulesTest, DeepNestingEndsWithTheTree) {
    ASSERT_EQ(AddPartRule("FileName = \"\\.exe$\"", 1), 1);
    const std::string wrapper = "Content-Type: message/rfc822\r\n\r\n";
    const std::string leaf = "Content-Type: application/octet-stream; name=a.exe\r\n\r\nMZ\r\n";
    std::string deep;
    for (int k = 0; k < 200; ++k) deep += wrapper;
    EXPECT_EQ(ApplyHeaderRules(0, *Parsed(wrapper + wrapper + leaf), "m"), kRuleRejected);
    ApplyHeaderRules(0, *Parsed(deep + leaf), "m"); // ends, whatever the parser left as text below its limit
}

TEST_F(HeaderRulesTest, PartLabel) {
    struct Case {
        std::string headers;
        std::string scanLabel;
        std::string fileLabel;
    } cases[] = {
        {"Content-Disposition: attachment; filename=\"a.doc\"\r\nContent-Type: application/msword; "
         "name=\"b.doc\"\r\n",
         "a.doc", "a.doc"},
        {"Content-Disposition: attachment; filename=\"\"\r\nContent-Type: application/msword; "
         "name=\"b.doc\"\r\n",
         "b.doc", "b.doc"},
        {"Content-Type: application/octet-stream; filename=c.bin\r\n", "c.bin", "c.bin"},
        {"Content-Type: application/octet-stream\r\n", "[application:octet-stream]", ""},
        {"Content-Type: text/plain; charset=us-ascii\r\n", "[text:plain]", ""},
        {"Content-Type: application/x; NAME=d.bin\r\n", "d.bin", "d.bin"},
        {"Content-Type: application/octet-stream; charset=x; Filename=f.bin\r\n", "f.bin", "f.bin"},
        {"Content-Type: text/plain ; name=e.txt\r\n", "e.txt", "e.txt"},
        {"Content-Type: text/plain (n); charset=us-ascii\r\n", "[text:plain]", ""},
        {"Content-Type: text\r\n", "[text]", ""},
        {"Content-Type: Text/HTML; charset=us-ascii\r\n", "[Text:HTML]", ""},
        {"Content-Type: text / plain\r\n", "[text:plain]", ""},
        {"Content-Type: (a comment)text/(another)plain\r\n", "[text:plain]", ""},
        {"Subject: none\r\n", "[message body]", ""},
    };
    for (const Case& c : cases) {
        auto message = Parsed(c.headers + "\r\nbody\r\n");
        // Read from the field's text, then from the media type once it is made.
        for (int made = 0; made < 2; ++made) {
            if (made) message->Headers().FindContentType();
            std::string label = "stale";
            PartLabel(message->Headers(), label, 1);
            EXPECT_EQ(label, c.scanLabel) << c.headers << made;
            PartLabel(message->Headers(), label, 0);
            EXPECT_EQ(label, c.fileLabel) << c.headers << made;
            std::string name = "part/";
            AppendPartLabel(message->Headers(), name, 1);
            EXPECT_EQ(name, "part/" + c.scanLabel) << c.headers << made;
            // As the walk asks for it, with what was read with the type already.
            const EntityType read = EntityTypeOf(*message);
            std::string noted = "part/";
            AppendPartLabel(message->Headers(), noted, 1, read.pending ? &read.read : nullptr);
            EXPECT_EQ(noted, "part/" + c.scanLabel) << c.headers << made;
        }
        // Reading a label adds no field.
        EXPECT_EQ(message->Headers().HasContentType(), c.headers.find("Content-Type") != std::string::npos);
    }
}

TEST_F(HeaderRulesTest, SettingsReleaseFreesTheRules) {
    ASSERT_EQ(AddMessageRule("Subject = \"x\"", 1), 1);
    ASSERT_EQ(AddPartRule("Subject = \"x\"", 1), 1);
    MissingHeader.reset();
    FreeSettings();
    EXPECT_FALSE(MessageRules);
    EXPECT_FALSE(PartRules);
    EXPECT_EQ(CreateSettings(), 0);
    FreeSettings();
    MissingHeader = std::make_unique<tvStringList>(1);
}

} // namespace
