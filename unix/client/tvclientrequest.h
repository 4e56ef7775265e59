// unix/client: the client library, a library of its own for programs that talk to the daemon. Uses
// the silent transfer core of unix/protocol only.
//
// The three requests of the client library. Each answers with its result or nullopt and points
// `error` at one of the texts below when it fails (null on success). Nothing is printed, and a failed
// request leaves the connection open: the caller decides whether to close it (close(fd)).
#pragma once

#include <cstdint>
#include <optional>

#include "unix/client/tvclientarrays.h"
#include "unix/client/tvconnect.h"

extern const char ClientErrorCannotConnection[]; // "cannot connection": the request could not be sent
extern const char ClientErrorNoResponse[];       // "server not response": the answer did not arrive
extern const char ClientErrorInvalidCode[];      // "invalid response code": the answer is not one we accept
extern const char ClientErrorNoMemory[];         // "allocated memory error"

constexpr uint32_t kRequestPairs = 0x2003;
constexpr uint32_t kRequestStringListB = 0x2006;
constexpr uint32_t kRequestStringListA = 0x2007;

std::optional<StringArray> QueryStringListA(const DaemonConnection& connection, const char** error);
std::optional<StringArray> QueryStringListB(const DaemonConnection& connection, const char** error);

// Request 0x2003 with the sub-command, the word A, the text B and a pid (0: the own process id).
std::optional<NamePairArray> QueryPairs(const DaemonConnection& connection, uint32_t wordA, const char* textB,
                                        uint32_t pid, uint32_t subCommand, const char** error);
std::optional<NamePairArray> QueryPairsMode1(const DaemonConnection& connection, uint32_t wordA,
                                             const char* textB, uint32_t pid, const char** error);
std::optional<NamePairArray> QueryPairsMode3(const DaemonConnection& connection, uint32_t wordA,
                                             const char* textB, uint32_t pid, const char** error);
