// One part of a multipart body.
#pragma once

#include <string>

#include "mail/mime/entity.h"

class DwBodyPart : public DwEntity {
public:
    DwBodyPart();
    DwBodyPart(const std::string& text, DwMessageComponent* parent);
    DwBodyPart(std::string&& text, DwMessageComponent* parent);
    // Inline: a multipart body makes one for every part it parses.
    DwBodyPart(DwTextSpan&& span, DwMessageComponent* parent)
        : DwEntity(std::move(span), parent, kCidBodyPart, "DwBodyPart") {}
    DwBodyPart(const DwBodyPart& other);
    DwBodyPart& operator=(const DwBodyPart& other) = default;
    ~DwBodyPart() override;

    DwMessageComponent* Clone() const override;

    // Unparsed.
    static DwBodyPart* NewBodyPart(const std::string& text, DwMessageComponent* parent);
    // The same, taking the text over when no hook is set.
    static DwBodyPart* NewBodyPart(std::string&& text, DwMessageComponent* parent);
    // The same with a piece of a shared text (a hook is given a copy of it).
    static DwBodyPart* NewBodyPart(DwTextSpan span, DwMessageComponent* parent);
    static DwCreationHook<DwBodyPart> sNewBodyPartHook;
};
