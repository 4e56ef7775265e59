#include "base/md5digest.h"

#include <cstring>

namespace {

struct Md5State {
    uint32_t a = 0x67452301, b = 0xefcdab89, c = 0x98badcfe, d = 0x10325476;
    uint64_t length = 0; // bytes taken
    unsigned char block[64];
    size_t used = 0;
};

// Per-round shift amounts and the sine-derived constants of RFC 1321.
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t RotateLeft(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

void Transform(Md5State& s, const unsigned char* block) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<uint32_t>(block[4 * i + 2]) << 16 | static_cast<uint32_t>(block[4 * i + 3]) << 24;
    uint32_t a = s.a, b = s.b, c = s.c, d = s.d;
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        uint32_t next = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    s.a += a;
    s.b += b;
    s.c += c;
    s.d += d;
}

void Update(Md5State& s, const unsigned char* data, size_t length) {
    s.length += length;
    while (length > 0) {
        size_t take = sizeof s.block - s.used;
        if (take > length) take = length;
        std::memcpy(s.block + s.used, data, take);
        s.used += take;
        data += take;
        length -= take;
        if (s.used == sizeof s.block) {
            Transform(s, s.block);
            s.used = 0;
        }
    }
}

void Final(Md5State& s, unsigned char* digest) {
    const uint64_t bits = s.length * 8;
    static const unsigned char kPad[64] = {0x80};
    // Pad to 56 bytes modulo 64, then the length in bits, low byte first.
    size_t pad = s.used < 56 ? 56 - s.used : 120 - s.used;
    Update(s, kPad, pad);
    unsigned char tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (8 * i));
    Update(s, tail, sizeof tail);
    const uint32_t words[4] = {s.a, s.b, s.c, s.d};
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) digest[4 * w + i] = static_cast<unsigned char>(words[w] >> (8 * i));
}

} // namespace

int Md5Digest(unsigned char* digest, const void* data, size_t length) {
    Md5State state;
    Update(state, static_cast<const unsigned char*>(data), data ? length : 0);
    Final(state, digest);
    return 1;
}
