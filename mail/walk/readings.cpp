#include "mail/walk/readings.h"

#include <algorithm>
#include <strings.h>

#include "mail/mime/body.h"
#include "mail/mime/charclass.h"
#include "mail/mime/decodewords.h"
#include "mail/mime/bodypart.h"
#include "mail/mime/bytesearch.h"
#include "mail/mime/entity.h"
#include "mail/mime/enums.h"
#include "mail/mime/field.h"
#include "mail/mime/headers.h"
#include "mail/mime/mechanism.h"
#include "mail/mime/mediatype.h"
#include "mail/mime/message.h"
#include "mail/mime/multipartsplitter.h"
#include "mail/walk/mailwalk.h"

namespace {

// Uuencoded files looked for in one text.
constexpr int kMaxUuencodedFiles = 8;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(CToLower(static_cast<unsigned char>(c)));
    return text;
}

std::string TrimmedEnd(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

// The field's text as it came, ended by a line end.
std::string FieldText(const DwField& field) {
    std::string text = field.Text();
    if (text.empty() || text.back() != '\n') text += "\r\n";
    return text;
}

// What the walk makes of a Content-Type field: type, subtype and boundary.
std::string MediaTypeKey(DwField& field) {
    auto* type = dynamic_cast<DwMediaType*>(field.FieldBody());
    if (!type || type->Type() < kTypeText) return "text/plain";
    return Lower(type->TypeStr()) + "/" + Lower(type->SubtypeStr()) + ";" + type->Boundary();
}

std::string MechanismKey(DwField& field) {
    auto* mechanism = dynamic_cast<DwMechanism*>(field.FieldBody());
    return std::to_string(mechanism ? mechanism->AsEnum() : kCteNull);
}

// A field the walk reads by its first occurrence and other readers by a later one: the entity with
// each later one that reads differently in place of all of them.
void OtherFieldReadings(DwEntity& entity, const char* name, std::string (*key)(DwField&), const char* why,
                        std::vector<EntityReading>& out) {
    DwHeaders& headers = entity.Headers();
    // Counted before anything is kept: nearly every entity has the field once at most.
    int count = 0;
    for (int i = 0; i < headers.FieldCount() && count < 2; ++i)
        if (IsFieldNamed(headers.FieldAt(i), name)) ++count;
    if (count < 2) return;
    std::vector<int> indexes;
    for (int i = 0; i < headers.FieldCount(); ++i)
        if (IsFieldNamed(headers.FieldAt(i), name)) indexes.push_back(i);
    std::vector<std::string> keys{key(headers.FieldAt(indexes[0]))};
    for (size_t k = 1; k < indexes.size(); ++k) {
        DwField& field = headers.FieldAt(indexes[k]);
        const std::string fieldKey = key(field);
        if (std::find(keys.begin(), keys.end(), fieldKey) != keys.end()) continue;
        keys.push_back(fieldKey);
        std::string text;
        for (int i = 0; i < headers.FieldCount(); ++i)
            if (!IsFieldNamed(headers.FieldAt(i), name)) text += FieldText(headers.FieldAt(i));
        text += FieldText(field) + "\r\n";
        text += entity.Body().TextView();
        out.push_back({std::move(text), false, why});
    }
}

// A Content-Type written as encoded words: some readers decode them before they read the type.
void EncodedTypeReading(DwEntity& entity, const EntityType& read, std::vector<EntityReading>& out) {
    // The text of the first Content-Type, where it was read already, tells most entities apart.
    if (read.pending && (read.read.withoutWordsOrNames ||
                         FindBytePair(read.read.text, 0, '=', '?') == std::string_view::npos))
        return;
    DwHeaders& headers = entity.Headers();
    DwField* field = headers.FindField("Content-Type");
    if (!field || FindBytePair(field->FieldBodyTextView(), 0, '=', '?') == std::string_view::npos) return;
    std::vector<char> decoded(field->FieldBodyText().begin(), field->FieldBodyText().end());
    decoded.push_back('\0');
    DecodeEncodedWords(decoded.data(), "us-ascii");
    if (field->FieldBodyText() == decoded.data()) return;
    std::string text;
    for (int i = 0; i < headers.FieldCount(); ++i)
        if (&headers.FieldAt(i) != field) text += FieldText(headers.FieldAt(i));
    text += "Content-Type: " + std::string(decoded.data()) + "\r\n\r\n";
    text += entity.Body().TextView();
    out.push_back({std::move(text), false, "its Content-Type decoded from encoded words"});
}

// The parts of a multipart body split another way, where they differ from the tree's.
void OtherSplit(DwEntity& entity, const std::string& boundary, DwDelimiterMatch match, const char* why,
                std::vector<EntityReading>& out) {
    DwBody& body = entity.Body();
    const std::string_view text = body.TextView();
    const DwMultipartSplit split(text, boundary, match);
    if (split.parts.size() == 1 && split.parts[0].length == text.size()) return; // no delimiter
    const auto part = [&](size_t i) { return text.substr(split.parts[i].offset, split.parts[i].length); };
    bool same = static_cast<int>(split.parts.size()) == body.PartCount();
    for (int i = 0; same && i < body.PartCount(); ++i) same = part(i) == body.PartAt(i).TextView();
    if (same) return;
    for (size_t i = 0; i < split.parts.size(); ++i) out.push_back({std::string(part(i)), true, why});
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

// Where "begin MODE NAME" lines start in text.
std::vector<size_t> UuencodeStarts(std::string_view text) {
    std::vector<size_t> starts;
    const auto isStart = [&](size_t at) { return at + 6 < text.size() && IsOctal(text[at + 6]); };
    constexpr std::string_view kWord = "begin ";
    if (text.substr(0, 6) == kWord && isStart(0)) starts.push_back(0);
    // A line that starts with 'b' is looked at: few do.
    for (size_t at = FindBytePair(text, 0, '\n', 'b');
         at != std::string_view::npos && starts.size() < kMaxUuencodedFiles;
         at = FindBytePair(text, at + 1, '\n', 'b'))
        if (text.substr(at + 1, 6) == kWord && isStart(at + 1)) starts.push_back(at + 1);
    return starts;
}

void UuencodedFiles(DwEntity& entity, int cte, std::vector<EntityReading>& out) {
    std::string_view text = entity.Body().TextView();
    std::string decoded;
    if (cte == kCteBase64 || cte == kCteQuotedPrintable) {
        DecodeBody(cte, text, decoded);
        text = decoded;
    }
    for (size_t start : UuencodeStarts(text))
        out.push_back(
            {"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n" +
                 std::string(text.substr(start)),
             true, "a uuencoded file in the text"});
}

// Whether a Content-Type's text holds no '?' and its parameters no 'n' (PendingContentType). Where it
// starts with its names as "type/subtype", these tokens hold neither '?' nor '=', so that the
// parameters alone are looked at, once for both.
bool WithoutWordsOrNames(std::string_view text, const DwMediaType::Names& names) {
    const size_t typeEnd = names.type.size();
    const bool namesFirst = !names.type.empty() && !names.subtype.empty() &&
                            names.type.data() == text.data() &&
                            names.subtype.data() == text.data() + typeEnd + 1 && text[typeEnd] == '/' &&
                            typeEnd + 1 + names.subtype.size() == names.parametersFrom;
    return namesFirst &&
           FindByteOrLetterNoCase(text, names.parametersFrom, '?', 'n') == std::string_view::npos;
}

// Most parts have no Content-Transfer-Encoding: the field is looked for first, and a field body is
// made only where there is one.
int TransferEncodingCode(DwHeaders& headers) {
    if (!headers.FindField("Content-Transfer-Encoding")) return kCteNull;
    const DwMechanism* mechanism = headers.FindContentTransferEncoding();
    return mechanism ? mechanism->AsEnum() : kCteNull;
}

} // namespace

const char kStrictHeaderReading[] = "its header block ended where strict readers end it";

EntityType EntityTypeOf(DwEntity& entity) {
    EntityType read;
    ReadEntityType(entity, read);
    return read;
}

void ReadEntityType(DwEntity& entity, EntityType& read) {
    DwHeaders& headers = entity.Headers();
    const DwField* field = headers.FindField("Content-Type");
    int written = kTypeNull;
    int writtenSubtype = kSubtypeNull;
    // Most leaves' media types are never asked for more: their text answers without one made.
    if (field && field->PendingOwnBodyText(read.read.text)) {
        read.pending = true;
        read.read.names = DwMediaType::NamesOf(read.read.text);
        read.read.withoutDisposition = !headers.FindField("Content-Disposition");
        read.read.withoutWordsOrNames = WithoutWordsOrNames(read.read.text, read.read.names);
        written = TypeStrToEnum(read.read.names.type);
        writtenSubtype = SubtypeStrToEnum(read.read.names.subtype);
    } else if (const DwMediaType* mediaType = field ? headers.FindContentType() : nullptr) {
        written = mediaType->Type();
        writtenSubtype = mediaType->Subtype();
    } else {
        field = nullptr;
    }
    if (!field && IsDigestPart(entity)) {
        read.type = kTypeMessage;
        read.subtype = kSubtypeRfc822;
    } else if (!field || written < kTypeText) {
        read.type = kTypeText;
        read.subtype = kSubtypePlain;
    } else {
        read.type = written;
        read.subtype = writtenSubtype;
    }
    read.cte = TransferEncodingCode(headers);
}

int ReadTransferEncoding(DwEntity& entity) {
    return TransferEncodingCode(entity.Headers());
}

std::string PlainBoundaryReading(const std::string& fieldBody) {
    // Pieces between the semicolons outside quotes.
    std::vector<std::string> pieces;
    std::string piece;
    bool quoted = false;
    for (size_t i = 0; i < fieldBody.size(); ++i) {
        const char c = fieldBody[i];
        if (c == '\\' && quoted && i + 1 < fieldBody.size()) {
            piece += c;
            piece += fieldBody[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            pieces.push_back(piece);
            piece.clear();
            continue;
        }
        piece += c;
    }
    pieces.push_back(piece);
    const auto strip = [](std::string s) {
        const char* blanks = " \t\r\n";
        const size_t first = s.find_first_not_of(blanks);
        if (first == std::string::npos) return std::string();
        return s.substr(first, s.find_last_not_of(blanks) - first + 1);
    };
    for (size_t k = 1; k < pieces.size(); ++k) {
        const size_t equals = pieces[k].find('=');
        if (equals == std::string::npos || Lower(strip(pieces[k].substr(0, equals))) != "boundary") continue;
        std::string value = strip(pieces[k].substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            std::string inner;
            for (size_t i = 1; i + 1 < value.size(); ++i) {
                if (value[i] == '\\' && i + 2 < value.size()) ++i;
                inner += value[i];
            }
            value = inner;
        } else if (value.size() >= 2 && value.front() == '<' && value.back() == '>') {
            value = value.substr(1, value.size() - 2);
        }
        return TrimmedEnd(value);
    }
    return std::string();
}

bool OtherEntityReadings(DwEntity& entity, std::vector<EntityReading>* out) {
    return OtherEntityReadings(entity, EntityTypeOf(entity), out);
}

bool OtherEntityReadings(DwEntity& entity, const EntityType& read, std::vector<EntityReading>* out) {
    const int type = read.type;
    const int subtype = read.subtype;
    std::vector<EntityReading> own;
    std::vector<EntityReading>& readings = out ? *out : own;
    const size_t before = readings.size();
    DwHeaders& headers = entity.Headers();
    DwBody& body = entity.Body();
    // Nearly every entity has each field once at most, and a block of one field has no second.
    if (headers.FieldCount() >= 2) {
        OtherFieldReadings(entity, "Content-Type", MediaTypeKey, "read by another Content-Type", readings);
        OtherFieldReadings(entity, "Content-Transfer-Encoding", MechanismKey,
                           "read by another Content-Transfer-Encoding", readings);
    }
    EncodedTypeReading(entity, read, readings);
    // Read where it lies: Text() would make the block a copy of its own.
    const std::string_view block = headers.TextView();
    const size_t strict = entity.StrictHeaderLength();
    if (strict < block.size()) {
        std::string text(block.substr(0, strict));
        text += "\r\n";
        text += block.substr(strict);
        text += "\r\n";
        text += body.TextView();
        readings.push_back({std::move(text), false, kStrictHeaderReading});
    }
    if (!entity.HasEmptyLineAfterHeaders()) {
        std::string upToEmptyLine;
        if (FieldsUpToEmptyLine(block, body.TextView(), upToEmptyLine))
            readings.push_back(
                {std::move(upToEmptyLine), false, "its fields read up to the first empty line"});
    }
    const int cte = TransferEncodingOf(entity, read);
    const bool encoded = HasBodyDecoder(cte);
    if ((type == kTypeMultipart || type == kTypeMessage) && encoded) {
        // Some readers decode such a body by its encoding whatever it holds.
        std::string encoding;
        CteEnumToStr(cte, encoding);
        std::string text =
            "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n";
        text += body.TextView();
        readings.push_back({std::move(text), false, "its body decoded as a file"});
    }
    if (body.IsNestingCut()) {
        // Too deep to read further: the walk says so.
    } else if (DwMediaType* mediaType = type == kTypeMultipart ? headers.FindContentType() : nullptr) {
        // Only a multipart's media type is made here: a leaf is read from its text.
        const std::string boundary = mediaType->Boundary();
        std::vector<std::string> others;
        for (const std::string& value : mediaType->ParameterValues("boundary"))
            others.push_back(TrimmedEnd(value));
        if (DwField* field = headers.FindField("Content-Type"))
            others.push_back(PlainBoundaryReading(field->FieldBodyText()));
        std::sort(others.begin(), others.end());
        others.erase(std::unique(others.begin(), others.end()), others.end());
        for (const std::string& other : others)
            if (other != boundary && !other.empty())
                OtherSplit(entity, other, DwDelimiterMatch::kExact, "its boundary read another way",
                           readings);
        if (body.LooseDelimiterLines() > 0)
            OtherSplit(entity, boundary, DwDelimiterMatch::kPrefix, "delimiter lines taken by their start",
                       readings);
    } else if (type == kTypeMessage) {
        if (encoded) {
            std::string decoded;
            DecodeBody(cte, body.TextView(), decoded);
            readings.push_back(
                {std::move(decoded), true, "its message decoded by its Content-Transfer-Encoding"});
        } else if (subtype == kSubtypePartial) {
            readings.push_back({std::string(body.TextView()), true, "the fragment of a partial message"});
        }
    } else if (type == kTypeText && cte != kCteUuencode) {
        UuencodedFiles(entity, cte, readings);
    }
    return readings.size() > before;
}

bool LoneCrReading(std::string_view text, std::string& out) {
    const size_t first = FindLoneCr(text);
    if (first == std::string_view::npos) return false;
    const size_t n = text.size();
    std::string result;
    result.reserve(n + n / 16);
    result.append(text.substr(0, first));
    for (size_t i = first; i < n; ++i) {
        result += text[i];
        if (text[i] == '\r' && (i + 1 == n || text[i + 1] != '\n')) result += '\n';
    }
    out = std::move(result);
    return true;
}
