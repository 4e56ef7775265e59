/* A small inflater: canonical Huffman decoding one bit at a time, enough for
 * the objects of a stand-in engine. */
#include "engine/inflate.h"

#include <stdint.h>

#include "engine/memops.h"

#define MAX_BITS 15
#define MAX_LENGTH_CODES 286
#define MAX_DISTANCE_CODES 30
#define MAX_CODES (MAX_LENGTH_CODES + MAX_DISTANCE_CODES)
#define FIXED_LENGTH_CODES 288

typedef struct InflateState {
    const uint8_t* in;
    uint32_t in_size;
    uint32_t in_at;
    uint32_t bit_buffer;
    uint32_t bit_count;
    uint8_t* out;
    uint32_t out_size;
    uint32_t out_at;
    int truncated; /* a read past the end of the input */
} InflateState;

typedef struct Huffman {
    int16_t* count;  /* codes of each length */
    int16_t* symbol; /* symbols in code order */
} Huffman;

/* need bits, first bit in the lowest place; 0 and the truncated flag at the
 * end of the input. */
static uint32_t Bits(InflateState* s, uint32_t need) {
    uint32_t value = s->bit_buffer;
    while (s->bit_count < need) {
        if (s->in_at == s->in_size) {
            s->truncated = 1;
            return 0;
        }
        value |= (uint32_t)s->in[s->in_at++] << s->bit_count;
        s->bit_count += 8;
    }
    s->bit_buffer = value >> need;
    s->bit_count -= need;
    return value & ((1u << need) - 1u);
}

/* The next symbol, or a negative status. */
static int32_t Decode(InflateState* s, const Huffman* h) {
    int32_t code = 0, first = 0, index = 0;
    for (int len = 1; len <= MAX_BITS; len++) {
        code |= (int32_t)Bits(s, 1);
        if (s->truncated) return INFLATE_TRUNCATED;
        int32_t count = h->count[len];
        if (code - count < first) return h->symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return INFLATE_BAD_DATA;
}

/* Builds h from the code lengths: 0 for a complete code, positive for an
 * incomplete one, negative for an over-subscribed one. */
static int32_t Construct(Huffman* h, const int16_t* length, int32_t n) {
    int16_t offsets[MAX_BITS + 1];
    for (int len = 0; len <= MAX_BITS; len++) h->count[len] = 0;
    for (int32_t symbol = 0; symbol < n; symbol++) h->count[length[symbol]]++;
    if (h->count[0] == n) return 0;
    int32_t left = 1;
    for (int len = 1; len <= MAX_BITS; len++) {
        left <<= 1;
        left -= h->count[len];
        if (left < 0) return left;
    }
    offsets[1] = 0;
    for (int len = 1; len < MAX_BITS; len++) offsets[len + 1] = (int16_t)(offsets[len] + h->count[len]);
    for (int32_t symbol = 0; symbol < n; symbol++)
        if (length[symbol] != 0) h->symbol[offsets[length[symbol]]++] = (int16_t)symbol;
    return left;
}

static const int16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const int16_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const int16_t DistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                         33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const int16_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                          6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

static int32_t Codes(InflateState* s, const Huffman* lengths, const Huffman* distances) {
    for (;;) {
        int32_t symbol = Decode(s, lengths);
        if (symbol < 0) return symbol;
        if (symbol < 256) {
            if (s->out_at == s->out_size) return INFLATE_TOO_LONG;
            s->out[s->out_at++] = (uint8_t)symbol;
            continue;
        }
        if (symbol == 256) return INFLATE_OK;
        symbol -= 257;
        if (symbol >= 29) return INFLATE_BAD_DATA;
        uint32_t len = (uint32_t)LengthBase[symbol] + Bits(s, (uint32_t)LengthExtra[symbol]);
        symbol = Decode(s, distances);
        if (symbol < 0) return symbol;
        if (symbol >= 30) return INFLATE_BAD_DATA;
        uint32_t distance = (uint32_t)DistanceBase[symbol] + Bits(s, (uint32_t)DistanceExtra[symbol]);
        if (s->truncated) return INFLATE_TRUNCATED;
        if (distance > s->out_at) return INFLATE_BAD_DATA;
        if (len > s->out_size - s->out_at) return INFLATE_TOO_LONG;
        while (len--) {
            s->out[s->out_at] = s->out[s->out_at - distance];
            s->out_at++;
        }
    }
}

static int32_t Stored(InflateState* s) {
    s->bit_buffer = 0;
    s->bit_count = 0;
    if (s->in_size - s->in_at < 4) return INFLATE_TRUNCATED;
    uint32_t len = (uint32_t)s->in[s->in_at] | ((uint32_t)s->in[s->in_at + 1] << 8);
    uint32_t complement = (uint32_t)s->in[s->in_at + 2] | ((uint32_t)s->in[s->in_at + 3] << 8);
    s->in_at += 4;
    if (len != (~complement & 0xFFFFu)) return INFLATE_BAD_DATA;
    if (len > s->in_size - s->in_at) return INFLATE_TRUNCATED;
    if (len > s->out_size - s->out_at) return INFLATE_TOO_LONG;
    memcpy(s->out + s->out_at, s->in + s->in_at, len);
    s->in_at += len;
    s->out_at += len;
    return INFLATE_OK;
}

static int32_t Fixed(InflateState* s) {
    int16_t length_count[MAX_BITS + 1], length_symbol[FIXED_LENGTH_CODES];
    int16_t distance_count[MAX_BITS + 1], distance_symbol[MAX_DISTANCE_CODES];
    int16_t lengths[FIXED_LENGTH_CODES];
    Huffman length_code = {length_count, length_symbol};
    Huffman distance_code = {distance_count, distance_symbol};
    int32_t symbol = 0;
    for (; symbol < 144; symbol++) lengths[symbol] = 8;
    for (; symbol < 256; symbol++) lengths[symbol] = 9;
    for (; symbol < 280; symbol++) lengths[symbol] = 7;
    for (; symbol < FIXED_LENGTH_CODES; symbol++) lengths[symbol] = 8;
    Construct(&length_code, lengths, FIXED_LENGTH_CODES);
    for (symbol = 0; symbol < MAX_DISTANCE_CODES; symbol++) lengths[symbol] = 5;
    Construct(&distance_code, lengths, MAX_DISTANCE_CODES);
    return Codes(s, &length_code, &distance_code);
}

static int32_t Dynamic(InflateState* s) {
    static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int16_t lengths[MAX_CODES];
    int16_t length_count[MAX_BITS + 1], length_symbol[MAX_LENGTH_CODES];
    int16_t distance_count[MAX_BITS + 1], distance_symbol[MAX_DISTANCE_CODES];
    Huffman length_code = {length_count, length_symbol};
    Huffman distance_code = {distance_count, distance_symbol};

    int32_t nlen = (int32_t)Bits(s, 5) + 257;
    int32_t ndist = (int32_t)Bits(s, 5) + 1;
    int32_t ncode = (int32_t)Bits(s, 4) + 4;
    if (s->truncated) return INFLATE_TRUNCATED;
    if (nlen > MAX_LENGTH_CODES || ndist > MAX_DISTANCE_CODES) return INFLATE_BAD_DATA;
    int32_t index = 0;
    for (; index < ncode; index++) lengths[order[index]] = (int16_t)Bits(s, 3);
    for (; index < 19; index++) lengths[order[index]] = 0;
    if (s->truncated) return INFLATE_TRUNCATED;
    if (Construct(&length_code, lengths, 19) != 0) return INFLATE_BAD_DATA;

    index = 0;
    while (index < nlen + ndist) {
        int32_t symbol = Decode(s, &length_code);
        if (symbol < 0) return symbol;
        if (symbol < 16) {
            lengths[index++] = (int16_t)symbol;
            continue;
        }
        int16_t len = 0;
        uint32_t repeat;
        if (symbol == 16) {
            if (index == 0) return INFLATE_BAD_DATA;
            len = lengths[index - 1];
            repeat = 3 + Bits(s, 2);
        } else if (symbol == 17) {
            repeat = 3 + Bits(s, 3);
        } else {
            repeat = 11 + Bits(s, 7);
        }
        if (s->truncated) return INFLATE_TRUNCATED;
        if ((int32_t)repeat > nlen + ndist - index) return INFLATE_BAD_DATA;
        while (repeat--) lengths[index++] = len;
    }
    if (lengths[256] == 0) return INFLATE_BAD_DATA;
    int32_t err = Construct(&length_code, lengths, nlen);
    if (err < 0 || (err > 0 && nlen - length_code.count[0] != 1)) return INFLATE_BAD_DATA;
    err = Construct(&distance_code, lengths + nlen, ndist);
    if (err < 0 || (err > 0 && ndist - distance_code.count[0] != 1)) return INFLATE_BAD_DATA;
    return Codes(s, &length_code, &distance_code);
}

int32_t Inflate(const uint8_t* src, uint32_t src_size, uint8_t* dst, uint32_t dst_size, uint32_t* out_length,
                uint32_t* in_used) {
    InflateState s;
    memset(&s, 0, sizeof s);
    s.in = src;
    s.in_size = src_size;
    s.out = dst;
    s.out_size = dst_size;
    int32_t status = INFLATE_OK;
    uint32_t last;
    do {
        last = Bits(&s, 1);
        uint32_t type = Bits(&s, 2);
        if (s.truncated) {
            status = INFLATE_TRUNCATED;
            break;
        }
        if (type == 0)
            status = Stored(&s);
        else if (type == 1)
            status = Fixed(&s);
        else if (type == 2)
            status = Dynamic(&s);
        else
            status = INFLATE_BAD_DATA;
    } while (status == INFLATE_OK && !last);
    if (out_length) *out_length = s.out_at;
    if (in_used) *in_used = s.in_at;
    return status;
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, uint32_t length) {
    static uint32_t table[256];
    static int ready;
    if (!ready) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = 1;
    }
    crc = ~crc;
    for (uint32_t i = 0; i < length; i++) crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

#define GZIP_FLAG_HEADER_CRC 0x02u
#define GZIP_FLAG_EXTRA 0x04u
#define GZIP_FLAG_NAME 0x08u
#define GZIP_FLAG_COMMENT 0x10u
#define GZIP_FLAGS_RESERVED 0xE0u
#define GZIP_HEADER 10u
#define GZIP_TRAILER 8u

int GzipLooksLike(const uint8_t* data, uint32_t length) {
    return length >= GZIP_HEADER + GZIP_TRAILER && data[0] == 0x1F && data[1] == 0x8B && data[2] == 8;
}

static uint32_t Get32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

/* Skips a NUL-ended field: 0, or -1 when it runs past the stream. */
static int SkipText(const uint8_t* data, uint32_t end, uint32_t* at) {
    while (*at < end && data[*at]) (*at)++;
    if (*at >= end) return -1;
    (*at)++;
    return 0;
}

int32_t GzipOpen(const uint8_t* data, uint32_t length, GzipMember* member) {
    if (!GzipLooksLike(data, length)) return INFLATE_BAD_DATA;
    uint32_t flags = data[3];
    if (flags & GZIP_FLAGS_RESERVED) return INFLATE_BAD_DATA;
    uint32_t end = length - GZIP_TRAILER;
    uint32_t at = GZIP_HEADER;
    if (flags & GZIP_FLAG_EXTRA) {
        if (end - at < 2) return INFLATE_TRUNCATED;
        uint32_t extra = (uint32_t)data[at] | ((uint32_t)data[at + 1] << 8);
        at += 2;
        if (extra > end - at) return INFLATE_TRUNCATED;
        at += extra;
    }
    if ((flags & GZIP_FLAG_NAME) && SkipText(data, end, &at) != 0) return INFLATE_TRUNCATED;
    if ((flags & GZIP_FLAG_COMMENT) && SkipText(data, end, &at) != 0) return INFLATE_TRUNCATED;
    if (flags & GZIP_FLAG_HEADER_CRC) {
        if (end - at < 2) return INFLATE_TRUNCATED;
        at += 2;
    }
    member->data_at = at;
    member->packed_size = length;
    member->crc = Get32(data + end);
    member->unpacked_size = Get32(data + end + 4);
    return INFLATE_OK;
}
