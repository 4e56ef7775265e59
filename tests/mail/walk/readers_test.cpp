// Mail that mail readers decode in more than one way (readers/cases.txt), scanned through
// ScanMailFile with the stand-in engine: each answer next to what Python's email package and GMime 3
// decode from the same bytes (readers/reference.txt, made once by readers/make_reference.py).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/sha256digest.h"
#include "mail/mime/base64.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/walk/mailwalk.h"
#include "mail/walk/readings.h"
#include "mail/walk/walkparts.h"
#include "tests/mail/walk/walk_fixture.h"

namespace {

const std::string kReaders = std::string(TARVO_SOURCE_DIR) + "/tests/mail/walk/readers/";

struct ReaderCase {
    std::string name;
    std::vector<std::string> positions;
    std::string expect;
    std::string log;
    std::string shape;
    int nest = 0;
    std::string text;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<ReaderCase> ReadCases() {
    std::ifstream in(kReaders + "cases.txt", std::ios::binary);
    std::vector<ReaderCase> cases;
    std::string line;
    std::vector<std::string> body;
    const auto finish = [&] {
        if (cases.empty()) return;
        while (!body.empty() && body.back().empty()) body.pop_back();
        for (size_t i = 0; i < body.size(); ++i) cases.back().text += (i ? "\n" : "") + body[i];
        body.clear();
    };
    bool inFields = false;
    while (std::getline(in, line)) {
        if (line.compare(0, 4, "=== ") == 0) {
            finish();
            cases.push_back(ReaderCase{});
            cases.back().name = line.substr(4);
            inFields = true;
            continue;
        }
        if (cases.empty()) continue;
        const size_t colon = line.find(": ");
        const std::string key = colon == std::string::npos ? std::string() : line.substr(0, colon);
        if (inFields &&
            (key == "positions" || key == "expect" || key == "log" || key == "nest" || key == "shape")) {
            const std::string value = line.substr(colon + 2);
            ReaderCase& c = cases.back();
            if (key == "positions") {
                std::istringstream words(value);
                for (std::string word; words >> word;) c.positions.push_back(word);
            } else if (key == "expect") {
                c.expect = value;
            } else if (key == "log") {
                c.log = value;
            } else if (key == "shape") {
                c.shape = value;
            } else {
                c.nest = std::stoi(value);
            }
            continue;
        }
        inFields = false;
        body.push_back(line);
    }
    finish();
    return cases;
}

std::string Base64OneLine(const std::string& data) {
    std::string out;
    Base64EncodeWord(data, out);
    return out;
}

std::string Pieces(const std::string& text, size_t size, const std::string& glue) {
    std::string out;
    for (size_t at = 0; at < text.size(); at += size) out += (at ? glue : "") + text.substr(at, size);
    return out;
}

std::string Base64Lines(const std::string& data) {
    return Pieces(Base64OneLine(data), 76, "\n");
}

std::string Qp(const std::string& data, const char* digits) {
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        char escape[4];
        snprintf(escape, sizeof escape, digits, static_cast<unsigned char>(data[i]));
        out += std::string(i && i % 25 == 0 ? "=\n" : "") + escape;
    }
    return out;
}

std::string Uu(const std::string& data, const std::string& name) {
    const auto character = [](unsigned v) { return v == 0 ? '`' : static_cast<char>(v + 32); };
    std::string out = "begin 644 " + name;
    for (size_t at = 0; at < data.size(); at += 45) {
        std::string chunk = data.substr(at, 45);
        out += "\n";
        out += character(static_cast<unsigned>(chunk.size()));
        chunk.append((3 - chunk.size() % 3) % 3, '\0');
        for (size_t i = 0; i < chunk.size(); i += 3) {
            const unsigned v = static_cast<unsigned char>(chunk[i]) << 16 |
                               static_cast<unsigned char>(chunk[i + 1]) << 8 |
                               static_cast<unsigned char>(chunk[i + 2]);
            for (int shift : {18, 12, 6, 0}) out += character((v >> shift) & 63);
        }
    }
    return out + "\n`\nend";
}

const std::string kClean = [] {
    std::string clean;
    for (int i = 0; i < 3; ++i) clean += "just some clean data, nothing to see here\n";
    return clean;
}();
const std::string kTop =
    "From: sender@example.org\nTo: someone@example.org\nSubject: test\nMIME-Version: 1.0";
const std::string kAttach = "Content-Type: application/octet-stream; name=\"eicar.com\"\n"
                            "Content-Transfer-Encoding: base64\n"
                            "Content-Disposition: attachment; filename=\"eicar.com\"\n\n{B64}";
const std::string kCleanAttach = "Content-Type: application/octet-stream; name=\"notes.bin\"\n"
                                 "Content-Transfer-Encoding: base64\n"
                                 "Content-Disposition: attachment; filename=\"notes.bin\"\n\n{CLEAN_B64}";
const std::string kInner =
    "Subject: inner\nContent-Type: multipart/mixed; boundary=\"IN\"\n\n--IN\n{ATTACH}\n--IN--\n";

std::string ExpandLines(const std::string& text) {
    return Replace(Replace(Replace(Replace(text, "\n", "\r\n"), "{CR}", "\r"), "{SP}", " "), "{BOM}",
                   "\xEF\xBB\xBF");
}

std::string Expand(std::string text) {
    const std::string eicar = Eicar();
    const std::string oneLine = Base64OneLine(eicar);
    const std::pair<const char*, std::string> values[] = {
        {"{ATTACH}", kAttach},
        {"{CLEAN_ATTACH}", kCleanAttach},
        {"{TOP}", kTop},
        {"{B64}", Base64Lines(eicar)},
        {"{B64_STAR}", Replace(Base64Lines(eicar), "\n", "*\n") + "*"},
        {"{B64_FILLS}", "====\n" + Base64Lines(eicar)},
        {"{B64_SPACED}", Pieces(oneLine, 4, " ")},
        {"{B64_ONELINE}", oneLine},
        {"{B64_JUNK}", Pieces(oneLine, 10, "#")},
        {"{B64_SPLIT}", Base64OneLine(eicar.substr(0, 40)) + "\n" + Base64OneLine(eicar.substr(40))},
        {"{QP}", Qp(eicar, "=%02X")},
        {"{QP_LOWER}", Qp(eicar, "=%02x")},
        {"{UU}", Uu(eicar, "eicar.com")},
        {"{CLEAN_B64}", Base64Lines(kClean)},
        {"{EICAR}", eicar},
    };
    for (;;) {
        const std::string before = text;
        if (text.find("{B64_MESSAGE}") != std::string::npos)
            text = Replace(text, "{B64_MESSAGE}", Base64Lines(ExpandLines(Expand(kInner))));
        for (const auto& value : values) text = Replace(text, value.first, value.second);
        if (text == before) return text;
    }
}

std::string Nest(int levels, const std::string& inner) {
    std::string text = inner;
    for (int i = levels; i >= 1; --i) {
        const std::string n = std::to_string(i) + "=";
        text = "Content-Type: multipart/mixed; boundary=\"L" + n + "\"\n\n--L" + n + "\n" + text + "\n--L" +
               n + "--\n";
    }
    return kTop + "\n" + text;
}

std::string Wrap(const std::string& position, const std::string& part) {
    const std::string outer = kTop + "\nContent-Type: multipart/mixed; boundary=\"=outer=\"\n\n--=outer=\n"
                                     "Content-Type: text/plain\n\n";
    if (position == "whole") return part;
    if (position == "top") return kTop + "\n" + part;
    if (position == "mixed") return outer + "See the attachment.\n--=outer=\n" + part + "\n--=outer=--\n";
    if (position == "forwarded")
        return outer + "See the message below.\n--=outer=\nContent-Type: message/rfc822\n\n" + kTop + "\n" +
               part + "\n--=outer=--\n";
    return kTop + "\nContent-Type: multipart/digest; boundary=\"=dig=\"\n\n--=dig=\n\n" + kTop + "\n" + part +
           "\n--=dig=--\n";
}

std::string MessageBytes(const ReaderCase& c, const std::string& position) {
    return ExpandLines(Expand(c.nest ? Nest(c.nest, c.text) : Wrap(position, c.text)));
}

std::string Hex(const Sha256Value& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : digest) hex += std::string{kHex[byte >> 4], kHex[byte & 15]};
    return hex;
}

// reference.txt by "name position": the message's digest, then "reader=verdict" and "reader-shape=..."
// words.
std::map<std::string, std::map<std::string, std::string>> ReadReference() {
    std::ifstream in(kReaders + "reference.txt", std::ios::binary);
    std::map<std::string, std::map<std::string, std::string>> reference;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string name, position, digest;
        words >> name >> position >> digest;
        auto& row = reference[name + " " + position];
        row["digest"] = digest;
        for (std::string word; words >> word;) {
            const size_t equals = word.find('=');
            row[word.substr(0, equals)] = word.substr(equals + 1);
        }
    }
    return reference;
}

class MailReadersTest : public MailWalkTest {};

TEST_F(MailReadersTest, WhatAnyReaderDecodesIsFoundOrTheReplySaysItWasNotExamined) {
    const auto reference = ReadReference();
    const std::vector<ReaderCase> cases = ReadCases();
    ASSERT_GE(cases.size(), 50u);
    for (const ReaderCase& c : cases) {
        for (const std::string& position : c.positions) {
            const std::string what = c.name + " at " + position;
            const std::string mail = MessageBytes(c, position);
            const auto row = reference.find(c.name + " " + position);
            ASSERT_NE(row, reference.end())
                << what << ": make_reference.py was not run after cases.txt changed";
            ASSERT_EQ(row->second.at("digest"), Hex(Sha256Digest(mail.data(), mail.size())))
                << what << ": not the bytes the readers were given";
            const bool readerFinds = row->second.at("compat32") == "found" ||
                                     row->second.at("default") == "found" ||
                                     row->second.at("gmime") == "found";
            // What a reader decodes may never be answered clean.
            if (readerFinds) {
                EXPECT_NE(c.expect, "clean") << what;
            }

            ASSERT_TRUE(dir.Write("mail", mail));
            // Clean mail is asked for every action: none may change it.
            const WalkRun run = ScanPath(
                dir / "mail", c.expect == "clean" ? kWantFound | kWantCure | kWantDelete : kWantFound);
            const bool found = run.word & 0x20;
            const bool marked = !found && (run.word & 0x1);
            const std::string answer = found                  ? "found"
                                       : marked               ? "marked"
                                       : run.word == 0x100000 ? "clean"
                                                              : "other";
            EXPECT_EQ(c.expect, answer) << what << std::hex << " word 0x" << run.word << "\n" << run.log;
            if (c.expect == "found") {
                EXPECT_FALSE(run.found.empty()) << what;
            }
            if (!c.log.empty()) {
                EXPECT_NE(std::string::npos, run.log.find(c.log)) << what << "\n" << run.log;
            }
            EXPECT_EQ(mail, ReadWholeFile(dir / "mail")) << what;
            EXPECT_EQ(0, run.left.memoryFiles) << what;
            EXPECT_EQ(0, run.left.settingsChanged) << what;
        }
    }
}

// The leaves of the tree, as make_reference.py writes a reader's: "type/subtype:E" for a leaf that
// decodes to the test file, else "type/subtype".
void Leaves(DwEntity& entity, std::vector<std::string>& out) {
    DwBody& body = entity.Body();
    const int type = EntityTypeOf(entity).type;
    if (type == kTypeMultipart && body.PartCount() > 0) {
        for (int i = 0; i < body.PartCount(); ++i) Leaves(body.PartAt(i), out);
        return;
    }
    if (type == kTypeMessage && body.NestedMessage()) {
        Leaves(*body.NestedMessage(), out);
        return;
    }
    DwMediaType* mediaType = entity.Headers().FindContentType();
    std::string kind = mediaType && mediaType->Type() >= kTypeText
                           ? mediaType->TypeStr() + "/" + mediaType->SubtypeStr()
                           : std::string("text/plain");
    for (char& ch : kind) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    DwMechanism* mechanism = entity.Headers().FindContentTransferEncoding();
    std::string decoded;
    DecodeBody(mechanism ? mechanism->AsEnum() : kCteNull, body.Text(), decoded);
    out.push_back(kind + (decoded.compare(0, Eicar().size(), Eicar()) == 0 ? ":E" : ""));
}

// A reader's leaves without the lengths.
std::vector<std::string> ReaderLeaves(const std::string& shape) {
    std::vector<std::string> leaves;
    if (shape == "-") return leaves;
    std::istringstream items(shape);
    for (std::string item; std::getline(items, item, ',');) {
        const size_t colon = item.rfind(':');
        leaves.push_back(item.substr(colon + 1) == "E" ? item : item.substr(0, colon));
    }
    return leaves;
}

// Boundaries and header lines read as mail readers read them: the tree has the leaves of the reader
// the case names.
TEST(MailReaderShapes, TreeLeavesAreThoseOfTheNamedReader) {
    const auto reference = ReadReference();
    int checked = 0;
    for (const ReaderCase& c : ReadCases()) {
        if (c.shape.empty()) continue;
        const std::string& position = c.positions.front();
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(MessageBytes(c, position), nullptr));
        message->Parse();
        std::vector<std::string> ours;
        Leaves(*message, ours);
        const auto& row = reference.at(c.name + " " + position);
        EXPECT_EQ(ReaderLeaves(row.at(c.shape + "-shape")), ours)
            << c.name << " (as " << c.shape << " reads it)";
        ++checked;
    }
    EXPECT_GE(checked, 20);
}

} // namespace

namespace {

std::string AttachmentOf(const std::string& data, const char* extraFields = "") {
    std::string encoded;
    Base64Encode(data, encoded);
    return std::string("Content-Type: application/octet-stream\r\n") + extraFields +
           "Content-Transfer-Encoding: base64\r\n\r\n" + encoded;
}

// Other readings are scanned for a report only: a part the tree's reading deleted is not found again
// in them, and what only another reading shows is reported, never cured or deleted, and the message
// stays as it came.
TEST_F(MailReadersTest, OtherReadingsReportAndChangeNothing) {
    const std::string eicar = Eicar();
    // A blank before a colon: strict readers end the header block there, and read the rest as text.
    const std::string deletedInTree = "From: a@example.org\r\nSubject : x\r\nContent-Type: multipart/mixed; "
                                      "boundary=\"B\"\r\n\r\n--B\r\n" +
                                      AttachmentOf(eicar) + "\r\n--B--\r\n";
    // Only a reader that takes the last of two Content-Transfer-Encoding fields decodes it.
    const std::string onlyInAnother =
        "From: a@example.org\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
        "--B\r\n" +
        AttachmentOf(eicar, "Content-Transfer-Encoding: 7bit\r\n") + "\r\n--B--\r\n";
    ASSERT_TRUE(dir.Write("deleted", deletedInTree));
    WalkRun run = ScanPath(dir / "deleted", kWantFound | kWantDelete);
    EXPECT_EQ(0x180120u, run.word) << std::hex << run.word << "\n" << run.log;
    EXPECT_EQ(1u, run.found.size());
    EXPECT_NE(std::string::npos, ReadWholeFile(dir / "deleted").find("was deleted!"));
    EXPECT_NE(std::string::npos, run.log.find("its header block ended where strict readers end it"))
        << run.log;

    ASSERT_TRUE(dir.Write("other", onlyInAnother));
    run = ScanPath(dir / "other", kWantFound | kWantDelete | kWantCure);
    EXPECT_EQ(0x20u, run.word) << std::hex << run.word << "\n" << run.log;
    EXPECT_EQ(1u, run.found.size());
    EXPECT_EQ(onlyInAnother, ReadWholeFile(dir / "other"));
    EXPECT_EQ(0, run.left.memoryFiles);
    EXPECT_EQ(0, run.left.settingsChanged);
}

// A message that reads more ways than the walk follows is answered as not fully examined.
TEST_F(MailReadersTest, MoreReadingsThanTheBoundAreNotExamined) {
    std::string mail = "From: a@example.org\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n";
    for (int i = 0; i < kMaxOtherReadings + 8; ++i)
        mail += "--B\r\n" +
                AttachmentOf("clean part " + std::to_string(i),
                             "Content-Transfer-Encoding: quoted-printable\r\n") +
                "\r\n";
    mail += "--B--\r\n";
    ASSERT_TRUE(dir.Write("many", mail));
    const WalkRun run = ScanPath(dir / "many", kWantFound);
    EXPECT_EQ(0x100001u, run.word) << std::hex << run.word;
    EXPECT_NE(std::string::npos, run.log.find("read error! (read too many ways)")) << run.log;
    EXPECT_EQ(mail, ReadWholeFile(dir / "many"));
}

} // namespace
