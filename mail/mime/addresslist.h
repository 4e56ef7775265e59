// The field body of the recipient and reply fields: a list of mailboxes and groups.
#pragma once

#include <string>

#include "mail/mime/address.h"
#include "mail/mime/fieldbody.h"
#include "mail/mime/itemlist.h"

class DwAddressList : public DwFieldBody {
public:
    DwAddressList();
    DwAddressList(const std::string& text, DwMessageComponent* parent);
    DwAddressList(const DwAddressList& other);
    DwAddressList& operator=(const DwAddressList& other);
    ~DwAddressList() override;

    // One address per member between commas outside groups and angle brackets: a group when the
    // member has a ':' outside angle brackets, else a mailbox. Empty members are skipped.
    void Parse() override;
    // The addresses joined by ",\r\n " while folding, else ", ".
    void Assemble() override;
    DwMessageComponent* Clone() const override;

    static DwAddressList* NewAddressList(const std::string& text, DwMessageComponent* parent);
    static DwCreationHook<DwAddressList> sNewAddressListHook;

    int AddressCount() const { return items_.Count(); }
    // An index outside 0 to AddressCount() - 1 ends the process.
    DwAddress* AddressAt(int index) const { return items_.At(index); }
    // Null is ignored; the index is clamped to 0..AddressCount().
    void AppendAddress(DwAddress* address) { items_.Insert(items_.Count(), address, true); }
    void InsertAddressAt(int index, DwAddress* address) { items_.Insert(index, address, true); }
    // The address handed to the caller, or null for an index outside the list.
    DwAddress* RemoveAddressAt(int index) { return items_.Remove(index); }
    void DeleteAllAddresses() { items_.DeleteAll(true); }

private:
    DwItemList<DwAddress> items_{this};
};
