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

// The hits of a block of sixteen bytes, one bit a byte.
static __attribute__((target("sse2"))) unsigned HitsIn(const char* at, __m128i a, __m128i b) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b))));
}

// The last block ends where the run does: the bytes it has of the one before hold no hit.
__attribute__((target("sse2"))) size_t FirstOfBlocks(const void* p, size_t n, char a, char b) {
    const auto* bytes = static_cast<const char*>(p);
    const __m128i wantA = _mm_set1_epi8(a);
    const __m128i wantB = _mm_set1_epi8(b);
    size_t at = 0;
    for (; at + 16 < n; at += 16)
        if (const unsigned hits = HitsIn(bytes + at, wantA, wantB)) return at + __builtin_ctz(hits);
    at = n - 16;
    const unsigned hits = HitsIn(bytes + at, wantA, wantB);
    return hits ? at + __builtin_ctz(hits) : n;
}

#else

size_t FirstOfBlocks(const void* p, size_t n, char a, char b) {
    const auto* bytes = static_cast<const char*>(p);
    for (size_t at = 0; at < n; ++at)
        if (bytes[at] == a || bytes[at] == b) return at;
    return n;
}

void CopyBlocks(void* dst, const void* src, size_t n) {
    std::memcpy(dst, src, n);
}

bool SameBlocks(const void* a, const void* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

#endif

} // namespace shortbytes
