#include "mail/mime/tokenstring.h"

#include "mail/mime/tokenizer.h"

DwTokenString::DwTokenString(const std::string& text) : text_(std::string(text)) {}

DwTokenString::DwTokenString(std::string_view text) : text_(text) {}

void DwTokenString::BeginAt(const DwTokenizer& tokenizer) {
    start_ = tokenizer.TokenStart();
    int type = tokenizer.Type();
    length_ = (type == kTokenError || type == kTokenNull) ? 0 : tokenizer.TokenLength();
    fresh_ = false;
}

void DwTokenString::EndAfter(const DwTokenizer& tokenizer) {
    size_t t = tokenizer.TokenStart();
    if (t < start_) return;
    length_ = t + tokenizer.TokenLength() - start_;
    fresh_ = false;
}

void DwTokenString::EndBefore(const DwTokenizer& tokenizer) {
    size_t t = tokenizer.TokenStart();
    if (t < start_) return;
    length_ = t - start_;
    fresh_ = false;
}

const std::string& DwTokenString::Tokens() const {
    if (!fresh_) {
        const std::string_view text = text_.View();
        if (start_ >= text.size())
            tokens_.clear();
        else
            tokens_.assign(text.substr(start_, length_));
        fresh_ = true;
    }
    return tokens_;
}
