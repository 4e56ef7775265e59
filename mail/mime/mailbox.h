// One mailbox: a display name and an address in angle brackets, or an address and a comment.
#pragma once

#include <string>

#include "mail/mime/address.h"

class DwMailbox : public DwAddress {
public:
    DwMailbox();
    DwMailbox(const std::string& text, DwMessageComponent* parent);
    DwMailbox(const DwMailbox& other);
    // Copies everything but the parent, and marks the parent: the new mailbox must be written.
    DwMailbox& operator=(const DwMailbox& other);
    ~DwMailbox() override;

    // "Name <route:local@domain>" or "local@domain (Name)"; valid with a local part and a domain.
    void Parse() override;
    // [display name ]<[route:]local@domain>, the display name quoted where it must be. A mailbox
    // without local part or domain ("root", "<>") keeps the text it has and stays modified.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwMailbox* NewMailbox(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMailbox> sNewMailboxHook;

    // As found in the header: possibly encoded words, quoted strings with their quotes.
    const std::string& DisplayName() const { return displayName_; }
    // The decoded display name and the first charset other than us-ascii among its words.
    void DecodedDisplayName(std::string& name, std::string& charset) const;
    const std::string& Route() const { return route_; }
    const std::string& LocalPart() const { return localPart_; }
    const std::string& Domain() const { return domain_; }

    void SetDisplayName(const std::string& name);
    // The name encoded as one encoded word of charset by encoding 'Q' or 'B' (either case),
    // with every byte a phrase may not hold encoded; any other letter stores the name as it is.
    void SetEncodedDisplayName(const std::string& name, const std::string& charset, char encoding);
    void SetRoute(const std::string& route);
    void SetLocalPart(const std::string& localPart);
    void SetDomain(const std::string& domain);

private:
    // Stores the name and its decoded form without marking anything.
    void StoreDisplayName(const std::string& name);
    void CopyStrings(const DwMailbox& other);

    std::string displayName_;
    std::string displayNameDecoded_;
    std::string displayNameCharset_;
    std::string route_;
    std::string localPart_;
    std::string domain_;
};
