#include "mail/mime/component.h"

DwMessageComponent::DwMessageComponent(const std::string& text, DwMessageComponent* parent)
    : text_(text), parent_(parent) {}

DwMessageComponent::DwMessageComponent(std::string&& text, DwMessageComponent* parent)
    : text_(std::move(text)), parent_(parent) {}

DwMessageComponent::DwMessageComponent(const char* chars, size_t length, DwMessageComponent* parent)
    : text_(chars ? std::string(chars, length) : std::string()), parent_(parent) {}

DwMessageComponent::DwMessageComponent(const DwMessageComponent& other)
    : text_(other.text_), span_(other.span_), modified_(other.modified_) {}

DwMessageComponent& DwMessageComponent::operator=(const DwMessageComponent& other) {
    if (this != &other) {
        text_ = other.text_;
        span_ = other.span_;
        modified_ = other.modified_;
    }
    return *this;
}

const std::string& DwMessageComponent::SpanText() const {
    const std::string* own = span_.IsWhole() ? span_.buffer->OwnBytes() : nullptr;
    if (own) return *own;
    // A piece, or borrowed bytes: the node takes a copy of its own.
    text_.assign(span_.View());
    span_ = DwTextSpan();
    return text_;
}

const DwTextSpan& DwMessageComponent::ShareOwnText() {
    const size_t length = text_.size();
    span_ = {std::make_shared<DwTextBuffer>(std::move(text_)), 0, length};
    std::string().swap(text_);
    return span_;
}

// The text is taken before the span goes: it may be the span's own bytes.
void DwMessageComponent::SetText(const std::string& text) {
    BeforeTextChange();
    text_ = text;
    span_ = DwTextSpan();
    modified_ = false;
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::SetText(std::string&& text) {
    BeforeTextChange();
    text_ = std::move(text);
    span_ = DwTextSpan();
    modified_ = false;
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::SetText(const char* text) {
    BeforeTextChange();
    text_ = text ? text : "";
    span_ = DwTextSpan();
    if (parent_) parent_->MarkModified();
}

void DwMessageComponent::MarkModified() {
    // A loop, not recursion: a deeply nested message must not exhaust the stack.
    for (DwMessageComponent* node = this; node; node = node->parent_) node->modified_ = true;
}
