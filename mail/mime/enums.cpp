#include "mail/mime/enums.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "mail/mime/charclass.h"

namespace {

struct NameCode {
    std::string_view name;
    int code;
};

// Names accepted. uuencode goes by several names; "x-uuencode" is the one most mailers write.
constexpr NameCode kCteAccepted[] = {
    {"7bit", kCte7bit},         {"8bit", kCte8bit},
    {"binary", kCteBinary},     {"quoted-printable", kCteQuotedPrintable},
    {"base64", kCteBase64},     {"x-uue", kCteUuencode},
    {"uuencode", kCteUuencode}, {"x-uuencode", kCteUuencode},
    {"uue", kCteUuencode},
};

constexpr NameCode kCteWritten[] = {
    {"7bit", kCte7bit},     {"8bit", kCte8bit},
    {"binary", kCteBinary}, {"quoted-printable", kCteQuotedPrintable},
    {"base64", kCteBase64}, {"x-uue", kCteUuencode},
};

constexpr NameCode kTypeNames[] = {
    {"Text", kTypeText},       {"Multipart", kTypeMultipart},
    {"Message", kTypeMessage}, {"Application", kTypeApplication},
    {"Image", kTypeImage},     {"Audio", kTypeAudio},
    {"Video", kTypeVideo},     {"Model", kTypeModel},
};

constexpr NameCode kSubtypeNames[] = {
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

// A table name as the lookup compares it: lower-cased, with bit 0x20 set in fold at its letters. A
// byte x of a name then matches when (x | fold) is the lower-case byte: a letter in either case, any
// other byte only itself, as EqualNoCaseC has it; four bytes are told at once.
constexpr size_t kLongestName = 16;
struct FoldedName {
    unsigned char lower[kLongestName] = {};
    unsigned char fold[kLongestName] = {};
    size_t size = 0;
    int code = 0;
};

template <size_t N> struct FoldedTable {
    FoldedName names[N];
    constexpr explicit FoldedTable(const NameCode (&table)[N]) {
        for (size_t i = 0; i < N; ++i) {
            names[i].size = table[i].name.size();
            names[i].code = table[i].code;
            for (size_t j = 0; j < table[i].name.size(); ++j) {
                const unsigned char c = static_cast<unsigned char>(table[i].name[j]);
                names[i].lower[j] = CToLower(c);
                names[i].fold[j] = IsCAlpha(c) ? 0x20 : 0;
            }
        }
    }
};

template <size_t N> constexpr bool NamesFit(const NameCode (&table)[N]) {
    for (const NameCode& entry : table) {
        if (entry.name.size() > kLongestName) return false;
    }
    return true;
}

inline uint32_t Word(const unsigned char* p) {
    uint32_t word;
    memcpy(&word, p, sizeof word);
    return word;
}

// Inline in the lookup, whose entries are mostly passed over by their size.
[[gnu::always_inline]] inline bool MatchesFolded(std::string_view name, const FoldedName& entry) {
    if (name.size() != entry.size) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    size_t i = 0;
    for (; i + 4 <= entry.size; i += 4) {
        if ((Word(s + i) | Word(entry.fold + i)) != Word(entry.lower + i)) return false;
    }
    for (; i < entry.size; ++i) {
        if ((s[i] | entry.fold[i]) != entry.lower[i]) return false;
    }
    return true;
}

static_assert(NamesFit(kCteAccepted) && NamesFit(kTypeNames) && NamesFit(kSubtypeNames));
constexpr FoldedTable kCteFolded(kCteAccepted);
constexpr FoldedTable kTypeFolded(kTypeNames);
constexpr FoldedTable kSubtypeFolded(kSubtypeNames);

template <size_t N> int FindCode(const FoldedTable<N>& table, std::string_view name, int unknown) {
    if (name.empty()) return unknown;
    for (const FoldedName& entry : table.names) {
        if (MatchesFolded(name, entry)) return entry.code;
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
    return FindCode(kCteFolded, name, kCteUnknown);
}

int TypeStrToEnum(const std::string& name) {
    return TypeStrToEnum(std::string_view(name));
}

int SubtypeStrToEnum(const std::string& name) {
    return SubtypeStrToEnum(std::string_view(name));
}

int TypeStrToEnum(std::string_view name) {
    return name.empty() ? kTypeNull : FindCode(kTypeFolded, name, kTypeUnknown);
}

int SubtypeStrToEnum(std::string_view name) {
    return name.empty() ? kSubtypeNull : FindCode(kSubtypeFolded, name, kSubtypeUnknown);
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
