#include "mail/mime/address.h"

#include "mail/mime/tokenizer.h"

DwAddress::DwAddress() {
    SetClass(kCidAddress, "DwAddress");
}

DwAddress::DwAddress(const std::string& text, DwMessageComponent* parent) : DwFieldBody(text, parent) {
    SetClass(kCidAddress, "DwAddress");
}

DwAddress::DwAddress(const DwAddress& other) : DwFieldBody(other), isValid_(other.isValid_) {
    SetClass(kCidAddress, "DwAddress");
}

DwAddress& DwAddress::operator=(const DwAddress& other) {
    if (this != &other) {
        DwFieldBody::operator=(other);
        isValid_ = other.isValid_;
    }
    return *this;
}

DwAddress::~DwAddress() = default;

void DwBlankLineEnds(std::string& text) {
    if (text.find_first_of("\r\n") == std::string::npos) return;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
    }
    text.swap(out);
}

std::string DwPhraseText(const std::string& name) {
    std::string plain = name;
    DwBlankLineEnds(plain);
    bool words = true;
    for (DwRfc822Tokenizer t(plain); t.Type() != kTokenNull; t.NextToken()) {
        if (t.Type() != kTokenAtom && t.Type() != kTokenQuotedString) {
            words = false;
            break;
        }
    }
    if (words) return plain;
    std::string quoted = "\"";
    for (char c : plain) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}
