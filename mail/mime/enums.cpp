#include "mail/mime/enums.h"

#include <string_view>

#include "mail/mime/charclass.h"

namespace {

struct NameCode {
    std::string_view name;
    int code;
};

// Names accepted. uuencode goes by several names; "x-uuencode" is the one most mailers write.
const NameCode kCteAccepted[] = {
    {"7bit", kCte7bit},         {"8bit", kCte8bit},
    {"binary", kCteBinary},     {"quoted-printable", kCteQuotedPrintable},
    {"base64", kCteBase64},     {"x-uue", kCteUuencode},
    {"uuencode", kCteUuencode}, {"x-uuencode", kCteUuencode},
    {"uue", kCteUuencode},
};

const NameCode kCteWritten[] = {
    {"7bit", kCte7bit},     {"8bit", kCte8bit},
    {"binary", kCteBinary}, {"quoted-printable", kCteQuotedPrintable},
    {"base64", kCteBase64}, {"x-uue", kCteUuencode},
};

const NameCode kTypeNames[] = {
    {"Text", kTypeText},       {"Multipart", kTypeMultipart},
    {"Message", kTypeMessage}, {"Application", kTypeApplication},
    {"Image", kTypeImage},     {"Audio", kTypeAudio},
    {"Video", kTypeVideo},     {"Model", kTypeModel},
};

const NameCode kSubtypeNames[] = {
    {"Plain", kSubtypePlain},
    {"Richtext", kSubtypeRichtext},
    {"Enriched", kSubtypeEnriched},
    {"HTML", kSubtypeHtml},
    {"rfc822-headers", kSubtypeRfc822Headers},
    {"Mixed", kSubtypeMixed},
    {"Alternative", kSubtypeAlternative},
    {"Digest", kSubtypeDigest},
    {"Parallel", kSubtypeParallel},
    {"related", kSubtypeRelated},
    {"signed", kSubtypeSigned},
    {"encrypted", kSubtypeEncrypted},
    {"report", kSubtypeReport},
    {"appledouble", kSubtypeAppledouble},
    {"Rfc822", kSubtypeRfc822},
    {"Partial", kSubtypePartial},
    {"External-body", kSubtypeExternalBody},
    {"delivery-status", kSubtypeDeliveryStatus},
    {"Postscript", kSubtypePostscript},
    {"Octet-stream", kSubtypeOctetStream},
    {"applefile", kSubtypeApplefile},
    {"jpeg", kSubtypeJpeg},
    {"gif", kSubtypeGif},
    {"basic", kSubtypeBasic},
    {"mpeg", kSubtypeMpeg},
};

template <size_t N> int FindCode(const NameCode (&table)[N], std::string_view name, int unknown) {
    if (name.empty()) return unknown;
    for (const NameCode& entry : table) {
        // The compare stops at the first differing letter: a first-letter filter would cost more.
        if (entry.name.size() == name.size() &&
            EqualNoCaseC(name.data(), name.size(), entry.name.data(), entry.name.size()))
            return entry.code;
    }
    return unknown;
}

template <size_t N> const char* FindName(const NameCode (&table)[N], int code) {
    for (const NameCode& entry : table) {
        if (entry.code == code) return entry.name.data();
    }
    return nullptr;
}

} // namespace

int CteStrToEnum(const std::string& name) {
    return FindCode(kCteAccepted, name, kCteUnknown);
}

int TypeStrToEnum(const std::string& name) {
    return TypeStrToEnum(std::string_view(name));
}

int SubtypeStrToEnum(const std::string& name) {
    return SubtypeStrToEnum(std::string_view(name));
}

int TypeStrToEnum(std::string_view name) {
    return name.empty() ? kTypeNull : FindCode(kTypeNames, name, kTypeUnknown);
}

int SubtypeStrToEnum(std::string_view name) {
    return name.empty() ? kSubtypeNull : FindCode(kSubtypeNames, name, kSubtypeUnknown);
}

void CteEnumToStr(int code, std::string& out) {
    if (const char* name = FindName(kCteWritten, code)) out = name;
}

void TypeEnumToStr(int code, std::string& out) {
    const char* name = FindName(kTypeNames, code);
    out = code == kTypeNull ? "" : name ? name : "Unknown";
}

void SubtypeEnumToStr(int code, std::string& out) {
    const char* name = FindName(kSubtypeNames, code);
    out = code == kSubtypeNull ? "" : name ? name : "Unknown";
}
