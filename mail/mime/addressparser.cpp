#include "mail/mime/addressparser.h"

DwListSplitter::DwListSplitter(const std::string& text, bool groups)
    : tokenizer_(text), window_(text), groups_(groups) {
    Split();
}

int DwListSplitter::Advance() {
    Split();
    return kind_;
}

int DwListSplitter::Rewind() {
    tokenizer_.Rewind();
    Split();
    return kind_;
}

void DwListSplitter::Split() {
    enum { kOutside, kInGroup, kInAngle } state = kOutside;
    window_.BeginAt(tokenizer_);
    kind_ = kAddrEnd;
    if (tokenizer_.Type() == kTokenNull) return;
    kind_ = kAddrMailbox;
    for (; tokenizer_.Type() != kTokenNull; tokenizer_.NextToken()) {
        if (tokenizer_.Type() != kTokenSpecial) continue;
        const char c = tokenizer_.Token()[0];
        if (state == kOutside) {
            if (c == ':' && groups_) {
                kind_ = kAddrGroup;
                state = kInGroup;
            } else if (c == '<') {
                state = kInAngle;
            } else if (c == ',') {
                window_.EndBefore(tokenizer_);
                tokenizer_.NextToken();
                if (window_.Tokens().empty()) kind_ = kAddrNull;
                return;
            }
        } else if ((state == kInGroup && c == ';') || (state == kInAngle && c == '>')) {
            state = kOutside;
        }
    }
    window_.EndBefore(tokenizer_);
    if (window_.Tokens().empty()) kind_ = kAddrNull;
}
