/* The stand-in engine's own version: the version resource, command 8 and
 * command 17 all come from here. Also read by the resource compiler. */
#ifndef TARVO_ENGINE_VERSION_H
#define TARVO_ENGINE_VERSION_H

#define TARVO_ENGINE_VERSION_MAJOR 1
#define TARVO_ENGINE_VERSION_MINOR 4
#define TARVO_ENGINE_VERSION_BUILD 2
#define TARVO_ENGINE_VERSION_REVISION 7
#define TARVO_ENGINE_VERSION_TEXT "1.4.2.7"

/* Command 8: the daemon shows it as number / 100 "." number % 100 when the
 * module has no version resource. */
#define TARVO_ENGINE_VERSION_NUMBER (TARVO_ENGINE_VERSION_MAJOR * 100 + TARVO_ENGINE_VERSION_MINOR)

/* Command 17. A build may claim another major to test the daemon's refusal. */
#ifndef TARVO_ENGINE_API_MAJOR
#define TARVO_ENGINE_API_MAJOR 2
#endif
#define TARVO_ENGINE_API_MINOR 2

#endif /* TARVO_ENGINE_VERSION_H */
