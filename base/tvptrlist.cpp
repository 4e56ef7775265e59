#include "base/tvptrlist.h"

#include <cstring>

int tvPointerList::Compare(const void* a, const void* b) {
    if (!a || !b) return a == b;
    return memcmp(a, b, sizeof(void*)) == 0;
}
