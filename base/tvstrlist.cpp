#include "base/tvstrlist.h"

#include <cstring>

#include "base/strutil.h"
#include "base/wildmatch.h"

int tvStringList::Compare(const void* element, const void* key) {
    return StrEqualNoCase(static_cast<const char*>(element), static_cast<const char*>(key));
}

uint32_t tvStringList::ReplaceAt(uint32_t i, const char* str) {
    if (!str) return kNoIndex;
    return tvList::ReplaceAt(i, str, strlen(str));
}

uint32_t tvStringList::SetAt(uint32_t i, const char* str) {
    if (!str) return kNoIndex;
    return tvList::SetAt(i, str, strlen(str));
}

uint32_t tvStringList::AddString(const char* str) {
    if (!str) return 0;
    return Add(str, strlen(str) + 1);
}

uint32_t tvStringList::AddStringUnique(const char* str) {
    if (!str) return 0;
    return AddUnique(str, strlen(str) + 1);
}

uint32_t tvStringList::UpperAll() {
    const uint32_t n = ForEach([](void* data, void*) { StrUpperCp866(static_cast<char*>(data)); }, nullptr);
    if (n) changed = 1;
    return n;
}

int tvWildStringList::Compare(const void* element, const void* key) {
    return WildMatch(static_cast<const char*>(key), static_cast<const char*>(element));
}
