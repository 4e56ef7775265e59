// Searches for a byte or two in a text, sixteen bytes at a time where x86 has SSE2 (asked at run
// time on i386), else byte by byte: in the lines and field bodies of mail, a memchr a line or a field
// costs more than the look itself.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/cpusse2.h"

// What the searches below call: inline, so that the choice costs no call of its own.
namespace byte_search {
#if defined(__i386__) || defined(__x86_64__)
// The sixteen-byte searches; n - from at least 17 for pairs, 16 for letters.
__attribute__((target("sse2"))) size_t PairBlocks(const char* data, size_t n, size_t from, char first,
                                                  char second);
__attribute__((target("sse2"))) size_t LetterBlocks(const char* data, size_t n, size_t from, char lower);
__attribute__((target("sse2"))) size_t ByteOrLetterBlocks(const char* data, size_t n, size_t from, char byte,
                                                          char lower);
#else
inline size_t PairBlocks(const char*, size_t, size_t, char, char) {
    return std::string_view::npos;
}
inline size_t LetterBlocks(const char*, size_t, size_t, char) {
    return std::string_view::npos;
}
inline size_t ByteOrLetterBlocks(const char*, size_t, size_t, char, char) {
    return std::string_view::npos;
}
#endif
size_t PairLoop(const char* data, size_t n, size_t from, char first, char second);
size_t LetterLoop(const char* data, size_t n, size_t from, char lower);
size_t ByteOrLetterLoop(const char* data, size_t n, size_t from, char byte, char lower);
} // namespace byte_search

// The first position at or after from where text holds first followed by second, or npos.
inline size_t FindBytePair(std::string_view text, size_t from, char first, char second) {
    const size_t n = text.size();
    if (from >= n) return std::string_view::npos;
    if (CpuHasSse2 && n - from >= 17) return byte_search::PairBlocks(text.data(), n, from, first, second);
    return byte_search::PairLoop(text.data(), n, from, first, second);
}

// The first position at or after from whose byte is the letter lower (a lower-case ASCII letter)
// in either case, or npos.
inline size_t FindLetterNoCase(std::string_view text, size_t from, char lower) {
    const size_t n = text.size();
    if (from >= n) return std::string_view::npos;
    if (CpuHasSse2 && n - from >= 16) return byte_search::LetterBlocks(text.data(), n, from, lower);
    return byte_search::LetterLoop(text.data(), n, from, lower);
}

// The first position at or after from whose byte is byte, or the letter lower (a lower-case ASCII
// letter) in either case, or npos: two questions of a short text in one look.
inline size_t FindByteOrLetterNoCase(std::string_view text, size_t from, char byte, char lower) {
    const size_t n = text.size();
    if (from >= n) return std::string_view::npos;
    if (CpuHasSse2 && n - from >= 16)
        return byte_search::ByteOrLetterBlocks(text.data(), n, from, byte, lower);
    return byte_search::ByteOrLetterLoop(text.data(), n, from, byte, lower);
}

// The first CR that does not stand before an LF (a CR that ends the text included), or npos.
size_t FindLoneCr(std::string_view text);
