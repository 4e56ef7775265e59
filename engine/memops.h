/* The four memory routines that a freestanding compiler may call on its own. */
#ifndef TARVO_ENGINE_MEMOPS_H
#define TARVO_ENGINE_MEMOPS_H

#include <stddef.h>

void* memcpy(void* restrict dst, const void* restrict src, size_t n);
void* memmove(void* dst, const void* src, size_t n);
void* memset(void* dst, int c, size_t n);
int memcmp(const void* a, const void* b, size_t n);

#endif /* TARVO_ENGINE_MEMOPS_H */
