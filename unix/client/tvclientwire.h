#pragma once
// Framing of the client library's requests: big-endian words, and strings as a length word without the
// terminator followed by the bytes without it. Each transfer has the connection's time-out as a fresh
// budget (0: no limit).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "unix/client/tvconnect.h"

// The largest string the library accepts from a server; a longer length word is a bad answer.
constexpr uint32_t kClientMaxText = 1u << 20;
// The largest count of items or pairs the library accepts from a server.
constexpr uint32_t kClientMaxItems = 1u << 16;

struct FreeDeleter {
    void operator()(char* p) const { free(p); }
};
using OwnedText = std::unique_ptr<char, FreeDeleter>;

// Exactly `size` bytes written or read, as they are; 0 or -1.
int WriteBytes(const DaemonConnection& connection, const void* data, size_t size);
int ReadBytes(const DaemonConnection& connection, void* data, size_t size);

int WriteWordBE(const DaemonConnection& connection, uint32_t word);
int WriteStringBE(const DaemonConnection& connection, const char* text);
int ReadWordBE(const DaemonConnection& connection, uint32_t& word);

// Why ReadStringBE failed.
enum class ClientReadEnd { kDone, kNoResponse, kTooLong, kNoMemory };

// A length word L, then L bytes, returned with a NUL after them in `text`.
ClientReadEnd ReadStringBE(const DaemonConnection& connection, OwnedText& text, size_t* length = nullptr);
