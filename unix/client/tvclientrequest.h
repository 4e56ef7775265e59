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
#include "unix/client/tvclientwire.h"
#include "unix/client/tvconnect.h"

extern const char ClientErrorCannotConnection[]; // "cannot connection": the request could not be sent
extern const char ClientErrorNoResponse[];       // "server not response": the answer did not arrive
extern const char ClientErrorInvalidCode[];      // "invalid response code": the answer is not one we accept
extern const char ClientErrorNoMemory[];         // "allocated memory error"

// The error text of a failed string read: "server not response", "invalid response code" for a
// length above the cap, "allocated memory error"; null for kDone.
const char* ClientReadError(ClientReadEnd end);

// Points *error (when given) at text and answers nothing: the end of every failed request.
template <typename T> std::optional<T> ClientFailed(const char** error, const char* text) {
    if (error != nullptr) *error = text;
    return std::nullopt;
}

// A count word, then that many strings; with `terminated` (the daemon's own strings) each loses
// the NUL it was sent with. Fails as the requests do.
std::optional<StringArray> ReadStringArray(const DaemonConnection& connection, bool terminated,
                                           const char** error);

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
