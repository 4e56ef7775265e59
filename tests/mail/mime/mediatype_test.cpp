#include "mail/mime/body.h"
#include "mail/mime/field.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/generators.h"
#include "mail/mime/headers.h"
#include "mail/mime/message.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/parameter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(Parameter, Table) {
    struct Case {
        std::string text, attribute, value;
    } cases[] = {
        {"charset=us-ascii", "charset", "us-ascii"},
        {"boundary=\"abc\"", "boundary", "abc"},
        {"boundary='abc'", "boundary", "abc"},
        {"name='abc'", "name", "'abc'"},
        {"boundary=''", "boundary", "''"},
        {" filename = \"a b.exe\" (comment)", "filename", "a b.exe"},
        {"name=\"a\\\"b\\\\c\"", "name", "a\"b\\c"},
        {"name=", "name", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        DwParameter parameter(c.text, nullptr);
        parameter.Parse();
        EXPECT_EQ(parameter.Attribute(), c.attribute) << c.text;
        EXPECT_EQ(parameter.Value(), c.value) << c.text;
        EXPECT_EQ(parameter.Text(), c.text);
    }
}

// A set value cannot leave its quotes nor end the header line.
TEST(Parameter, AssemblyEscapesAndDropsLineEnds) {
    DwParameter parameter("name=x", nullptr);
    parameter.Parse();
    parameter.SetValue("a\"b\\c\r\nX-Injected: yes\r\n");
    parameter.Assemble();
    EXPECT_EQ(parameter.Text(), "name=\"a\\\"b\\\\cX-Injected: yes\"");
    DwParameter again(parameter.Text(), nullptr);
    again.Parse();
    EXPECT_EQ(again.Value(), "a\"b\\cX-Injected: yes");
    parameter.SetAttribute("na\r\nme\n");
    EXPECT_EQ(parameter.Attribute(), "na\r\nme");
    parameter.Assemble();
    EXPECT_EQ(parameter.Text().find('\n'), std::string::npos);
}

struct TypeCase {
    std::string text;
    std::string type, subtype;
    int typeCode, subtypeCode;
    std::vector<std::pair<std::string, std::string>> parameters;
};

TEST(MediaType, ParseTable) {
    const TypeCase cases[] = {
        {"text/plain; charset=us-ascii",
         "text",
         "plain",
         kTypeText,
         kSubtypePlain,
         {{"charset", "us-ascii"}}},
        {"text", "text", "", kTypeText, kSubtypeNull, {}},
        {"", "", "", kTypeNull, kSubtypeNull, {}},
        {"Multipart/Mixed; boundary=\"=_x\"",
         "Multipart",
         "Mixed",
         kTypeMultipart,
         kSubtypeMixed,
         {{"boundary", "=_x"}}},
        // A ';' ends a parameter: the one without '=' is dropped, the next one stands.
        {"multipart/mixed; foo; boundary=\"xyz\"",
         "multipart",
         "mixed",
         kTypeMultipart,
         kSubtypeMixed,
         {{"boundary", "xyz"}}},
        {"multipart/mixed; a=; b=2", "multipart", "mixed", kTypeMultipart, kSubtypeMixed, {{"b", "2"}}},
        {"text/plain;; ; charset=x;", "text", "plain", kTypeText, kSubtypePlain, {{"charset", "x"}}},
        {"text/plain; name", "text", "plain", kTypeText, kSubtypePlain, {}},
        // No '/' before the parameters: no subtype, and the parameter stays a parameter.
        {"text; name=\"a/b\"", "text", "", kTypeText, kSubtypeNull, {{"name", "a/b"}}},
        {"foo/bar", "foo", "bar", kTypeUnknown, kSubtypeUnknown, {}},
        {"(c) text (c) / (c) html", "text", "html", kTypeText, kSubtypeHtml, {}},
    };
    for (const TypeCase& c : cases) {
        DwMediaType type(c.text, nullptr);
        type.Parse();
        EXPECT_EQ(type.TypeStr(), c.type) << c.text;
        EXPECT_EQ(type.SubtypeStr(), c.subtype) << c.text;
        EXPECT_EQ(type.Type(), c.typeCode) << c.text;
        EXPECT_EQ(type.Subtype(), c.subtypeCode) << c.text;
        std::vector<std::pair<std::string, std::string>> parameters;
        for (int i = 0; i < type.NumParameters(); ++i)
            parameters.emplace_back(type.ParameterAt(i).Attribute(), type.ParameterAt(i).Value());
        EXPECT_EQ(parameters, c.parameters) << c.text;
    }
}

TEST(MediaType, CachedParameters) {
    DwMediaType type("application/x; name=n.exe; filename=f.exe; charset=koi8-r; boundary=b", nullptr);
    type.Parse();
    EXPECT_EQ(type.Filename(), "n.exe"); // whichever comes first
    EXPECT_EQ(type.Name(), "n.exe");
    EXPECT_EQ(type.Charset(), "koi8-r");
    EXPECT_EQ(type.Boundary(), "b");
    EXPECT_EQ(type.ParameterAt(1).Text(), "filename=f.exe");
}

TEST(MediaType, AssemblyKeepsUnchangedSpansAndFolds) {
    DwMediaType type("multipart/mixed; boundary=abc ; x=\"1\"", nullptr);
    type.Parse();
    type.SetBoundary("xyz");
    type.Assemble();
    EXPECT_EQ(type.Text(), "multipart/mixed;\r\n  boundary=\"xyz\";\r\n  x=\"1\"");
    type.SetFolding(false);
    type.MarkModified();
    type.Assemble();
    EXPECT_EQ(type.Text(), "multipart/mixed; boundary=\"xyz\"; x=\"1\"");
}

// A media type made from a parsed field reads the field's text where it lies; changed, it assembles
// to its new text, and unchanged, it moves with the assembled tree so that the parsed text can go.
TEST(MediaType, APieceOfTheFieldTextAssemblesAndMovesWithTheTree) {
    const std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                             "Content-Type: text/plain; charset=us-ascii\r\n\r\none\r\n--b\r\n"
                             "Content-Type: text/html\r\n\r\ntwo\r\n--b--\r\n";
    std::unique_ptr<DwMessage> message(DwMessage::NewMessage(text, nullptr));
    message->Parse();
    const std::weak_ptr<DwTextBuffer> parsed = message->TextSpan()->buffer;
    DwMediaType& kept = message->Body().PartAt(0).Headers().ContentType();
    DwMediaType& changed = message->Body().PartAt(1).Headers().ContentType();
    ASSERT_NE(kept.TextSpan(), nullptr);
    EXPECT_EQ(kept.TextSpan()->buffer, parsed.lock());
    EXPECT_EQ(kept.Charset(), "us-ascii");
    changed.SetSubtypeStr("x-changed");
    message->Assemble();
    EXPECT_TRUE(parsed.expired());
    EXPECT_EQ(message->Body().PartAt(1).Headers().FieldAt(0).Text(), "Content-Type: text/x-changed\r\n");
    EXPECT_EQ(changed.TextView(), "text/x-changed");
    EXPECT_EQ(kept.TextView(), "text/plain; charset=us-ascii");
    ASSERT_NE(kept.TextSpan(), nullptr);
    EXPECT_EQ(kept.TextSpan()->buffer, message->TextSpan()->buffer);
}

TEST(MediaType, SetBoundaryAppendsParameter) {
    DwMediaType type("multipart/mixed", nullptr);
    type.Parse();
    type.SetBoundary("b1");
    ASSERT_EQ(type.NumParameters(), 1);
    EXPECT_EQ(type.ParameterAt(0).Attribute(), "boundary");
    EXPECT_EQ(type.ParameterAt(0).Parent(), &type);
    EXPECT_TRUE(type.IsModified());
}

// A type without a subtype cannot be written: the text it was parsed from stays.
TEST(MediaType, EmptySubtypeKeepsText) {
    DwMediaType type("text; charset=x", nullptr);
    type.Parse();
    type.SetTypeStr("image");
    type.Assemble();
    EXPECT_EQ(type.Text(), "text; charset=x");
    type.SetSubtype(kSubtypeGif);
    type.Assemble();
    EXPECT_EQ(type.Text(), "image/gif;\r\n  charset=x");
    type.SetType(kTypeMultipart);
    type.SetSubtype(kSubtypeRelated);
    type.Assemble();
    EXPECT_EQ(type.Text(), "Multipart/related;\r\n  charset=x");
}

TEST(MediaType, CreateBoundary) {
    DwProcessFacts facts;
    facts.now = DwTime(36 * 36 * 36 * 5 + 36 * 36 * 4 + 36 * 3 + 2);
    SetProcessFacts(facts);
    DwMediaType type("multipart/mixed", nullptr);
    type.Parse();
    type.CreateBoundary(103);
    const std::string first = type.Boundary();
    ASSERT_EQ(first.size(), 45u);
    EXPECT_EQ(first.substr(0, 29), "------------Boundary-03=_2345");
    type.CreateBoundary(103);
    EXPECT_NE(type.Boundary(), first);
    EXPECT_EQ(type.NumParameters(), 1);
    for (char c : type.Boundary().substr(29)) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'));
    SetProcessFacts({});
}

TEST(MediaType, CopiesAndParameterOperations) {
    DwMediaType type("text/plain; a=1; b=2", nullptr);
    type.Parse();
    std::unique_ptr<DwMediaType> copy(static_cast<DwMediaType*>(type.Clone()));
    ASSERT_EQ(copy->NumParameters(), 2);
    EXPECT_EQ(copy->ParameterAt(0).Parent(), copy.get());
    EXPECT_EQ(copy->TypeStr(), "text");
    type.InsertParameterAt(-4, DwParameter::NewParameter("c=3", nullptr));
    EXPECT_EQ(type.ParameterAt(0).Text(), "c=3");
    EXPECT_EQ(type.RemoveParameterAt(3), nullptr);
    std::unique_ptr<DwParameter> removed(type.RemoveParameterAt(0));
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->Parent(), nullptr);
    type.AddParameter(nullptr);
    EXPECT_EQ(type.NumParameters(), 2);
}

} // namespace
