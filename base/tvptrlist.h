// List of pointer values; the pointed-to objects are not owned.
#pragma once

#include <cstring>

#include "base/tvlist.h"

class tvPointerList : public tvList {
public:
    explicit tvPointerList(int lockable = 0) : tvList(lockable) {}
    tvPointerList(const tvPointerList& other) = default;
    ~tvPointerList() override = default;

    // The two stored pointer values are equal.
    int Compare(const void* a, const void* b) override;
    // Never adds a pointer that is already listed; AddPtr does.
    uint32_t Add(const void* data, size_t size) override { return tvList::AddUnique(data, size); }
    uint32_t AddUnique(const void* data, size_t size) override { return tvList::AddUnique(data, size); }

    virtual void* LastPtr() { return Stored(Last()); }
    virtual void* CurrentPtr() { return Stored(Current()); }
    virtual void* PeekFirstPtr() { return Stored(PeekFirst()); }
    virtual void* FirstPtr() { return Stored(First()); }
    virtual void* NextPtr() { return Stored(Next()); }
    virtual void* PrevPtr() { return Stored(Prev()); }
    virtual void* FindPtr(const void* p) { return Stored(FindData(&p)); }
    virtual uint32_t AddPtr(const void* p) { return tvList::Add(&p, sizeof p); }
    virtual uint32_t RemovePtr(const void* p) { return tvList::Remove(&p); }
    virtual uint32_t AddPtrUnique(const void* p) { return tvList::AddUnique(&p, sizeof p); }

protected:
    // The pointer held by an element, null for no element.
    static void* Stored(const void* data) {
        void* p = nullptr;
        if (data) std::memcpy(&p, data, sizeof p);
        return p;
    }
};
