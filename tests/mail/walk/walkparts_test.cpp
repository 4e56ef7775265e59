// The walk's part scan lends each part's bytes to the engine: a cure gives the walk the cured bytes
// and leaves the message text they were borrowed from as it was.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mail/mime/base64.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/message.h"
#include "mail/walk/mailsettings.h"
#include "mail/walk/walkparts.h"
#include "shell/scan/scantask.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

std::string Base64(const std::string& data) {
    std::string out;
    Base64Encode(data, out);
    return out;
}

std::string Mixed(const std::string& part) {
    return "From: a@example.org\r\nSubject: test\r\nContent-Type: multipart/mixed; boundary=\"BB\"\r\n\r\n"
           "--BB\r\nContent-Type: text/plain\r\n\r\nbefore\r\n--BB\r\n" +
           part + "\r\n--BB\r\nContent-Type: text/plain\r\n\r\nafter\r\n--BB--\r\n";
}

class WalkPartsTest : public MailWalkTest {};

TEST_F(WalkPartsTest, CuredPartYieldsTheCuredBytesAndLeavesTheMessageTextAlone) {
    // The demo base cuts an object off where the appended signature begins, and wipes the curable one
    // at its start with zeros.
    const std::string appended = "head of the file " + Signature("APPENDED") + " appended body";
    const std::string curable = Signature("CURABLE") + " and the rest";
    const std::string wiped = std::string(Signature("CURABLE").size(), '\0') + " and the rest";
    const std::string page = "text before the page\r\n<html><body>";
    struct Case {
        const char* what;
        std::string part;
        std::string cured; // what the part's body becomes, base64-encoded
    } cases[] = {
        {"cut, where the message holds it", "Content-Type: text/plain\r\n\r\n" + appended,
         "head of the file "},
        {"wiped, where the message holds it", "Content-Type: text/plain\r\n\r\n" + curable, wiped},
        {"cut, decoded",
         "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             Base64(appended),
         "head of the file "},
        // The page after the text before it is cut, then scanned whole behind that text.
        {"cut, the page of an html part",
         "Content-Type: text/html\r\n\r\n" + page + appended + "</body></html>", page + "head of the file "},
    };
    for (const Case& c : cases) {
        const std::string mail = Mixed(c.part);
        // Bit 1: the message text unchanged; bit 2: the part cured; bit 4: its new body the cured bytes;
        // bit 8: the other parts as they came.
        const WalkRun run = Run(kWantFound | kWantCure, [&](int) {
            MailSettingsScope settings;
            settings.Apply(RequestOptionWord);
            ScanTask task(MainSettings, 0, kScanStackBudget);
            MailWalkState walk;
            walk.task = &task;
            walk.name = "lent.eml";
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(std::string(mail), nullptr));
            message->Parse();
            QueueTreeReadings(walk, *message);
            ScanMultipartParts(walk, *message);
            DwBody& body = message->Body();
            int checks = 0;
            if (message->TextView() == mail) checks |= 1;
            if (walk.status & TARVO_RESULT_CURED) checks |= 2;
            if (body.PartCount() == 3 && body.PartAt(1).Body().TextView() == Base64(c.cured)) checks |= 4;
            if (body.PartCount() == 3 && body.PartAt(0).Body().TextView() == "before" &&
                body.PartAt(2).Body().TextView() == "after")
                checks |= 8;
            return checks;
        });
        EXPECT_EQ(15, run.left.result) << c.what;
        EXPECT_EQ(0, run.left.memoryFiles) << c.what;
    }
}

} // namespace
