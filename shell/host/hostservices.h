// shell/host: the host services the engine calls: files, memory files, reports and findings,
// disk sectors and the hooks other parts of the shell leave open. Uses base and the rest of shell.
//
// The table of host services handed to the engine's entry: 62 rows of
// function and argument count, laid out as engine/tarvo_engine_api.h says.
#pragma once

#include <cstdint>

#include "engine/tarvo_engine_api.h"

extern const HostServiceRow HostServiceTable[TARVO_HOST_SERVICE_COUNT];

// Rows 1, 51 and 59: a zero-filled block of size bytes, or -1 cast to a pointer.
TARVO_ALIGN_STACK void* TARVO_CDECL HostAllocateBlock(void* context, uint32_t size);
// Rows 2 and 52: releases such a block (null and -1 are ignored).
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostFreeBlock(void* context, void* block);
// The constant rows.
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostStubZero(void* context);
TARVO_ALIGN_STACK int32_t TARVO_CDECL HostStubMinusOne(void* context);
