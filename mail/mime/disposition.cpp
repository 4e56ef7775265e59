#include "mail/mime/disposition.h"

#include "mail/mime/charclass.h"
#include "mail/mime/parameter.h"
#include "mail/mime/tokenizer.h"

DwCreationHook<DwDispositionType> DwDispositionType::sNewDispositionTypeHook = nullptr;

DwDispositionType::DwDispositionType() {
    SetClass(kCidDispositionType, "DwDispositionType");
}

DwDispositionType::DwDispositionType(const std::string& text, DwMessageComponent* parent)
    : DwParameterFieldBody(text, parent) {
    SetClass(kCidDispositionType, "DwDispositionType");
}

DwDispositionType::DwDispositionType(const DwDispositionType& other)
    : DwParameterFieldBody(other), dispositionEnum_(other.dispositionEnum_), typeStr_(other.typeStr_),
      filenameStr_(other.filenameStr_) {
    SetClass(kCidDispositionType, "DwDispositionType");
}

DwDispositionType& DwDispositionType::operator=(const DwDispositionType& other) {
    if (this != &other) {
        DwParameterFieldBody::operator=(other);
        dispositionEnum_ = other.dispositionEnum_;
        typeStr_ = other.typeStr_;
        filenameStr_ = other.filenameStr_;
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwDispositionType::~DwDispositionType() = default;

DwMessageComponent* DwDispositionType::Clone() const {
    return new DwDispositionType(*this);
}

DwDispositionType* DwDispositionType::NewDispositionType(const std::string& text,
                                                         DwMessageComponent* parent) {
    return DwCreateNode(sNewDispositionTypeHook, text, parent);
}

void DwDispositionType::Parse() {
    SetModified(false);
    dispositionEnum_ = kDispTypeNull;
    typeStr_.clear();
    DropParameters();
    const std::string_view text = TextView();
    if (text.empty()) return;
    DwMimeTokenCursor tokens(text);
    int type = tokens.Type();
    while (type != kTokenNull && type != kTokenMimeToken && !tokens.Is(';')) type = tokens.Next();
    if (type == kTokenMimeToken) {
        typeStr_.assign(tokens.Token());
        tokens.Next();
    }
    ParseParameters(tokens);
    StrToEnum();
}

void DwDispositionType::Assemble() {
    if (!IsModified()) return;
    if (typeStr_.empty() && NumParameters() == 0) return;
    std::string text = typeStr_.empty() ? "attachment" : typeStr_;
    AppendParameters(text);
    text_ = std::move(text);
    SetModified(false);
}

void DwDispositionType::SetDispositionType(int type) {
    dispositionEnum_ = type;
    EnumToStr();
    MarkModified();
}

void DwDispositionType::SetTypeStr(const std::string& type) {
    typeStr_ = type;
    StrToEnum();
    MarkModified();
}

void DwDispositionType::EnumToStr() {
    if (dispositionEnum_ == kDispTypeInline) typeStr_ = "inline";
    if (dispositionEnum_ == kDispTypeAttachment) typeStr_ = "attachment";
}

void DwDispositionType::StrToEnum() {
    if (typeStr_.empty()) return;
    switch (typeStr_[0]) {
    case 'A':
    case 'a':
        dispositionEnum_ = EqualNoCaseC(typeStr_, "attachment") ? kDispTypeAttachment : kDispTypeUnknown;
        break;
    case 'I':
    case 'i':
        dispositionEnum_ = EqualNoCaseC(typeStr_, "inline") ? kDispTypeInline : kDispTypeUnknown;
        break;
    default:
        break;
    }
}

const std::string& DwDispositionType::Filename() {
    filenameStr_ = ParameterValue("filename", "name");
    return filenameStr_;
}

void DwDispositionType::SetFilename(const std::string& filename) {
    filenameStr_ = filename;
    SetParameterValue("Filename", filename);
}
