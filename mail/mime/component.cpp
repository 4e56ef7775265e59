#include "mail/mime/component.h"

DwMessageComponent::DwMessageComponent() = default;

DwMessageComponent::DwMessageComponent(const std::string& text, DwMessageComponent* parent)
    : text_(text), parent_(parent) {}

DwMessageComponent::DwMessageComponent(const char* chars, size_t length, DwMessageComponent* parent)
    : text_(chars ? std::string(chars, length) : std::string()), parent_(parent) {}

DwMessageComponent::DwMessageComponent(const DwMessageComponent& other)
    : text_(other.text_), modified_(other.modified_) {}

DwMessageComponent& DwMessageComponent::operator=(const DwMessageComponent& other) {
    if (this != &other) {
        text_ = other.text_;
        modified_ = other.modified_;
    }
    return *this;
}

DwMessageComponent::~DwMessageComponent() = default;

void DwMessageComponent::SetText(const std::string& text) {
    text_ = text;
    modified_ = false;
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::SetText(std::string&& text) {
    text_ = std::move(text);
    modified_ = false;
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::SetText(const char* text) {
    text_ = text ? text : "";
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::MarkModified() {
    // A loop, not recursion: a deeply nested message must not exhaust the stack.
    for (DwMessageComponent* node = this; node; node = node->parent_) node->modified_ = true;
}
