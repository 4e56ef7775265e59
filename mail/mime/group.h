// A named group of mailboxes: "name: mailbox, mailbox;".
#pragma once

#include <string>

#include "mail/mime/address.h"

class DwMailboxList;

class DwGroup : public DwAddress {
public:
    DwGroup();
    DwGroup(const std::string& text, DwMessageComponent* parent);
    DwGroup(const DwGroup& other);
    // Copies name and mailboxes, and marks the parent: the new group must be written.
    DwGroup& operator=(const DwGroup& other);
    ~DwGroup() override;

    // The words before ':' name the group; the mailboxes run to ';', or to the end of the text
    // when there is none. Valid with a name.
    void Parse() override;
    // name:mailboxes; (the name quoted where it must be). A group without a name keeps the text
    // it has and stays modified.
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwGroup* NewGroup(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwGroup> sNewGroupHook;

    const std::string& GroupName() const { return groupName_; }
    void SetGroupName(const std::string& name);
    // Never null.
    DwMailboxList& Mailboxes() const { return *mailboxes_; }

private:
    void TakeMailboxes(DwMailboxList* list);

    DwMailboxList* mailboxes_ = nullptr;
    std::string groupName_;
};
