#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/multipartsplitter.h"
#include "mail/mime/textbuffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    std::string boundary;
    std::string preamble;
    std::vector<std::string> parts;
    std::string epilogue;
};

TEST(MultipartSplitter, Table) {
    const SplitCase cases[] = {
        {"starts with the delimiter", "--b\none\n--b--\n", "b", "", {"one"}, ""},
        {"preamble and epilogue", "pre\n--b\none\n--b--\nepi\n", "b", "pre", {"one"}, "epi\n"},
        {"LF and CR LF mixed", "--b\r\none\r\n--b\ntwo\n--b--\r\n", "b", "", {"one", "two"}, ""},
        {"blanks after the boundary", "--b   \none\n--b--\t \nepi", "b", "", {"one"}, "epi"},
        // A delimiter line holds the boundary, "--" and blanks, nothing else.
        {"text after the boundary is no delimiter",
         "--b\none\n--b junk\ntwo\n--b-- x\n--b--\n",
         "b",
         "",
         {"one\n--b junk\ntwo\n--b-- x"},
         ""},
        {"boundary prefix of a longer line",
         "--b\none\n--bxyz\ntwo\n--b--\n",
         "b",
         "",
         {"one\n--bxyz\ntwo"},
         ""},
        {"no closing delimiter", "--b\none\n--b\ntwo", "b", "", {"one", "two"}, ""},
        {"two delimiters in a row", "--b\n--b\none\n--b--\n", "b", "", {"", "one"}, ""},
        {"no delimiter at all", "just text\n", "b", "", {"just text\n"}, ""},
        {"bare boundary lines", "pre\nb\none\nb\ntwo\nb--\nepi", "b", "pre", {"one", "two"}, "epi"},
        {"empty boundary splits at lines of --", "--\none\n--x\n--\ntwo", "", "", {"one\n--x", "two"}, ""},
        {"first delimiter written closing", "--b--\none\n--b--\n", "b", "", {"one"}, ""},
        // Parts after the closing delimiter join the same body; the text before them is kept as
        // a part of its own rather than dropped.
        {"parts after the closing delimiter",
         "--b\none\n--b--\nhidden\n--b\ntwo\n--b--\nepi",
         "b",
         "",
         {"one", "hidden", "two"},
         "epi"},
        {"blank lines after the closing delimiter are dropped",
         "--b\none\n--b--\n\r\n--b\ntwo\n--b--\n",
         "b",
         "",
         {"one", "two"},
         ""},
        // A doubled closing delimiter gives no empty part.
        {"doubled closing delimiter", "--b\none\n--b--\n--b--\nepi", "b", "", {"one"}, "epi"},
        {"text between two closing delimiters is a part",
         "--b\none\n--b--\nmid\n--b--\nepi",
         "b",
         "",
         {"one", "mid"},
         "epi"},
        // With a strict delimiter anywhere, bare boundary lines are plain text.
        {"strict form decided once", "b\nx\n--b\none\nb\n--b--\n", "b", "b\nx", {"one\nb"}, ""},
    };
    for (const SplitCase& c : cases) {
        MultipartSplitter split(c.text, c.boundary);
        EXPECT_EQ(split.preamble, c.preamble) << c.name;
        EXPECT_EQ(split.parts, c.parts) << c.name;
        EXPECT_EQ(split.epilogue, c.epilogue) << c.name;
    }
}

// Through the index of the dash lines of the text around a body, the delimiters found are the ones
// a walk over its lines finds: one search after the other, past lines that only look like one.
TEST(MultipartSplitter, DashLineIndexFindsWhatTheLinesHold) {
    std::string many = "--x\n--b-\npre\n";
    for (int i = 0; i < 200; ++i) {
        many += "--b\npart " + std::to_string(i) + "\n";
        if (i % 7 == 0) many += "--b junk\n--other\n";
        if (i % 11 == 0) many += "--b--\n\n";
    }
    many += "--b--\nepi\n--b-x\n";
    const std::string bodies[] = {
        many,
        "--b\none\n--b junk\ntwo\n--b-- x\n--b--\n",
        "pre\n--b\none\n--b--\nhidden\n--b\ntwo\n--b--\nepi",
        "--b\n--b\none\n--b--\n--b--\nepi",
        "b\nx\n--b\none\nb\n--b--\n",
        "--bb\n--b\none\n--b\ntwo",
        "--b\none\n--x\n--y\n--\n--b\n--b\r\n--b-\n--b--",
        "--b\n--b\n--b\n--b\n--b--\n--b\n--",
    };
    for (const std::string& body : bodies) {
        const std::string lead = "Content-Type: multipart/mixed; boundary=b\n\n";
        DwTextBuffer buffer(lead + body);
        const std::string_view piece = std::string_view(buffer.Bytes()).substr(lead.size());
        const DwMultipartSplit lines(piece, "b");
        // The room made at once for the parts changes nothing of the split.
        for (const bool reserve : {false, true}) {
            const DwMultipartSplit indexed(piece, "b", DwDelimiterMatch::kExact,
                                           {buffer.DashLines(), lead.size()}, reserve);
            auto same = [](const DwTextRange& a, const DwTextRange& b) {
                return a.offset == b.offset && a.length == b.length;
            };
            EXPECT_TRUE(same(indexed.preamble, lines.preamble)) << body;
            EXPECT_TRUE(same(indexed.epilogue, lines.epilogue)) << body;
            EXPECT_EQ(indexed.looseLines, lines.looseLines) << body;
            ASSERT_EQ(indexed.parts.size(), lines.parts.size()) << body;
            for (size_t i = 0; i < lines.parts.size(); ++i)
                EXPECT_TRUE(same(indexed.parts[i], lines.parts[i])) << body << i;
        }
    }
}

// The dash lines are every "--" after a LF, wherever it falls among the blocks the search reads.
TEST(TextBuffer, DashLinesAreEveryDoubleDashAfterALineFeed) {
    const std::string tails[] = {
        "--b\nx-y\n--b--\n", "\n-x\n--", "\n-", "\n--", "\r\n--b\r\n-\n\n--\n---\n", "-- x\n", "",
    };
    for (const std::string& tail : tails) {
        for (size_t lead = 0; lead < 40; ++lead) {
            std::string text(lead, 'a');
            if (lead % 3 == 1) text.back() = '\n';
            text += tail;
            text += std::string(lead % 7, 'z');
            std::vector<uint32_t> expected;
            for (size_t i = 1; i + 1 < text.size(); ++i)
                if (text[i - 1] == '\n' && text[i] == '-' && text[i + 1] == '-') expected.push_back(i);
            const DwTextBuffer buffer{std::string(text)};
            const std::vector<uint32_t>* lines = buffer.DashLines();
            ASSERT_NE(lines, nullptr);
            EXPECT_EQ(*lines, expected) << text;
        }
    }
}

// The lines a prefix reader splits at and a mail reader does not are counted, and the prefix
// reading splits there.
TEST(MultipartSplitter, PrefixReading) {
    const std::string text = "--b\none\n--b10\ntwo\n--b junk\nthree\n--b--\n";
    MultipartSplitter exact(text, "b");
    EXPECT_EQ(exact.parts, std::vector<std::string>({"one\n--b10\ntwo\n--b junk\nthree"}));
    EXPECT_EQ(exact.looseLines, 2u);
    MultipartSplitter prefix(text, "b", DwDelimiterMatch::kPrefix);
    EXPECT_EQ(prefix.parts, std::vector<std::string>({"one", "two", "three"}));
    EXPECT_EQ(prefix.looseLines, 0u);
    EXPECT_EQ(MultipartSplitter("--b\none\n--b--\n", "b").looseLines, 0u);
}

std::unique_ptr<DwMessage> Parsed(const std::string& text) {
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
    message->Parse();
    return message;
}

TEST(Body, MultipartAssemblesDelimitersAsCrLf) {
    auto message =
        Parsed("Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\n\none\n--b\nX: y\n\ntwo\n--b--\nepi\n");
    DwBody& body = message->Body();
    ASSERT_EQ(body.PartCount(), 2);
    EXPECT_EQ(body.PartAt(0).Body().Text(), "one");
    EXPECT_EQ(body.PartAt(1).Headers().FieldAt(0).FieldName(), "X");
    message->Assemble();
    EXPECT_EQ(message->Text(), "Content-Type: multipart/mixed; boundary=\"b\"\n\r\n"
                               "\r\n--b\r\n\r\none"
                               "\r\n--b\r\nX: y\n\r\ntwo"
                               "\r\n--b--\r\nepi\n");
    // Parsed again, the same tree.
    auto again = Parsed(message->Text());
    ASSERT_EQ(again->Body().PartCount(), 2);
    EXPECT_EQ(again->Body().PartAt(0).Body().Text(), "one");
    EXPECT_EQ(again->Body().PartAt(1).Body().Text(), "two");
    EXPECT_EQ(again->Body().Epilogue(), "epi\n");
}

// Preamble and epilogue go with copies, assignments, new texts and new parses, whether the body
// had them before or not.
TEST(Body, PreambleAndEpilogueFollowCopiesAndParses) {
    const std::string type = "Content-Type: multipart/mixed; boundary=b\n\n";
    auto with = Parsed(type + "pre\n--b\none\n--b--\nepi\n");
    auto without = Parsed(type + "--b\none\n--b--\n");
    EXPECT_EQ(with->Body().Preamble(), "pre");
    EXPECT_EQ(with->Body().Epilogue(), "epi\n");
    EXPECT_EQ(without->Body().Preamble(), "");
    EXPECT_EQ(without->Body().Epilogue(), "");

    std::unique_ptr<DwBody> copy(static_cast<DwBody*>(with->Body().Clone()));
    EXPECT_EQ(copy->Preamble(), "pre");
    EXPECT_EQ(copy->Epilogue(), "epi\n");
    *copy = without->Body();
    EXPECT_EQ(copy->Preamble(), "");
    EXPECT_EQ(copy->Epilogue(), "");
    *copy = with->Body();
    EXPECT_EQ(copy->Epilogue(), "epi\n");

    without->Body().SetEpilogue("new epi");
    EXPECT_EQ(without->Body().Preamble(), "");
    EXPECT_EQ(without->Body().Epilogue(), "new epi");
    without->Assemble();
    EXPECT_EQ(without->Body().Text(), "\r\n--b\r\n\r\none\r\n--b--\r\nnew epi");

    with->Body().SetText("--b\ntwo\n--b--\n");
    with->Body().Parse();
    EXPECT_EQ(with->Body().Preamble(), "");
    EXPECT_EQ(with->Body().Epilogue(), "");
    ASSERT_EQ(with->Body().PartCount(), 1);
    EXPECT_EQ(with->Body().PartAt(0).Body().Text(), "two");
}

TEST(Body, ClosingDelimiterWrittenWithoutParts) {
    auto message = Parsed("Content-Type: multipart/mixed; boundary=b\n\n--b\none\n--b--\n");
    message->Body().DeleteAllParts();
    message->Assemble();
    EXPECT_EQ(message->Body().Text(), "\r\n--b--\r\n");
}

TEST(Body, ParameterWithoutValueDoesNotSwallowTheBoundary) {
    auto message =
        Parsed("Content-Type: multipart/mixed; foo; boundary=\"xyz\"\n\n--xyz\none\n--abc\n--xyz--\n");
    EXPECT_EQ(message->Headers().ContentType().Boundary(), "xyz");
    ASSERT_EQ(message->Body().PartCount(), 1);
    EXPECT_EQ(message->Body().PartAt(0).Body().Text(), "one\n--abc");
}

TEST(Body, MessageTypesHoldANestedMessage) {
    for (const char* subtype : {"rfc822", "partial", "anything"}) {
        auto message =
            Parsed(std::string("Content-Type: message/") + subtype + "\n\nSubject: inner\n\ninner body");
        DwMessage* nested = message->Body().NestedMessage();
        ASSERT_NE(nested, nullptr) << subtype;
        EXPECT_EQ(nested->Parent(), &message->Body());
        EXPECT_EQ(nested->Headers().FieldAt(0).FieldBodyText(), "inner");
        EXPECT_EQ(nested->Body().Text(), "inner body");
    }
}

TEST(Body, OtherBodiesAreOnlyText) {
    for (const char* text : {"Content-Type: text/plain\n\n--b\nx\n", "Subject: none\n\n--b\nx\n"}) {
        auto message = Parsed(text);
        EXPECT_EQ(message->Body().PartCount(), 0);
        EXPECT_EQ(message->Body().NestedMessage(), nullptr);
        EXPECT_EQ(message->Body().Text(), "--b\nx\n");
    }
}

TEST(Body, PartListOperations) {
    auto message = Parsed("Content-Type: multipart/mixed; boundary=b\n\n--b\n\none\n--b--\n");
    DwBody& body = message->Body();
    message->Assemble();
    body.InsertPartAt(-3, DwBodyPart::NewBodyPart("", nullptr));
    body.InsertPartAt(50, DwBodyPart::NewBodyPart("", nullptr));
    EXPECT_TRUE(message->IsModified());
    EXPECT_EQ(body.PartCount(), 3);
    EXPECT_EQ(body.PartAt(1).Body().Text(), "one");
    EXPECT_EQ(body.RemovePartAt(3), nullptr);
    std::unique_ptr<DwBodyPart> part(body.RemovePartAt(1));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->Parent(), nullptr);
    std::unique_ptr<DwBody> copy(static_cast<DwBody*>(body.Clone()));
    EXPECT_EQ(copy->PartCount(), 2);
    EXPECT_EQ(copy->PartAt(0).Parent(), copy.get());
}

// Nesting far past the limit: parsing stops at the limit, the deepest body is kept whole, and
// assembling gives the text back.
TEST(Body, DeepNestingStopsAtTheLimit) {
    const int levels = 10000;
    std::string text;
    for (int i = 0; i < levels; ++i) text += "Content-Type: message/rfc822\n\n";
    text += "Subject: bottom\n\nleaf";
    auto message = Parsed(text);
    int depth = 0;
    DwMessage* node = message.get();
    while (node->Body().NestedMessage()) {
        node = node->Body().NestedMessage();
        ++depth;
    }
    EXPECT_EQ(depth, kDwMaxNesting);
    EXPECT_TRUE(node->Body().IsNestingCut());
    const std::string rest = text.substr(size_t(kDwMaxNesting + 1) * 30);
    EXPECT_EQ(node->Body().Text(), rest);
    message->Assemble();
    EXPECT_EQ(node->Text(), node->Headers().Text() + "\r\n" + rest);
    EXPECT_NE(message->Text().find("Subject: bottom\n\nleaf"), std::string::npos);

    std::string multipart;
    for (int i = 0; i < levels; ++i) {
        // Of one length, so that no boundary is the prefix of another.
        char boundary[16];
        snprintf(boundary, sizeof boundary, "b%05d", i);
        multipart +=
            std::string("Content-Type: multipart/mixed; boundary=") + boundary + "\n\n--" + boundary + "\n";
    }
    multipart += "\nleaf\n";
    auto nested = Parsed(multipart);
    depth = 0;
    const DwEntity* entity = nested.get();
    while (entity->Body().PartCount() == 1) {
        entity = &entity->Body().PartAt(0);
        ++depth;
    }
    EXPECT_EQ(depth, kDwMaxNesting);
    EXPECT_TRUE(entity->Body().IsNestingCut());
    EXPECT_EQ(entity->Body().Text().substr(entity->Body().Text().size() - 6), "\nleaf\n");
}

// A megabyte of bare boundary lines: one split of the body, each line a delimiter.
TEST(Body, MegabyteOfBareBoundaryLines) {
    const std::string boundary(60, 'q');
    std::string text = "Content-Type: multipart/mixed; boundary=" + boundary + "\n\n";
    const size_t lines = (1 << 20) / (boundary.size() + 1);
    for (size_t i = 0; i < lines; ++i) text += boundary + "\n";
    text += "\ntail";
    auto message = Parsed(text);
    ASSERT_EQ(size_t(message->Body().PartCount()), lines);
    EXPECT_EQ(message->Body().PartAt(0).Body().Text(), "");
    EXPECT_EQ(message->Body().PartAt(int(lines) - 1).Body().Text(), "tail");
}

} // namespace
