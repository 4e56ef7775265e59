// A host-services table holding only what the stand-in engine calls at start
// and shutdown: allocate and free. Every other row is empty.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "engine/tarvo_engine_api.h"

namespace test_host {

// Blocks handed to the engine and not given back.
inline int32_t outstanding = 0;

TARVO_ALIGN_STACK inline void* TARVO_CDECL Allocate(void*, uint32_t size) {
    void* block = std::calloc(1, size ? size : 1);
    if (!block) return reinterpret_cast<void*>(UINTPTR_MAX);
    outstanding++;
    return block;
}

TARVO_ALIGN_STACK inline int32_t TARVO_CDECL Free(void*, void* block) {
    if (!block) return -1;
    std::free(block);
    outstanding--;
    return 0;
}

struct Table {
    HostServiceRow rows[TARVO_HOST_SERVICE_COUNT] = {};
    Table() {
#define TEST_HOST_ROW_ARGC(row, name, argc, kind) rows[row].argument_count = argc;
        TARVO_HOST_SERVICE_ROWS(TEST_HOST_ROW_ARGC)
#undef TEST_HOST_ROW_ARGC
        for (int row : {TARVO_HS_ALLOCATE, TARVO_HS_ALLOCATE_51, TARVO_HS_ALLOCATE_59})
            rows[row].function = reinterpret_cast<TarvoHostFunction>(&Allocate);
        for (int row : {TARVO_HS_FREE, TARVO_HS_FREE_52})
            rows[row].function = reinterpret_cast<TarvoHostFunction>(&Free);
    }
};

inline const HostServiceRow* Rows() {
    static const Table table;
    return table.rows;
}

} // namespace test_host
