// The field body of the author fields: a list of mailboxes.
#pragma once

#include <string>

#include "mail/mime/fieldbody.h"
#include "mail/mime/itemlist.h"
#include "mail/mime/mailbox.h"

class DwMailboxList : public DwFieldBody {
public:
    DwMailboxList();
    DwMailboxList(const std::string& text, DwMessageComponent* parent);
    DwMailboxList(const DwMailboxList& other);
    DwMailboxList& operator=(const DwMailboxList& other);
    ~DwMailboxList() override;

    // One mailbox per member between commas outside angle brackets; empty members are skipped.
    void Parse() override;
    // The mailboxes joined by ",\r\n  " while folding, else ", ".
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwMailboxList* NewMailboxList(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwMailboxList> sNewMailboxListHook;

    int MailboxCount() const { return items_.Count(); }
    // An index outside 0 to MailboxCount() - 1 ends the process.
    DwMailbox* MailboxAt(int index) const { return items_.At(index); }
    // Null is ignored; the index is clamped to 0..MailboxCount().
    void AppendMailbox(DwMailbox* mailbox) { items_.Insert(items_.Count(), mailbox, true); }
    void InsertMailboxAt(int index, DwMailbox* mailbox) { items_.Insert(index, mailbox, true); }
    // The mailbox handed to the caller, or null for an index outside the list.
    DwMailbox* RemoveMailboxAt(int index) { return items_.Remove(index); }
    void DeleteAllMailboxes() { items_.DeleteAll(true); }

private:
    DwItemList<DwMailbox> items_{this};
};
