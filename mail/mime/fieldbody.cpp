#include "mail/mime/fieldbody.h"

DwFieldBody::DwFieldBody() {
    SetClass(kCidFieldBody, "DwFieldBody");
}

DwFieldBody::DwFieldBody(const std::string& text, DwMessageComponent* parent)
    : DwMessageComponent(text, parent) {
    SetClass(kCidFieldBody, "DwFieldBody");
}

DwFieldBody::DwFieldBody(const char* chars, size_t length, DwMessageComponent* parent)
    : DwMessageComponent(chars, length, parent) {
    SetClass(kCidFieldBody, "DwFieldBody");
}

DwFieldBody::DwFieldBody(DwTextSpan span, DwMessageComponent* parent)
    : DwMessageComponent(std::move(span), parent) {
    SetClass(kCidFieldBody, "DwFieldBody");
}

DwFieldBody::DwFieldBody(const DwFieldBody& other)
    : DwMessageComponent(other), lineOffset_(other.lineOffset_), folding_(other.folding_) {
    SetClass(kCidFieldBody, "DwFieldBody");
}

DwFieldBody& DwFieldBody::operator=(const DwFieldBody& other) {
    if (this != &other) {
        DwMessageComponent::operator=(other);
        lineOffset_ = other.lineOffset_;
    }
    return *this;
}

DwFieldBody::~DwFieldBody() = default;
