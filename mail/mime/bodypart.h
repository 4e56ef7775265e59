// One part of a multipart body.
#pragma once

#include <string>

#include "mail/mime/entity.h"

class DwBodyPart : public DwEntity {
public:
    DwBodyPart();
    DwBodyPart(const std::string& text, DwMessageComponent* parent);
    DwBodyPart(const DwBodyPart& other);
    DwBodyPart& operator=(const DwBodyPart& other) = default;
    ~DwBodyPart() override;

    DwMessageComponent* Clone() const override;

    // Unparsed.
    static DwBodyPart* NewBodyPart(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwBodyPart> sNewBodyPartHook;
};
