#include "mail/mime/tokenstring.h"

#include "mail/mime/tokenizer.h"

DwTokenString::DwTokenString(const std::string& text) : text_(text) {}

void DwTokenString::BeginAt(const DwTokenizer& tokenizer) {
    start_ = tokenizer.TokenStart();
    int type = tokenizer.Type();
    length_ = (type == kTokenError || type == kTokenNull) ? 0 : tokenizer.TokenLength();
    Refresh();
}

void DwTokenString::EndAfter(const DwTokenizer& tokenizer) {
    size_t t = tokenizer.TokenStart();
    if (t < start_) return;
    length_ = t + tokenizer.TokenLength() - start_;
    Refresh();
}

void DwTokenString::EndBefore(const DwTokenizer& tokenizer) {
    size_t t = tokenizer.TokenStart();
    if (t < start_) return;
    length_ = t - start_;
    Refresh();
}

void DwTokenString::Refresh() {
    if (start_ >= text_.size()) {
        tokens_.clear();
        return;
    }
    tokens_.assign(text_, start_, length_);
}
