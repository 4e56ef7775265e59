// The addresses the daemon listens on (the Socket key): "local:PATH",
// "unix:PATH", "inet:PORT@HOST" and the older forms "PATH [MODE]" and
// "PORT [HOST...]".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/tvlist.h"
#include "base/tvstrlist.h"

constexpr size_t kUnixSocketPathSize = 4100;
constexpr uint32_t kDefaultSocketMode = 0666;

struct UnixSocketSpec {
    char path[kUnixSocketPathSize];
    uint32_t mode; // permission bits applied to the socket file
};

// Host texts, each NUL-terminated, one after another and ended by an empty
// text; owned by the record and freed with FreeInetSpec.
struct InetSocketSpec {
    int32_t port;
    char* hosts;
    uint32_t size; // bytes of the host list, both terminators included
};

// Made anew by every load (CreateSettings); the inet records' host lists are
// released by FreeSettings.
extern std::unique_ptr<tvList> UnixSocketList;
extern std::unique_ptr<tvList> InetSocketList;
// The hosts of the default listener, used when no socket is configured.
extern std::unique_ptr<tvStringList> DefaultAddressList;
// A Socket line was read, whether or not any of its values could be used; cleared by every load.
extern int32_t SocketKeyGiven;

// The longest Unix-domain socket path that a socket address can hold.
size_t MaxUnixSocketPath();

// 1 for a "local:" or "unix:" value (spec filled, mode 0666), else 0.
int ParseLocalAddress(const char* text, UnixSocketSpec* spec);
// 1 for a valid "inet:PORT@HOST" value (spec filled, host list allocated),
// else 0.
int ParseInetAddress(const char* text, InetSocketSpec* spec);
// The older forms over entries[0] .. entries[count - 2]: 1 when all are
// valid, 0 at the first bad one (the records before it stay listed).
int ParseOldSocketSyntax(const char* const* entries, int countPlusOne);
// 1 when an equal record is listed: the same path (with case); the same port
// and the same first host.
int FindUnixSpec(const char* path, tvList* list);
int FindInetSpec(const InetSocketSpec* spec, tvList* list);
// 1 when text is present and begins with '/'.
int StartsWithSlash(const char* text);

// Socket: 1 when every value is valid, 0 at the first bad one or without a value.
int32_t ParseSocketKey(const char* const* tokens, int count);

// A host list of the given hosts; null when out of memory.
char* MakeHostList(const char* const* hosts, size_t count, uint32_t* size);
// Releases the record's host list.
void FreeInetSpec(InetSocketSpec* spec);
// Releases every inet record's host list and empties the list.
void ClearInetSocketList();
// With no Socket key read: port 3000 on 127.0.0.1 (also listed in the
// default-address list). 1 when the default was added. A Socket key whose
// values all failed gets no default: nobody configured that listener.
int AddDefaultSocket();
// A Socket key was read and left both lists empty: the load must fail.
bool ConfiguredSocketsUnusable();
