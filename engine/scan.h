/* The scanner: objects read through the host's file services, matched
 * against the loaded bases, cured in place, unpacked when packed, and walked
 * when they are containers. One scan state per engine, bound to the task
 * that sent the last command. */
#ifndef TARVO_ENGINE_SCAN_H
#define TARVO_ENGINE_SCAN_H

#include <stdint.h>

#include "engine/tar.h"
#include "engine/tarvo_engine_api.h"
#include "engine/vdbformat.h"

/* Open containers of one task, nested in each other. */
#define ENGINE_MAX_LEVELS 32
/* Gzip inside gzip is unpacked this deep. */
#define ENGINE_MAX_PACKING 4
/* The largest object the engine unpacks into memory. */
#define ENGINE_MEMORY_LIMIT (64u * 1024u * 1024u)
/* Bytes compared per read when a pattern may lie anywhere. */
#define ENGINE_CHUNK 65536u
/* Findings reported for one object. */
#define ENGINE_MAX_FINDINGS 16

/* Marker bits of the engine's own, never handed to the host: a container
 * member marked so is handed out again and again by command 13 (as it is,
 * or endlessly under new names), or answered with -1. */
#define ENGINE_MARKER_REPEAT TARVO_VDB_MARKER_REPEAT
#define ENGINE_MARKER_REFUSE TARVO_VDB_MARKER_REFUSE
#define ENGINE_MARKER_ENDLESS TARVO_VDB_MARKER_ENDLESS
#define ENGINE_MARKER_KEEP_OPEN TARVO_VDB_MARKER_KEEP_OPEN
#define ENGINE_MARKER_PRIVATE                                                                                \
    (ENGINE_MARKER_REPEAT | ENGINE_MARKER_REFUSE | ENGINE_MARKER_ENDLESS | ENGINE_MARKER_KEEP_OPEN)

/* Where an object's bytes are: a range of the scanned file, or memory. */
typedef struct ObjectSource {
    uint32_t at;         /* offset in the file, or in data */
    uint32_t size;       /* bytes */
    const uint8_t* data; /* unpacked bytes, or 0 for the file */
} ObjectSource;

typedef struct ContainerLevel {
    ObjectSource source; /* the container's bytes */
    uint8_t* owned;      /* unpacked bytes that go with the level */
    int32_t type;        /* -1: no container was pending */
    uint32_t next;       /* offset in the container of the next header */
    uint32_t handed;     /* members handed out */
    uint8_t walking;     /* command 12 opened it */
    uint8_t ended;
    uint8_t stuck;   /* a member marked to be handed out again */
    uint8_t endless; /* ... under a new name each time */
    uint8_t has_member;
    ObjectSource member;
    uint32_t member_unpacked;
    uint32_t member_packed;
    uint8_t member_gzip;
} ContainerLevel;

typedef struct Finding {
    const uint8_t* record;
    uint32_t at; /* where the pattern begins in the object */
} Finding;

typedef struct ScanState {
    void* task;
    char path[TARVO_PATH_SIZE];
    int32_t handle; /* the object while a command reads it, else -1 */
    uint32_t limit; /* command 9: members a container hands out, 0 no limit */
    int32_t finding_class;
    char finding_name[TARVO_FINDING_NAME_SIZE];
    uint8_t has_pending; /* the last object scanned is a container */
    uint8_t keep_open;   /* the object scanned last is marked to be left open */
    ObjectSource pending;
    uint8_t* pending_owned;
    uint32_t depth;
    uint32_t phantom; /* levels asked for beyond ENGINE_MAX_LEVELS */
    ContainerLevel levels[ENGINE_MAX_LEVELS];
    uint32_t finding_count;
    Finding findings[ENGINE_MAX_FINDINGS];
    TarMember member;
    uint8_t chunk[ENGINE_CHUNK + TARVO_VDB_PATTERN_MAX];
} ScanState;

/* The state for this task: made on first use, emptied when another task
 * sends a command. 0 out of memory. */
ScanState* ScanStateFor(void* context);
/* Drops open containers and findings. */
void ScanStateReset(void* context, ScanState* state);
/* Frees the state (before the engine's state goes). */
void EngineFreeScan(void* context);

/* Opens the object by its path (the host answers the handle it holds for
 * it): 0, or -1. */
int32_t ScanOpenObject(ScanState* state);
void ScanCloseObject(ScanState* state);
/* Reads length bytes at offset of source: 0, or -1. */
int32_t SourceRead(ScanState* state, const ObjectSource* source, uint32_t offset, uint8_t* buffer,
                   uint32_t length);

/* The marker bits of a marker record that source starts with, else 0. The
 * chunk holds the first *held bytes of source; *held becomes what it holds
 * after. */
uint32_t MatchMarkers(ScanState* state, const ObjectSource* source, uint32_t* held);
/* Scans source: the result bits. cure allows the engine to rewrite the
 * object (only the object itself, never what lies inside it); packing is
 * how deep in gzip it lies. A container becomes the state's pending one. */
uint32_t ScanSource(ScanState* state, const ObjectSource* source, uint32_t cure, uint32_t packing);
/* Unpacks the gzip member of source into a new block: 0, or result bits. */
uint32_t UnpackGzip(ScanState* state, const ObjectSource* source, uint8_t** out, uint32_t* out_size);

#endif /* TARVO_ENGINE_SCAN_H */
