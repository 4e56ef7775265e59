// The field body of "Content-Transfer-Encoding": one word and its code.
#pragma once

#include <string>

#include "mail/mime/enums.h"
#include "mail/mime/fieldbody.h"

class DwMechanism : public DwFieldBody {
public:
    DwMechanism();
    DwMechanism(const std::string& text, DwMessageComponent* parent);
    DwMechanism(const DwMechanism& other);
    DwMechanism& operator=(const DwMechanism& other);
    ~DwMechanism() override;

    // The code of the text's first word ("base64 (comment)" is base64); kCteNull when there is
    // none or it is no spelling of a known encoding that starts like one, kCteUnknown otherwise.
    void Parse() override;
    // The text already is the word.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    int AsEnum() const { return cteEnum_; }
    // Writes the code's name into the text (codes without a name leave it) and marks.
    void FromEnum(int cte);

    static DwMechanism* NewMechanism(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMechanism> sNewMechanismHook;

private:
    void EnumToStr();
    void StrToEnum(const std::string& word);

    int cteEnum_ = kCteNull;
};
