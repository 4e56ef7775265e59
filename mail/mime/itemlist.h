// The owned, ordered children of the list field bodies (addresses, mailboxes).
#pragma once

#include <cstdlib>
#include <string>

#include "mail/mime/component.h"
#include "mail/mime/ownedarray.h"

// The items of one owner: each item's parent is the owner while it is in the list. The public
// changes mark the owner modified; Parse, copying and the destructor use the unmarked forms.
template <class Item> class DwItemList {
public:
    explicit DwItemList(DwMessageComponent* owner) : owner_(owner) {}
    DwItemList(const DwItemList&) = delete;
    DwItemList& operator=(const DwItemList&) = delete;

    int Count() const { return items_.Count(); }
    // An index outside 0 to Count() - 1 ends the process.
    Item* At(int index) const {
        if (!items_.IsIndex(index)) abort();
        return items_.At(index);
    }
    // Null is ignored; index clamped to 0..Count(). An item the full array cannot take is
    // dropped (and deleted, since the caller handed it over).
    void Insert(int index, Item* item, bool mark) {
        if (!item) return;
        if (items_.InsertAt(index, item))
            item->SetParent(owner_);
        else
            delete item;
        if (mark) owner_->MarkModified();
    }
    // The item handed to the caller with its parent cleared; null for an index outside the list.
    Item* Remove(int index) {
        Item* item = items_.RemoveAt(index);
        if (!item) return nullptr;
        item->SetParent(nullptr);
        owner_->MarkModified();
        return item;
    }
    void DeleteAll(bool mark) {
        items_.DeleteAll();
        if (mark) owner_->MarkModified();
    }
    // Appends clones of the other's items; stops at the first clone that fails.
    void CopyFrom(const DwItemList& other) {
        for (int i = 0; i < other.Count(); ++i) {
            Item* clone = static_cast<Item*>(other.items_.At(i)->Clone());
            if (!clone) break;
            Insert(Count(), clone, false);
        }
    }
    // The items assembled and joined by separator.
    std::string Join(const char* separator) const {
        std::string text;
        for (int i = 0; i < Count(); ++i) {
            Item* item = items_.At(i);
            item->Assemble();
            if (i > 0) text += separator;
            text += item->Text();
        }
        return text;
    }

private:
    DwOwnedArray<Item> items_;
    DwMessageComponent* owner_;
};
