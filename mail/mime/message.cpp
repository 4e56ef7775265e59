#include "mail/mime/message.h"

DwCreationHook<DwMessage> DwMessage::sNewMessageHook = nullptr;

DwMessage::DwMessage() {
    SetClass(kCidMessage, "DwMessage");
}

DwMessage::DwMessage(const std::string& text, DwMessageComponent* parent) : DwEntity(text, parent) {
    SetClass(kCidMessage, "DwMessage");
}

DwMessage::DwMessage(std::string&& text, DwMessageComponent* parent) : DwEntity(std::move(text), parent) {
    SetClass(kCidMessage, "DwMessage");
}

DwMessage::DwMessage(DwTextSpan&& span, DwMessageComponent* parent)
    : DwEntity(std::move(span), parent, kCidMessage, "DwMessage") {}

DwMessage::DwMessage(const DwMessage& other) : DwEntity(other) {
    SetClass(kCidMessage, "DwMessage");
}

DwMessage::~DwMessage() = default;

DwMessageComponent* DwMessage::Clone() const {
    return new DwMessage(*this);
}

DwMessage* DwMessage::NewMessage(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMessageHook, text, parent);
}

DwMessage* DwMessage::NewMessage(std::string&& text, DwMessageComponent* parent) {
    if (sNewMessageHook) return sNewMessageHook(text, parent);
    return new DwMessage(std::move(text), parent);
}

DwMessage* DwMessage::NewMessage(const DwTextSpan& span, DwMessageComponent* parent) {
    if (sNewMessageHook) return sNewMessageHook(std::string(span.View()), parent);
    return new DwMessage(DwTextSpan(span), parent);
}

DwMessage* DwMessage::NewMessage(DwBorrowedText text, DwMessageComponent* parent) {
    if (sNewMessageHook) return sNewMessageHook(std::string(text.bytes), parent);
    return new DwMessage(DwTextSpan{std::make_shared<DwTextBuffer>(text), 0, text.bytes.size()}, parent);
}
