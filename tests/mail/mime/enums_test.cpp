#include "mail/mime/enums.h"
#include "mail/mime/exception.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

TEST(MimeEnums, TransferEncodingNames) {
    struct {
        const char* name;
        int code;
    } cases[] = {
        {"7bit", kCte7bit},
        {"8BIT", kCte8bit},
        {"Binary", kCteBinary},
        {"quoted-printable", kCteQuotedPrintable},
        {"Quoted-Printable", kCteQuotedPrintable},
        {"base64", kCteBase64},
        {"BaSe64", kCteBase64},
        {"BASE64", kCteBase64},
        {"x-uue", kCteUuencode},
        {"X-UUE", kCteUuencode},
        {"uuencode", kCteUuencode},
        {"UUencode", kCteUuencode},
        {"x-uuencode", kCteUuencode}, // what most mailers write
        {"X-UUENCODE", kCteUuencode},
        {"uue", kCteUuencode},
        {"", kCteUnknown},
        {"base6", kCteUnknown},
        {"base64 ", kCteUnknown},
        {"base64x", kCteUnknown},
        {"x-uuencodex", kCteUnknown},
        {"quoted", kCteUnknown},
        {"\xe2"
         "ase64",
         kCteUnknown},
    };
    for (const auto& c : cases) EXPECT_EQ(CteStrToEnum(c.name), c.code) << c.name;

    const std::string withNul("base64\0junk", 11);
    EXPECT_EQ(CteStrToEnum(withNul), kCteUnknown);
}

TEST(MimeEnums, TransferEncodingCodesWriteTheirName) {
    struct {
        int code;
        const char* name;
    } cases[] = {
        {kCte7bit, "7bit"},     {kCte8bit, "8bit"},
        {kCteBinary, "binary"}, {kCteQuotedPrintable, "quoted-printable"},
        {kCteBase64, "base64"}, {kCteUuencode, "x-uue"},
    };
    for (const auto& c : cases) {
        std::string out = "old";
        CteEnumToStr(c.code, out);
        EXPECT_EQ(out, c.name);
        EXPECT_EQ(CteStrToEnum(out), c.code);
    }
    for (int code : std::initializer_list<int>{kCteNull, kCteUnknown, 8, -1, 1000}) {
        std::string out = "left alone";
        CteEnumToStr(code, out);
        EXPECT_EQ(out, "left alone") << code;
    }
}

struct NameCase {
    int code;
    const char* accepted;
    const char* written;
};

// Both directions of a media type or subtype table: names accepted, names written and read
// back, the empty name and codes or names not in the table.
void CheckMediaNames(int (*toEnum)(const std::string&), void (*toStr)(int, std::string&),
                     const std::vector<NameCase>& cases, int nullCode, int unknownCode,
                     std::initializer_list<int> codesNotInTable,
                     std::initializer_list<const char*> namesNotInTable) {
    for (const NameCase& c : cases) {
        EXPECT_EQ(toEnum(c.accepted), c.code) << c.accepted;
        std::string out;
        toStr(c.code, out);
        EXPECT_EQ(out, c.written);
        EXPECT_EQ(toEnum(out), c.code);
    }
    EXPECT_EQ(toEnum(""), nullCode);
    for (const char* name : namesNotInTable) EXPECT_EQ(toEnum(name), unknownCode) << name;
    std::string out = "x";
    toStr(nullCode, out);
    EXPECT_EQ(out, "");
    for (int code : codesNotInTable) {
        toStr(code, out);
        EXPECT_EQ(out, "Unknown") << code;
    }
}

TEST(MimeEnums, MediaTypes) {
    CheckMediaNames(TypeStrToEnum, TypeEnumToStr,
                    {
                        {kTypeText, "text", "Text"},
                        {kTypeMultipart, "MULTIPART", "Multipart"},
                        {kTypeMessage, "message", "Message"},
                        {kTypeApplication, "Application", "Application"},
                        {kTypeImage, "image", "Image"},
                        {kTypeAudio, "audio", "Audio"},
                        {kTypeVideo, "vIdEo", "Video"},
                        {kTypeModel, "model", "Model"},
                    },
                    kTypeNull, kTypeUnknown, {kTypeUnknown, 10, 99, -3}, {"texts", "x-unknown", "tex"});
}

TEST(MimeEnums, MediaSubtypes) {
    CheckMediaNames(SubtypeStrToEnum, SubtypeEnumToStr,
                    {
                        {kSubtypePlain, "plain", "Plain"},
                        {kSubtypeRichtext, "richtext", "Richtext"},
                        {kSubtypeEnriched, "enriched", "Enriched"},
                        {kSubtypeHtml, "html", "HTML"},
                        {kSubtypeRfc822Headers, "rfc822-headers", "rfc822-headers"},
                        {kSubtypeMixed, "MIXED", "Mixed"},
                        {kSubtypeAlternative, "alternative", "Alternative"},
                        {kSubtypeDigest, "digest", "Digest"},
                        {kSubtypeParallel, "parallel", "Parallel"},
                        {kSubtypeRelated, "Related", "related"},
                        {kSubtypeSigned, "signed", "signed"},
                        {kSubtypeEncrypted, "encrypted", "encrypted"},
                        {kSubtypeReport, "report", "report"},
                        {kSubtypeAppledouble, "appledouble", "appledouble"},
                        {kSubtypeRfc822, "RFC822", "Rfc822"},
                        {kSubtypePartial, "partial", "Partial"},
                        {kSubtypeExternalBody, "external-body", "External-body"},
                        {kSubtypeDeliveryStatus, "delivery-status", "delivery-status"},
                        {kSubtypePostscript, "postscript", "Postscript"},
                        {kSubtypeOctetStream, "octet-stream", "Octet-stream"},
                        {kSubtypeApplefile, "applefile", "applefile"},
                        {kSubtypeJpeg, "JPEG", "jpeg"},
                        {kSubtypeGif, "gif", "gif"},
                        {kSubtypeBasic, "basic", "basic"},
                        {kSubtypeMpeg, "mpeg", "mpeg"},
                    },
                    kSubtypeNull, kSubtypeUnknown, {kSubtypeUnknown, 15, 99, -1},
                    {"rfc822-header", "vnd.ms-excel", "htm"});
}

// Only letters match in either case: a byte one case bit away from a digit, a dash or a letter's
// neighbour is another byte.
TEST(MimeEnums, OnlyLettersFoldCase) {
    EXPECT_EQ(CteStrToEnum("\x17"
                           "bit"),
              kCteUnknown);
    EXPECT_EQ(CteStrToEnum("base\x16\x14"), kCteUnknown);
    EXPECT_EQ(CteStrToEnum("x\ruue"), kCteUnknown);
    EXPECT_EQ(CteStrToEnum("QUOTED-PRINTABLE"), kCteQuotedPrintable);
    EXPECT_EQ(CteStrToEnum("quoted\rprintable"), kCteUnknown);
    EXPECT_EQ(SubtypeStrToEnum(std::string_view("rfc\x18\x12\x12-headers")), kSubtypeUnknown);
    EXPECT_EQ(SubtypeStrToEnum(std::string_view("RFC822-HEADERS")), kSubtypeRfc822Headers);
    EXPECT_EQ(SubtypeStrToEnum(std::string_view("delivery\rstatus")), kSubtypeUnknown);
    EXPECT_EQ(TypeStrToEnum(std::string_view("te\x18t")), kTypeUnknown);
    EXPECT_EQ(TypeStrToEnum(std::string_view("t@xt")), kTypeUnknown);
    EXPECT_EQ(TypeStrToEnum(std::string_view("TEXT")), kTypeText);
}

TEST(MimeExceptions, TextsAndCopies) {
    DwException plain;
    EXPECT_STREQ(plain.What(), "Unspecified error");
    DwBoundsException bounds;
    EXPECT_STREQ(bounds.What(), "Bounds error");
    DwException copy = bounds;
    EXPECT_EQ(copy.What(), bounds.What());
}

} // namespace
