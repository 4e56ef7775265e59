// A whole mail message, and one part of a multipart body.
#pragma once

#include <string>

#include "mail/mime/entity.h"

class DwMessage : public DwEntity {
public:
    DwMessage();
    DwMessage(const std::string& text, DwMessageComponent* parent);
    DwMessage(std::string&& text, DwMessageComponent* parent);
    DwMessage(DwTextSpan&& span, DwMessageComponent* parent);
    DwMessage(const DwMessage& other);
    DwMessage& operator=(const DwMessage& other) = default;
    ~DwMessage() override;

    DwMessageComponent* Clone() const override;

    // Unparsed.
    static DwMessage* NewMessage(const std::string& text, DwMessageComponent* parent);
    // The same, taking the text over when no hook is set.
    static DwMessage* NewMessage(std::string&& text, DwMessageComponent* parent);
    // The same with a piece of a shared text (a hook is given a copy of it).
    static DwMessage* NewMessage(const DwTextSpan& span, DwMessageComponent* parent);
    // The same over bytes the tree borrows (a hook is given a copy of them): they must outlive the
    // message and every node taken from it, unchanged.
    static DwMessage* NewMessage(DwBorrowedText text, DwMessageComponent* parent);
    static DwCreationHook<DwMessage> sNewMessageHook;
};
