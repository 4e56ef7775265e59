// Addresses of the address fields: the common base of a mailbox and a group.
#pragma once

#include <string>

#include "mail/mime/fieldbody.h"

class DwAddress : public DwFieldBody {
public:
    // Whether the last Parse or Assemble found a usable address.
    bool IsValid() const { return isValid_ != 0; }
    bool IsMailbox() const { return ClassId() == kCidMailbox; }
    bool IsGroup() const { return ClassId() == kCidGroup; }
    ~DwAddress() override;

protected:
    DwAddress();
    DwAddress(const std::string& text, DwMessageComponent* parent);
    DwAddress(const DwAddress& other);
    DwAddress& operator=(const DwAddress& other);

    int isValid_ = 0;
};

// Line ends in a name become blanks: each CR LF pair one, every other CR or LF one.
void DwBlankLineEnds(std::string& text);

// A display name or group name as it is written before an address: as it is when it is made
// of words and quoted strings only, else in double quotes with '"' and '\' escaped, so that a
// name holding ',' '<' '@' or ':' reads back as one name. Line ends become blanks.
std::string DwPhraseText(const std::string& name);
