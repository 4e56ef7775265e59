/* Commands that describe the engine. */
#include <stdarg.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/tarvo_engine_api.h"
#include "engine/version.h"

int32_t CommandVersion(void* context, va_list* args) {
    (void)context;
    (void)args;
    return TARVO_ENGINE_VERSION_NUMBER;
}

int32_t CommandApiVersion(void* context, va_list* args) {
    (void)context;
    (void)args;
    return (int32_t)TARVO_API_VERSION(TARVO_ENGINE_API_MAJOR, TARVO_ENGINE_API_MINOR);
}
