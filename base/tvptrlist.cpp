#include "base/tvptrlist.h"

#include <cstring>

void* tvPointerList::Stored(const void* data) {
    void* p = nullptr;
    if (data) memcpy(&p, data, sizeof p);
    return p;
}

int tvPointerList::Compare(const void* a, const void* b) {
    if (!a || !b) return a == b;
    return memcmp(a, b, sizeof(void*)) == 0;
}
