/* Headers of ustar archives: 512-byte blocks, each member's header followed
 * by its data padded to a whole block; two zero blocks end the archive. */
#ifndef TARVO_ENGINE_TAR_H
#define TARVO_ENGINE_TAR_H

#include <stdint.h>

#include "engine/tarvo_engine_api.h"

#define TAR_BLOCK 512u

/* What a header block holds. */
enum TarBlockKind {
    TAR_BLOCK_MEMBER = 0, /* a member's header */
    TAR_BLOCK_END = 1,    /* a zero block: no members follow */
    TAR_BLOCK_BAD = 2     /* no ustar header, or its checksum is wrong */
};

/* One member. Only regular files are scanned; the data of every other kind
 * is skipped. */
typedef struct TarMember {
    char name[TARVO_OBJECT_NAME_SIZE]; /* prefix "/" name, or the long name */
    uint32_t size;                     /* data bytes */
    char typeflag;
    uint8_t regular;   /* a regular file */
    uint8_t long_name; /* a GNU long-name block: its data names the next member */
} TarMember;

/* Reads one header block. A size that does not fit 32 bits is refused as bad. */
enum TarBlockKind TarParseHeader(const uint8_t block[TAR_BLOCK], TarMember* member);

/* An object of at least one block whose first block is a ustar header with a
 * right checksum. */
int TarLooksLike(const uint8_t* data, uint32_t length);

/* Bytes a member's data takes in the archive: size rounded up to blocks. */
static inline uint32_t TarPadded(uint32_t size) {
    return (size + TAR_BLOCK - 1u) & ~(TAR_BLOCK - 1u);
}

#endif /* TARVO_ENGINE_TAR_H */
