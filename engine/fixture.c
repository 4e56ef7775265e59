/* Test builds only: a large zero-initialised section, or an imported function. */
#include <stdint.h>

#include "engine/fixture.h"

#if defined(ENGINE_VARIANT_LARGE_BSS)

/* No file data at all: the loader must give it its whole window, zero-filled. */
static uint8_t LargeBss[ENGINE_VARIANT_LARGE_BSS];

static uint32_t LargeBssSeen;

/* The first start finds the window zero-filled and writes to both of its
 * ends; the module may be started again later. */
int32_t FixtureStart(void) {
    if (!LargeBssSeen) {
        if (LargeBss[0] || LargeBss[sizeof LargeBss - 1]) return 0;
        LargeBss[0] = 1;
        LargeBss[sizeof LargeBss - 1] = 1;
        LargeBssSeen = 1;
    }
    return 1;
}

#elif defined(ENGINE_VARIANT_IMPORT)

/* Linked through an import library made for the test: the module names a
 * system DLL, which the daemon's loader must refuse. */
__attribute__((dllimport)) uint32_t __attribute__((stdcall)) GetTickCount(void);

int32_t FixtureStart(void) {
    return GetTickCount() != 0xFFFFFFFFu;
}

#else
#error "fixture.c is built only for test variants"
#endif
