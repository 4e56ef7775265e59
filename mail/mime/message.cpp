#include "mail/mime/message.h"

DwCreationHook<DwMessage> DwMessage::sNewMessageHook = nullptr;

DwMessage::DwMessage() {
    SetClass(kCidMessage, "DwMessage");
}

DwMessage::DwMessage(const std::string& text, DwMessageComponent* parent) : DwEntity(text, parent) {
    SetClass(kCidMessage, "DwMessage");
}

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
