// The mail walk end to end: message shapes and scan outcomes through the stand-in engine, the reply
// the client gets, the bytes written back and what the process keeps afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "mail/mime/base64.h"
#include "mail/walk/mailwalk.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

std::string Base64(const std::string& data) {
    std::string out;
    Base64Encode(data, out);
    return out;
}

std::string Attachment(const std::string& data, const char* name = "a.bin") {
    return std::string("Content-Type: application/octet-stream; name=\"") + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; filename=\"" +
           name + "\"\r\n\r\n" + Base64(data);
}

std::string TextPart(const std::string& body) {
    return "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + body;
}

std::string
Multipart(const char* subtype, const char* boundary, const std::vector<std::string>& parts,
          const std::string& top = "From: a@example.org\r\nSubject: test\r\nMIME-Version: 1.0\r\n") {
    std::string text =
        top + "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary + "\"\r\n\r\npreamble\r\n";
    for (const std::string& part : parts) text += "--" + std::string(boundary) + "\r\n" + part + "\r\n";
    return text + "--" + boundary + "--\r\n";
}

std::string Mixed(const std::vector<std::string>& parts) {
    return Multipart("mixed", "BB", parts);
}

std::string Single(const char* type, const std::string& body) {
    return std::string("From: a@example.org\r\nSubject: test\r\nContent-Type: ") + type + "\r\n\r\n" + body;
}

// A payload the demo base finds anywhere in an object and cures by cutting it off there.
std::string Appended() {
    return "head of the file " + Signature("APPENDED") + " appended body";
}

std::string ExpectedPath(const std::string& name) {
    return std::string(TARVO_SOURCE_DIR) + "/tests/mail/walk/expected/" + name + ".eml";
}

class MailWalkShapes : public MailWalkTest {};

// Every leftover the walk may not leave.
void ExpectNothingLeft(const WalkRun& run, const std::string& what) {
    EXPECT_EQ(0, run.left.settingsChanged) << what;
    EXPECT_EQ(0, run.left.memoryFiles) << what;
    EXPECT_EQ(0, run.left.descriptors) << what;
    EXPECT_EQ(0, run.left.foundLists) << what;
    EXPECT_FALSE(run.trailing) << what;
}

enum class Outcome { kClean, kInfected, kCured, kDeleted };

struct ShapeCase {
    const char* name; // also the expected file's name when the message is rewritten
    Outcome outcome;
    int stopOnFirst;
    std::string mail;
    int result;
    uint32_t word;
    size_t found;
    bool rewritten;
};

uint32_t OptionsFor(Outcome outcome) {
    switch (outcome) {
    case Outcome::kCured:
        return kWantFound | kWantCure;
    case Outcome::kDeleted:
        return kWantFound | kWantDelete;
    default:
        return kWantFound;
    }
}

TEST_F(MailWalkShapes, ShapesAndOutcomes) {
    const std::string clean = "nothing to see here";
    const std::string nested =
        "Content-Type: message/rfc822\r\n\r\n" +
        Multipart("mixed", "CC", {TextPart("inner text"), Attachment(Appended(), "inner.bin")},
                  "From: b@example.org\r\nSubject: inner\r\n");
    const std::string nestedClean =
        "Content-Type: message/rfc822\r\n\r\n" +
        Multipart("mixed", "CC", {TextPart("inner text"), Attachment(clean, "inner.bin")},
                  "From: b@example.org\r\nSubject: inner\r\n");
    const std::string partialPart =
        "Content-Type: message/partial; id=\"x@y\"; number=1\r\n\r\nthe first part of a message";
    const auto htmlPart = [](const std::string& payload) {
        return "Content-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\ntext before the page\r\n"
               "<html><body>" +
               payload + "</body></html>\r\n";
    };
    const std::string twoInfected =
        Mixed({Attachment(Appended(), "one.bin"), Attachment(Appended(), "two.bin")});
    const ShapeCase cases[] = {
        {"single-clean", Outcome::kClean, 0, Single("text/plain", clean), 0, 0x100000, 0, false},
        {"single-infected", Outcome::kInfected, 0, Single("text/plain", Appended()), 1, 0x20, 1, false},
        {"single-cured", Outcome::kCured, 0, Single("text/plain", Appended()), 9, 0x100120, 1, true},
        {"single-deleted", Outcome::kDeleted, 0, Single("text/plain", Appended()), 0x201, 0x180120, 1, true},
        {"mixed-clean", Outcome::kClean, 0, Mixed({TextPart("hello"), Attachment(clean)}), 0, 0x100000, 0,
         false},
        {"mixed-infected", Outcome::kInfected, 0, Mixed({TextPart("hello"), Attachment(Appended())}), 1, 0x20,
         1, false},
        {"mixed-cured", Outcome::kCured, 0, Mixed({TextPart("hello"), Attachment(Appended())}), 9, 0x100120,
         1, true},
        {"mixed-deleted", Outcome::kDeleted, 0, Mixed({TextPart("hello"), Attachment(Appended())}), 0x201,
         0x180120, 1, true},
        {"nested-clean", Outcome::kClean, 0, Mixed({TextPart("outer"), nestedClean}), 0, 0x100000, 0, false},
        {"nested-infected", Outcome::kInfected, 0, Mixed({TextPart("outer"), nested}), 1, 0x20, 1, false},
        {"nested-cured", Outcome::kCured, 0, Mixed({TextPart("outer"), nested}), 9, 0x100120, 1, true},
        {"nested-deleted", Outcome::kDeleted, 0, Mixed({TextPart("outer"), nested}), 0x201, 0x180120, 1,
         true},
        // A partial part is skipped (and counted), the rest of the message is scanned.
        {"partial-part-clean", Outcome::kClean, 0, Mixed({partialPart, Attachment(clean)}), 0x1000, 0x101000,
         0, false},
        {"partial-part-deleted", Outcome::kDeleted, 0, Mixed({partialPart, Attachment(Appended())}), 0x1201,
         0x181120, 1, true},
        {"html-clean", Outcome::kClean, 0, Mixed({htmlPart(clean)}), 0, 0x100000, 0, false},
        {"html-infected", Outcome::kInfected, 0, Mixed({htmlPart(Appended())}), 1, 0x20, 2, false},
        {"html-cured", Outcome::kCured, 0, Mixed({htmlPart(Appended())}), 9, 0x100120, 1, true},
        {"html-deleted", Outcome::kDeleted, 0, Mixed({htmlPart(Appended())}), 0x201, 0x180120, 1, true},
        // StopOnFirstInfected ends the walk at the first finding unless the request asked for actions.
        {"stop-infected", Outcome::kInfected, 1, twoInfected, 1, 0x20, 1, false},
        {"nostop-infected", Outcome::kInfected, 0, twoInfected, 1, 0x20, 2, false},
        {"stop-deleted", Outcome::kDeleted, 1, twoInfected, 0x201, 0x180120, 2, true},
    };
    const bool regenerate = getenv("TARVO_REGENERATE_EXPECTED") != nullptr;
    for (const ShapeCase& c : cases) {
        const std::string path = dir / c.name;
        ASSERT_TRUE(dir.Write(c.name, c.mail));
        const WalkRun run =
            ScanPath(path, OptionsFor(c.outcome), [&] { StopOnFirstInfected = c.stopOnFirst; });
        EXPECT_EQ(c.result, run.left.result) << c.name;
        EXPECT_EQ(c.word, run.word) << std::hex << c.name;
        EXPECT_EQ(c.found, run.found.size()) << c.name;
        EXPECT_FALSE(run.hasObject) << c.name; // the file itself was rewritten
        ExpectNothingLeft(run, c.name);
        const std::string written = ReadWholeFile(path);
        if (!c.rewritten) {
            EXPECT_EQ(c.mail, written) << c.name;
        } else if (regenerate) {
            std::ofstream(ExpectedPath(c.name), std::ios::binary) << written;
        } else {
            EXPECT_EQ(ReadWholeFile(ExpectedPath(c.name)), written) << c.name;
        }
        EXPECT_EQ(std::vector<std::string>(), TempFiles()) << c.name;
    }
}

} // namespace
