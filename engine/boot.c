/* Command 5: a boot record, handed over as a sector buffer, scanned against
 * the boot-record signatures of the loaded bases; cured by wiping the match
 * in the buffer and writing the sector back through the host. */
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/engine.h"
#include "engine/hostcalls.h"
#include "engine/memops.h"
#include "engine/scan.h"
#include "engine/tarvo_engine_api.h"
#include "engine/vdbformat.h"

static uint16_t Get16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

/* Where the pattern of a boot record lies in the sector, or -1. */
static int32_t MatchSector(const uint8_t* record, const uint8_t* sector) {
    uint32_t name_length = record[5];
    uint32_t length = Get16(record + 6);
    int32_t offset = (int32_t)Get32(record + 8);
    const uint8_t* pattern = record + TARVO_VDB_RECORD_FIXED + name_length;
    if (length > TARVO_SECTOR_SIZE) return -1;
    if (offset != TARVO_VDB_ANYWHERE) {
        if (offset < 0 || (uint32_t)offset > TARVO_SECTOR_SIZE - length) return -1;
        return memcmp(sector + offset, pattern, length) ? -1 : offset;
    }
    for (uint32_t at = 0; at + length <= TARVO_SECTOR_SIZE; at++)
        if (!memcmp(sector + at, pattern, length)) return (int32_t)at;
    return -1;
}

static uint32_t ClassBit(uint8_t class_) {
    if (class_ == TARVO_CLASS_MODIFICATION) return TARVO_RESULT_MODIFICATION;
    if (class_ == TARVO_CLASS_SUSPICIOUS) return TARVO_RESULT_SUSPICIOUS;
    return TARVO_RESULT_INFECTED;
}

/* Command 5 (task, cure flag, mode word, sector buffer, drive key, the
 * address a, b and sector of the record, kind). */
int32_t CommandScanBootRecord(void* context, va_list* args) {
    uint32_t cure = va_arg(*args, uint32_t);
    (void)va_arg(*args, uint32_t);
    uint8_t* sector = va_arg(*args, uint8_t*);
    uint32_t drive = va_arg(*args, uint32_t);
    uint32_t a = va_arg(*args, uint32_t);
    uint32_t b = va_arg(*args, uint32_t);
    uint32_t number = va_arg(*args, uint32_t);
    (void)va_arg(*args, int32_t);
    ScanState* state = ScanStateFor(context);
    if (!state) return (int32_t)TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    ScanStateReset(context, state);
    if (!sector) return (int32_t)TARVO_RESULT_READ_ERROR;

    for (const EngineBase* base = Engine->bases; base; base = base->next) {
        for (uint32_t at = 0; at + TARVO_VDB_RECORD_FIXED <= base->size;) {
            const uint8_t* record = base->records + at;
            uint32_t size = Get16(record);
            if (size < TARVO_VDB_RECORD_FIXED || size > base->size - at) break;
            at += size;
            if (!(record[3] & TARVO_VDB_TARGET_BOOT) || record[2] == TARVO_VDB_CLASS_MARKER) continue;
            int32_t found = MatchSector(record, sector);
            if (found < 0 || state->finding_count >= ENGINE_MAX_FINDINGS) continue;
            state->findings[state->finding_count].record = record;
            state->findings[state->finding_count].at = (uint32_t)found;
            state->finding_count++;
        }
    }
    if (!state->finding_count) return 0;

    uint32_t bits = 0;
    int curable = 1;
    for (uint32_t i = 0; i < state->finding_count; i++) {
        const uint8_t* record = state->findings[i].record;
        uint32_t length = record[5];
        if (length >= TARVO_FINDING_NAME_SIZE) length = TARVO_FINDING_NAME_SIZE - 1;
        memcpy(state->finding_name, record + TARVO_VDB_RECORD_FIXED, length);
        state->finding_name[length] = 0;
        state->finding_class = record[2];
        bits |= ClassBit(record[2]);
        /* A sector cannot be cut short: only a wipe cures it. */
        if (record[4] != TARVO_VDB_CURE_WIPE) curable = 0;
        HostVirusFound(context, context, state->finding_name, record[2]);
    }
    if (!(cure & 1u)) return (int32_t)bits;
    if (!curable || !HostQuery(context, context, TARVO_QUERY_MAY_CURE))
        return (int32_t)(bits | TARVO_RESULT_INCURABLE);
    for (uint32_t i = 0; i < state->finding_count; i++)
        memset(sector + state->findings[i].at, 0, Get16(state->findings[i].record + 6));
    if (HOST_ROW(TARVO_HS_WRITE_DISK_SECTORS, TarvoHsDiskSectorsFn)(context, drive, a, b, number, 1,
                                                                    sector) != 0)
        return (int32_t)(bits | TARVO_RESULT_WRITE_ERROR);
    return (int32_t)(bits | TARVO_RESULT_CURED);
}
