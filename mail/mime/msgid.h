// The field body of the message-identifier fields: <local-part@domain>.
#pragma once

#include <string>

#include "mail/mime/fieldbody.h"

class DwMsgId : public DwFieldBody {
public:
    DwMsgId();
    DwMsgId(const std::string& text, DwMessageComponent* parent);
    DwMsgId(const DwMsgId& other);
    DwMsgId& operator=(const DwMsgId& other);
    ~DwMsgId() override;

    // The halves between '<' and '@' and between '@' and '>'; comments and blanks are dropped.
    void Parse() override;
    // "<local@domain>". An id that lacks either half is not written: the text stays as it was and
    // the id stays modified.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    // A new identifier unique to this host, process, second and call:
    // "<%08X.%06X.%05u@host>" of the time, the serial counter, the process id and the host name
    // (at most 55 bytes of it). It becomes the text, parsed.
    virtual void CreateDefault();

    static DwMsgId* NewMsgId(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMsgId> sNewMsgIdHook;

    const std::string& LocalPart() const { return localPart_; }
    const std::string& Domain() const { return domain_; }
    void SetLocalPart(const std::string& localPart);
    void SetDomain(const std::string& domain);

private:
    std::string localPart_;
    std::string domain_;
};
