/* Start and shutdown of the engine. */
#include <stdarg.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/engine.h"
#include "engine/hostcalls.h"
#include "engine/scan.h"

const HostServiceRow* EngineHost;
EngineState* Engine;

/* Starts not yet matched by a shutdown. */
static uint32_t EngineStarts;

int32_t EngineStart(const HostServiceRow* table, uint32_t options, uint32_t base_records) {
    if (EngineStarts) {
        /* The state was allocated through this host: another one cannot share it. */
        if (table != EngineHost || EngineStarts == UINT32_MAX) return -1;
        EngineStarts++;
        Engine->base_records = base_records;
        return 0;
    }
    EngineHost = table;
    EngineState* state = (EngineState*)HostAllocate(0, sizeof *state);
    if (!state) {
        EngineHost = 0;
        return -1;
    }
    state->options = options;
    state->base_records = base_records;
    Engine = state;
    EngineStarts = 1;
    return 0;
}

int32_t EngineStop(void* context) {
    if (!EngineStarts) return -1;
    if (--EngineStarts) return 0;
    EngineFreeScan(context);
    EngineFreeBases(context);
    HostFree(context, Engine);
    Engine = 0;
    EngineHost = 0;
    return 0;
}

int32_t CommandShutdown(void* context, va_list* args) {
    (void)args;
    return EngineStop(context);
}
