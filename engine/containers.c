/* Commands 11 to 15: the members of a tar archive handed out one by one,
 * with a stack of the containers open inside each other. */
#include <stdarg.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/engine.h"
#include "engine/hostcalls.h"
#include "engine/inflate.h"
#include "engine/memops.h"
#include "engine/scan.h"
#include "engine/tar.h"
#include "engine/tarvo_engine_api.h"

/* Container types the engine hands out; tar counts as an archive. */
#define CONTAINER_TYPE_NONE (-1)
#define CONTAINER_TYPE_TAR 1
#define CONTAINER_TYPE_TAR_NAME "TAR"

static ContainerLevel* TopLevel(ScanState* state) {
    if (state->phantom || !state->depth) return 0;
    return &state->levels[state->depth - 1];
}

static void CopyText(char* dst, uint32_t size, const char* src) {
    uint32_t n = 0;
    while (src[n] && n < size - 1) {
        dst[n] = src[n];
        n++;
    }
    dst[n] = 0;
}

/* Command 11 (task, type name buffer): opens the container that the last
 * object scanned turned out to be, one level deeper. */
int32_t CommandContainerType(void* context, va_list* args) {
    char* name = va_arg(*args, char*);
    ScanState* state = ScanStateFor(context);
    if (name) name[0] = 0;
    if (!state) return CONTAINER_TYPE_NONE;
    if (state->phantom || state->depth >= ENGINE_MAX_LEVELS) {
        state->phantom++;
        return CONTAINER_TYPE_NONE;
    }
    ContainerLevel* level = &state->levels[state->depth++];
    memset(level, 0, sizeof *level);
    level->type = CONTAINER_TYPE_NONE;
    if (!state->has_pending) return CONTAINER_TYPE_NONE;
    level->source = state->pending;
    level->owned = state->pending_owned;
    level->type = CONTAINER_TYPE_TAR;
    state->has_pending = 0;
    state->pending_owned = 0;
    if (name) CopyText(name, TARVO_TYPE_NAME_SIZE, CONTAINER_TYPE_TAR_NAME);
    return level->type;
}

/* Command 12 (task, open flag): 0 to walk it; otherwise it stays closed. */
int32_t CommandContainerOpen(void* context, va_list* args) {
    uint32_t open = va_arg(*args, uint32_t);
    ScanState* state = ScanStateFor(context);
    ContainerLevel* level = state ? TopLevel(state) : 0;
    if (!level || level->type == CONTAINER_TYPE_NONE) return (int32_t)TARVO_RESULT_READ_ERROR;
    if (!open) return (int32_t)TARVO_RESULT_CONTAINER;
    level->walking = 1;
    level->next = 0;
    return 0;
}

/* The size a gzip member unpacks to, from its trailer. */
static int32_t GzipUnpackedSize(ScanState* state, const ObjectSource* member, uint32_t* size) {
    uint8_t trailer[4];
    if (member->size < 18 || SourceRead(state, member, member->size - 4, trailer, 4) != 0) return -1;
    *size = (uint32_t)trailer[0] | ((uint32_t)trailer[1] << 8) | ((uint32_t)trailer[2] << 16) |
            ((uint32_t)trailer[3] << 24);
    return 0;
}

/* name, a dot and n, cut to fit a record's name. */
static void EndlessName(char* out, const char* name, uint32_t n) {
    char digits[12];
    uint32_t count = 0;
    do {
        digits[count++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    uint32_t room = TARVO_OBJECT_NAME_SIZE - 2 - count;
    uint32_t length = 0;
    while (name[length] && length < room) {
        out[length] = name[length];
        length++;
    }
    out[length++] = '.';
    while (count) out[length++] = digits[--count];
    out[length] = 0;
}

static void FillRecord(TarvoObjectRecord* record, const ContainerLevel* level, const char* name) {
    record->unpacked_size = level->member_unpacked;
    record->packed_size = level->member_packed;
    CopyText(record->name, TARVO_OBJECT_NAME_SIZE, name);
}

/* The member's first bytes as the scan will see them. */
static void FillHeader(ScanState* state, ContainerLevel* level, TarvoObjectRecord* record) {
    memset(record->header, 0, sizeof record->header);
    ObjectSource source = level->member;
    uint8_t* unpacked = 0;
    if (level->member_gzip) {
        uint32_t size = 0;
        if (UnpackGzip(state, &level->member, &unpacked, &size) != 0) return;
        source.at = 0;
        source.size = size;
        source.data = unpacked;
    }
    uint32_t length = source.size < TARVO_SECTOR_SIZE ? source.size : TARVO_SECTOR_SIZE;
    SourceRead(state, &source, 0, record->header, length);
    HostFree(state->task, unpacked);
}

/* The next member that is a regular file: 0 with the level's member set,
 * 0x8000 at the end, or result bits for a damaged archive. */
static uint32_t NextMember(ScanState* state, ContainerLevel* level) {
    uint8_t block[TAR_BLOCK];
    char long_name[TARVO_OBJECT_NAME_SIZE];
    long_name[0] = 0;
    /* A damaged header names no member. */
    state->member.name[0] = 0;
    for (;;) {
        if (level->next > level->source.size || level->source.size - level->next < TAR_BLOCK) {
            level->ended = 1;
            return TARVO_RESULT_NO_MORE_OBJECTS;
        }
        if (SourceRead(state, &level->source, level->next, block, TAR_BLOCK) != 0) {
            level->ended = 1;
            return TARVO_RESULT_READ_ERROR;
        }
        enum TarBlockKind kind = TarParseHeader(block, &state->member);
        if (kind == TAR_BLOCK_END) {
            level->ended = 1;
            return TARVO_RESULT_NO_MORE_OBJECTS;
        }
        if (kind == TAR_BLOCK_BAD) {
            level->ended = 1;
            return TARVO_RESULT_HEADER_CRC_ERROR;
        }
        uint32_t data_at = level->next + TAR_BLOCK;
        uint32_t size = state->member.size;
        if (size > level->source.size - data_at) {
            level->ended = 1;
            return TARVO_RESULT_READ_ERROR;
        }
        uint32_t padded = TarPadded(size);
        level->next = padded > level->source.size - data_at ? level->source.size : data_at + padded;
        if (state->member.long_name) {
            uint32_t n = size < TARVO_OBJECT_NAME_SIZE - 1 ? size : TARVO_OBJECT_NAME_SIZE - 1;
            ObjectSource name_source = {level->source.at + data_at, n, level->source.data};
            if (SourceRead(state, &name_source, 0, (uint8_t*)long_name, n) != 0) long_name[0] = 0;
            long_name[n] = 0;
            continue;
        }
        if (!state->member.regular) {
            long_name[0] = 0;
            continue;
        }
        if (long_name[0]) CopyText(state->member.name, TARVO_OBJECT_NAME_SIZE, long_name);
        level->member.at = level->source.at + data_at;
        level->member.size = size;
        level->member.data = level->source.data;
        level->member_unpacked = size;
        level->member_packed = size;
        level->member_gzip = 0;
        level->has_member = 1;
        return 0;
    }
}

/* Command 13 (task, object record, 512 or 0): the next member. */
int32_t CommandContainerNext(void* context, va_list* args) {
    TarvoObjectRecord* record = va_arg(*args, TarvoObjectRecord*);
    uint32_t want_header = va_arg(*args, uint32_t);
    ScanState* state = ScanStateFor(context);
    ContainerLevel* level = state ? TopLevel(state) : 0;
    if (!record || !level || !level->walking) return (int32_t)TARVO_RESULT_NO_MORE_OBJECTS;
    /* A member marked to repeat is all the container ever hands out again:
     * the record of this level still describes it. */
    if (level->stuck) return 0;
    if (level->endless) {
        /* The member named last is still the level's member. */
        char name[TARVO_OBJECT_NAME_SIZE];
        EndlessName(name, state->member.name, ++level->handed);
        memset(record, 0, sizeof *record);
        FillRecord(record, level, name);
        return 0;
    }
    if (level->ended) return (int32_t)TARVO_RESULT_NO_MORE_OBJECTS;
    if (state->limit && level->handed >= state->limit) {
        /* A member past the limit is never looked at: the walk was cut short,
         * and the host must not take the container for clean. */
        uint32_t past = NextMember(state, level);
        ScanCloseObject(state);
        level->ended = 1;
        level->has_member = 0;
        if (past == TARVO_RESULT_NO_MORE_OBJECTS) return (int32_t)past;
        memset(record, 0, sizeof *record);
        CopyText(record->name, TARVO_OBJECT_NAME_SIZE, state->member.name);
        return (int32_t)TARVO_RESULT_READ_ERROR;
    }
    uint32_t bits = NextMember(state, level);
    if (bits) {
        ScanCloseObject(state);
        if (bits != TARVO_RESULT_NO_MORE_OBJECTS) {
            memset(record, 0, sizeof *record);
            CopyText(record->name, TARVO_OBJECT_NAME_SIZE, state->member.name);
        }
        return (int32_t)bits;
    }
    level->handed++;
    uint8_t head[TAR_BLOCK];
    uint32_t head_length = level->member.size < TAR_BLOCK ? level->member.size : TAR_BLOCK;
    if (head_length && SourceRead(state, &level->member, 0, head, head_length) == 0 &&
        GzipLooksLike(head, head_length)) {
        uint32_t unpacked = 0;
        if (GzipUnpackedSize(state, &level->member, &unpacked) == 0) {
            level->member_gzip = 1;
            level->member_unpacked = unpacked;
        }
    }
    uint32_t held = 0;
    uint32_t markers = MatchMarkers(state, &level->member, &held);
    if (markers & ENGINE_MARKER_REPEAT) level->stuck = 1;
    if (markers & ENGINE_MARKER_ENDLESS) level->endless = 1;
    int32_t answer;
    if (markers & ENGINE_MARKER_REFUSE)
        answer = -1;
    else
        answer = (int32_t)(markers & ~ENGINE_MARKER_PRIVATE);
    FillRecord(record, level, state->member.name);
    if (answer == 0 && want_header == TARVO_OBJECT_HEADER_REQUEST) FillHeader(state, level, record);
    ScanCloseObject(state);
    return answer;
}

/* Command 14 (task, object record, mode word): scans the member. */
int32_t CommandContainerScan(void* context, va_list* args) {
    (void)va_arg(*args, TarvoObjectRecord*);
    (void)va_arg(*args, uint32_t);
    ScanState* state = ScanStateFor(context);
    ContainerLevel* level = state ? TopLevel(state) : 0;
    if (!level || !level->has_member) return (int32_t)TARVO_RESULT_READ_ERROR;
    ObjectSource member = level->member;
    uint32_t bits = ScanSource(state, &member, 0, 0);
    ScanCloseObject(state);
    return (int32_t)bits;
}

/* Command 15 (task, object record): closes the innermost container. */
int32_t CommandContainerClose(void* context, va_list* args) {
    (void)va_arg(*args, TarvoObjectRecord*);
    ScanState* state = ScanStateFor(context);
    if (!state) return 0;
    if (state->phantom) {
        state->phantom--;
        return 0;
    }
    if (!state->depth) return 0;
    ContainerLevel* level = &state->levels[--state->depth];
    HostFree(context, level->owned);
    memset(level, 0, sizeof *level);
    ScanCloseObject(state);
    return 0;
}
