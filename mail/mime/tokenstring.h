// A window into structured header text, opened and extended at a tokenizer's current token, so
// that a parser can hand a run of tokens (with the blanks and comments between them) to a child.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mail/mime/textref.h"

class DwTokenizer;

// The tokenizer given must walk the same text; a window outside the text is cut to it. Given a
// string_view, the window looks into that text without a copy: it must then outlive the window.
class DwTokenString {
public:
    explicit DwTokenString(const std::string& text);
    explicit DwTokenString(std::string_view text);
    DwTokenString(const DwTokenString&) = default;
    DwTokenString& operator=(const DwTokenString&) = default;
    virtual ~DwTokenString() = default;

    // Opens the window on the current token (empty at kTokenNull or kTokenError).
    void BeginAt(const DwTokenizer& tokenizer);
    // Extends the window through the current token; nothing when the token lies before it.
    void EndAfter(const DwTokenizer& tokenizer);
    // Extends the window up to the current token; at kTokenNull that is the end of the text.
    void EndBefore(const DwTokenizer& tokenizer);

    const std::string& Tokens() const;
    size_t Start() const { return start_; }
    size_t Length() const { return length_; }

private:
    DwTextRef text_;
    // Made when asked for: a window moves many times for each time it is read.
    mutable std::string tokens_;
    mutable bool fresh_ = false;
    size_t start_ = 0;
    size_t length_ = 0;
};
