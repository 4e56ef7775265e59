#include "mail/mime/multipartbodypart.h"

#include "mail/mime/charclass.h"
#include "mail/mime/enums.h"

std::string DwLowerCase(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(CToLower(static_cast<unsigned char>(c)));
    return lower;
}

int MultipartBodyPart::Type() const {
    return TypeStrToEnum(type_);
}

void MultipartBodyPart::SetType(int type) {
    TypeEnumToStr(type, type_);
}

int MultipartBodyPart::Subtype() const {
    return SubtypeStrToEnum(subtype_);
}

void MultipartBodyPart::SetSubtype(int subtype) {
    SubtypeEnumToStr(subtype, subtype_);
}

int MultipartBodyPart::Cte() const {
    return CteStrToEnum(cte_);
}

void MultipartBodyPart::SetCte(int cte) {
    CteEnumToStr(cte, cte_);
}

void MultipartBodyPart::SetCharset(const std::string& charset) {
    charset_ = DwLowerCase(charset);
}

void MultipartBodyPart::Clear() {
    for (std::string* field : {&type_, &subtype_, &fileName_, &xContentFileName_, &cte_, &description_,
                               &disposition_, &body_, &charset_})
        field->clear();
}
