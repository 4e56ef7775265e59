#include "mail/mime/contentfile.h"
#include "mail/mime/disposition.h"
#include "mail/mime/field.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/parameter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Mechanism, Table) {
    struct Case {
        const char* text;
        int cte;
    } cases[] = {
        {"base64", kCteBase64},
        {"BASE64", kCteBase64},
        {"Base64", kCteBase64},
        {"base64 (sent as such)", kCteBase64},
        {" (c) base64", kCteBase64},
        {"quoted-printable", kCteQuotedPrintable},
        {"x-uuencode", kCteUuencode},
        {"x-uue", kCteUuencode},
        {"x-uu", kCteUuencode},
        {"uuencode", kCteUuencode},
        {"7BIT", kCte7bit},
        {"8bit", kCte8bit},
        {"binary", kCteBinary},
        {"gzip", kCteUnknown},
        {"", kCteNull},
        {"7bits", kCteNull},
    };
    for (const Case& c : cases) {
        DwMechanism mechanism(c.text, nullptr);
        mechanism.Parse();
        EXPECT_EQ(mechanism.AsEnum(), c.cte) << c.text;
    }
}

TEST(Mechanism, ParsingResetsTheOldValue) {
    DwMechanism mechanism("base64", nullptr);
    mechanism.Parse();
    mechanism.SetText("7bits");
    mechanism.Parse();
    EXPECT_EQ(mechanism.AsEnum(), kCteNull);
}

TEST(Mechanism, FromEnumWritesTheWord) {
    DwMechanism mechanism("base64", nullptr);
    mechanism.Parse();
    mechanism.FromEnum(kCteUuencode);
    EXPECT_EQ(mechanism.Text(), "x-uue");
    mechanism.FromEnum(kCteUnknown);
    EXPECT_EQ(mechanism.Text(), "x-uue");
    EXPECT_TRUE(mechanism.IsModified());
    mechanism.Assemble();
    EXPECT_FALSE(mechanism.IsModified());
}

TEST(Disposition, Table) {
    struct Case {
        const char* text;
        int code;
        const char* type;
        const char* filename;
    } cases[] = {
        {"attachment; filename=a.exe", kDispTypeAttachment, "attachment", "a.exe"},
        {"INLINE", kDispTypeInline, "INLINE", ""},
        {"Attachment; name=\"n\"", kDispTypeAttachment, "Attachment", "n"},
        {"attach", kDispTypeUnknown, "attach", ""},
        {"form-data; name=x", kDispTypeNull, "form-data", "x"},
        {"", kDispTypeNull, "", ""},
        {"; filename=x.exe", kDispTypeNull, "", "x.exe"},
    };
    for (const Case& c : cases) {
        DwDispositionType disposition(c.text, nullptr);
        disposition.Parse();
        EXPECT_EQ(disposition.DispositionType(), c.code) << c.text;
        EXPECT_EQ(disposition.TypeStr(), c.type) << c.text;
        EXPECT_EQ(disposition.Filename(), c.filename) << c.text;
    }
}

TEST(Disposition, SetFilenameReachesTheText) {
    DwDispositionType disposition("attachment", nullptr);
    disposition.Parse();
    disposition.SetFilename("a\"b.exe");
    ASSERT_EQ(disposition.NumParameters(), 1);
    EXPECT_EQ(disposition.ParameterAt(0).Attribute(), "Filename");
    disposition.Assemble();
    EXPECT_EQ(disposition.Text(), "attachment;\r\n  Filename=\"a\\\"b.exe\"");
    DwDispositionType again(disposition.Text(), nullptr);
    again.Parse();
    EXPECT_EQ(again.Filename(), "a\"b.exe");

    // Without a disposition word the parameter is still written.
    DwDispositionType bare("", nullptr);
    bare.Parse();
    bare.SetFilename("x.exe");
    bare.Assemble();
    EXPECT_EQ(bare.Text(), "attachment;\r\n  Filename=\"x.exe\"");
}

TEST(Disposition, TypeSetters) {
    DwDispositionType disposition("inline", nullptr);
    disposition.Parse();
    disposition.SetDispositionType(kDispTypeAttachment);
    EXPECT_EQ(disposition.TypeStr(), "attachment");
    disposition.SetFolding(false);
    disposition.Assemble();
    EXPECT_EQ(disposition.Text(), "attachment");
    disposition.SetTypeStr("Inline");
    EXPECT_EQ(disposition.DispositionType(), kDispTypeInline);
    EXPECT_EQ(disposition.ClassId(), 5);
}

TEST(ContentFile, WholeTextIsTheFileName) {
    DwContentFileType file("report.doc", nullptr);
    file.Parse();
    ASSERT_EQ(file.NumParameters(), 1);
    EXPECT_EQ(file.ParameterAt(0).Attribute(), "xfilename");
    EXPECT_EQ(file.ParameterAt(0).Value(), "report.doc");
    EXPECT_EQ(file.Filename(), "report.doc");
    EXPECT_EQ(file.ClassId(), 5);
}

TEST(ContentFile, SetFilenameReachesTheText) {
    DwField field("X-Content-File: old.doc\r\n", nullptr);
    field.Parse();
    auto& file = dynamic_cast<DwContentFileType&>(*field.FieldBody());
    file.SetFilename("new \"x\".exe\r\nX-Injected: 1");
    EXPECT_EQ(file.Filename(), "new \"x\".exe\r\nX-Injected: 1");
    field.Assemble();
    EXPECT_EQ(field.Text(), "X-Content-File: new \"x\".exeX-Injected: 1\r\n");
}

} // namespace
