#include "mail/mime/mailboxlist.h"

#include "mail/mime/addressparser.h"

DwCreationHook<DwMailboxList> DwMailboxList::sNewMailboxListHook = nullptr;

DwMailboxList::DwMailboxList() {
    SetClass(kCidMailboxList, "DwMailboxList");
}

DwMailboxList::DwMailboxList(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent) {
    SetClass(kCidMailboxList, "DwMailboxList");
}

DwMailboxList::DwMailboxList(const DwMailboxList& other) : DwFieldBody(other) {
    SetClass(kCidMailboxList, "DwMailboxList");
    items_.CopyFrom(other.items_);
}

DwMailboxList& DwMailboxList::operator=(const DwMailboxList& other) {
    if (this != &other) {
        items_.DeleteAll(false);
        DwFieldBody::operator=(other);
        items_.CopyFrom(other.items_);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwMailboxList::~DwMailboxList() = default;

DwMailboxList* DwMailboxList::NewMailboxList(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewMailboxListHook, text, parent);
}

DwMessageComponent* DwMailboxList::Clone() const {
    return new DwMailboxList(*this);
}

void DwMailboxList::Parse() {
    SetModified(false);
    items_.DeleteAll(false);
    for (DwMailboxListParser splitter(Text()); !splitter.IsEnd(); splitter.Advance()) {
        if (splitter.IsNull()) continue;
        DwMailbox* mailbox = DwMailbox::NewMailbox(splitter.CurrentText(), this);
        if (!mailbox) continue;
        mailbox->Parse();
        items_.Insert(items_.Count(), mailbox, false);
    }
}

void DwMailboxList::Assemble() {
    if (!IsModified()) return;
    text_ = items_.Join(IsFolding() ? ",\r\n  " : ", ");
    SetModified(false);
}
