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

void DwTokenizer::ParseToken() {
    const std::string_view text = text_.View();
    const size_t n = text.size();
    tokenStart_ = nextStart_;
    tokenLength_ = 0;
    type_ = kTokenNull;
    if (tokenStart_ >= n) return;
    while (tokenStart_ < n &&
           HasCharClass(static_cast<unsigned char>(text[tokenStart_]), kCharControl | kCharSpace))
        ++tokenStart_;
    if (tokenStart_ == n) {
        nextStart_ = n;
        return;
    }
    const unsigned char c = static_cast<unsigned char>(text[tokenStart_]);
    switch (c) {
    case '"':
        type_ = kTokenQuotedString;
        ScanDelimited('"', false);
        return;
    case '(':
        type_ = kTokenComment;
        ScanDelimited(')', true);
        return;
    case '[':
        type_ = kTokenDomainLiteral;
        ScanDelimited(']', false);
        return;
    }
    size_t end = tokenStart_ + 1;
    if (HasCharClass(c, specials_)) {
        type_ = specialType_;
    } else {
        type_ = runType_;
        const unsigned char stops = kCharSpace | kCharControl | specials_;
        while (end < n && !HasCharClass(static_cast<unsigned char>(text[end]), stops)) ++end;
    }
    tokenLength_ = end - tokenStart_;
    token_.assign(text.data() + tokenStart_, tokenLength_);
    nextStart_ = end;
}

void DwTokenizer::ScanDelimited(char close, bool nests) {
    const std::string_view text = text_.View();
    const size_t n = text.size();
    const char open = text[tokenStart_];
    size_t depth = 1;
    for (size_t i = tokenStart_ + 1; i < n; ++i) {
        char c = text[i];
        if (c == '\\') {
            ++i; // the next character is ordinary; a text ending here is unterminated
        } else if (nests && c == open) {
            ++depth;
        } else if (c == close && --depth == 0) {
            tokenLength_ = i + 1 - tokenStart_;
            token_.assign(text.data() + tokenStart_, tokenLength_);
            nextStart_ = i + 1;
            return;
        }
    }
    token_.clear();
    tokenLength_ = 0;
    nextStart_ = n;
    type_ = kTokenError;
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
