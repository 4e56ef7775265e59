/* Calls into the host through the rows of its services table. */
#ifndef TARVO_ENGINE_HOSTCALLS_H
#define TARVO_ENGINE_HOSTCALLS_H

#include <stdint.h>

#include "engine/engine.h"
#include "engine/tarvo_engine_api.h"

#define HOST_ROW(row, type) ((type)EngineHost[row].function)

/* A zero-filled block, or 0: the host answers failures with 0 or -1. */
static inline void* HostAllocate(void* context, uint32_t size) {
    void* block = HOST_ROW(TARVO_HS_ALLOCATE, TarvoHsAllocateFn)(context, size);
    return (uintptr_t)block == UINTPTR_MAX ? 0 : block;
}

static inline void HostFree(void* context, void* block) {
    if (block) HOST_ROW(TARVO_HS_FREE, TarvoHsFreeFn)(context, block);
}

#endif /* TARVO_ENGINE_HOSTCALLS_H */
