/* The engine's process-wide state, shared by its source files. */
#ifndef TARVO_ENGINE_ENGINE_H
#define TARVO_ENGINE_ENGINE_H

#include <stdint.h>

#include "engine/tarvo_engine_api.h"

/* The kinds of object records: markers at a fixed offset, findings at a
 * fixed offset, findings anywhere. Boot records and markers anywhere are
 * none of them. */
#define ENGINE_PICK_MARKERS 0
#define ENGINE_PICK_FIXED 1
#define ENGINE_PICK_ANYWHERE 2
#define ENGINE_PICKS 3

/* One loaded base file: its records, unmasked, in one block of the host's. */
typedef struct EngineBase {
    struct EngineBase* next;
    char* path;       /* the path command 0 was given, the key for a reload */
    uint8_t* records; /* the body */
    uint32_t size;    /* bytes of the body */
    uint32_t count;   /* records in it */
    uint32_t longest; /* bytes of its longest pattern */
    /* Its object records by the pass of a scan that looks at them, each
     * kind in the base's order: picks[pick_at[k]] on, pick_count[k] of them. */
    const uint8_t** picks;
    uint32_t pick_at[ENGINE_PICKS];
    uint32_t pick_count[ENGINE_PICKS];
} EngineBase;

struct ScanState;

/* What the engine keeps between commands; allocated through the host. */
typedef struct EngineState {
    uint32_t options;       /* the option word of the entry */
    uint32_t base_records;  /* the base-record result word of the last load */
    EngineBase* bases;      /* loaded by command 0, newest first */
    struct ScanState* scan; /* the scan in progress (engine/scan.h), or 0 */
} EngineState;

/* The host's table while the engine runs, else 0. */
extern const HostServiceRow* EngineHost;
/* The state block while the engine runs, else 0. */
extern EngineState* Engine;

/* Starts the engine for the host, or counts one more start by the same
 * host: the module may be handed out twice. 0 or -1. */
int32_t EngineStart(const HostServiceRow* table, uint32_t options, uint32_t base_records);
/* Undoes one start; the last one releases everything. 0 or -1. */
int32_t EngineStop(void* context);

/* Frees every loaded base (command 2, and before the state goes). */
void EngineFreeBases(void* context);

/* The dispatcher that the entry hands out. */
int32_t TARVO_CDECL EngineDispatch(void* context, uint32_t command, ...);

#endif /* TARVO_ENGINE_ENGINE_H */
