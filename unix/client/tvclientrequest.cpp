#include "unix/client/tvclientrequest.h"

#include <unistd.h>

#include "unix/client/tvclientwire.h"

const char ClientErrorCannotConnection[] = "cannot connection";
const char ClientErrorNoResponse[] = "server not response";
const char ClientErrorInvalidCode[] = "invalid response code";
const char ClientErrorNoMemory[] = "allocated memory error";

const char* ClientReadError(ClientReadEnd end) {
    switch (end) {
    case ClientReadEnd::kDone:
        return nullptr;
    case ClientReadEnd::kNoResponse:
        return ClientErrorNoResponse;
    case ClientReadEnd::kTooLong:
        return ClientErrorInvalidCode;
    case ClientReadEnd::kNoMemory:
        return ClientErrorNoMemory;
    }
    return ClientErrorNoResponse;
}

std::optional<StringArray> ReadStringArray(const DaemonConnection& connection, bool terminated,
                                           const char** error) {
    uint32_t count = 0;
    if (ReadWordBE(connection, count) != 0) return ClientFailed<StringArray>(error, ClientErrorNoResponse);
    if (count > kClientMaxItems) return ClientFailed<StringArray>(error, ClientErrorInvalidCode);
    StringArray array;
    if (array.Reset(static_cast<int>(count)) != 0)
        return ClientFailed<StringArray>(error, ClientErrorNoMemory);
    for (int i = 0; i < array.Count(); ++i) {
        OwnedText text;
        size_t length = 0;
        const ClientReadEnd end = ReadStringBE(connection, text, &length);
        if (end != ClientReadEnd::kDone) return ClientFailed<StringArray>(error, ClientReadError(end));
        if (terminated && length > 0 && text.get()[length - 1] == '\0') --length;
        if (array.SetItem(i, text.get(), length) != 0)
            return ClientFailed<StringArray>(error, ClientErrorNoMemory);
    }
    return array;
}

namespace {

std::optional<StringArray> QueryStringList(const DaemonConnection& connection, uint32_t request,
                                           const char** error) {
    if (error != nullptr) *error = nullptr;
    if (WriteWordBE(connection, request) != 0)
        return ClientFailed<StringArray>(error, ClientErrorCannotConnection);
    return ReadStringArray(connection, false, error);
}

} // namespace

std::optional<StringArray> QueryStringListA(const DaemonConnection& connection, const char** error) {
    return QueryStringList(connection, kRequestStringListA, error);
}

std::optional<StringArray> QueryStringListB(const DaemonConnection& connection, const char** error) {
    return QueryStringList(connection, kRequestStringListB, error);
}

std::optional<NamePairArray> QueryPairs(const DaemonConnection& connection, uint32_t wordA, const char* textB,
                                        uint32_t pid, uint32_t subCommand, const char** error) {
    if (error != nullptr) *error = nullptr;
    if (pid == 0) pid = static_cast<uint32_t>(getpid());
    if (WriteWordBE(connection, kRequestPairs) != 0 || WriteWordBE(connection, subCommand) != 0 ||
        WriteWordBE(connection, wordA) != 0 || WriteStringBE(connection, textB) != 0 ||
        WriteWordBE(connection, pid) != 0)
        return ClientFailed<NamePairArray>(error, ClientErrorCannotConnection);
    for (const uint32_t expected : {2u, 1u}) {
        uint32_t code = 0;
        if (ReadWordBE(connection, code) != 0)
            return ClientFailed<NamePairArray>(error, ClientErrorNoResponse);
        if (code != expected) return ClientFailed<NamePairArray>(error, ClientErrorInvalidCode);
    }
    uint32_t count = 0;
    if (ReadWordBE(connection, count) != 0) return ClientFailed<NamePairArray>(error, ClientErrorNoResponse);
    if (count > kClientMaxItems) return ClientFailed<NamePairArray>(error, ClientErrorInvalidCode);
    NamePairArray pairs;
    if (pairs.Reset(static_cast<int>(count)) != 0)
        return ClientFailed<NamePairArray>(error, ClientErrorNoMemory);
    for (int i = 0; i < pairs.Count(); ++i) {
        OwnedText name;
        OwnedText value;
        ClientReadEnd end = ReadStringBE(connection, name);
        if (end == ClientReadEnd::kDone) end = ReadStringBE(connection, value);
        if (end != ClientReadEnd::kDone) return ClientFailed<NamePairArray>(error, ClientReadError(end));
        if (pairs.Pair(i)->Set(name.get(), value.get()) != 0)
            return ClientFailed<NamePairArray>(error, ClientErrorNoMemory);
    }
    return pairs;
}

std::optional<NamePairArray> QueryPairsMode1(const DaemonConnection& connection, uint32_t wordA,
                                             const char* textB, uint32_t pid, const char** error) {
    return QueryPairs(connection, wordA, textB, pid, 1, error);
}

std::optional<NamePairArray> QueryPairsMode3(const DaemonConnection& connection, uint32_t wordA,
                                             const char* textB, uint32_t pid, const char** error) {
    return QueryPairs(connection, wordA, textB, pid, 3, error);
}
