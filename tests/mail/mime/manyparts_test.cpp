// A message of many small parts of every shape: the tree, each node's text, the assembled bytes and
// the blocks it takes and gives back.
#include "base/alloc.h"
#include "mail/mime/body.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"
#include "treedump.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// One part's text and what its dump holds.
struct SmallPart {
    std::string text;
    std::string dump;
};

// The shape of part i: one field and a short body, several fields, none, an empty body, a nested
// message, a nested multipart, a field continued on a second line.
SmallPart MakePart(int i) {
    const std::string n = std::to_string(i);
    const std::string line = "text of part " + n + "\r\nsecond line";
    switch (i % 7) {
    case 0:
        return {"Content-Type: text/plain; charset=us-ascii\r\n\r\n" + line,
                "    part\n      field \"Content-Type\" \"text/plain; charset=us-ascii\"\n      leaf \"text "
                "of part " +
                    n + "\\r\\nsecond line\"\n"};
    case 1:
        return {"Content-Type: text/plain\r\nContent-Disposition: attachment; filename=\"f" + n +
                    ".txt\"\r\nX-N: " + n + "\r\n\r\n" + line,
                "    part\n      field \"Content-Type\" \"text/plain\"\n      field \"Content-Disposition\" "
                "\"attachment; filename=\\\"f" +
                    n + ".txt\\\"\"\n      field \"X-N\" \"" + n + "\"\n      leaf \"text of part " + n +
                    "\\r\\nsecond line\"\n"};
    case 2:
        return {"\r\n" + line, "    part\n      leaf \"text of part " + n + "\\r\\nsecond line\"\n"};
    case 3:
        return {"Content-Type: text/plain\r\n\r\n",
                "    part\n      field \"Content-Type\" \"text/plain\"\n      leaf \"\"\n"};
    case 4:
        return {"Content-Type: message/rfc822\r\n\r\nSubject: s" + n + "\r\n\r\n" + line,
                "    part\n      field \"Content-Type\" \"message/rfc822\"\n      message\n        field "
                "\"Subject\" \"s" +
                    n + "\"\n        leaf \"text of part " + n + "\\r\\nsecond line\"\n"};
    case 5:
        return {"Content-Type: multipart/mixed; boundary=in" + n + "\r\n\r\n\r\n--in" + n + "\r\nX: " + n +
                    "\r\n\r\n" + line + "\r\n--in" + n + "--\r\n",
                "    part\n      field \"Content-Type\" \"multipart/mixed; boundary=in" + n +
                    "\"\n      preamble \"\"\n      part\n        field \"X\" \"" + n +
                    "\"\n        leaf \"text of part " + n + "\\r\\nsecond line\"\n      epilogue \"\"\n"};
    default:
        return {"Subject: one\r\n two " + n + "\r\n\r\n" + line,
                "    part\n      field \"Subject\" \"one\\r\\n two " + n + "\"\n      leaf \"text of part " +
                    n + "\\r\\nsecond line\"\n"};
    }
}

constexpr int kParts = 700;

// The dump of a part as the message's dump holds it: two places less in.
std::string Outdented(const std::string& dump) {
    std::string out;
    for (size_t pos = 0; pos < dump.size();) {
        const size_t end = dump.find('\n', pos) + 1;
        out += dump.substr(pos + 2, end - pos - 2);
        pos = end;
    }
    return out;
}

// The message as Assemble writes a multipart, so that an unchanged tree assembles to it again.
std::string MakeMessage(std::vector<SmallPart>* parts, std::string* dump) {
    std::string text = "Subject: many\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\npre";
    *dump = "message\n  field \"Subject\" \"many\"\n  field \"Content-Type\" \"multipart/mixed; "
            "boundary=\\\"b\\\"\"\n  preamble \"pre\"\n";
    for (int i = 0; i < kParts; ++i) {
        parts->push_back(MakePart(i));
        text += "\r\n--b\r\n" + parts->back().text;
        *dump += Outdented(parts->back().dump);
    }
    text += "\r\n--b--\r\nepi";
    *dump += "  epilogue \"epi\"\n";
    return text;
}

TEST(ManyParts, TreeTextsAndAssembledBytes) {
    std::vector<SmallPart> parts;
    std::string dump;
    const std::string text = MakeMessage(&parts, &dump);
    const uint32_t allocs = MemAllocCount();
    const uint32_t frees = MemFreeCount();
    {
        std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
        message->Parse();
        EXPECT_EQ(DumpTree(*message), dump);
        const DwBody& body = message->Body();
        ASSERT_EQ(body.PartCount(), kParts);
        for (int i = 0; i < kParts; ++i) {
            const DwBodyPart& part = body.PartAt(i);
            ASSERT_EQ(part.TextView(), parts[i].text) << i;
            EXPECT_EQ(part.Parent(), &body) << i;
            EXPECT_EQ(part.Headers().Parent(), &part) << i;
            EXPECT_EQ(part.Body().Parent(), &part) << i;
            EXPECT_EQ(part.HasEmptyLineAfterHeaders(), true) << i;
            // The header block and the body are pieces of the part, the fields pieces of the block.
            const std::string_view headers = part.Headers().TextView();
            EXPECT_EQ(parts[i].text.compare(0, headers.size(), headers), 0) << i;
            std::string fields;
            for (int f = 0; f < part.Headers().FieldCount(); ++f)
                fields += part.Headers().FieldAt(f).TextView();
            EXPECT_EQ(fields, headers) << i;
            EXPECT_EQ(std::string(headers) + "\r\n" + std::string(part.Body().TextView()), parts[i].text)
                << i;
        }

        message->Assemble();
        EXPECT_EQ(message->TextView(), text);

        // A change deep inside one part rebuilds that part only; the others keep their bytes.
        DwBodyPart& changed = message->Body().PartAt(5);
        changed.Body().PartAt(0).Headers().FieldAt(0).SetFieldBodyText("changed");
        message->Assemble();
        std::string expected = text;
        const std::string old = "\r\n--in5\r\nX: 5\r\n";
        const size_t at = expected.find(old);
        ASSERT_NE(at, std::string::npos);
        expected.replace(at, old.size(), "\r\n--in5\r\nX: changed\r\n");
        EXPECT_EQ(message->TextView(), expected);
        EXPECT_EQ(message->Body().PartAt(6).TextView(), parts[6].text);

        // Parsed again from the assembled text, the tree is the one of that text.
        message->Parse();
        std::string changedDump = dump;
        const std::string oldField = "field \"X\" \"5\"\n";
        const size_t fieldAt = changedDump.find(oldField);
        ASSERT_NE(fieldAt, std::string::npos);
        changedDump.replace(fieldAt, oldField.size(), "field \"X\" \"changed\"\n");
        EXPECT_EQ(DumpTree(*message), changedDump);
    }
    // Every block the tree took is given back.
    EXPECT_EQ(MemAllocCount() - allocs, MemFreeCount() - frees);
}

// An entity's header block and body may be a creation hook's or the entity's own; copies and
// assignments give the same tree either way, and the old tree of an assigned entity is let go.
class HookedBody : public DwBody {
public:
    HookedBody(const std::string& text, DwMessageComponent* parent) : DwBody(text, parent) { ++made; }
    ~HookedBody() override { ++gone; }
    static int made;
    static int gone;
};
int HookedBody::made = 0;
int HookedBody::gone = 0;

TEST(ManyParts, CopiesAndAssignmentsWithAndWithoutHooks) {
    const std::string text =
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n\r\n--b\r\nA: 1\r\n\r\none\r\n--b\r\n"
        "Content-Type: message/rfc822\r\n\r\nB: 2\r\n\r\ntwo\r\n--b--\r\n";
    const std::string other = "Subject: other\r\n\r\nbody\r\n";
    for (const bool hook : {false, true}) {
        HookedBody::made = HookedBody::gone = 0;
        if (hook) {
            DwBody::sNewBodyHook = [](const std::string& t, DwMessageComponent* parent) -> DwBody* {
                return new HookedBody(t, parent);
            };
        }
        const uint32_t allocs = MemAllocCount();
        const uint32_t frees = MemFreeCount();
        {
            DwMessage message(text, nullptr);
            message.Parse();
            DwBody::sNewBodyHook = nullptr;
            const std::string dump = DumpTree(message);
            // The message, its two parts and the nested message each made a body of the hook's.
            EXPECT_EQ(HookedBody::made, hook ? 4 : 0);
            EXPECT_EQ(dynamic_cast<HookedBody*>(&message.Body()) != nullptr, hook);

            DwMessage copy(message);
            EXPECT_EQ(DumpTree(copy), dump) << hook;
            EXPECT_EQ(copy.Body().Parent(), &copy);
            EXPECT_EQ(copy.Headers().Parent(), &copy);

            DwMessage assigned(other, nullptr);
            assigned.Parse();
            assigned = message;
            EXPECT_EQ(DumpTree(assigned), dump) << hook;
            EXPECT_EQ(assigned.Body().Parent(), &assigned);
            assigned.Body().PartAt(0).Headers().FieldAt(0).SetFieldBodyText("9");
            assigned.Assemble();
            std::string expected = text;
            expected.replace(expected.find("A: 1"), 4, "A: 9");
            EXPECT_EQ(assigned.TextView(), expected) << hook;
            EXPECT_EQ(message.TextView(), text) << hook;

            assigned = DwMessage(other, nullptr);
            assigned.Parse();
            EXPECT_EQ(DumpTree(assigned), "message\n  field \"Subject\" \"other\"\n  leaf \"body\\r\\n\"\n");
        }
        DwBody::sNewBodyHook = nullptr;
        EXPECT_EQ(HookedBody::gone, HookedBody::made) << hook;
        EXPECT_EQ(MemAllocCount() - allocs, MemFreeCount() - frees) << hook;
    }
}

// Every node's state a parse leaves that the dump does not show: modified marks, the empty line and
// strict length of every entity, loose delimiter lines, pending field bodies.
void DumpState(const DwEntity& entity, std::string& out) {
    out += std::to_string(entity.ClassId()) + (entity.IsModified() ? "m" : "-") +
           (entity.HasEmptyLineAfterHeaders() ? "e" : "-") + std::to_string(entity.StrictHeaderLength()) +
           (entity.Headers().IsModified() ? "m" : "-") + (entity.Body().IsModified() ? "m" : "-") +
           std::to_string(entity.Body().LooseDelimiterLines());
    for (int i = 0; i < entity.Headers().FieldCount(); ++i) {
        const DwField& field = entity.Headers().FieldAt(i);
        out += field.IsModified() ? "M" : "_";
        out += field.IsFieldBodyPending() ? "p" : "_";
    }
    out += "\n";
    if (entity.Body().NestedMessage()) DumpState(*entity.Body().NestedMessage(), out);
    for (int i = 0; i < entity.Body().PartCount(); ++i) DumpState(entity.Body().PartAt(i), out);
}

// Each part is made and parsed in turn while a hook might look on, and all are made before any is
// parsed when none can: the trees must not tell the two apart, for messages that try the edges.
TEST(ManyParts, ATreeIsTheSameWhetherPartsAreParsedAsMadeOrAfterAll) {
    using namespace std::string_literals;
    std::string deep = "leaf\r\n";
    for (int i = 0; i < kDwMaxNesting + 2; ++i)
        deep = "Content-Type: multipart/mixed; boundary=d" + std::to_string(i) + "\r\n\r\n--d" +
               std::to_string(i) + "\r\n" + deep + "\r\n--d" + std::to_string(i) + "--\r\n";
    std::string many = "Content-Type: multipart/mixed; boundary=m\r\n\r\n";
    for (int i = 0; i < 300; ++i)
        many += "--m\r\nX: " + std::to_string(i) + "\r\n\r\n" + std::string(i % 5, '-') + "\r\n";
    const std::string cases[] = {
        "Content-Type: multipart/mixed; boundary=b\r\n\r\npre\r\n--b\r\nA: 1\r\n\r\none\r\n--b\r\n"
        "Content-Type: message/rfc822\r\n\r\nB: "
        "2\r\n\r\ntwo\r\n--b\r\n\r\n--b\r\n--b--\r\nafter\r\n--b\r\nlast",
        "Content-Type: multipart/digest; boundary=g\r\n\r\n--g\r\nSubject: in\r\n\r\nx\r\n--g\r\n\r\n"
        "Subject: bare\r\n\r\ny\r\n--g\r\nContent-Type: text/plain\r\n\r\nz\r\n--g--\r\n",
        "Content-Type: multipart/mixed; boundary=b1\n\n--b1\nA: 1\n\none\n--b10\nB\n--b1 \t\r\nC: "
        "3\r\nbody\n--b1--",
        "Content-Type: multipart/mixed; boundary=r\r\n\r\n--r\rA: 1\r\r\n--r\r\nB:\0 2\r\n\r\n\0\r\n--r--"s,
        "Content-Type: multipart/mixed; boundary=l\r\n\r\nl\r\nA: 1\r\n\r\none\r\nl\r\ntwo\r\nl--\r\n",
        "Content-Type: multipart/mixed; boundary=e\r\n\r\n--e\r\n--e\r\n--e",
        "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\nA: 1\r\n\r\n--\r\n",
        "Content-Type: message/rfc822\r\n\r\nContent-Type: multipart/alternative; boundary=n\r\n\r\n"
        "--n\r\nContent-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n\r\nin\r\n--o--\r\n--n--\r\n",
        deep,
        many,
    };
    for (const std::string& text : cases) {
        std::string dumps[3];
        std::string states[3];
        std::string assembled[3];
        for (int hook = 0; hook < 3; ++hook) {
            if (hook == 1)
                DwBodyPart::sNewBodyPartHook = [](const std::string& t, DwMessageComponent* parent) {
                    return new DwBodyPart(t, parent);
                };
            if (hook == 2)
                DwMessage::sNewMessageHook = [](const std::string& t, DwMessageComponent* parent) {
                    return new DwMessage(t, parent);
                };
            std::unique_ptr<DwMessage> message(DwMessage::NewMessage(DwBorrowedText{text}, nullptr));
            message->Parse();
            DwBodyPart::sNewBodyPartHook = nullptr;
            DwMessage::sNewMessageHook = nullptr;
            dumps[hook] = DumpTree(*message);
            DumpState(*message, states[hook]);
            message->Assemble();
            assembled[hook] = std::string(message->TextView());
        }
        EXPECT_EQ(dumps[1], dumps[0]) << text;
        EXPECT_EQ(dumps[2], dumps[0]) << text;
        EXPECT_EQ(states[1], states[0]) << text;
        EXPECT_EQ(states[2], states[0]) << text;
        EXPECT_EQ(assembled[1], assembled[0]) << text;
        EXPECT_EQ(assembled[2], assembled[0]) << text;
    }
}

} // namespace
