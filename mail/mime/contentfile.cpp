#include "mail/mime/contentfile.h"

#include "mail/mime/parameter.h"

DwCreationHook<DwContentFileType> DwContentFileType::sNewContentFileTypeHook = nullptr;

DwContentFileType::DwContentFileType() {
    SetClass(kCidContentFileType, "DwContentFileType");
}

DwContentFileType::DwContentFileType(const std::string& text, DwMessageComponent* parent)
    : DwParameterFieldBody(text, parent) {
    SetClass(kCidContentFileType, "DwContentFileType");
}

DwContentFileType::DwContentFileType(const DwContentFileType& other)
    : DwParameterFieldBody(other), filenameStr_(other.filenameStr_) {
    SetClass(kCidContentFileType, "DwContentFileType");
}

DwContentFileType& DwContentFileType::operator=(const DwContentFileType& other) {
    if (this != &other) {
        DwParameterFieldBody::operator=(other);
        filenameStr_ = other.filenameStr_;
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwContentFileType::~DwContentFileType() = default;

DwMessageComponent* DwContentFileType::Clone() const {
    return new DwContentFileType(*this);
}

DwContentFileType* DwContentFileType::NewContentFileType(const std::string& text,
                                                         DwMessageComponent* parent) {
    return DwCreateNode(sNewContentFileTypeHook, text, parent);
}

void DwContentFileType::Parse() {
    DropParameters();
    SetModified(false);
    if (text_.empty()) return;
    filenameStr_ = text_;
    DwParameter* parameter = DwParameter::NewParameter("xfilename=" + text_, this);
    if (!parameter) return;
    parameter->Parse();
    AdoptParameter(parameter);
}

void DwContentFileType::Assemble() {
    if (!IsModified()) return;
    std::string text;
    for (char c : filenameStr_)
        if (c != '\r' && c != '\n') text += c;
    text_ = std::move(text);
    SetModified(false);
}

const std::string& DwContentFileType::Filename() {
    if (const DwParameter* parameter = FindParameter("filename", "name")) filenameStr_ = parameter->Value();
    return filenameStr_;
}

void DwContentFileType::SetFilename(const std::string& filename) {
    filenameStr_ = filename;
    SetParameterValue("Filename", filename);
}
