// The ordered children of a component node (fields, body parts, parameters, words): an owned
// pointer array whose items get the owner as their parent.
#pragma once

#include "mail/mime/component.h"
#include "mail/mime/ownedarray.h"

// The editing forms mark the owner modified; Adopt and DeleteAll, for Parse, copying and the
// destructor, do not. T derives from DwMessageComponent.
template <class T, int kFirstCapacity = 10> class DwChildList {
public:
    explicit DwChildList(DwMessageComponent* owner) : owner_(owner) {}
    DwChildList(const DwChildList&) = delete;
    DwChildList& operator=(const DwChildList&) = delete;

    int Count() const { return items_.Count(); }
    bool IsIndex(int index) const { return items_.IsIndex(index); }
    // index must satisfy IsIndex.
    T* At(int index) const { return items_.At(index); }

    // Appends without marking; an item the array cannot take is deleted, and false says it is gone.
    bool Adopt(T* item) {
        if (items_.Append(item)) {
            item->SetParent(owner_);
            return true;
        }
        delete item;
        return false;
    }
    // Appends clones of the other list's items, up to the first clone that yields null.
    void AdoptClonesOf(const DwChildList& other) {
        for (int i = 0; i < other.Count(); ++i) {
            T* item = static_cast<T*>(other.At(i)->Clone());
            if (!item) break;
            Adopt(item);
        }
    }
    void DeleteAll() { items_.DeleteAll(); }
    // Room for count items in the first slots, when the list has none yet.
    void ReserveFirst(int count) { items_.ReserveFirst(count); }

    // Null is ignored; index clamped to 0..Count(). An item the full array cannot take stays the
    // caller's.
    void Insert(int index, T* item) {
        if (!item || !items_.InsertAt(index, item)) return;
        item->SetParent(owner_);
        owner_->MarkModified();
    }
    // The item handed to the caller with its parent cleared, or null for an index outside.
    T* Remove(int index) {
        T* item = items_.RemoveAt(index);
        if (!item) return nullptr;
        item->SetParent(nullptr);
        owner_->MarkModified();
        return item;
    }
    // Deletes every item for which pred holds, in one pass; marks the owner when any went. The
    // number deleted.
    template <class Pred> int DeleteIf(Pred pred) {
        const int deleted = items_.DeleteIf(pred);
        if (deleted > 0) owner_->MarkModified();
        return deleted;
    }
    void DeleteAllMarking() {
        items_.DeleteAll();
        owner_->MarkModified();
    }

private:
    DwOwnedArray<T, kFirstCapacity> items_;
    DwMessageComponent* owner_;
};
