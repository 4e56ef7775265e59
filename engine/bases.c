/* Commands 0, 1 and 2: virus bases read through the host's file services and
 * kept in memory that the host gave. */
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/engine.h"
#include "engine/hostcalls.h"
#include "engine/memops.h"
#include "engine/tarvo_engine_api.h"
#include "engine/vdbformat.h"

static uint16_t Get16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static uint32_t TextLength(const char* text) {
    uint32_t n = 0;
    while (text[n]) n++;
    return n;
}

static int TextEqual(const char* a, const char* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

static uint32_t Checksum(const uint8_t* data, uint32_t size) {
    uint32_t hash = TARVO_VDB_FNV_OFFSET;
    for (uint32_t i = 0; i < size; i++) hash = (hash ^ data[i]) * TARVO_VDB_FNV_PRIME;
    return hash;
}

/* Reads exactly length bytes: 0, or -1. */
static int32_t ReadFully(int32_t handle, uint8_t* buffer, uint32_t length) {
    while (length) {
        int32_t got = HostRead(0, handle, buffer, length);
        if (got <= 0 || (uint32_t)got > length) return -1;
        buffer += got;
        length -= (uint32_t)got;
    }
    return 0;
}

static int ClassKnown(uint8_t class_) {
    switch (class_) {
    case TARVO_VDB_CLASS_MARKER:
    case TARVO_CLASS_INFECTED:
    case TARVO_CLASS_MODIFICATION:
    case TARVO_CLASS_SUSPICIOUS:
    case TARVO_CLASS_ADWARE:
    case TARVO_CLASS_DIALER:
    case TARVO_CLASS_JOKE:
    case TARVO_CLASS_RISKWARE:
    case TARVO_CLASS_HACKTOOL:
        return 1;
    default:
        return 0;
    }
}

/* Checks every record and unmasks its pattern: the record count, or -1;
 * *longest the length of the longest pattern. */
static int32_t PrepareRecords(uint8_t* body, uint32_t size, uint32_t* longest) {
    *longest = 0;
    uint32_t count = 0;
    uint32_t at = 0;
    while (at < size) {
        if (size - at < TARVO_VDB_RECORD_FIXED) return -1;
        uint8_t* record = body + at;
        uint32_t record_size = Get16(record);
        uint32_t name_length = record[5];
        uint32_t pattern_length = Get16(record + 6);
        if (record_size != TARVO_VDB_RECORD_FIXED + name_length + pattern_length) return -1;
        if (record_size > size - at) return -1;
        if (!ClassKnown(record[2]) || !(record[3] & (TARVO_VDB_TARGET_FILE | TARVO_VDB_TARGET_BOOT)))
            return -1;
        if (record[4] > TARVO_VDB_CURE_CUT) return -1;
        if (!name_length || !pattern_length || pattern_length > TARVO_VDB_PATTERN_MAX) return -1;
        uint8_t* pattern = record + TARVO_VDB_RECORD_FIXED + name_length;
        for (uint32_t i = 0; i < pattern_length; i++) pattern[i] ^= TARVO_VDB_PATTERN_MASK;
        if (pattern_length > *longest) *longest = pattern_length;
        at += record_size;
        count++;
    }
    return (int32_t)count;
}

/* The kind of an object record, or ENGINE_PICKS for none. */
static uint32_t PickOf(const uint8_t* record) {
    if (!(record[3] & TARVO_VDB_TARGET_FILE)) return ENGINE_PICKS;
    int anywhere = (int32_t)Get32(record + 8) == TARVO_VDB_ANYWHERE;
    if (record[2] == TARVO_VDB_CLASS_MARKER) return anywhere ? ENGINE_PICKS : ENGINE_PICK_MARKERS;
    return anywhere ? ENGINE_PICK_ANYWHERE : ENGINE_PICK_FIXED;
}

/* Sorts the records of a prepared body by kind into base->picks: 0, or -1. */
static int32_t PickRecords(void* context, EngineBase* base) {
    uint32_t total = 0;
    for (uint32_t k = 0; k < ENGINE_PICKS; k++) base->pick_count[k] = 0;
    for (uint32_t at = 0; at < base->size; at += Get16(base->records + at)) {
        uint32_t kind = PickOf(base->records + at);
        if (kind < ENGINE_PICKS) base->pick_count[kind]++, total++;
    }
    base->picks = (const uint8_t**)HostAllocate(context, (total ? total : 1) * sizeof *base->picks);
    if (!base->picks) return -1;
    uint32_t filled[ENGINE_PICKS];
    for (uint32_t k = 0, next = 0; k < ENGINE_PICKS; next += base->pick_count[k], k++) {
        base->pick_at[k] = next;
        filled[k] = 0;
    }
    for (uint32_t at = 0; at < base->size; at += Get16(base->records + at)) {
        uint32_t kind = PickOf(base->records + at);
        if (kind < ENGINE_PICKS) base->picks[base->pick_at[kind] + filled[kind]++] = base->records + at;
    }
    return 0;
}

static void FreeBase(void* context, EngineBase* base) {
    HostFree(context, (void*)base->picks);
    HostFree(context, base->path);
    HostFree(context, base->records);
    HostFree(context, base);
}

/* Takes the base loaded from path out of the list, if there is one. */
static void DropBase(void* context, const char* path) {
    for (EngineBase** link = &Engine->bases; *link; link = &(*link)->next) {
        if (TextEqual((*link)->path, path)) {
            EngineBase* old = *link;
            *link = old->next;
            FreeBase(context, old);
            return;
        }
    }
}

void EngineFreeBases(void* context) {
    while (Engine->bases) {
        EngineBase* base = Engine->bases;
        Engine->bases = base->next;
        FreeBase(context, base);
    }
}

static int HaveFileRows(void) {
    return EngineHost[TARVO_HS_OPEN_FILE].function && EngineHost[TARVO_HS_CLOSE].function &&
           EngineHost[TARVO_HS_READ].function && EngineHost[TARVO_HS_SEEK_FROM_START].function;
}

/* Reads the base file: its body in a new block, or an answer of command 0. */
static int32_t ReadBase(int32_t handle, uint8_t** body_out, uint32_t* size_out) {
    uint8_t window[TARVO_BASE_HEADER_WINDOW];
    int32_t got = HostRead(0, handle, window, sizeof window);
    if (got < TARVO_BASE_HEADER_SIZE || got > (int32_t)sizeof window) return TARVO_BASE_ERROR;
    const uint8_t* header = 0;
    for (int32_t at = 0; at + TARVO_BASE_HEADER_SIZE <= got; at++) {
        if (!memcmp(window + at, TARVO_BASE_MARKER, 4)) {
            header = window + at;
            break;
        }
    }
    if (!header || memcmp(header + TARVO_BASE_OFFSET_CHECK, TARVO_BASE_CHECK, 4)) return TARVO_BASE_ERROR;
    if (Get16(header + TARVO_VDB_OFFSET_FORMAT) > TARVO_VDB_FORMAT) return TARVO_BASE_SKIPPED;
    uint32_t header_size = Get16(header + TARVO_VDB_OFFSET_HEADER_SIZE);
    uint32_t size = Get32(header + TARVO_VDB_OFFSET_BODY_SIZE);
    uint32_t body_at = (uint32_t)(header - window) + header_size;
    if (header_size < TARVO_BASE_HEADER_SIZE || size > TARVO_VDB_BODY_MAX) return TARVO_BASE_ERROR;
    if (!size) {
        *body_out = 0;
        *size_out = 0;
        return 0;
    }
    uint8_t* body = (uint8_t*)HostAllocate(0, size);
    if (!body) return TARVO_BASE_ERROR;
    if (HostSeek(0, handle, (int32_t)body_at) != (int32_t)body_at || ReadFully(handle, body, size) != 0 ||
        Checksum(body, size) != Get32(header + TARVO_VDB_OFFSET_CHECKSUM)) {
        HostFree(0, body);
        return TARVO_BASE_ERROR;
    }
    *body_out = body;
    *size_out = size;
    return 0;
}

/* Command 0 (0, path): the records of the base, 0 when it holds none, -2 for
 * a base of a newer format, -1 on any failure. A path loaded before is
 * replaced, so that a reload sends only the bases that changed. */
int32_t CommandLoadBase(void* context, va_list* args) {
    const char* path = va_arg(*args, const char*);
    if (!path || !*path || !HaveFileRows()) return TARVO_BASE_ERROR;
    int32_t handle = HostOpen(context, path, TARVO_OPEN_READ);
    if (handle == -1) return TARVO_BASE_ERROR;
    uint8_t* body = 0;
    uint32_t size = 0;
    int32_t answer = ReadBase(handle, &body, &size);
    HostClose(context, handle);
    if (answer != 0) return answer;
    uint32_t longest = 0;
    int32_t count = PrepareRecords(body, size, &longest);
    if (count <= 0) {
        HostFree(context, body);
        if (count < 0) return TARVO_BASE_ERROR;
        DropBase(context, path);
        return TARVO_BASE_EMPTY;
    }
    uint32_t path_size = TextLength(path) + 1;
    EngineBase* base = (EngineBase*)HostAllocate(context, sizeof *base);
    char* path_copy = (char*)HostAllocate(context, path_size);
    if (!base || !path_copy) {
        HostFree(context, base);
        HostFree(context, path_copy);
        HostFree(context, body);
        return TARVO_BASE_ERROR;
    }
    memcpy(path_copy, path, path_size);
    base->path = path_copy;
    base->records = body;
    base->size = size;
    base->count = (uint32_t)count;
    base->longest = longest;
    if (PickRecords(context, base) != 0) {
        FreeBase(context, base);
        return TARVO_BASE_ERROR;
    }
    DropBase(context, path);
    base->next = Engine->bases;
    Engine->bases = base;
    return count;
}

/* Command 1 (0): every base is in; the records held in all of them. */
int32_t CommandBasesLoaded(void* context, va_list* args) {
    (void)context;
    (void)args;
    uint32_t total = 0;
    for (const EngineBase* base = Engine->bases; base; base = base->next) total += base->count;
    if (total > INT32_MAX) return -1;
    Engine->base_records = total;
    return (int32_t)total;
}

/* Command 2 (0): forgets every base. */
int32_t CommandUnloadBases(void* context, va_list* args) {
    (void)args;
    EngineFreeBases(context);
    return 0;
}
