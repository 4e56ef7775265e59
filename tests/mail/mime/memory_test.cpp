// The memory a parsed message holds: about one copy of its text, however deep its nesting.
#include "base/alloc.h"
#include "mail/mime/base64.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"
#include "mail/mime/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <new>
#include <random>
#include <string>

namespace {

// A base64 attachment of about size bytes, as a part's text.
std::string Leaf(size_t size) {
    std::mt19937 rng(63);
    std::string data(size * 3 / 4, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    std::string encoded;
    Base64Encode(data, encoded);
    while (!encoded.empty() && (encoded.back() == '\r' || encoded.back() == '\n')) encoded.pop_back();
    return "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" + encoded;
}

// The leaf under levels multipart bodies, written as Assemble writes them, so that the assembled
// tree gives the same bytes back.
std::string UnderMultiparts(int levels, const std::string& leaf) {
    std::string text = leaf;
    for (int i = levels - 1; i >= 0; --i) {
        char boundary[16];
        snprintf(boundary, sizeof boundary, "b%02d", i);
        text = std::string("Content-Type: multipart/mixed; boundary=") + boundary + "\r\n\r\n\r\n--" +
               boundary + "\r\n" + text + "\r\n--" + boundary + "--\r\n";
    }
    return text;
}

std::string UnderMessages(int levels, const std::string& leaf) {
    std::string text = leaf;
    for (int i = 0; i < levels; ++i) text = "Content-Type: message/rfc822\r\n\r\n" + text;
    return text;
}

// The entity the leaf is in, and how many bodies lie above it.
const DwEntity* Deepest(const DwEntity& top, int* depth) {
    const DwEntity* entity = &top;
    for (*depth = 0;; ++*depth) {
        const DwBody& body = entity->Body();
        if (body.PartCount() == 1)
            entity = &body.PartAt(0);
        else if (body.NestedMessage())
            entity = body.NestedMessage();
        else
            return entity;
    }
}

// Each level used to keep a copy of the text below it in its entity and in its body: about twice the
// message a level, a gigabyte for 8 MB under 63 levels. The bound here is on bytes held at the peak.
TEST(TreeMemory, ALeafUnderTheDeepestNestingIsHeldOnce) {
    const int levels = kDwMaxNesting - 1;
    const std::string leaf = Leaf(1 << 20);
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"multipart levels", UnderMultiparts(levels, leaf)},
        {"message levels", UnderMessages(levels, leaf)},
    };
    for (const auto& c : cases) {
        // The message's own copy, the tree, and the new text of Assemble next to the old one.
        MemSetFailureBound(3 * c.text.size());
        bool fits = true;
        int depth = 0;
        bool leafWhole = false;
        bool sameBytes = false;
        try {
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(c.text, nullptr));
            message->Parse();
            const DwEntity* deepest = Deepest(*message, &depth);
            leafWhole = deepest->TextView() == leaf && !deepest->Body().IsNestingCut();
            message->Assemble();
            sameBytes = message->TextView() == c.text;
        } catch (const std::bad_alloc&) {
            fits = false;
        }
        MemSetFailureBound(0);
        EXPECT_TRUE(fits) << c.name;
        EXPECT_EQ(depth, levels) << c.name;
        EXPECT_TRUE(leafWhole) << c.name;
        EXPECT_TRUE(sameBytes) << c.name;
    }
}

// The header blocks and fields are pieces of the parsed text, as the entities are: an assembled
// tree must hold none of it any more, whether a field changed or not.
TEST(TreeMemory, AnAssembledTreeLetsTheParsedTextGo) {
    const std::string text = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: text/plain\r\nContent-Disposition: inline\r\n\r\none\r\n--b\r\n"
                             "Content-Type: text/html\r\n\r\ntwo\r\n--b--\r\n";
    for (const bool change : {false, true}) {
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
        message->Parse();
        ASSERT_NE(message->TextSpan(), nullptr);
        const std::weak_ptr<DwTextBuffer> parsed = message->TextSpan()->buffer;
        DwBodyPart& part = message->Body().PartAt(1);
        ASSERT_EQ(part.Headers().FieldCount(), 1);
        if (change) part.Headers().FieldAt(0).SetFieldBodyText("text/x-changed");
        message->Assemble();
        EXPECT_TRUE(parsed.expired()) << change;
        EXPECT_EQ(message->Body().PartAt(0).Headers().FieldAt(1).Text(), "Content-Disposition: inline\r\n");
        EXPECT_EQ(part.Headers().FieldAt(0).Text(),
                  change ? "Content-Type: text/x-changed\r\n" : "Content-Type: text/html\r\n");
        EXPECT_EQ(message->Headers().Text(), "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n");
    }
}

// Where the list cannot take a node it has just been given (memory runs out between the two), the
// node is deleted: it must not be parsed after that. Every bound up to what the parse needs is tried,
// so that one of them fails just there; under the sanitizers a parse of the deleted node is caught.
TEST(TreeMemory, ANodeTheListCouldNotTakeIsNeverParsed) {
    const std::string multipart = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\none\r\n"
                                  "--b\r\n\r\ntwo\r\n--b--\r\n";
    const std::string words = "=?utf-8?q?one?= two =?utf-8?q?three?= four";
    // A hook of its own keeps the way where each part is parsed as soon as it is made.
    DwBodyPart::sNewBodyPartHook = [](const std::string& t, DwMessageComponent* parent) {
        return new (std::nothrow) DwBodyPart(t, parent);
    };
    for (size_t bound = 8; bound <= 4096; bound += 4) {
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(multipart, nullptr));
        DwText text(words, nullptr);
        MemSetFailureBound(bound);
        try {
            message->Parse();
        } catch (const std::bad_alloc&) {
        }
        try {
            text.Parse();
        } catch (const std::bad_alloc&) {
        }
        MemSetFailureBound(0);
        EXPECT_LE(message->Body().PartCount(), 2) << bound;
        EXPECT_LE(text.WordCount(), 4) << bound;
    }
    DwBodyPart::sNewBodyPartHook = nullptr;
}

} // namespace
