// Copies and comparisons of the short byte runs of a small object (its name, its few hundred bytes
// of data) without the C library: its routines are reached through the PLT and pick their path by
// size and alignment, which for such a run costs as much as the bytes. Sixteen bytes at a time where
// x86 has SSE2 (looked up once at run time on i386); the C library's routines elsewhere, for runs
// under sixteen bytes and for those long enough to pay for the library's choice.
#pragma once

#include <cstddef>
#include <cstring>

#include "base/cpusse2.h"

namespace shortbytes {
constexpr size_t kLongest = 1024;
// 16 <= n <= kLongest.
void CopyBlocks(void* dst, const void* src, size_t n);
bool SameBlocks(const void* a, const void* b, size_t n);
} // namespace shortbytes

// Copies n bytes; the two runs do not overlap.
inline void CopyShortBytes(void* dst, const void* src, size_t n) {
    if (n - 16 <= shortbytes::kLongest - 16 && CpuHasSse2)
        shortbytes::CopyBlocks(dst, src, n);
    else
        std::memcpy(dst, src, n);
}

// Whether the n bytes at a and at b are the same.
inline bool SameShortBytes(const void* a, const void* b, size_t n) {
    if (n - 16 <= shortbytes::kLongest - 16 && CpuHasSse2) return shortbytes::SameBlocks(a, b, n);
    return std::memcmp(a, b, n) == 0;
}
