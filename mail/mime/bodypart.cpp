#include "mail/mime/bodypart.h"

DwCreationHook<DwBodyPart> DwBodyPart::sNewBodyPartHook = nullptr;

DwBodyPart::DwBodyPart() {
    SetClass(kCidBodyPart, "DwBodyPart");
}

DwBodyPart::DwBodyPart(const std::string& text, DwMessageComponent* parent) : DwEntity(text, parent) {
    SetClass(kCidBodyPart, "DwBodyPart");
}

DwBodyPart::DwBodyPart(std::string&& text, DwMessageComponent* parent) : DwEntity(std::move(text), parent) {
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

DwBodyPart* DwBodyPart::NewBodyPart(std::string&& text, DwMessageComponent* parent) {
    if (sNewBodyPartHook) return sNewBodyPartHook(text, parent);
    return new DwBodyPart(std::move(text), parent);
}

DwBodyPart* DwBodyPart::NewBodyPart(DwTextSpan span, DwMessageComponent* parent) {
    if (sNewBodyPartHook) return sNewBodyPartHook(std::string(span.View()), parent);
    return new DwBodyPart(std::move(span), parent);
}
