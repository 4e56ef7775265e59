#include "mail/mime/bytesearch.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define TARVO_BYTE_BLOCKS 1
#else
#define TARVO_BYTE_BLOCKS 0
#endif

namespace {

constexpr size_t kNone = std::string_view::npos;

} // namespace

namespace byte_search {

size_t PairLoop(const char* data, size_t n, size_t from, char first, char second) {
    for (size_t i = from; i + 1 < n; ++i)
        if (data[i] == first && data[i + 1] == second) return i;
    return kNone;
}

size_t LetterLoop(const char* data, size_t n, size_t from, char lower) {
    for (size_t i = from; i < n; ++i)
        if ((static_cast<unsigned char>(data[i]) | 0x20) == static_cast<unsigned char>(lower)) return i;
    return kNone;
}

size_t ByteOrLetterLoop(const char* data, size_t n, size_t from, char byte, char lower) {
    for (size_t i = from; i < n; ++i)
        if (data[i] == byte ||
            (static_cast<unsigned char>(data[i]) | 0x20) == static_cast<unsigned char>(lower))
            return i;
    return kNone;
}

} // namespace byte_search

namespace {

size_t LoneCrLoop(const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (data[i] == '\r' && (i + 1 == n || data[i + 1] != '\n')) return i;
    return kNone;
}

#if TARVO_BYTE_BLOCKS

// The hits of sixteen positions from at as bytes of 0xFF, each of the searches reading a block of
// kReach bytes (the sixteen and what they look at after them).

// first followed by second, or with kOtherSecond followed by anything else (a CR not before an LF;
// the text's last byte is then looked at apart).
template <bool kOtherSecond> struct PairHits {
    static constexpr size_t kReach = 17;
    __m128i first, second;
    __attribute__((target("sse2"))) __m128i operator()(const char* at) const {
        const __m128i here = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), first);
        const __m128i next =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1)), second);
        return kOtherSecond ? _mm_andnot_si128(next, here) : _mm_and_si128(here, next);
    }
};
using LoneCrHits = PairHits<true>;

struct LetterHits {
    static constexpr size_t kReach = 16;
    __m128i lower, caseBit;
    __attribute__((target("sse2"))) __m128i operator()(const char* at) const {
        // For a lower-case letter, (c | 0x20) == lower holds for exactly it and its upper case.
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_cmpeq_epi8(_mm_or_si128(bytes, caseBit), lower);
    }
};

struct ByteOrLetterHits {
    static constexpr size_t kReach = 16;
    __m128i byte;
    LetterHits letter;
    __attribute__((target("sse2"))) __m128i operator()(const char* at) const {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_or_si128(_mm_cmpeq_epi8(bytes, byte),
                            _mm_cmpeq_epi8(_mm_or_si128(bytes, letter.caseBit), letter.lower));
    }
};

__attribute__((target("sse2"))) unsigned Mask(__m128i hits) {
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

// Four blocks tested together.
template <class Hits> __attribute__((target("sse2"))) __m128i Hits4(const char* at, const Hits& hits) {
    return _mm_or_si128(_mm_or_si128(hits(at), hits(at + 16)), _mm_or_si128(hits(at + 32), hits(at + 48)));
}

// The first hit at or after from, or npos; n >= kReach. Four blocks a round are tested
// together, for most texts hold nothing; then a block at a time; then once the last sixteen
// positions, less those looked at already, so that nothing is read past the end and no plain loop
// follows.
template <class Hits>
__attribute__((target("sse2"))) size_t FirstHit(const char* data, size_t n, size_t from, const Hits& hits) {
    constexpr size_t kReach = Hits::kReach;
    // Where the last block starts, and the last round: the loops compare with them.
    const size_t last = n - kReach;
    size_t at = from;
    if (n >= 48 + kReach)
        for (const size_t lastRound = n - (48 + kReach); at <= lastRound; at += 64)
            if (Mask(Hits4(data + at, hits))) break;
    for (; at <= last; at += 16)
        if (const unsigned mask = Mask(hits(data + at))) return at + __builtin_ctz(mask);
    const unsigned mask = Mask(hits(data + last)) & (~0u << (at - last));
    return mask ? last + __builtin_ctz(mask) : kNone;
}

__attribute__((target("sse2"))) size_t LoneCrBlocks(const char* data, size_t n) {
    const size_t at = FirstHit(data, n, 0, LoneCrHits{_mm_set1_epi8('\r'), _mm_set1_epi8('\n')});
    if (at != kNone) return at;
    return data[n - 1] == '\r' ? n - 1 : kNone;
}

#endif

} // namespace

#if TARVO_BYTE_BLOCKS

namespace byte_search {

__attribute__((target("sse2"))) size_t PairBlocks(const char* data, size_t n, size_t from, char first,
                                                  char second) {
    return FirstHit(data, n, from, PairHits<false>{_mm_set1_epi8(first), _mm_set1_epi8(second)});
}

__attribute__((target("sse2"))) size_t LetterBlocks(const char* data, size_t n, size_t from, char lower) {
    return FirstHit(data, n, from, LetterHits{_mm_set1_epi8(lower), _mm_set1_epi8(0x20)});
}

__attribute__((target("sse2"))) size_t ByteOrLetterBlocks(const char* data, size_t n, size_t from, char byte,
                                                          char lower) {
    return FirstHit(
        data, n, from,
        ByteOrLetterHits{_mm_set1_epi8(byte), LetterHits{_mm_set1_epi8(lower), _mm_set1_epi8(0x20)}});
}

} // namespace byte_search

#endif

size_t FindLoneCr(std::string_view text) {
#if TARVO_BYTE_BLOCKS
    if (CpuHasSse2 && text.size() >= LoneCrHits::kReach) return LoneCrBlocks(text.data(), text.size());
#endif
    return LoneCrLoop(text.data(), text.size());
}
