#include "mail/mime/bodypart.h"

DwCreationHook<DwBodyPart> DwBodyPart::sNewBodyPartHook = nullptr;

DwBodyPart::DwBodyPart() {
    SetClass(kCidBodyPart, "DwBodyPart");
}

DwBodyPart::DwBodyPart(const std::string& text, DwMessageComponent* parent) : DwEntity(text, parent) {
    SetClass(kCidBodyPart, "DwBodyPart");
}

DwBodyPart::DwBodyPart(const DwBodyPart& other) : DwEntity(other) {
    SetClass(kCidBodyPart, "DwBodyPart");
}

DwBodyPart::~DwBodyPart() = default;

DwMessageComponent* DwBodyPart::Clone() const {
    return new DwBodyPart(*this);
}

DwBodyPart* DwBodyPart::NewBodyPart(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewBodyPartHook, text, parent);
}
