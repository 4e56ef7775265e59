#include "unix/client/tvclientwire.h"

#include <arpa/inet.h>
#include <cstring>

#include "unix/protocol/transfer.h"

namespace {

TimeBudget FreshBudget(const DaemonConnection& connection) {
    return BudgetFromSeconds(connection.timeout);
}

} // namespace

int WriteBytes(const DaemonConnection& connection, const void* data, size_t size) {
    if (connection.fd < 0) return -1;
    TimeBudget budget = FreshBudget(connection);
    return WriteExact(connection.fd, data, size, budget, false).end == TransferEnd::kDone ? 0 : -1;
}

int ReadBytes(const DaemonConnection& connection, void* data, size_t size) {
    if (connection.fd < 0) return -1;
    TimeBudget budget = FreshBudget(connection);
    return ReadExact(connection.fd, data, size, budget, false).end == TransferEnd::kDone ? 0 : -1;
}

int WriteWordBE(const DaemonConnection& connection, uint32_t word) {
    const uint32_t wire = htonl(word);
    return WriteBytes(connection, &wire, sizeof wire);
}

int WriteStringBE(const DaemonConnection& connection, const char* text) {
    if (text == nullptr) text = "";
    const size_t length = strlen(text);
    if (length > UINT32_MAX) return -1;
    if (WriteWordBE(connection, static_cast<uint32_t>(length)) != 0) return -1;
    return WriteBytes(connection, text, length);
}

int ReadWordBE(const DaemonConnection& connection, uint32_t& word) {
    uint32_t wire = 0;
    if (ReadBytes(connection, &wire, sizeof wire) != 0) return -1;
    word = ntohl(wire);
    return 0;
}

ClientReadEnd ReadStringBE(const DaemonConnection& connection, OwnedText& text, size_t* length) {
    text.reset();
    uint32_t size = 0;
    if (ReadWordBE(connection, size) != 0) return ClientReadEnd::kNoResponse;
    if (size > kClientMaxText) return ClientReadEnd::kTooLong;
    OwnedText buffer(static_cast<char*>(malloc(size_t{size} + 1)));
    if (!buffer) return ClientReadEnd::kNoMemory;
    if (ReadBytes(connection, buffer.get(), size) != 0) return ClientReadEnd::kNoResponse;
    buffer.get()[size] = '\0';
    if (length != nullptr) *length = size;
    text = std::move(buffer);
    return ClientReadEnd::kDone;
}
