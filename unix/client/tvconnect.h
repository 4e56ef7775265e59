#pragma once
// Connecting the client library to a daemon: "local:PATH" or "inet:SERVICE@HOST".

#include <cstddef>

struct addrinfo;

struct DaemonConnection {
    int fd = -1;          // -1 while not connected
    unsigned timeout = 0; // seconds for each transfer and for connecting; 0 means no limit
};

constexpr size_t kClientErrorTextSize = 1024;

// Why the last connect failed; emptied at the start of every connect.
extern char ClientErrorText[kClientErrorTextSize];

// Sets the time-out, empties ClientErrorText and connects. Returns the descriptor, which is also
// stored in the connection: -1 on failure, with the reason in ClientErrorText. The connected socket
// is non-blocking, so the requests' time-outs hold.
int ConnectToDaemon(DaemonConnection& connection, const char* address, unsigned timeout);
int ConnectToDaemonAlt(DaemonConnection& connection, const char* address, unsigned timeout);

// The steps of ConnectToDaemon, for the two address kinds and for one resolved address.
int ConnectUnixSocket(DaemonConnection& connection, const char* address);
int ConnectInetAddress(DaemonConnection& connection, const char* address);
int ConnectWithTimeout(DaemonConnection& connection, const addrinfo* address);
