#include "mail/mime/addresslist.h"

#include "mail/mime/addressparser.h"
#include "mail/mime/group.h"
#include "mail/mime/mailbox.h"

DwCreationHook<DwAddressList> DwAddressList::sNewAddressListHook = nullptr;

DwAddressList::DwAddressList() {
    SetClass(kCidAddressList, "DwAddressList");
}

DwAddressList::DwAddressList(const std::string& text, DwMessageComponent* parent)
    : DwFieldBody(text, parent) {
    SetClass(kCidAddressList, "DwAddressList");
}

DwAddressList::DwAddressList(const DwAddressList& other) : DwFieldBody(other) {
    SetClass(kCidAddressList, "DwAddressList");
    items_.CopyFrom(other.items_);
}

DwAddressList& DwAddressList::operator=(const DwAddressList& other) {
    if (this != &other) {
        items_.DeleteAll(false);
        DwFieldBody::operator=(other);
        items_.CopyFrom(other.items_);
        if (Parent()) Parent()->MarkModified();
    }
    return *this;
}

DwAddressList::~DwAddressList() = default;

DwAddressList* DwAddressList::NewAddressList(const std::string& text, DwMessageComponent* parent) {
    return DwCreateNode(sNewAddressListHook, text, parent);
}

DwMessageComponent* DwAddressList::Clone() const {
    return new DwAddressList(*this);
}

void DwAddressList::Parse() {
    SetModified(false);
    items_.DeleteAll(false);
    for (DwAddressListParser splitter(Text()); !splitter.IsEnd(); splitter.Advance()) {
        DwAddress* address = nullptr;
        if (splitter.IsGroup())
            address = DwGroup::NewGroup(splitter.CurrentText(), this);
        else if (splitter.IsMailbox())
            address = DwMailbox::NewMailbox(splitter.CurrentText(), this);
        if (!address) continue;
        address->Parse();
        items_.Insert(items_.Count(), address, false);
    }
}

void DwAddressList::Assemble() {
    if (!IsModified()) return;
    text_ = items_.Join(IsFolding() ? ",\r\n " : ", ");
    SetModified(false);
}
