/* Behaviour that only the loader's test builds of the engine have. */
#ifndef TARVO_ENGINE_FIXTURE_H
#define TARVO_ENGINE_FIXTURE_H

#include <stdint.h>

#if defined(ENGINE_VARIANT_LARGE_BSS) || defined(ENGINE_VARIANT_IMPORT)
/* Run by the entry before the engine starts: 1 to go on, 0 to refuse. */
int32_t FixtureStart(void);
#else
static inline int32_t FixtureStart(void) {
    return 1;
}
#endif

#endif /* TARVO_ENGINE_FIXTURE_H */
