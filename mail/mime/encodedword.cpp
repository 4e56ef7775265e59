#include "mail/mime/encodedword.h"

#include "mail/mime/base64.h"
#include "mail/mime/qcodec.h"

DwCreationHook<DwEncodedWord> DwEncodedWord::sNewEncodedWordHook = nullptr;

DwEncodedWord::DwEncodedWord() {
    SetClass(kCidEncodedWord, "DwEncodedWord");
}

DwEncodedWord::DwEncodedWord(const std::string& text, DwMessageComponent* parent)
    : DwMessageComponent(text, parent) {
    SetClass(kCidEncodedWord, "DwEncodedWord");
}

DwEncodedWord::DwEncodedWord(const DwEncodedWord& other) : DwMessageComponent(other) {
    SetClass(kCidEncodedWord, "DwEncodedWord");
    CopyFields(other);
}

DwEncodedWord& DwEncodedWord::operator=(const DwEncodedWord& other) {
    if (this != &other) {
        DwMessageComponent::operator=(other);
        CopyFields(other);
    }
    return *this;
}

DwEncodedWord::~DwEncodedWord() = default;

void DwEncodedWord::CopyFields(const DwEncodedWord& other) {
    charset_ = other.charset_;
    encodingType_ = other.encodingType_;
    encodedText_ = other.encodedText_;
    decodedText_ = other.decodedText_;
}

DwMessageComponent* DwEncodedWord::Clone() const {
    return new DwEncodedWord(*this);
}

DwEncodedWord* DwEncodedWord::NewEncodedWord(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewEncodedWordHook, text, parent);
}

namespace {

bool IsQ(char c) {
    return c == 'Q' || c == 'q';
}
bool IsB(char c) {
    return c == 'B' || c == 'b';
}

} // namespace

void DwEncodedWord::Parse() {
    SetModified(false);
    charset_ = "US-ASCII";
    encodingType_ = 0;
    encodedText_.clear();
    decodedText_ = text_;

    const std::string& s = text_;
    const size_t n = s.size();
    if (n < 3 || s[0] != '=' || s[1] != '?') return;
    size_t letter = 3;
    if (s[2] != '?') {
        const size_t q = s.find('?', 3);
        if (q == std::string::npos) return;
        letter = q + 1;
    }
    // The letter, '?', and at least one character after it.
    if (letter + 2 >= n || s[letter + 1] != '?') return;
    const size_t textStart = letter + 2;
    const size_t close = s.find('?', textStart);
    if (close == std::string::npos || close + 1 >= n || s[close + 1] != '=') return;

    const char type = s[letter];
    std::string decoded;
    int result = -1;
    if (IsQ(type)) {
        result = QDecode(s.substr(textStart, close - textStart), decoded);
    } else if (IsB(type)) {
        result = Base64Decode(s.substr(textStart, close - textStart), decoded, false);
    }
    if (result != 0) return;
    charset_ = s.substr(2, letter - 3);
    encodingType_ = type;
    encodedText_ = s.substr(textStart, close - textStart);
    decodedText_ = std::move(decoded);
}

void DwEncodedWord::Assemble() {
    if (!IsModified()) return;
    if (IsQ(encodingType_) || IsB(encodingType_)) {
        if (IsQ(encodingType_)) {
            QEncode(decodedText_, encodedText_);
        } else {
            Base64EncodeWord(decodedText_, encodedText_);
        }
        text_ = "=?" + charset_ + "?" + encodingType_ + "?" + encodedText_ + "?=";
    } else {
        text_ = decodedText_;
    }
    SetModified(false);
}

void DwEncodedWord::SetCharset(const std::string& charset) {
    MarkModified();
    charset_ = charset;
}

void DwEncodedWord::SetEncodingType(char type) {
    MarkModified();
    encodingType_ = type;
}

void DwEncodedWord::SetEncodedText(const std::string& text) {
    MarkModified();
    encodedText_ = text;
}

void DwEncodedWord::SetDecodedText(const std::string& text) {
    MarkModified();
    decodedText_ = text;
}
