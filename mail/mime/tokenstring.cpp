#include "mail/mime/tokenstring.h"

#include "mail/mime/tokenizer.h"

DwTokenString::DwTokenString(const std::string& text) : own_(text), text_(own_) {}

DwTokenString::DwTokenString(std::string_view text) : text_(text) {}

DwTokenString::DwTokenString(const DwTokenString& other)
    : own_(other.own_), text_(other.text_.data() == other.own_.data() ? std::string_view(own_) : other.text_),
      start_(other.start_), length_(other.length_) {}

DwTokenString& DwTokenString::operator=(const DwTokenString& other) {
    if (this != &other) {
        const bool owned = other.text_.data() == other.own_.data();
        own_ = other.own_;
        text_ = owned ? std::string_view(own_) : other.text_;
        start_ = other.start_;
        length_ = other.length_;
        fresh_ = false;
    }
    return *this;
}

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
        if (start_ >= text_.size())
            tokens_.clear();
        else
            tokens_.assign(text_.substr(start_, length_));
        fresh_ = true;
    }
    return tokens_;
}
