// Tokenizers of structured header text: RFC 822 (atoms and specials) and RFC 1521 (tokens and
// tspecials). Both know quoted strings, nested comments and domain literals.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/mime/textref.h"

enum DwTokenType : int {
    kTokenError = -1,        // unterminated quoted string, comment or domain literal
    kTokenNull = 0,          // end of the text
    kTokenSpecial = 1,       // RFC 822: one special character
    kTokenAtom = 2,          // RFC 822: a run of atom characters
    kTokenComment = 3,       // a parenthesised comment, nesting counted
    kTokenQuotedString = 4,  // a double-quoted string
    kTokenDomainLiteral = 5, // a square-bracketed domain literal
    kTokenTspecial = 6,      // RFC 1521: one tspecial character
    kTokenMimeToken = 7,     // RFC 1521: a run of token characters
};

// One token of a text read from pos on: its type, where it starts (after the blanks and control
// characters before it) and how long it is, and where the next one is looked for. kTokenNull at the
// end of the text; kTokenError, with length 0 and next at the end, for an unterminated quoted
// string, comment or domain literal. specials: the class of the one-character tokens.
struct DwTokenScan {
    int type = kTokenNull;
    size_t start = 0;
    size_t length = 0;
    size_t next = 0;
};
DwTokenScan ScanToken(std::string_view text, size_t pos, unsigned char specials, int specialType,
                      int runType);

// Walks a copy of the text token by token, skipping blanks and control characters. A new
// tokenizer stands on the first token. Once the end is reached every further NextToken gives
// kTokenNull; an unterminated quoted string, comment or domain literal gives one kTokenError
// with an empty token, then kTokenNull. Given a string_view, it walks that text without a copy:
// the text must then outlive the tokenizer.
class DwTokenizer {
public:
    DwTokenizer(const DwTokenizer&) = default;
    DwTokenizer& operator=(const DwTokenizer&) = default;
    virtual ~DwTokenizer() = default;

    // The current token with its delimiters (quotes, parentheses, brackets) unless trimmed. At
    // kTokenNull it still holds the last token found.
    const std::string& Token() const { return token_; }
    int Type() const { return type_; }
    // Where the current token starts in the text and how long it is; at kTokenNull the start is
    // the end of the text.
    size_t TokenStart() const { return tokenStart_; }
    size_t TokenLength() const { return tokenLength_; }

    int NextToken();
    int Rewind();
    // Drops the opening and closing delimiter of a quoted string, domain literal or comment
    // (backslash escapes inside stay).
    void TrimDelimiters();

protected:
    // specials: the class of the one-character tokens; the other token types go with it.
    DwTokenizer(const std::string& text, unsigned char specials, int specialType, int runType);
    DwTokenizer(const char* text, unsigned char specials, int specialType, int runType);
    DwTokenizer(std::string_view text, unsigned char specials, int specialType, int runType);

    void ParseToken();

private:
    DwTokenizer(DwTextRef text, unsigned char specials, int specialType, int runType);

    DwTextRef text_;
    std::string token_;
    size_t tokenStart_ = 0;
    size_t tokenLength_ = 0;
    size_t nextStart_ = 0;
    int type_ = kTokenError;
    unsigned char specials_;
    int specialType_;
    int runType_;
};

// The RFC 1521 tokens of a text walked in place, for parsers that only look at them: no copy of the
// text nor of any token. A new cursor stands on the first token; the text must outlive it.
class DwMimeTokenCursor {
public:
    explicit DwMimeTokenCursor(std::string_view text) : text_(text) { Next(); }
    // Standing on the token that starts at or after pos.
    DwMimeTokenCursor(std::string_view text, size_t pos) : text_(text) {
        scan_.next = pos;
        Next();
    }

    int Type() const { return scan_.type; }
    // Whether the current token is the tspecial c.
    bool Is(char c) const { return scan_.type == kTokenTspecial && text_[scan_.start] == c; }
    // The current token with its delimiters; empty at kTokenError.
    std::string_view Token() const { return text_.substr(scan_.start, scan_.length); }
    // Where the current token starts; at kTokenNull the end of the text.
    size_t Start() const { return scan_.start; }
    int Next();

private:
    std::string_view text_;
    DwTokenScan scan_;
};

class DwRfc822Tokenizer : public DwTokenizer {
public:
    explicit DwRfc822Tokenizer(const std::string& text);
    explicit DwRfc822Tokenizer(const char* text);
    explicit DwRfc822Tokenizer(std::string_view text);
};

class DwRfc1521Tokenizer : public DwTokenizer {
public:
    explicit DwRfc1521Tokenizer(const std::string& text);
    explicit DwRfc1521Tokenizer(const char* text);
    explicit DwRfc1521Tokenizer(std::string_view text);
};
