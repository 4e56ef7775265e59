#include "mail/mime/tokenizer.h"

#include "mail/mime/charclass.h"

DwTokenizer::DwTokenizer(const std::string& text, unsigned char specials, int specialType, int runType)
    : DwTokenizer(DwTextRef(std::string(text)), specials, specialType, runType) {}

DwTokenizer::DwTokenizer(const char* text, unsigned char specials, int specialType, int runType)
    : DwTokenizer(DwTextRef(std::string(text ? text : "")), specials, specialType, runType) {}

DwTokenizer::DwTokenizer(std::string_view text, unsigned char specials, int specialType, int runType)
    : DwTokenizer(DwTextRef(text), specials, specialType, runType) {}

DwTokenizer::DwTokenizer(DwTextRef text, unsigned char specials, int specialType, int runType)
    : text_(std::move(text)), specials_(specials), specialType_(specialType), runType_(runType) {}

int DwTokenizer::NextToken() {
    ParseToken();
    return type_;
}

int DwTokenizer::Rewind() {
    nextStart_ = 0;
    ParseToken();
    return type_;
}

namespace {

// A delimited token opening at scan.start: quoted string, domain literal or comment.
DwTokenScan ScanDelimited(std::string_view text, DwTokenScan scan, int type, char close, bool nests) {
    const size_t n = text.size();
    const char open = text[scan.start];
    size_t depth = 1;
    for (size_t i = scan.start + 1; i < n; ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i; // the next character is ordinary; a text ending here is unterminated
        } else if (nests && c == open) {
            ++depth;
        } else if (c == close && --depth == 0) {
            scan.type = type;
            scan.length = i + 1 - scan.start;
            scan.next = i + 1;
            return scan;
        }
    }
    scan.type = kTokenError;
    scan.length = 0;
    scan.next = n;
    return scan;
}

// ScanToken's body, inlined where the cursor's constant classes let the compiler fold them.
[[gnu::always_inline]] inline DwTokenScan Scan(std::string_view text, size_t pos, unsigned char specials,
                                               int specialType, int runType) {
    const size_t n = text.size();
    DwTokenScan scan;
    scan.start = scan.next = pos;
    if (pos >= n) return scan;
    size_t start = pos;
    while (start < n && HasCharClass(static_cast<unsigned char>(text[start]), kCharControl | kCharSpace))
        ++start;
    scan.start = start;
    if (start == n) {
        scan.next = n;
        return scan;
    }
    const unsigned char c = static_cast<unsigned char>(text[start]);
    switch (c) {
    case '"':
        return ScanDelimited(text, scan, kTokenQuotedString, '"', false);
    case '(':
        return ScanDelimited(text, scan, kTokenComment, ')', true);
    case '[':
        return ScanDelimited(text, scan, kTokenDomainLiteral, ']', false);
    }
    size_t end = start + 1;
    if (HasCharClass(c, specials)) {
        scan.type = specialType;
    } else {
        scan.type = runType;
        const unsigned char stops = kCharSpace | kCharControl | specials;
        while (end < n && !HasCharClass(static_cast<unsigned char>(text[end]), stops)) ++end;
    }
    scan.length = end - start;
    scan.next = end;
    return scan;
}

} // namespace

DwTokenScan ScanToken(std::string_view text, size_t pos, unsigned char specials, int specialType,
                      int runType) {
    return Scan(text, pos, specials, specialType, runType);
}

int DwMimeTokenCursor::Next() {
    scan_ = Scan(text_, scan_.next, kCharTspecial1521, kTokenTspecial, kTokenMimeToken);
    return scan_.type;
}

// At the end the last token stays; an unterminated one leaves none.
void DwTokenizer::ParseToken() {
    const std::string_view text = text_.View();
    const DwTokenScan scan = ScanToken(text, nextStart_, specials_, specialType_, runType_);
    type_ = scan.type;
    tokenStart_ = scan.start;
    tokenLength_ = scan.length;
    nextStart_ = scan.next;
    if (type_ == kTokenError) {
        token_.clear();
    } else if (type_ != kTokenNull) {
        token_.assign(text.data() + tokenStart_, tokenLength_);
    }
}

void DwTokenizer::TrimDelimiters() {
    char open, close;
    switch (type_) {
    case kTokenQuotedString:
        open = close = '"';
        break;
    case kTokenDomainLiteral:
        open = '[';
        close = ']';
        break;
    case kTokenComment:
        open = '(';
        close = ')';
        break;
    default:
        return;
    }
    if (tokenLength_ <= 1 || token_.empty()) return;
    if (token_.front() == open) {
        token_.erase(0, 1);
        ++tokenStart_;
        --tokenLength_;
        if (tokenLength_ == 0) return;
    }
    if (!token_.empty() && token_.back() == close) {
        token_.pop_back();
        --tokenLength_;
    }
}

DwRfc822Tokenizer::DwRfc822Tokenizer(const std::string& text)
    : DwTokenizer(text, kCharSpecial822, kTokenSpecial, kTokenAtom) {
    ParseToken();
}

DwRfc822Tokenizer::DwRfc822Tokenizer(const char* text)
    : DwTokenizer(text, kCharSpecial822, kTokenSpecial, kTokenAtom) {
    ParseToken();
}

DwRfc822Tokenizer::DwRfc822Tokenizer(std::string_view text)
    : DwTokenizer(text, kCharSpecial822, kTokenSpecial, kTokenAtom) {
    ParseToken();
}

DwRfc1521Tokenizer::DwRfc1521Tokenizer(const std::string& text)
    : DwTokenizer(text, kCharTspecial1521, kTokenTspecial, kTokenMimeToken) {
    ParseToken();
}

DwRfc1521Tokenizer::DwRfc1521Tokenizer(const char* text)
    : DwTokenizer(text, kCharTspecial1521, kTokenTspecial, kTokenMimeToken) {
    ParseToken();
}

DwRfc1521Tokenizer::DwRfc1521Tokenizer(std::string_view text)
    : DwTokenizer(text, kCharTspecial1521, kTokenTspecial, kTokenMimeToken) {
    ParseToken();
}
