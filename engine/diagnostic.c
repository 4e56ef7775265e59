/* The diagnostic command: one host-service row called from inside the module. */
#include <stdarg.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/diagnostic.h"
#include "engine/engine.h"
#include "engine/tarvo_engine_api.h"

/* Every service is called as if it took six words: the caller cleans the
 * stack under cdecl, so a service that takes fewer ignores the rest. */
typedef int32_t(TARVO_CDECL* AnyRowFn)(void* context, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4,
                                       uint32_t a5, uint32_t a6);

int32_t CommandCallHostRow(void* context, va_list* args) {
    uint32_t row = va_arg(*args, uint32_t);
    int32_t* answer = va_arg(*args, int32_t*);
    uint32_t count = va_arg(*args, uint32_t);
    if (row >= TARVO_HOST_SERVICE_COUNT || !EngineHost[row].function || !answer ||
        count > TARVO_CALL_HOST_ROW_MAX_ARGS)
        return -1;
    uint32_t words[TARVO_CALL_HOST_ROW_MAX_ARGS] = {0};
    for (uint32_t i = 0; i < count; i++) words[i] = va_arg(*args, uint32_t);
    AnyRowFn fn = (AnyRowFn)EngineHost[row].function;
    *answer = fn(context, words[0], words[1], words[2], words[3], words[4], words[5]);
    return 0;
}
