/* TARVO_InitDll: the module's one export. */
#include <stdint.h>

#include "engine/engine.h"
#include "engine/fixture.h"
#include "engine/tarvo_engine_api.h"

/* Test builds export the entry under a decorated name. */
#ifndef ENGINE_VARIANT_ENTRY_SYMBOL
#define ENGINE_VARIANT_ENTRY_SYMBOL TARVO_InitDll
#endif

/* A test build whose entry answers 0 after checking its arguments. */
#ifdef ENGINE_VARIANT_ENTRY_ZERO
#define ENGINE_ENTRY_REFUSES 1
#else
#define ENGINE_ENTRY_REFUSES 0
#endif

__attribute__((dllexport)) EngineDispatcher TARVO_CDECL ENGINE_VARIANT_ENTRY_SYMBOL(
    const HostServiceRow* table, uint32_t count, uint32_t* options, uint32_t base_records);

_Static_assert(__builtin_types_compatible_p(__typeof__(&ENGINE_VARIANT_ENTRY_SYMBOL), TarvoInitDllEntry),
               "the entry has the contract's type");

/* Loaded at run time, so the answer is a word of the data section that the
 * loader must have relocated into the code section's block. */
static volatile EngineDispatcher EngineDispatcherWord = EngineDispatch;

/* The argument count of every row, as the host must have them. */
static const uint8_t ExpectedArgumentCounts[TARVO_HOST_SERVICE_COUNT] = {
#define ENGINE_ROW_ARGC(row, name, argc, kind) [row] = argc,
    TARVO_HOST_SERVICE_ROWS(ENGINE_ROW_ARGC)
#undef ENGINE_ROW_ARGC
};

/* The rows the engine calls. */
static const uint8_t RequiredRows[] = {TARVO_HS_ALLOCATE, TARVO_HS_FREE};

/* A table laid out differently from ours would send calls to the wrong
 * service with the wrong arguments. */
static int TableMatches(const HostServiceRow* table) {
    for (uint32_t row = 0; row < TARVO_HOST_SERVICE_COUNT; row++)
        if (table[row].argument_count != ExpectedArgumentCounts[row]) return 0;
    for (uint32_t i = 0; i < sizeof RequiredRows; i++)
        if (!table[RequiredRows[i]].function) return 0;
    return 1;
}

EngineDispatcher TARVO_CDECL ENGINE_VARIANT_ENTRY_SYMBOL(const HostServiceRow* table, uint32_t count,
                                                         uint32_t* options, uint32_t base_records) {
    if (!table || count != TARVO_HOST_SERVICE_COUNT || !options || *options != TARVO_OPTION_WORD) return 0;
    if (!TableMatches(table) || !FixtureStart() || ENGINE_ENTRY_REFUSES) return 0;
    if (EngineStart(table, *options, base_records) != 0) return 0;
    return EngineDispatcherWord;
}
