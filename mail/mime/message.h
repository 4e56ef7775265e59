// A whole mail message, and one part of a multipart body.
#pragma once

#include <string>

#include "mail/mime/entity.h"

class DwMessage : public DwEntity {
public:
    DwMessage();
    DwMessage(const std::string& text, DwMessageComponent* parent);
    DwMessage(const DwMessage& other);
    DwMessage& operator=(const DwMessage& other) = default;
    ~DwMessage() override;

    DwMessageComponent* Clone() const override;

    // Unparsed.
    static DwMessage* NewMessage(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMessage> sNewMessageHook;
};
