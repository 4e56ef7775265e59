// Lists of strings compared without case (code page 866), and of wildcard
// patterns that a name is matched against.
#pragma once

#include "base/tvlist.h"

class tvStringList : public tvList {
public:
    explicit tvStringList(int lockable = 0) : tvList(lockable) {}
    tvStringList(const tvStringList& other) = default;
    ~tvStringList() override = default;

    int Compare(const void* element, const void* key) override;
    uint32_t Add(const void* data, size_t size) override { return tvList::Add(data, size); }
    uint32_t AddUnique(const void* data, size_t size) override { return tvList::AddUnique(data, size); }

    using tvList::ReplaceAt;
    using tvList::SetAt;
    // The terminator is not part of the stored size; the node's zero padding
    // still ends the string.
    uint32_t ReplaceAt(uint32_t i, const char* str);
    uint32_t SetAt(uint32_t i, const char* str);

    virtual uint32_t AddString(const char* str);
    virtual uint32_t AddStringUnique(const char* str);
    virtual uint32_t UpperAll();
};

class tvWildStringList : public tvStringList {
public:
    explicit tvWildStringList(int lockable = 0) : tvStringList(lockable) {}
    tvWildStringList(const tvWildStringList& other) = default;
    ~tvWildStringList() override = default;

    // The key matches the element's pattern; FindData (name) answers the
    // first pattern that the name matches.
    int Compare(const void* element, const void* key) override;
};
