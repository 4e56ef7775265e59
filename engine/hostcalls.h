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

/* A handle, or -1. */
static inline int32_t HostOpen(void* context, const char* name, uint32_t mode) {
    return HOST_ROW(TARVO_HS_OPEN_FILE, TarvoHsOpenFileFn)(context, name, mode);
}

static inline int32_t HostClose(void* context, int32_t handle) {
    return HOST_ROW(TARVO_HS_CLOSE, TarvoHsHandleFn)(context, handle);
}

/* Bytes read, 0 at the end, -1 on failure. */
static inline int32_t HostRead(void* context, int32_t handle, void* buffer, uint32_t length) {
    return HOST_ROW(TARVO_HS_READ, TarvoHsReadFn)(context, handle, buffer, length);
}

/* The new position, or -1. */
static inline int32_t HostSeek(void* context, int32_t handle, int32_t offset) {
    return HOST_ROW(TARVO_HS_SEEK_FROM_START, TarvoHsSeekFn)(context, handle, offset);
}

/* Bytes written, or -1. */
static inline int32_t HostWrite(void* context, int32_t handle, const void* buffer, uint32_t length) {
    return HOST_ROW(TARVO_HS_WRITE, TarvoHsWriteFn)(context, handle, buffer, length);
}

static inline int32_t HostTruncate(void* context, int32_t handle, uint32_t length) {
    return HOST_ROW(TARVO_HS_TRUNCATE, TarvoHsTruncateFn)(context, handle, length);
}

/* The length; the file is rewound. */
static inline int32_t HostFileLength(void* context, int32_t handle) {
    return HOST_ROW(TARVO_HS_FILE_LENGTH, TarvoHsHandleFn)(context, handle);
}

/* The reporting services take the task again after the context. */
static inline int32_t HostVirusFound(void* context, void* task, const char* name, uint32_t kind) {
    return HOST_ROW(TARVO_HS_VIRUS_FOUND, TarvoHsVirusFoundFn)(context, task, name, kind);
}

static inline int32_t HostReportPacker(void* context, void* task, const char* name, uint32_t flag) {
    return HOST_ROW(TARVO_HS_REPORT_PACKER, TarvoHsReportPackerFn)(context, task, name, flag);
}

static inline int32_t HostQuery(void* context, void* task, uint32_t code) {
    return HOST_ROW(TARVO_HS_QUERY, TarvoHsQueryFn)(context, task, code);
}

#endif /* TARVO_ENGINE_HOSTCALLS_H */
