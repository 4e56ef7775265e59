// Non-blocking stream sockets on a Unix-domain path or a loopback TCP port.
#pragma once

#include <string>

namespace bench {

// Where a server listens: a Unix-domain socket path, or a TCP port on 127.0.0.1 when port is not 0.
struct Address {
    std::string path;
    int port = 0;
};

// A listening socket, or -1.
int ListenUnix(const std::string& path);
int ListenTcp(int port);

// Starts a non-blocking connect. The descriptor, with *pending set when the connect is still under
// way (wait for POLLOUT, then ConnectError); -1 with errno set otherwise (EAGAIN: the server's
// queue is full, try again).
int StartConnect(const Address& to, bool* pending);

// The outcome of a pending connect: 0, or the error.
int ConnectError(int fd);

} // namespace bench
