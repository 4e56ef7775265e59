/* The engine dispatcher: one entry point for every command of the host. */
#include <stdarg.h>
#include <stdint.h>

#include "engine/commands.h"
#include "engine/diagnostic.h"
#include "engine/engine.h"
#include "engine/tarvo_engine_api.h"

/* Indexed by command number; commands without a handler answer -1. */
static EngineCommandHandler* const EngineCommands[TARVO_CMD_LIMIT] = {
    [TARVO_CMD_LOAD_BASE] = CommandLoadBase,
    [TARVO_CMD_BASES_LOADED] = CommandBasesLoaded,
    [TARVO_CMD_UNLOAD_BASES] = CommandUnloadBases,
    [TARVO_CMD_SHUTDOWN] = CommandShutdown,
    [TARVO_CMD_SCAN_OBJECT] = CommandScanObject,
    [TARVO_CMD_VERSION] = CommandVersion,
    [TARVO_CMD_SET_LIMIT] = CommandSetLimit,
    [TARVO_CMD_CONTAINER_TYPE] = CommandContainerType,
    [TARVO_CMD_CONTAINER_OPEN] = CommandContainerOpen,
    [TARVO_CMD_CONTAINER_NEXT] = CommandContainerNext,
    [TARVO_CMD_CONTAINER_SCAN] = CommandContainerScan,
    [TARVO_CMD_CONTAINER_CLOSE] = CommandContainerClose,
    [TARVO_CMD_API_VERSION] = CommandApiVersion,
    [TARVO_CMD_FINDING_CLASS] = CommandFindingClass,
    [TARVO_CMD_KEEP_ENGINE] = CommandKeepEngine,
};

_Static_assert(__builtin_types_compatible_p(__typeof__(&EngineDispatch), EngineDispatcher),
               "the dispatcher has the contract's type");

int32_t TARVO_CDECL EngineDispatch(void* context, uint32_t command, ...) {
    if (!EngineHost) return -1;
    EngineCommandHandler* handler = command == TARVO_CMD_CALL_HOST_ROW ? CommandCallHostRow
                                    : command < TARVO_CMD_LIMIT        ? EngineCommands[command]
                                                                       : 0;
    if (!handler) return -1;
    va_list args;
    va_start(args, command);
    int32_t answer = handler(context, &args);
    va_end(args);
    return answer;
}
