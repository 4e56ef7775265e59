/* Four bytes a step where there are that many: objects and chunks pass
 * through memcpy and memcmp on every scan. The build keeps the compiler from
 * turning these loops back into calls to themselves. */
#include <stddef.h>
#include <stdint.h>

#include "engine/memops.h"

/* A word read or written at any address, seen as any type. */
typedef uint32_t __attribute__((may_alias, aligned(1))) Word;

void* memcpy(void* restrict dst, const void* restrict src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    for (; n >= 4; n -= 4, d += 4, s += 4) *(Word*)d = *(const Word*)s;
    while (n--) *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t n) {
    unsigned char* d = dst;
    const unsigned char* s = src;
    if (d < s) {
        while (n--) *d++ = *s++;
    } else {
        while (n--) d[n] = s[n];
    }
    return dst;
}

void* memset(void* dst, int c, size_t n) {
    unsigned char* d = dst;
    const uint32_t word = (unsigned char)c * 0x01010101u;
    for (; n >= 4; n -= 4, d += 4) *(Word*)d = word;
    while (n--) *d++ = (unsigned char)c;
    return dst;
}

int memcmp(const void* a, const void* b, size_t n) {
    const unsigned char* p = a;
    const unsigned char* q = b;
    /* Equal words are passed over; the first unequal one is compared byte by byte. */
    for (; n >= 4 && *(const Word*)p == *(const Word*)q; n -= 4, p += 4, q += 4) {
    }
    for (; n; n--, p++, q++)
        if (*p != *q) return *p - *q;
    return 0;
}
