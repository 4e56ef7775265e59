// One started engine: the record that the engine table holds per instance.
#pragma once

#include <cstdint>

#include "engine/tarvo_engine_api.h"

struct BaseList;

struct EngineInstance {
    uint32_t module;             // module handle of the loader
    EngineDispatcher dispatcher; // what the entry returned
    uint32_t busy;               // 1 while a scan context or an unload holds it
    uint32_t unused[2];
    uint32_t engineVersion; // answer of the version command
    uint32_t apiVersion;    // answer of the interface version command
    BaseList* bases;
};

static_assert(sizeof(void*) != 4 || sizeof(EngineInstance) == 32, "eight words on i386");
