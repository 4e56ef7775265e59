#include "mail/mime/mechanism.h"

#include <vector>

#include "mail/mime/charclass.h"
#include "mail/mime/decodewords.h"
#include "mail/mime/tokenizer.h"

DwCreationHook<DwMechanism> DwMechanism::sNewMechanismHook = nullptr;

DwMechanism::DwMechanism() {
    SetClass(kCidMechanism, "DwMechanism");
}

DwMechanism::DwMechanism(const std::string& text, DwMessageComponent* parent) : DwFieldBody(text, parent) {
    SetClass(kCidMechanism, "DwMechanism");
}

DwMechanism::DwMechanism(const DwMechanism& other) : DwFieldBody(other), cteEnum_(other.cteEnum_) {
    SetClass(kCidMechanism, "DwMechanism");
}

DwMechanism& DwMechanism::operator=(const DwMechanism& other) {
    if (this != &other) {
        DwFieldBody::operator=(other);
        cteEnum_ = other.cteEnum_;
    }
    return *this;
}

DwMechanism::~DwMechanism() = default;

DwMessageComponent* DwMechanism::Clone() const {
    return new DwMechanism(*this);
}

DwMechanism* DwMechanism::NewMechanism(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMechanismHook, text, parent);
}

void DwMechanism::Parse() {
    SetModified(false);
    // A reused object must not keep the code of its previous text.
    cteEnum_ = kCteNull;
    // Readers decode an encoded word here too, and read a quoted name as the name.
    std::string_view text = TextView();
    std::string decoded;
    if (text.find("=?") != std::string_view::npos) {
        std::vector<char> copy(text.begin(), text.end());
        copy.push_back('\0');
        DecodeEncodedWords(copy.data(), "us-ascii");
        decoded = copy.data();
        text = decoded;
    }
    DwMimeTokenCursor tokens(text);
    int type = tokens.Type();
    while (type != kTokenNull && type != kTokenMimeToken && type != kTokenQuotedString) type = tokens.Next();
    std::string_view word = type != kTokenNull ? tokens.Token() : std::string_view();
    // A quoted name without its quotes.
    if (type == kTokenQuotedString) word = word.substr(1, word.size() - 2);
    StrToEnum(std::string(word));
}

void DwMechanism::Assemble() {
    SetModified(false);
}

void DwMechanism::FromEnum(int cte) {
    cteEnum_ = cte;
    EnumToStr();
    MarkModified();
}

void DwMechanism::EnumToStr() {
    switch (cteEnum_) {
    case kCte7bit:
        text_ = "7bit";
        break;
    case kCte8bit:
        text_ = "8bit";
        break;
    case kCteBinary:
        text_ = "binary";
        break;
    case kCteQuotedPrintable:
        text_ = "quoted-printable";
        break;
    case kCteBase64:
        text_ = "base64";
        break;
    case kCteUuencode:
        text_ = "x-uue";
        break;
    default:
        break;
    }
}

void DwMechanism::StrToEnum(const std::string& word) {
    if (word.empty()) {
        cteEnum_ = kCteNull;
        return;
    }
    struct Candidate {
        const char* name;
        int cte;
    };
    auto match = [this, &word](std::initializer_list<Candidate> candidates) {
        for (const Candidate& candidate : candidates) {
            if (EqualNoCaseC(word, candidate.name)) {
                cteEnum_ = candidate.cte;
                return;
            }
        }
    };
    switch (word[0]) {
    case '7':
        match({{"7bit", kCte7bit}});
        break;
    case '8':
        match({{"8bit", kCte8bit}});
        break;
    case 'B':
    case 'b':
        match({{"base64", kCteBase64}, {"binary", kCteBinary}});
        break;
    case 'Q':
    case 'q':
        match({{"quoted-printable", kCteQuotedPrintable}});
        break;
    case 'U':
    case 'u':
        match({{"uuencode", kCteUuencode}});
        break;
    case 'X':
    case 'x':
        match({{"x-uu", kCteUuencode}, {"x-uue", kCteUuencode}, {"x-uuencode", kCteUuencode}});
        break;
    default:
        cteEnum_ = kCteUnknown;
        break;
    }
}
