/* Deflate streams (RFC 1951) inside gzip members (RFC 1952): the packed
 * objects of the engine. */
#ifndef TARVO_ENGINE_INFLATE_H
#define TARVO_ENGINE_INFLATE_H

#include <stdint.h>

/* Answers of Inflate and GzipOpen. */
enum InflateStatus {
    INFLATE_OK = 0,
    INFLATE_BAD_DATA = -1, /* not a valid stream */
    INFLATE_TOO_LONG = -2, /* more output than the buffer holds */
    INFLATE_TRUNCATED = -3 /* the input ends inside the stream */
};

/* Decodes the deflate stream at src into dst (dst_size bytes). *out_length
 * receives the bytes written, *in_used the bytes of src consumed. */
int32_t Inflate(const uint8_t* src, uint32_t src_size, uint8_t* dst, uint32_t dst_size, uint32_t* out_length,
                uint32_t* in_used);

/* The CRC-32 of gzip, continued from crc (0 to start). */
uint32_t Crc32(uint32_t crc, const uint8_t* data, uint32_t length);

/* A gzip member as it lies in memory. */
typedef struct GzipMember {
    uint32_t data_at;       /* offset of the deflate stream */
    uint32_t packed_size;   /* bytes of the whole member */
    uint32_t unpacked_size; /* ISIZE of the trailer: the length modulo 2^32 */
    uint32_t crc;           /* CRC-32 of the trailer */
} GzipMember;

/* Whether data starts with the gzip magic and method 8. */
int GzipLooksLike(const uint8_t* data, uint32_t length);
/* Reads the header and the trailer of the member that fills data. */
int32_t GzipOpen(const uint8_t* data, uint32_t length, GzipMember* member);

#endif /* TARVO_ENGINE_INFLATE_H */
