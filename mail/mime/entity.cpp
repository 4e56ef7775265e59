#include "mail/mime/entity.h"

#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "mail/mime/body.h"
#include "mail/mime/headers.h"
#include "mail/mime/treeassembly.h"

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The bytes a field name may hold: printable, no blank, no colon. A table, for every header line of
// every entity is read through it.
struct FieldNameBytes {
    bool in[256] = {};
    constexpr FieldNameBytes() {
        for (int c = '!'; c < 0x7F; ++c) in[c] = c != ':';
    }
};
constexpr FieldNameBytes kFieldNameBytes;

bool IsFieldNameByte(unsigned char c) {
    return kFieldNameBytes.in[c];
}

bool StartsWith(const char* begin, const char* end, const char* word, size_t length) {
    return static_cast<size_t>(end - begin) >= length && memcmp(begin, word, length) == 0;
}

// The LF that ends the line starting at line (before end), or null. The empty line that ends most
// header blocks is told without a search.
const char* LineFeedOf(const char* line, const char* end) {
    if (*line == '\n') return line;
    if (*line == '\r' && end - line > 1 && line[1] == '\n') return line + 1;
    return static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
}

enum class LineKind { kNone, kField, kLenientField };

// What the line [begin, end) (without its line end) is to a header block. Every reader takes
// "name:" (the name may be empty), a line starting with a blank or TAB and a mailbox's "From " line
// (kField); the lenient reading also takes blanks before the colon and, as the first line, a quoted
// ">From " line (kLenientField). ended: the line's CR or LF lies at end. colon, when not null, gets
// the line's first colon when a name without blanks leads to it.
[[gnu::always_inline]] inline LineKind KindOfLine(const char* begin, const char* end, bool first, bool ended,
                                                  const char** colon = nullptr) {
    if (begin == end) return LineKind::kNone;
    if (*begin == ' ' || *begin == '\t') return LineKind::kField;
    if (*begin == 'F' && StartsWith(begin, end, "From ", 5)) return LineKind::kField;
    const char* p = begin;
    if (ended) {
        // The CR or LF at end is no name byte: it ends the scan by itself, and no byte after the first
        // that is none is read. Four at a step: every field of every entity passes here.
        while (IsFieldNameByte(static_cast<unsigned char>(p[0])) &&
               IsFieldNameByte(static_cast<unsigned char>(p[1])) &&
               IsFieldNameByte(static_cast<unsigned char>(p[2])) &&
               IsFieldNameByte(static_cast<unsigned char>(p[3])))
            p += 4;
        while (IsFieldNameByte(static_cast<unsigned char>(*p))) ++p;
    } else {
        while (p != end && IsFieldNameByte(static_cast<unsigned char>(*p))) ++p;
    }
    if (p != end && *p == ':') {
        if (colon) *colon = p;
        return LineKind::kField;
    }
    if (first && *begin == '>' && StartsWith(begin, end, ">From ", 6)) return LineKind::kLenientField;
    while (p != begin && p != end && (*p == ' ' || *p == '\t')) ++p;
    return p != end && *p == ':' ? LineKind::kLenientField : LineKind::kNone;
}

// Where the header block in [start, end) ends: the start of the first line that is no header line, or
// end when there is none. lf: the line end of that line when it is empty (the separator), else null.
// strictEnd: where a strict reader ends the block, at the first line only the lenient reading
// takes. firstFieldEnd: where the block's first field ends, at the first line after the first that
// starts with neither a blank nor a TAB. firstColon: the first line's colon after its name, or null.
struct BlockEnd {
    const char* end = nullptr;
    const char* lf = nullptr;
    const char* strictEnd = nullptr;
    const char* firstFieldEnd = nullptr;
    const char* firstColon = nullptr;
};

// Inline in its two callers: every entity's split runs it.
[[gnu::always_inline]] inline BlockEnd HeaderBlockEnd(const char* start, const char* end, bool strict) {
    BlockEnd out;
    for (const char* line = start; line != end;) {
        const char* next = LineFeedOf(line, end);
        const char* lineEnd = next ? next : end;
        if (next && next > line && next[-1] == '\r') --lineEnd;
        // A last line without its line end is body too unless it is a field: a part whose
        // delimiter follows its one body line directly must not lose that line.
        const bool first = line == start;
        const char* colon = nullptr;
        const LineKind kind = KindOfLine(line, lineEnd, first, next != nullptr, &colon);
        if (first) out.firstColon = colon;
        if (kind == LineKind::kNone || (strict && kind == LineKind::kLenientField)) {
            out.lf = next && lineEnd == line ? next : nullptr;
            out.end = line;
            break;
        }
        if (kind == LineKind::kLenientField && !out.strictEnd) out.strictEnd = line;
        if (line != start && *line != ' ' && *line != '\t' && !out.firstFieldEnd) out.firstFieldEnd = line;
        if (!next) break;
        line = next + 1;
    }
    if (!out.end) out.end = end;
    if (!out.strictEnd) out.strictEnd = out.end;
    if (!out.firstFieldEnd) out.firstFieldEnd = out.end;
    return out;
}

} // namespace

DwEntitySplit SplitEntityText(std::string_view text) {
    const char* const data = text.data();
    const char* start = data;
    const char* const end = start + text.size();
    // A byte-order mark some writers put before the first field is none of its bytes.
    if (StartsWith(start, end, kByteOrderMark, 3)) start += 3;
    const BlockEnd block = HeaderBlockEnd(start, end, false);
    DwEntitySplit out;
    out.headersStart = static_cast<size_t>(start - data);
    out.headersLength = static_cast<size_t>(block.end - start);
    out.strictHeadersLength = static_cast<size_t>(block.strictEnd - start);
    out.firstFieldLength = static_cast<size_t>(block.firstFieldEnd - start);
    // Only a colon of a line the block holds.
    if (block.firstColon && block.firstColon < block.end)
        out.firstColon = static_cast<size_t>(block.firstColon - start);
    // Only an empty line at the split point is the separator.
    out.bodyStart = static_cast<size_t>((block.lf ? block.lf + 1 : block.end) - data);
    out.emptyLine = block.lf != nullptr;
    return out;
}

bool SplitHeadersAndBody(const std::string& text, std::string& headers, std::string& body) {
    const DwEntitySplit split = SplitEntityText(text);
    headers.assign(text, split.headersStart, split.headersLength);
    body.assign(text, split.bodyStart, std::string::npos);
    return split.emptyLine;
}

bool FieldsUpToEmptyLine(std::string_view headerBlock, std::string_view body, std::string& out) {
    std::string fields;
    const char* const start = body.data();
    const char* const end = start + body.size();
    for (const char* line = start; line != end;) {
        const char* next = LineFeedOf(line, end);
        const char* lineEnd = next ? next : end;
        if (next && next > line && next[-1] == '\r') --lineEnd;
        if (lineEnd == line) {
            if (fields.empty()) return false;
            out.assign(headerBlock);
            out += fields;
            out += "\r\n";
            out.append(next ? next + 1 : end, end);
            return true;
        }
        if (KindOfLine(line, lineEnd, false, next != nullptr) != LineKind::kNone)
            fields.append(line, lineEnd).append("\r\n");
        if (!next) break;
        line = next + 1;
    }
    return false;
}

size_t StrictHeaderLength(std::string_view headerBlock) {
    const char* const start = headerBlock.data();
    return static_cast<size_t>(HeaderBlockEnd(start, start + headerBlock.size(), true).end - start);
}

// The children of the entity's own go with the entity. Inline, as MakeChildren: every part of a
// message makes and releases them.
inline void DwEntity::DeleteChildren() {
    if (headers_ != &ownHeaders_) delete headers_;
    if (body_ != &ownBody_) delete body_;
    headers_ = nullptr;
    body_ = nullptr;
}

// An entity always has both children: a creation hook that yields none is the application's fault.
// Without a hook they are the entity's own, as new and empty as a hook's would be.
inline void DwEntity::MakeChildren() {
    if (DwHeaders::sNewHeadersHook) {
        headers_ = DwHeaders::sNewHeadersHook(std::string(), this);
    } else {
        ownHeaders_.SetParent(this);
        headers_ = &ownHeaders_;
    }
    if (DwBody::sNewBodyHook) {
        body_ = DwBody::sNewBodyHook(std::string(), this);
    } else {
        ownBody_.SetParent(this);
        body_ = &ownBody_;
    }
    if (!headers_ || !body_) abort();
}

DwEntity::DwEntity() {
    SetClass(kCidEntity, "DwEntity");
    MakeChildren();
}

DwEntity::DwEntity(const std::string& text, DwMessageComponent* parent) : DwMessageComponent(text, parent) {
    SetClass(kCidEntity, "DwEntity");
    MakeChildren();
}

DwEntity::DwEntity(std::string&& text, DwMessageComponent* parent)
    : DwMessageComponent(std::move(text), parent) {
    SetClass(kCidEntity, "DwEntity");
    MakeChildren();
}

DwEntity::DwEntity(DwTextSpan&& span, DwMessageComponent* parent)
    : DwEntity(std::move(span), parent, kCidEntity, "DwEntity") {}

DwEntity::DwEntity(DwTextSpan&& span, DwMessageComponent* parent, DwClassId id, const char* name)
    : DwMessageComponent(std::move(span), parent, id, name) {
    // A creation hook that looks at the entity while it makes the children sees a DwEntity, as it
    // always did: the derived class's constructor has not run yet.
    const bool hooks = DwHeaders::sNewHeadersHook || DwBody::sNewBodyHook;
    if (hooks) SetClass(kCidEntity, "DwEntity");
    MakeChildren();
    if (hooks) SetClass(id, name);
}

DwEntity::DwEntity(const DwEntity& other) : DwMessageComponent(other), emptyLine_(other.emptyLine_) {
    SetClass(kCidEntity, "DwEntity");
    CloneChildren(other);
}

DwEntity& DwEntity::operator=(const DwEntity& other) {
    if (this != &other) {
        DwMessageComponent::operator=(other);
        emptyLine_ = other.emptyLine_;
        strictNoted_ = false;
        DeleteChildren();
        // The children of the entity's own are emptied too, so that nothing of the old tree stays
        // held; without a parent nothing is marked.
        ownHeaders_.SetParent(nullptr);
        ownHeaders_ = DwHeaders();
        ownBody_.SetParent(nullptr);
        ownBody_ = DwBody();
        CloneChildren(other);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwEntity::~DwEntity() {
    DeleteChildren();
}

void DwEntity::CloneChildren(const DwEntity& other) {
    headers_ = static_cast<DwHeaders*>(other.headers_->Clone());
    body_ = static_cast<DwBody*>(other.body_->Clone());
    if (!headers_ || !body_) abort();
    headers_->SetParent(this);
    body_->SetParent(this);
}

void DwEntity::Parse() {
    ParseWith(DwField::FieldBodyHooksSet());
}

void DwEntity::ParseWith(bool fieldBodyHooks) {
    SetModified(false);
    // Read before the children parse: nothing else changes the entity's text till then.
    const DwTextSpan& text = ShareText();
    const DwEntitySplit split = SplitEntityText(text.View());
    emptyLine_ = split.emptyLine;
    strictNoted_ = true;
    parsedBuffer_ = text.buffer.get();
    parsedHeadersOffset_ = text.offset + split.headersStart;
    parsedHeadersLength_ = split.headersLength;
    strictHeadersLength_ = split.strictHeadersLength;
    // A new header block marks the entity and every entity around it modified. A header block of a
    // creation hook's own class gets a copy, as it always did: its Parse may read its own text.
    if (headers_ == &ownHeaders_ || typeid(*headers_) == typeid(DwHeaders)) {
        headers_->SetTextSpan(text.Sub(split.headersStart, split.headersLength));
        MarkModified();
    } else {
        headers_->SetText(std::string(text.View().substr(split.headersStart, split.headersLength)));
    }
    body_->SetTextSpan(text.Sub(split.bodyStart, text.length - split.bodyStart));
    // The header block of the entity's own is told where its first field ends, which the split just
    // found. The body of its own is told whether a field body hook is set when no hook ran since.
    bool hooksKnown = false;
    if (headers_ == &ownHeaders_) {
        hooksKnown = ownHeaders_.ParseFields(split.firstFieldLength, split.firstColon, fieldBodyHooks);
    } else {
        headers_->Parse();
    }
    if (hooksKnown && body_ == &ownBody_) {
        // The body of the entity's own has the entity for its parent, unless an application moved it.
        DwMessageComponent* parent = ownBody_.Parent();
        ownBody_.ParseWith(fieldBodyHooks, parent == this ? this : parent ? parent->AsEntity() : nullptr);
    } else {
        body_->Parse();
    }
}

void DwEntity::Assemble() {
    DwTreeAssembly::Run(*this);
}
