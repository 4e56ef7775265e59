/* The handlers of the dispatcher commands, one per command number. */
#ifndef TARVO_ENGINE_COMMANDS_H
#define TARVO_ENGINE_COMMANDS_H

#include <stdarg.h>
#include <stdint.h>

/* A handler reads the command's arguments from args. */
typedef int32_t EngineCommandHandler(void* context, va_list* args);

/* bases.c */
EngineCommandHandler CommandLoadBase;    /* 0 */
EngineCommandHandler CommandBasesLoaded; /* 1 */
EngineCommandHandler CommandUnloadBases; /* 2 */

/* diagnostic.c: not a command of the daemon's (engine/diagnostic.h) */
EngineCommandHandler CommandCallHostRow;

/* containers.c */
EngineCommandHandler CommandContainerType;  /* 11 */
EngineCommandHandler CommandContainerOpen;  /* 12 */
EngineCommandHandler CommandContainerNext;  /* 13 */
EngineCommandHandler CommandContainerScan;  /* 14 */
EngineCommandHandler CommandContainerClose; /* 15 */

/* info.c */
EngineCommandHandler CommandVersion;    /* 8 */
EngineCommandHandler CommandApiVersion; /* 17 */

/* scan.c */
EngineCommandHandler CommandScanObject;   /* 4 */
EngineCommandHandler CommandSetLimit;     /* 9 */
EngineCommandHandler CommandFindingClass; /* 18 */
EngineCommandHandler CommandKeepEngine;   /* 19 */

/* lifecycle.c */
EngineCommandHandler CommandShutdown; /* 3 */

#endif /* TARVO_ENGINE_COMMANDS_H */
