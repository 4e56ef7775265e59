// Copies, comparisons and searches of the short byte runs of a small object (its name, its few
// hundred bytes of data) without the C library: its routines are reached through the PLT and pick
// their path by size and alignment, which for such a run costs as much as the bytes. Sixteen bytes at a time
// where x86 has SSE2 (looked up once at run time on i386); the C library's routines elsewhere, for runs under
// sixteen bytes and for those long enough to pay for the library's choice.
#pragma once

#include <cstddef>
#include <cstring>

#include "base/cpusse2.h"

namespace shortbytes {
constexpr size_t kLongest = 1024;
// 16 <= n <= kLongest.
void CopyBlocks(void* dst, const void* src, size_t n);
bool SameBlocks(const void* a, const void* b, size_t n);
size_t FirstOfBlocks(const void* p, size_t n, char a, char b);
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

// The position of the first of the n bytes at p that is a or b, or n when none is: two searches of a
// short run in one look.
inline size_t FirstOfTwoBytes(const void* p, size_t n, char a, char b) {
    if (n - 16 <= shortbytes::kLongest - 16 && CpuHasSse2) return shortbytes::FirstOfBlocks(p, n, a, b);
    const auto* bytes = static_cast<const char*>(p);
    if (n > shortbytes::kLongest) {
        const void* atA = std::memchr(bytes, a, n);
        const size_t first = atA ? static_cast<size_t>(static_cast<const char*>(atA) - bytes) : n;
        const void* atB = std::memchr(bytes, b, first);
        return atB ? static_cast<size_t>(static_cast<const char*>(atB) - bytes) : first;
    }
    for (size_t at = 0; at < n; ++at)
        if (bytes[at] == a || bytes[at] == b) return at;
    return n;
}
