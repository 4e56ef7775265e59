// Zero-filling, counted allocation behind every new and delete of the program.
//
// The plain operator new throws std::bad_alloc when memory is exhausted, as the standard library
// needs; the nothrow forms return null, for the class library's own new (std::nothrow) callers.
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

// For tests of exhausted memory (also under the sanitizers, which stop a process whose heap runs
// out): from this call on, a request fails as if memory were exhausted when the blocks taken since
// and not yet released would hold more than bytes. 0 lifts the bound.
void MemSetFailureBound(size_t bytes);
// The bytes of the blocks not yet released, as the C library sizes them: what a test needs to
// bound the memory that a piece of work keeps.
int64_t MemBytesInUse();
