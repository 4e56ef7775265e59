/* Commands 4, 9, 18 and 19: one object scanned against the loaded bases. */
#include "engine/scan.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/engine.h"
#include "engine/hostcalls.h"
#include "engine/inflate.h"
#include "engine/memops.h"
#include "engine/tar.h"
#include "engine/tarvo_engine_api.h"
#include "engine/vdbformat.h"

#define PACKER_NAME "GZIP"

static uint16_t Get16(const uint8_t* p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t Get32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

/* The fields of a base record (engine/vdbformat.h). */
static uint8_t RecordClass(const uint8_t* r) {
    return r[2];
}
static uint8_t RecordCure(const uint8_t* r) {
    return r[4];
}
static uint32_t RecordNameLength(const uint8_t* r) {
    return r[5];
}
static uint32_t RecordPatternLength(const uint8_t* r) {
    return Get16(r + 6);
}
static int32_t RecordOffset(const uint8_t* r) {
    return (int32_t)Get32(r + 8);
}
static uint32_t RecordResult(const uint8_t* r) {
    return Get32(r + 12);
}
static const char* RecordName(const uint8_t* r) {
    return (const char*)r + TARVO_VDB_RECORD_FIXED;
}
static const uint8_t* RecordPattern(const uint8_t* r) {
    return r + TARVO_VDB_RECORD_FIXED + RecordNameLength(r);
}

/* Calls fn for every record of that kind (ENGINE_PICK_...) of every loaded base. */
typedef void RecordVisitor(ScanState* state, const uint8_t* record, void* arg);

static void EachPicked(ScanState* state, uint32_t kind, RecordVisitor* fn, void* arg) {
    for (const EngineBase* base = Engine->bases; base; base = base->next) {
        const uint8_t* const* record = base->picks + base->pick_at[kind];
        for (uint32_t i = 0; i < base->pick_count[kind]; i++) fn(state, record[i], arg);
    }
}

void ScanStateReset(void* context, ScanState* state) {
    /* Levels are emptied as they close, so only the open ones need it. */
    for (uint32_t i = 0; i < state->depth; i++) {
        HostFree(context, state->levels[i].owned);
        memset(&state->levels[i], 0, sizeof state->levels[i]);
    }
    HostFree(context, state->pending_owned);
    state->pending_owned = 0;
    state->has_pending = 0;
    state->depth = 0;
    state->phantom = 0;
    state->finding_class = -1;
    state->finding_name[0] = 0;
    state->finding_count = 0;
}

ScanState* ScanStateFor(void* context) {
    ScanState* state = Engine->scan;
    if (!state) {
        state = (ScanState*)HostAllocate(context, sizeof *state);
        if (!state) return 0;
        state->handle = -1;
        state->finding_class = -1;
        Engine->scan = state;
    }
    if (state->task != context) {
        ScanStateReset(context, state);
        state->task = context;
    }
    return state;
}

void EngineFreeScan(void* context) {
    if (!Engine || !Engine->scan) return;
    ScanStateReset(context, Engine->scan);
    HostFree(context, Engine->scan);
    Engine->scan = 0;
}

int32_t ScanOpenObject(ScanState* state) {
    if (state->handle != -1) return 0;
    state->handle = HostOpen(state->task, state->path, TARVO_OPEN_READ);
    return state->handle == -1 ? -1 : 0;
}

void ScanCloseObject(ScanState* state) {
    if (state->handle != -1) HostClose(state->task, state->handle);
    state->handle = -1;
}

int32_t SourceRead(ScanState* state, const ObjectSource* source, uint32_t offset, uint8_t* buffer,
                   uint32_t length) {
    if (offset > source->size || length > source->size - offset) return -1;
    if (source->data) {
        memcpy(buffer, source->data + source->at + offset, length);
        return 0;
    }
    if (ScanOpenObject(state) != 0) return -1;
    uint32_t at = source->at + offset;
    if (at > INT32_MAX || HostSeek(state->task, state->handle, (int32_t)at) != (int32_t)at) return -1;
    while (length) {
        int32_t got = HostRead(state->task, state->handle, buffer, length);
        if (got <= 0 || (uint32_t)got > length) return -1;
        buffer += got;
        length -= (uint32_t)got;
    }
    return 0;
}

/* Matching: the object's first chunk is read once; a pattern at a fixed
 * offset past it is read on its own; a pattern that may lie anywhere is
 * looked for chunk by chunk, each chunk overlapping the next by the longest
 * pattern. */
typedef struct MatchPass {
    const ObjectSource* source;
    uint32_t chunk_at;     /* offset of the chunk in the object */
    uint32_t chunk_length; /* bytes read into the state's chunk */
    uint32_t chunk_step;   /* start positions this chunk owns */
    int markers;           /* markers only, else findings only */
    uint32_t marker_bits;
    int failed;
} MatchPass;

static int AlreadyFound(const ScanState* state, const uint8_t* record) {
    for (uint32_t i = 0; i < state->finding_count; i++)
        if (state->findings[i].record == record) return 1;
    return 0;
}

static void Found(ScanState* state, MatchPass* pass, const uint8_t* record, uint32_t at) {
    if (pass->markers) {
        pass->marker_bits |= RecordResult(record);
        return;
    }
    if (AlreadyFound(state, record) || state->finding_count >= ENGINE_MAX_FINDINGS) return;
    state->findings[state->finding_count].record = record;
    state->findings[state->finding_count].at = at;
    state->finding_count++;
}

/* Most objects differ from a pattern in its first byte: that byte is told
 * apart without a call. */
static int SameBytes(const uint8_t* a, const uint8_t* b, uint32_t n) {
    return !n || (a[0] == b[0] && !memcmp(a, b, n));
}

static void MatchFixed(ScanState* state, const uint8_t* record, void* arg) {
    /* The picks of a pass are file records of its kind at a fixed offset. */
    MatchPass* pass = (MatchPass*)arg;
    uint32_t offset = (uint32_t)RecordOffset(record);
    uint32_t length = RecordPatternLength(record);
    if (offset > pass->source->size || length > pass->source->size - offset) return;
    const uint8_t* pattern = RecordPattern(record);
    if (offset + length <= pass->chunk_length) {
        if (SameBytes(state->chunk + offset, pattern, length)) Found(state, pass, record, offset);
        return;
    }
    /* Past the first chunk: read just the bytes under the pattern, after
     * the chunk so that the chunk stays intact. */
    uint8_t* spare = state->chunk + ENGINE_CHUNK;
    if (length > TARVO_VDB_PATTERN_MAX || SourceRead(state, pass->source, offset, spare, length) != 0) {
        pass->failed = 1;
        return;
    }
    if (!memcmp(spare, pattern, length)) Found(state, pass, record, offset);
}

static void MatchAnywhere(ScanState* state, const uint8_t* record, void* arg) {
    /* The picks are file records that may match anywhere. */
    MatchPass* pass = (MatchPass*)arg;
    if (AlreadyFound(state, record)) return;
    uint32_t length = RecordPatternLength(record);
    if (length > pass->chunk_length) return;
    const uint8_t* pattern = RecordPattern(record);
    uint32_t last = pass->chunk_length - length;
    for (uint32_t i = 0; i <= last && i < pass->chunk_step; i++) {
        if (state->chunk[i] == pattern[0] && !memcmp(state->chunk + i, pattern, length)) {
            Found(state, pass, record, pass->chunk_at + i);
            break;
        }
    }
}

/* Reads the chunk at offset; held bytes of it are in the chunk already:
 * the bytes it holds now, or -1. */
static int32_t ReadChunk(ScanState* state, const ObjectSource* source, uint32_t offset, uint32_t length,
                         uint32_t held) {
    uint32_t left = source->size - offset;
    if (length > left) length = left;
    if (held < length && SourceRead(state, source, offset + held, state->chunk + held, length - held) != 0)
        return -1;
    return (int32_t)length;
}

/* The longest pattern of the loaded bases. */
static uint32_t LongestPattern(void) {
    uint32_t longest = 0;
    for (const EngineBase* base = Engine->bases; base; base = base->next)
        if (base->longest > longest) longest = base->longest;
    return longest;
}

/* Looks for markers or findings in source, of which the chunk holds the
 * first *held bytes: 0, or -1 when it could not be read. *held becomes what
 * the chunk holds after the first chunk's records were matched. */
static int32_t Match(ScanState* state, const ObjectSource* source, int markers, uint32_t* marker_bits,
                     uint32_t* held) {
    MatchPass pass = {0};
    pass.source = source;
    pass.markers = markers;
    uint32_t overlap = LongestPattern();
    if (overlap > TARVO_VDB_PATTERN_MAX) overlap = TARVO_VDB_PATTERN_MAX;
    if (overlap) overlap--;

    int32_t got = ReadChunk(state, source, 0, ENGINE_CHUNK, *held < ENGINE_CHUNK ? *held : ENGINE_CHUNK);
    if (got < 0) return -1;
    pass.chunk_length = (uint32_t)got;
    pass.chunk_step = pass.chunk_length;
    /* Past the chunk, a fixed pattern is read into the spare room after it. */
    *held = pass.chunk_length;
    EachPicked(state, markers ? ENGINE_PICK_MARKERS : ENGINE_PICK_FIXED, MatchFixed, &pass);
    if (pass.failed) return -1;
    /* Markers are known by the object's start alone. */
    if (!markers) {
        for (uint32_t at = 0; at < source->size; at += ENGINE_CHUNK) {
            got = ReadChunk(state, source, at, ENGINE_CHUNK + overlap, at ? 0 : *held);
            if (got < 0) return -1;
            pass.chunk_at = at;
            pass.chunk_length = (uint32_t)got;
            pass.chunk_step = ENGINE_CHUNK;
            *held = 0;
            EachPicked(state, ENGINE_PICK_ANYWHERE, MatchAnywhere, &pass);
        }
    }
    if (marker_bits) *marker_bits = pass.marker_bits;
    return 0;
}

uint32_t MatchMarkers(ScanState* state, const ObjectSource* source, uint32_t* held) {
    uint32_t bits = 0;
    if (!source->size || Match(state, source, 1, &bits, held) != 0) return 0;
    return bits;
}

static uint32_t ClassBit(uint8_t class_) {
    if (class_ == TARVO_CLASS_MODIFICATION) return TARVO_RESULT_MODIFICATION;
    if (class_ == TARVO_CLASS_SUSPICIOUS) return TARVO_RESULT_SUSPICIOUS;
    return TARVO_RESULT_INFECTED;
}

/* Rewrites the object to take every curable finding out: 1 when all of
 * them were, 0 otherwise. */
static int Cure(ScanState* state) {
    for (uint32_t i = 0; i < state->finding_count; i++)
        if (RecordCure(state->findings[i].record) == TARVO_VDB_CURE_NONE) return 0;
    ScanCloseObject(state);
    /* The host lets go of the object it holds for reading. */
    int32_t handle = HostOpen(state->task, state->path, TARVO_OPEN_READ_WRITE);
    if (handle == -1) return 0;
    int ok = 1;
    uint32_t cut = UINT32_MAX;
    for (uint32_t i = 0; i < state->finding_count && ok; i++) {
        const Finding* finding = &state->findings[i];
        if (RecordCure(finding->record) == TARVO_VDB_CURE_CUT) {
            if (finding->at < cut) cut = finding->at;
            continue;
        }
        uint8_t zeros[64];
        memset(zeros, 0, sizeof zeros);
        uint32_t left = RecordPatternLength(finding->record);
        if (finding->at > INT32_MAX ||
            HostSeek(state->task, handle, (int32_t)finding->at) != (int32_t)finding->at) {
            ok = 0;
            break;
        }
        while (left && ok) {
            uint32_t n = left < sizeof zeros ? left : (uint32_t)sizeof zeros;
            ok = HostWrite(state->task, handle, zeros, n) == (int32_t)n;
            left -= n;
        }
    }
    if (ok && cut != UINT32_MAX) ok = HostTruncate(state->task, handle, cut) == 0;
    HostClose(state->task, handle);
    return ok;
}

/* Reports every finding: the class stays known to command 18 while the
 * host asks for it. */
static uint32_t ReportFindings(ScanState* state) {
    uint32_t bits = 0;
    for (uint32_t i = 0; i < state->finding_count; i++) {
        const uint8_t* record = state->findings[i].record;
        uint32_t length = RecordNameLength(record);
        if (length >= TARVO_FINDING_NAME_SIZE) length = TARVO_FINDING_NAME_SIZE - 1;
        memcpy(state->finding_name, RecordName(record), length);
        state->finding_name[length] = 0;
        state->finding_class = RecordClass(record);
        bits |= ClassBit(RecordClass(record));
        HostVirusFound(state->task, state->task, state->finding_name, RecordClass(record));
    }
    return bits;
}

uint32_t UnpackGzip(ScanState* state, const ObjectSource* source, uint8_t** out, uint32_t* out_size) {
    *out = 0;
    *out_size = 0;
    if (source->size > ENGINE_MEMORY_LIMIT) return TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    uint8_t* packed = (uint8_t*)HostAllocate(state->task, source->size);
    if (!packed) return TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    if (SourceRead(state, source, 0, packed, source->size) != 0) {
        HostFree(state->task, packed);
        return TARVO_RESULT_READ_ERROR;
    }
    GzipMember member;
    uint32_t answer = 0;
    uint8_t* unpacked = 0;
    if (GzipOpen(packed, source->size, &member) != INFLATE_OK) {
        answer = TARVO_RESULT_DECOMPRESSION_ERROR | TARVO_RESULT_DECOMPRESSION_FATAL;
    } else if (member.unpacked_size > ENGINE_MEMORY_LIMIT) {
        answer = TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    } else {
        /* One byte more than the trailer promises shows a stream that lies. */
        unpacked = (uint8_t*)HostAllocate(state->task, member.unpacked_size + 1);
        if (!unpacked) {
            answer = TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
        } else {
            uint32_t length = 0;
            int32_t status = Inflate(packed + member.data_at, source->size - member.data_at, unpacked,
                                     member.unpacked_size + 1, &length, 0);
            if (status != INFLATE_OK || length != member.unpacked_size)
                answer = TARVO_RESULT_DECOMPRESSION_ERROR | TARVO_RESULT_DECOMPRESSION_FATAL;
            else if (Crc32(0, unpacked, length) != member.crc)
                answer = TARVO_RESULT_CRC_ERROR;
        }
    }
    HostFree(state->task, packed);
    if (answer) {
        HostFree(state->task, unpacked);
        return answer;
    }
    *out = unpacked;
    *out_size = member.unpacked_size;
    return 0;
}

static uint32_t ScanPacked(ScanState* state, const ObjectSource* source, uint32_t packing) {
    HostReportPacker(state->task, state->task, PACKER_NAME, 1);
    if (packing >= ENGINE_MAX_PACKING) return TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    uint8_t* data = 0;
    uint32_t size = 0;
    uint32_t bits = UnpackGzip(state, source, &data, &size);
    if (bits) return bits;
    ObjectSource inner = {0, size, data};
    bits = ScanSource(state, &inner, 0, packing + 1);
    if (state->has_pending && state->pending.data == data && !state->pending_owned)
        state->pending_owned = data; /* the container keeps its bytes */
    else
        HostFree(state->task, data);
    return bits;
}

uint32_t ScanSource(ScanState* state, const ObjectSource* source, uint32_t cure, uint32_t packing) {
    state->finding_count = 0;
    state->finding_class = -1;
    if (!source->size) return 0;
    uint32_t head = source->size < TAR_BLOCK ? source->size : TAR_BLOCK;
    if (SourceRead(state, source, 0, state->chunk, head) != 0) return TARVO_RESULT_READ_ERROR;
    if (GzipLooksLike(state->chunk, head)) return ScanPacked(state, source, packing);
    if (TarLooksLike(state->chunk, head)) {
        HostFree(state->task, state->pending_owned);
        state->pending_owned = 0;
        state->pending = *source;
        state->has_pending = 1;
        return TARVO_RESULT_CONTAINER;
    }
    /* The chunk holds the head: the passes read on from there. */
    uint32_t held = head;
    uint32_t markers = MatchMarkers(state, source, &held);
    if (markers & ENGINE_MARKER_KEEP_OPEN) state->keep_open = 1;
    markers &= ~ENGINE_MARKER_PRIVATE;
    if (markers) return markers;
    if (Match(state, source, 0, 0, &held) != 0) return TARVO_RESULT_READ_ERROR;
    if (!state->finding_count) return 0;
    uint32_t bits = ReportFindings(state);
    if (!cure) return bits;
    /* Only the object itself can be rewritten, and only with the host's leave. */
    if (source->data || !HostQuery(state->task, state->task, TARVO_QUERY_MAY_CURE) || !Cure(state))
        return bits | TARVO_RESULT_INCURABLE;
    return bits | TARVO_RESULT_CURED;
}

/* Command 4 (task, cure flag, mode word, path, size). */
int32_t CommandScanObject(void* context, va_list* args) {
    uint32_t cure = va_arg(*args, uint32_t);
    (void)va_arg(*args, uint32_t);
    const char* path = va_arg(*args, const char*);
    uint32_t size = va_arg(*args, uint32_t);
    ScanState* state = ScanStateFor(context);
    if (!state) return (int32_t)TARVO_RESULT_NO_MEMORY_TO_EXTRACT;
    ScanStateReset(context, state);
    if (!path || !*path) return (int32_t)TARVO_RESULT_READ_ERROR;
    /* Copied as it is measured: the path is read once. */
    uint32_t n = 0;
    char c;
    while ((c = path[n]) != 0 && n < TARVO_PATH_SIZE - 1) state->path[n++] = c;
    state->path[n] = 0;
    if (path[n]) return (int32_t)TARVO_RESULT_READ_ERROR;
    if (ScanOpenObject(state) != 0) return (int32_t)TARVO_RESULT_READ_ERROR;
    if (!size) {
        int32_t length = HostFileLength(context, state->handle);
        size = length > 0 ? (uint32_t)length : 0;
    }
    ObjectSource source = {0, size, 0};
    state->keep_open = 0;
    uint32_t bits = ScanSource(state, &source, cure & 1u, 0);
    if (state->keep_open)
        state->handle = -1; /* forgotten, not closed */
    else
        ScanCloseObject(state);
    return (int32_t)bits;
}

/* Command 9 (task, limit). */
int32_t CommandSetLimit(void* context, va_list* args) {
    uint32_t limit = va_arg(*args, uint32_t);
    ScanState* state = ScanStateFor(context);
    if (state) state->limit = limit;
    return 0;
}

/* Command 18 (task, name buffer): the class of the finding being reported. */
int32_t CommandFindingClass(void* context, va_list* args) {
    char* buffer = va_arg(*args, char*);
    ScanState* state = Engine->scan;
    if (!state || state->task != context || state->finding_class <= 0) return -1;
    if (buffer) memcpy(buffer, state->finding_name, TARVO_FINDING_NAME_SIZE);
    return state->finding_class;
}

/* Command 19 (task or 0, 3 or 0): per scan it starts the task afresh; at
 * start-up it tells that nothing the engine holds goes stale on a reload. */
int32_t CommandKeepEngine(void* context, va_list* args) {
    uint32_t what = va_arg(*args, uint32_t);
    if (what == TARVO_KEEP_ENGINE_PER_SCAN && context) {
        ScanState* state = ScanStateFor(context);
        if (state) ScanStateReset(context, state);
    }
    return 1;
}
