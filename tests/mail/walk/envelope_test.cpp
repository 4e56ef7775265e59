#include "mail/walk/envelope.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EnvelopeCase {
    const char* what;
    std::string text;
    size_t expected; // length removed
};

const std::string kMessage = "From: a@b\r\nSubject: s\r\n\r\nbody\r\n";

TEST(MailEnvelope, RemovesOnlyALeadingEnvelope) {
    const std::string lfEnvelope = "P sender <a@b>\nR <c@d>\n\n";
    const std::string crlfEnvelope = "P sender <a@b>\r\nR <c@d>\r\n\r\n";
    const std::string external = "external 1\nqueue 2\nenv-end \t\r\n";
    const EnvelopeCase cases[] = {
        {"LF envelope", lfEnvelope + kMessage, lfEnvelope.size()},
        {"CRLF envelope", crlfEnvelope + kMessage, crlfEnvelope.size()},
        {"blank lines after the marker go too", lfEnvelope + "\r\n\n" + kMessage, lfEnvelope.size() + 3},
        {"external envelope", external + kMessage, external.size()},
        {"second line of the envelope starts it", "X-first\nP s <a@b>\nR x\n\n" + kMessage, 23},
        {"no LF", "P sender <a@b>", 0},
        {"second line empty", "P sender <a@b>\n\nFrom: a\n\nbody", 0},
        {"second line empty with CR", "P sender <a@b>\r\n\r\nFrom: a\n\nbody", 0},
        {"no empty line after it", "P sender <a@b>\nR x\nFrom: a", 0},
        {"only line ends after the marker", "P sender <a@b>\nR x\n\n\r\n", 0},
        {"only blanks after env-end", "external\nx\nenv-end  \r\n ", 0},
        {"no env-end", "external\nx\n\nbody", 0},
        {"'>' before '<'", "P sender >a@b<\nR x\n\n" + kMessage, 0},
        {"'<' and '>' on different lines", "P sender <a\nb> x\n\n" + kMessage, 0},
        {"no blank after P", "Psender <a@b>\nR x\n\n" + kMessage, 0},
        // A header line that starts like an envelope only with what follows it must stay.
        {"header line with <> further down", "Subject: x\nP y\nFrom: <a@b>\n\nbody", 0},
        {"external inside a header", "Subject: x\nX-external: y\nenv-end: z\n\nbody", 0},
        // The line after the last tested one is empty: the header block ends there.
        {"pattern line directly before the empty line", "Subject: x\nP s <a@b>\n\nbody\n\nmore", 0},
        {"first marker wins (LF before CRLF)", "P s <a@b>\nR x\n\nA\n\r\nB", 15},
        {"first marker wins (CRLF before LF)", "P s <a@b>\nR x\n\r\nA\n\nB", 16},
    };
    for (const EnvelopeCase& c : cases) {
        EXPECT_EQ(c.expected, MailEnvelopeLength(c.text)) << c.what;
    }
}

TEST(MailEnvelope, LongHostileTextsStayLinear) {
    // Many lines with '<' and no '>' and a text of '<' without LF: a quadratic matcher would crawl.
    std::string lines;
    for (int i = 0; i < 200000; ++i) lines += "P <<<<<<<<<<\n";
    lines += "\nbody";
    EXPECT_EQ(0u, MailEnvelopeLength(lines));
    std::string one = "P " + std::string(2000000, '<') + "\nR\n\nbody";
    EXPECT_EQ(0u, MailEnvelopeLength(one));
}

} // namespace
