// Codes of the content transfer encodings, media types and media subtypes, and their names.
#pragma once

#include <string>
#include <string_view>

enum DwCte : int {
    kCteNull = 0,
    kCteUnknown = 1,
    kCte7bit = 2,
    kCte8bit = 3,
    kCteBinary = 4,
    kCteQuotedPrintable = 5,
    kCteBase64 = 6,
    kCteUuencode = 7,
};

enum DwMediaTypeCode : int {
    kTypeNull = 0,
    kTypeUnknown = 1,
    kTypeText = 2,
    kTypeMultipart = 3,
    kTypeMessage = 4,
    kTypeApplication = 5,
    kTypeImage = 6,
    kTypeAudio = 7,
    kTypeVideo = 8,
    kTypeModel = 9,
};

// Grouped by tens by media type.
enum DwMediaSubtypeCode : int {
    kSubtypeNull = 0,
    kSubtypeUnknown = 1,
    kSubtypePlain = 10,
    kSubtypeRichtext = 11,
    kSubtypeEnriched = 12,
    kSubtypeHtml = 13,
    kSubtypeRfc822Headers = 14,
    kSubtypeMixed = 20,
    kSubtypeAlternative = 21,
    kSubtypeDigest = 22,
    kSubtypeParallel = 23,
    kSubtypeRelated = 24,
    kSubtypeSigned = 25,
    kSubtypeEncrypted = 26,
    kSubtypeReport = 27,
    kSubtypeAppledouble = 28,
    kSubtypeRfc822 = 40,
    kSubtypePartial = 41,
    kSubtypeExternalBody = 42,
    kSubtypeDeliveryStatus = 43,
    kSubtypePostscript = 50,
    kSubtypeOctetStream = 51,
    kSubtypeApplefile = 52,
    kSubtypeJpeg = 60,
    kSubtypeGif = 61,
    kSubtypeBasic = 70,
    kSubtypeMpeg = 80,
};

// Names compare without case (A-Z only). A name not known gives the Unknown code; the empty
// name gives kCteUnknown but kTypeNull and kSubtypeNull.
int CteStrToEnum(const std::string& name);
int TypeStrToEnum(const std::string& name);
int SubtypeStrToEnum(const std::string& name);
// The same for a name where it lies.
int TypeStrToEnum(std::string_view name);
int SubtypeStrToEnum(std::string_view name);

// The name written for a code, in the letter case of the tables ("Multipart", "HTML",
// "Rfc822", "related"). CteEnumToStr leaves out unchanged for kCteNull, kCteUnknown and codes
// not in the table; the other two write "Unknown" for those.
void CteEnumToStr(int code, std::string& out);
void TypeEnumToStr(int code, std::string& out);
void SubtypeEnumToStr(int code, std::string& out);
