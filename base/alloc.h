// Zero-filling, counted allocation behind every new and delete of the program.
#pragma once

#include <cstddef>
#include <cstdint>

// A zero-filled block of n bytes (n = 0 gives a unique block), or null when
// memory is exhausted. Counted in MemAllocCount.
void* MemAllocZeroed(size_t n);

// Releases a block of MemAllocZeroed (null is ignored). Counted in MemFreeCount.
void MemFree(void* p);

// Running totals since start; unsigned 32-bit, they wrap.
uint32_t MemAllocCount();
uint32_t MemFreeCount();
// The bytes of the blocks not yet released, as the C library sizes them: what a test needs to
// bound the memory that a piece of work keeps.
int64_t MemBytesInUse();
