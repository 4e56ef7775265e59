#include "base/shortbytes.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace shortbytes {

#if defined(__i386__) || defined(__x86_64__)

static __attribute__((target("sse2"))) void CopyBlock(char* out, const char* in) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)));
}

// Two blocks a turn; the last block ends where the run does, over bytes already done.
__attribute__((target("sse2"))) void CopyBlocks(void* dst, const void* src, size_t n) {
    auto* out = static_cast<char*>(dst);
    const auto* in = static_cast<const char*>(src);
    size_t at = 0;
    for (; at + 32 < n; at += 32) {
        CopyBlock(out + at, in + at);
        CopyBlock(out + at + 16, in + at + 16);
    }
    if (at + 16 < n) CopyBlock(out + at, in + at);
    CopyBlock(out + n - 16, in + n - 16);
}

static __attribute__((target("sse2"))) bool SameBlock(const char* x, const char* y) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(p, q)) == 0xFFFF;
}

__attribute__((target("sse2"))) bool SameBlocks(const void* a, const void* b, size_t n) {
    const auto* x = static_cast<const char*>(a);
    const auto* y = static_cast<const char*>(b);
    // A name, the usual run, is one or two blocks.
    if (n <= 32) return SameBlock(x, y) && SameBlock(x + n - 16, y + n - 16);
    for (size_t at = 0; at + 16 < n; at += 16)
        if (!SameBlock(x + at, y + at)) return false;
    return SameBlock(x + n - 16, y + n - 16);
}

#else

void CopyBlocks(void* dst, const void* src, size_t n) {
    std::memcpy(dst, src, n);
}

bool SameBlocks(const void* a, const void* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

#endif

} // namespace shortbytes
