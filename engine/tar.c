#include "engine/tar.h"

#include <stdint.h>

#include "engine/memops.h"

#define TAR_NAME_AT 0
#define TAR_NAME_SIZE 100
#define TAR_SIZE_AT 124
#define TAR_SIZE_SIZE 12
#define TAR_CHECKSUM_AT 148
#define TAR_CHECKSUM_SIZE 8
#define TAR_TYPEFLAG_AT 156
#define TAR_MAGIC_AT 257
#define TAR_PREFIX_AT 345
#define TAR_PREFIX_SIZE 155

/* An octal field: digits after optional blanks, ended by a blank or NUL.
 * 0, or -1 for anything else and for values above 32 bits. */
static int ParseOctal(const uint8_t* field, uint32_t size, uint32_t* value) {
    uint32_t i = 0;
    uint64_t v = 0;
    int digits = 0;
    while (i < size && field[i] == ' ') i++;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; i++) {
        v = v * 8u + (uint64_t)(field[i] - '0');
        if (v > 0xFFFFFFFFu) return -1;
        digits++;
    }
    if (i < size && field[i] != ' ' && field[i] != 0) return -1;
    if (!digits) return -1;
    *value = (uint32_t)v;
    return 0;
}

static int AllZero(const uint8_t* block) {
    for (uint32_t i = 0; i < TAR_BLOCK; i++)
        if (block[i]) return 0;
    return 1;
}

/* The sum of the header's bytes with the checksum field counted as blanks. */
static int ChecksumRight(const uint8_t* block) {
    uint32_t stored;
    if (ParseOctal(block + TAR_CHECKSUM_AT, TAR_CHECKSUM_SIZE, &stored) != 0) return 0;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < TAR_BLOCK; i++)
        sum += (i >= TAR_CHECKSUM_AT && i < TAR_CHECKSUM_AT + TAR_CHECKSUM_SIZE) ? (uint32_t)' ' : block[i];
    return sum == stored;
}

static uint32_t FieldLength(const uint8_t* field, uint32_t size) {
    uint32_t n = 0;
    while (n < size && field[n]) n++;
    return n;
}

enum TarBlockKind TarParseHeader(const uint8_t block[TAR_BLOCK], TarMember* member) {
    if (AllZero(block)) return TAR_BLOCK_END;
    /* "ustar" then NUL (POSIX) or a blank (old GNU). */
    if (memcmp(block + TAR_MAGIC_AT, "ustar", 5) != 0 || !ChecksumRight(block)) return TAR_BLOCK_BAD;
    uint32_t size;
    if (ParseOctal(block + TAR_SIZE_AT, TAR_SIZE_SIZE, &size) != 0) return TAR_BLOCK_BAD;

    memset(member, 0, sizeof *member);
    uint32_t at = 0;
    uint32_t prefix = FieldLength(block + TAR_PREFIX_AT, TAR_PREFIX_SIZE);
    /* Old GNU headers keep other data where the prefix is. */
    if (block[TAR_MAGIC_AT + 5] == 0 && prefix) {
        memcpy(member->name, block + TAR_PREFIX_AT, prefix);
        member->name[prefix] = '/';
        at = prefix + 1;
    }
    uint32_t name = FieldLength(block + TAR_NAME_AT, TAR_NAME_SIZE);
    memcpy(member->name + at, block + TAR_NAME_AT, name);
    member->size = size;
    member->typeflag = (char)block[TAR_TYPEFLAG_AT];
    member->regular = member->typeflag == '0' || member->typeflag == 0 || member->typeflag == '7';
    member->long_name = member->typeflag == 'L';
    return TAR_BLOCK_MEMBER;
}

int TarLooksLike(const uint8_t* data, uint32_t length) {
    return length >= TAR_BLOCK && !AllZero(data) && memcmp(data + TAR_MAGIC_AT, "ustar", 5) == 0 &&
           ChecksumRight(data);
}
