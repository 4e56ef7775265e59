// Content-Type texts read alike on every path: a media type parsed on its own, the field body a
// header field makes when first asked for it, and one made through the creation hooks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/parameter.h"

namespace {

std::string Escaped(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 32 || c >= 127) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            out += "\"\"";
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Joined(const std::vector<std::string>& values) {
    std::string out = "[";
    for (const std::string& value : values) out += value + ",";
    return out + "]";
}

// Everything a reader can ask of a parsed media type, then what it assembles to once marked.
std::string Render(DwMediaType& type) {
    std::string out = type.TypeStr() + "/" + type.SubtypeStr() + " " + std::to_string(type.Type()) + "." +
                      std::to_string(type.Subtype());
    for (int i = 0; i < type.NumParameters(); ++i) {
        const DwParameter& parameter = type.ParameterAt(i);
        out += " {" + parameter.Attribute() + "}={" + parameter.Value() + "}<" + parameter.Text() + ">";
    }
    out += " B=" + type.Boundary() + " F=" + type.Filename() + " C=" + type.Charset() + " N=" + type.Name();
    out += " name" + Joined(type.ParameterValues("name")) + " filename" +
           Joined(type.ParameterValues("filename"));
    type.MarkModified();
    type.Assemble();
    out += " A=" + type.Text();
    return out;
}

struct Case {
    std::string text;
    std::string expected;
};

const Case kCases[] = {
#include "mediatype_parse_cases.inc"
};

std::string ParsedAlone(const std::string& text) {
    DwMediaType type(text, nullptr);
    type.Parse();
    return Render(type);
}

TEST(MediaTypeParse, Table) {
    for (const Case& c : kCases) {
        const std::string actual = ParsedAlone(c.text);
        EXPECT_EQ(actual, c.expected) << "{\"" << Escaped(c.text) << "\",\n \"" << Escaped(actual) << "\"},";
    }
}

// The body a field makes from its shared header text reads as one parsed from a copy of its body text.
TEST(MediaTypeParse, FieldBodyOfAParsedHeaderBlock) {
    for (const Case& c : kCases) {
        DwHeaders headers("Content-Type: " + c.text + "\r\n", nullptr);
        headers.Parse();
        ASSERT_GE(headers.FieldCount(), 1);
        DwField& field = headers.FieldAt(0);
        ASSERT_TRUE(field.IsFieldBodyPending()) << c.text;
        DwMediaType* type = headers.FindContentType();
        ASSERT_NE(type, nullptr) << c.text;
        EXPECT_EQ(type->Parent(), &field);
        for (int i = 0; i < type->NumParameters(); ++i) EXPECT_EQ(type->ParameterAt(i).Parent(), type);
        std::unique_ptr<DwMediaType> copy(static_cast<DwMediaType*>(type->Clone()));
        EXPECT_EQ(Render(*type), ParsedAlone(field.FieldBodyText())) << c.text;
        EXPECT_EQ(Render(*copy), ParsedAlone(field.FieldBodyText())) << c.text;
    }
}

std::string Lookups(DwParameterFieldBody& body) {
    return "[" + body.ParameterValue("boundary") + "][" + body.ParameterValue("filename", "name") + "][" +
           body.ParameterValue("name", "filename") + "][" + body.ParameterValue("charset") + "][" +
           body.ParameterValue("nam") + "][" + body.ParameterValue("name*") + "]";
}

// The values asked for before anything else read the same as once the parameter list was read.
TEST(MediaTypeParse, LookupsBeforeTheParameterList) {
    for (const Case& c : kCases) {
        DwMediaType first(c.text, nullptr), listed(c.text, nullptr);
        first.Parse();
        listed.Parse();
        const std::string early = Lookups(first) + first.Boundary() + "|" + first.Filename() + "|" +
                                  first.Charset() + "|" + first.Name();
        EXPECT_EQ(listed.NumParameters(), first.NumParameters()) << c.text;
        EXPECT_EQ(early, Lookups(listed) + listed.Boundary() + "|" + listed.Filename() + "|" +
                             listed.Charset() + "|" + listed.Name())
            << c.text;
        DwDispositionType disposition(c.text, nullptr), dispositionListed(c.text, nullptr);
        disposition.Parse();
        dispositionListed.Parse();
        const std::string earlyDisposition = Lookups(disposition) + disposition.Filename();
        EXPECT_GE(dispositionListed.NumParameters(), 0);
        EXPECT_EQ(earlyDisposition, Lookups(dispositionListed) + dispositionListed.Filename()) << c.text;
    }
}

// TypeOf answers from the text what a parsed media type's Type() says.
TEST(MediaTypeParse, TypeOfAsParsed) {
    for (const Case& c : kCases) {
        DwMediaType type(c.text, nullptr);
        type.Parse();
        EXPECT_EQ(DwMediaType::TypeOf(c.text), type.Type()) << c.text;
    }
    for (const char* text :
         {"", ";", "; text/plain", "(c) Multipart/mixed", "message", " \"text\"/plain", "image;"}) {
        DwMediaType type(text, nullptr);
        type.Parse();
        EXPECT_EQ(DwMediaType::TypeOf(text), type.Type()) << text;
    }
}

// The quick test of a body parse never rules out a type whose body holds parts.
TEST(MediaTypeParse, MayNamePartsTypeKeepsEveryMultipartAndMessage) {
    std::vector<std::string> texts;
    for (const Case& c : kCases) texts.push_back(c.text);
    for (const char* text : {"Multipart/mixed", "MESSAGE/rfc822", "(c) multipart/mixed", " message/rfc822",
                             "\tmultipart/alternative", "\"multipart\"/mixed", "[x] message/rfc822",
                             ";multipart/mixed", "multipart", "message;", "\x80multipart/mixed", "text/plain",
                             "x-multipart/mixed", "application/octet-stream"})
        texts.push_back(text);
    for (const std::string& text : texts) {
        const int type = DwMediaType::TypeOf(text);
        if (type == kTypeMultipart || type == kTypeMessage) {
            EXPECT_TRUE(DwMediaType::MayNamePartsType(text)) << text;
        }
    }
    EXPECT_FALSE(DwMediaType::MayNamePartsType("text/plain; charset=us-ascii"));
    EXPECT_FALSE(DwMediaType::MayNamePartsType("x-multipart/mixed"));
}

// The names and the file name read from a field's text are those of the media type the field makes,
// or the text says it cannot tell (joined RFC 2231 pieces).
TEST(MediaTypeParse, NamesAndFilenameOfAsParsed) {
    std::vector<std::string> texts;
    for (const Case& c : kCases) texts.push_back(c.text);
    for (const char* text : {"", ";", "image;", "x/y; filename*0=a; filename*1=b.exe",
                             "x/y; name*=utf-8''a%20b", "x/y; name=a; filename*=''b", "x/y; NAME=\"q\"",
                             "x/y; filename*0=a; filename=b", "x/y; filename*=''b; name=a"})
        texts.push_back(text);
    int unsure = 0;
    for (const std::string& text : texts) {
        DwHeaders headers("Content-Type: " + text + "\r\n", nullptr);
        headers.Parse();
        ASSERT_GE(headers.FieldCount(), 1);
        std::string_view bodyText;
        ASSERT_TRUE(headers.FieldAt(0).PendingOwnBodyText(bodyText)) << text;
        const DwMediaType::Names names = DwMediaType::NamesOf(bodyText);
        std::string filename = "stale";
        const bool told = DwMediaType::FilenameOf(bodyText, names, filename);
        DwMediaType* type = headers.FindContentType();
        ASSERT_NE(type, nullptr) << text;
        EXPECT_FALSE(headers.FieldAt(0).PendingOwnBodyText(bodyText)) << text;
        EXPECT_EQ(names.type, type->TypeStr()) << text;
        EXPECT_EQ(names.subtype, type->SubtypeStr()) << text;
        EXPECT_EQ(filename, told ? type->Filename() : std::string()) << text;
        unsure += !told;
    }
    EXPECT_GE(unsure, 2);
}

// A lookup finds a name however its letters are cased, in every RFC 2231 form.
TEST(MediaTypeParse, LookupsFindAnyCaseOfTheName) {
    const Case cases[] = {
        {"text/plain; FILENAME=a.txt", "[][a.txt][a.txt][][][]"},
        {"text/plain; NaMe=\"b c\"", "[][b c][b c][][][]"},
        {"text/plain; FileName*0=x; FILENAME*1=y", "[][xy][xy][][][]"},
        {"text/plain; nAME*=us-ascii'en'd%41", "[][dA][dA][][][us-ascii'en'd%41]"},
        {"multipart/mixed; BOUNDARY=zz; Charset=Latin1", "[zz][][][Latin1][][]"},
        {"text/plain; x=NAME; y=\"filename\"", "[][][][][][]"},
        {"text/plain; (name=c) n=d", "[][][][][][]"},
    };
    for (const Case& c : cases) {
        DwMediaType first(c.text, nullptr), listed(c.text, nullptr);
        first.Parse();
        listed.Parse();
        EXPECT_EQ(Lookups(first), c.expected) << c.text;
        EXPECT_GE(listed.NumParameters(), 0);
        EXPECT_EQ(Lookups(listed), c.expected) << c.text;
    }
}

// A new text does not change the parameters parsed from the old one, read or not.
TEST(MediaTypeParse, NewTextKeepsTheParsedParameters) {
    DwMediaType type("text/plain; a=1; b=\"2\"", nullptr);
    type.Parse();
    type.SetText("text/plain; c=3");
    ASSERT_EQ(type.NumParameters(), 2);
    EXPECT_EQ(type.ParameterAt(0).Text(), "a=1");
    EXPECT_EQ(type.ParameterAt(1).Value(), "2");
    EXPECT_EQ(type.ParameterValue("c"), "");
    type.Parse();
    EXPECT_EQ(type.ParameterValue("c"), "3");
}

// A parameter class of the application's, parsed by its own Parse.
std::vector<std::string> gHookTexts;
int gParses = 0;

class HookParameter : public DwParameter {
public:
    using DwParameter::DwParameter;
    void Parse() override {
        ++gParses;
        DwParameter::Parse();
    }
};

DwMediaType* RecordedMediaType(const std::string& text, DwMessageComponent* parent) {
    gHookTexts.push_back("type:" + text);
    return new DwMediaType(text, parent);
}

TEST(MediaTypeParse, CreationHooksMakeEveryNode) {
    DwMediaType::sNewMediaTypeHook = RecordedMediaType;
    DwParameter::sNewParameterHook = [](const std::string& text, DwMessageComponent* parent) -> DwParameter* {
        gHookTexts.push_back(text);
        return new HookParameter(text, parent);
    };
    for (const Case& c : kCases) {
        gHookTexts.clear();
        gParses = 0;
        DwHeaders headers("Content-Type: " + c.text + "\r\n", nullptr);
        headers.Parse();
        DwMediaType* type = headers.FindContentType();
        ASSERT_NE(type, nullptr);
        std::vector<std::string> expected = {"type:" + headers.FieldAt(0).FieldBodyText()};
        for (int i = 0; i < type->NumParameters(); ++i) {
            expected.push_back(type->ParameterAt(i).Text());
            EXPECT_NE(dynamic_cast<HookParameter*>(&type->ParameterAt(i)), nullptr);
        }
        EXPECT_EQ(gHookTexts, expected) << c.text;
        EXPECT_EQ(gParses, type->NumParameters()) << c.text;
        const std::string hooked = Render(*type);
        DwMediaType::sNewMediaTypeHook = nullptr;
        EXPECT_EQ(hooked, ParsedAlone(headers.FieldAt(0).FieldBodyText())) << c.text;
        DwMediaType::sNewMediaTypeHook = RecordedMediaType;
    }
    DwMediaType::sNewMediaTypeHook = nullptr;
    DwParameter::sNewParameterHook = nullptr;
}

DwParameter* RecordedParameter(const std::string& text, DwMessageComponent* parent) {
    gHookTexts.push_back(text);
    return new DwParameter(text, parent);
}

// A hook set after the header block was parsed still makes the nodes of a body made later.
TEST(MediaTypeParse, ParameterHookSetAfterParsing) {
    DwHeaders headers("Content-Type: text/plain; charset=us-ascii; name=x\r\n", nullptr);
    headers.Parse();
    gHookTexts.clear();
    DwParameter::sNewParameterHook = RecordedParameter;
    DwMediaType* type = headers.FindContentType();
    DwParameter::sNewParameterHook = nullptr;
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(gHookTexts, (std::vector<std::string>{"charset=us-ascii", "name=x"}));
    EXPECT_EQ(type->Charset(), "us-ascii");
    // One set after the media type was parsed makes none of its parameters.
    DwMediaType later("text/plain; charset=us-ascii", nullptr);
    later.Parse();
    gHookTexts.clear();
    DwParameter::sNewParameterHook = RecordedParameter;
    const int count = later.NumParameters();
    DwParameter::sNewParameterHook = nullptr;
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(gHookTexts.empty());
}

class HookMediaType : public DwMediaType {
public:
    using DwMediaType::DwMediaType;
};

// The accessors find a field however its name is written, and a body of a class derived from
// theirs.
TEST(MediaTypeParse, AccessorsFindAnySpellingAndDerivedClasses) {
    for (const char* name : {"Content-Type", "content-type", "CONTENT-TYPE", "Content-type"}) {
        DwHeaders headers(std::string(name) + ": text/html\r\nContent-Transfer-Encoding: base64\r\n",
                          nullptr);
        headers.Parse();
        DwMediaType* type = headers.FindContentType();
        ASSERT_NE(type, nullptr) << name;
        EXPECT_EQ(type->Subtype(), kSubtypeHtml) << name;
        EXPECT_NE(headers.FindContentTransferEncoding(), nullptr) << name;
        EXPECT_EQ(headers.FindContentDisposition(), nullptr) << name;
    }
    DwMediaType::sNewMediaTypeHook = [](const std::string& text, DwMessageComponent* parent) -> DwMediaType* {
        return new HookMediaType(text, parent);
    };
    DwHeaders headers("Content-Type: image/gif\r\n", nullptr);
    headers.Parse();
    DwMediaType* type = headers.FindContentType();
    DwMediaType::sNewMediaTypeHook = nullptr;
    ASSERT_NE(type, nullptr);
    EXPECT_NE(dynamic_cast<HookMediaType*>(type), nullptr);
    EXPECT_EQ(&headers.ContentType(), type);
    EXPECT_EQ(type->Subtype(), kSubtypeGif);
}

} // namespace
